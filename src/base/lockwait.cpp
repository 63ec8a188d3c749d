#include "lockwait.h"

#include <errno.h>
#include <sys/file.h>
#include <time.h>

int lockwait(int fd) {
    for (int tries = 0; flock(fd, LOCK_EX | LOCK_NB); tries++) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || tries >= 500) return -1;
        struct timespec ms10 = {0, 10 * 1000 * 1000};
        nanosleep(&ms10, nullptr);
    }
    return 0;
}
