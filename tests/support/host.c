/* Loaded with LD_PRELOAD: a host as a program sees it, made otherwise.
 *   ZORL_PAGE_SIZE  a kernel of pages of that many bytes (16 or 64 KiB, as on
 *                   some ARM hosts): mmap refuses an offset that is not a
 *                   multiple of it, and the page size reported says so
 *   ZORL_NO_TMPFILE a file system that cannot make a file without a name
 *   ZORL_HOLD_FD    the board image's bytes are held back a moment, once a
 *                   byte on that descriptor has said so, as a slow disk would
 * Each entry point is defined by each of its names. */
#undef _FILE_OFFSET_BITS
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

static long pagesize(void) {
    const char *s = getenv("ZORL_PAGE_SIZE");
    return s ? atol(s) : 4096;
}

#define MAP(name, off_type)                                                                        \
    void *name(void *a, size_t n, int prot, int flags, int fd, off_type off) {                     \
        if (off % pagesize()) return errno = EINVAL, MAP_FAILED;                                   \
        void *(*real)(void *, size_t, int, int, int, off_type) = dlsym(RTLD_NEXT, #name);          \
        return real(a, n, prot, flags, fd, off);                                                   \
    }
MAP(mmap, off_t)
MAP(mmap64, off64_t)

int getpagesize(void) {
    return (int)pagesize();
}

long sysconf(int name) {
    return name == _SC_PAGESIZE ? pagesize() : ((long (*)(int))dlsym(RTLD_NEXT, "sysconf"))(name);
}

#define OPEN(name)                                                                                 \
    int name(const char *path, int flags, ...) {                                                   \
        va_list ap;                                                                                \
        va_start(ap, flags);                                                                       \
        unsigned mode = va_arg(ap, unsigned);                                                      \
        va_end(ap);                                                                                \
        const char *notmp = getenv("ZORL_NO_TMPFILE");                                             \
        if ((flags & O_TMPFILE) == O_TMPFILE && notmp && *notmp) return errno = EOPNOTSUPP, -1;    \
        return ((int (*)(const char *, int, ...))dlsym(RTLD_NEXT, #name))(path, flags, mode);      \
    }
OPEN(open)
OPEN(open64)

ssize_t write(int fd, const void *p, size_t n) {
    const char *hold = getenv("ZORL_HOLD_FD");
    if (hold && n == 6 * 4096) { /* the image, written whole */
        if (((ssize_t(*)(int, const void *, size_t))dlsym(RTLD_NEXT, "write"))(atoi(hold), "", 1)) {
            struct timespec t = {0, 50 * 1000 * 1000};
            nanosleep(&t, NULL);
        }
    }
    return ((ssize_t(*)(int, const void *, size_t))dlsym(RTLD_NEXT, "write"))(fd, p, n);
}
