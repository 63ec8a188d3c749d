#include "stdguard.h"

#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <fcntl.h>
#include <unistd.h>

int stdclosed;

int stdguard(void) {
    int closed = 0;
    for (int fd = 0; fd < 3; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        if (open("/dev/null", fd ? O_WRONLY : O_RDONLY) != fd) return -1;
        closed |= 1 << fd;
    }
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    stdclosed = closed;
    return closed;
}

int stdname(const char *path) {
    static const char *const dev[3] = {"/dev/stdin", "/dev/stdout", "/dev/stderr"};
    char self[32];
    snprintf(self, sizeof self, "/proc/%ld/fd/", (long)getpid());
    const char *const fddirs[3] = {"/dev/fd/", "/proc/self/fd/", self};
    char cur[PATH_MAX], link[PATH_MAX];
    size_t n = strlen(path);
    if (n >= sizeof cur) return -1;
    memcpy(cur, path, n + 1);
    // As many links as the kernel follows in one lookup, and no more.
    for (int hops = 0; hops < 40; hops++) {
        for (int fd = 0; fd < 3; fd++) {
            size_t k = strlen(fddirs[fd]);
            if (!strncmp(cur, fddirs[fd], k)) {
                const char *num = cur + k;
                return num[0] >= '0' && num[0] <= '2' && !num[1] ? num[0] - '0' : -1;
            }
            if (!strcmp(cur, dev[fd])) return fd;
        }
        ssize_t len = readlink(cur, link, sizeof link - 1);
        if (len < 0) return -1;
        link[len] = 0;
        // A relative link is relative to the folder that holds it.
        const char *slash = strrchr(cur, '/');
        size_t dir = link[0] == '/' || !slash ? 0 : (size_t)(slash - cur) + 1;
        if (dir + (size_t)len >= sizeof cur) return -1;
        memcpy(cur + dir, link, (size_t)len + 1);
    }
    return -1;
}
