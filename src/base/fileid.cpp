#include "fileid.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <unistd.h>

bool sameid(const struct stat &a, const struct stat &b) {
    if ((a.st_mode & S_IFMT) != (b.st_mode & S_IFMT)) return false;
    if (S_ISCHR(a.st_mode) || S_ISBLK(a.st_mode)) return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int statpath(const char *path, struct stat *st) {
    int fd = open(path, O_PATH | O_CLOEXEC);
    if (fd < 0) return -1;
    int r = fstat(fd, st);
    close(fd);
    return r;
}

int linkend(const char *path, char *out, size_t size) {
    size_t n = strlen(path);
    if (n >= size) {
        errno = ENAMETOOLONG;
        return -1;
    }
    memcpy(out, path, n + 1);
    for (int hops = 0; hops <= MAXLINKS; hops++) {
        struct stat st;
        if (lstat(out, &st)) return errno == ENOENT ? 0 : -1;
        if (!S_ISLNK(st.st_mode)) return 0;
        char link[PATH_MAX];
        ssize_t len = readlink(out, link, sizeof link - 1);
        if (len < 0) return -1;
        link[len] = 0;
        const char *slash = strrchr(out, '/');
        size_t dir = link[0] == '/' || !slash ? 0 : (size_t)(slash - out) + 1;
        if (dir + (size_t)len >= size) {
            errno = ENAMETOOLONG;
            return -1;
        }
        memcpy(out + dir, link, (size_t)len + 1);
    }
    errno = ELOOP;
    return -1;
}
