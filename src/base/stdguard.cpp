#include "stdguard.h"

#include "fileid.h"

#include <errno.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

int stdclosed;

// Started in secure-execution mode (set-user-ID, set-group-ID, file
// capabilities), the C library has already put a stand-in on each closed
// standard stream before main: /dev/full to write on standard input and
// /dev/null to read on standard output and error (glibc), or /dev/null to
// read and write (musl, uClibc-ng).  Such a stream is closed all the same.
static bool standin(int fd) {
    // makedev(1, 3) and makedev(1, 7), as every C library encodes numbers
    // this small: a constant, where glibc's makedev is a call.
    constexpr dev_t null = 0x103, full = 0x107;
    struct stat st;
    int mode = fcntl(fd, F_GETFL) & O_ACCMODE;
    if (!getauxval(AT_SECURE) || fstat(fd, &st) || !S_ISCHR(st.st_mode)) return false;
    if (st.st_rdev == full) return fd == 0 && mode == O_WRONLY;
    return st.st_rdev == null && (mode == O_RDWR || (fd && mode == O_RDONLY));
}

int stdguard(void) {
    int closed = 0;
    for (int fd = 0; fd < 3; fd++) {
        if (standin(fd))
            close(fd);
        else if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
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
