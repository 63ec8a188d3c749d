#include "lockwait.h"

#include <errno.h>
#include <sys/file.h>
#include <time.h>

int lockwait(int fd) {
    for (int tries = 0; flock(fd, LOCK_EX | LOCK_NB); tries++) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || tries >= LOCKWAIT_MS / LOCKWAIT_STEP_MS)
            return -1;
        struct timespec step = {0, LOCKWAIT_STEP_MS * 1000 * 1000};
        nanosleep(&step, nullptr);
    }
    return 0;
}
