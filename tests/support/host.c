/* Loaded with LD_PRELOAD: a kernel of ZORL_PAGE_SIZE-byte pages (16 or 64
 * KiB, as on some ARM hosts), as far as a program can tell.  mmap refuses an
 * offset that is not a multiple of it, and the page size reported says so.
 * Both mmap entry points are defined, each by its own name. */
#undef _FILE_OFFSET_BITS
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <sys/mman.h>
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
