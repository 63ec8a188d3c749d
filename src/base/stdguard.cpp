#include "stdguard.h"

#include "fileid.h"

#include <errno.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int stdclosed;

int stdguard(void) {
    int closed = 0;
    for (int fd = 0; fd < 3; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The descriptors below fd are open, so the pipe's read end gets fd.
        // Standard input keeps it; an output stream takes the write end.
        int p[2];
        if (pipe(p) || p[0] != fd) return -1;
        if (fd == 0)
            close(p[1]);
        else if (dup2(p[1], fd) != fd || close(p[1]))
            return -1;
        closed |= 1 << fd;
    }
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    stdclosed = closed;
    return closed;
}

int closedstream(const char *path) {
    if (!stdclosed) return -1;
    struct stat named, st;
    if (stat(path, &named)) return -1;
    for (int fd = 0; fd < 3; fd++)
        if ((stdclosed & (1 << fd)) && !fstat(fd, &st) && sameid(named, st)) return fd;
    return -1;
}
