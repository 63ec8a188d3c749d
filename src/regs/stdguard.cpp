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

// The descriptor that the text after a "fd/" names: 0 to 2 only.
static int fdnum(const char *s) {
    return s[0] >= '0' && s[0] <= '2' && !s[1] ? s[0] - '0' : -1;
}

// A name of a standard stream itself, without following links.
static int stdpath(const char *p) {
    static const char *const dev[3] = {"/dev/stdin", "/dev/stdout", "/dev/stderr"};
    for (int fd = 0; fd < 3; fd++)
        if (!strcmp(p, dev[fd])) return fd;
    if (!strncmp(p, "/dev/fd/", 8)) return fdnum(p + 8);
    if (strncmp(p, "/proc/", 6)) return -1;
    p += 6;
    char self[24];
    snprintf(self, sizeof self, "%ld/", (long)getpid());
    if (!strncmp(p, "self/", 5))
        p += 5;
    else if (!strncmp(p, "thread-self/", 12))
        p += 12;
    else if (!strncmp(p, self, strlen(self)))
        p += strlen(self);
    else
        return -1;
    return strncmp(p, "fd/", 3) ? -1 : fdnum(p + 3);
}

int stdname(const char *path) {
    char cur[PATH_MAX], link[PATH_MAX];
    if (snprintf(cur, sizeof cur, "%s", path) >= (int)sizeof cur) return -1;
    // As many links as the kernel follows in one lookup, and no more.
    for (int hops = 0; hops < 40; hops++) {
        int fd = stdpath(cur);
        if (fd >= 0) return fd;
        ssize_t n = readlink(cur, link, sizeof link - 1);
        if (n < 0) return -1;
        link[n] = 0;
        if (link[0] == '/') {
            memcpy(cur, link, (size_t)n + 1);
        } else {
            // Relative to the folder that holds the link.
            char *slash = strrchr(cur, '/');
            size_t dir = slash ? (size_t)(slash - cur) + 1 : 0;
            if (dir + (size_t)n >= sizeof cur) return -1;
            memcpy(cur + dir, link, (size_t)n + 1);
        }
    }
    return -1;
}
