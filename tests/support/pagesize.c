/* Loaded with LD_PRELOAD: a kernel whose pages are ZORL_PAGE_SIZE bytes (16
 * or 64 KiB, as on some ARM hosts), as far as a program can tell.  mmap
 * refuses an offset that is not a multiple of it, as such a kernel does,
 * and the page size the C library reports says the same. */
/* Both entry points are defined here, each by its own name. */
#undef _FILE_OFFSET_BITS
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>

static long pagesize(void) {
    const char *s = getenv("ZORL_PAGE_SIZE");
    return s ? atol(s) : 4096;
}

static void *checked(const char *name, void *addr, size_t len, int prot, int flags, int fd,
                     off64_t off) {
    if (off % pagesize()) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    void *(*real)(void *, size_t, int, int, int, off64_t) = dlsym(RTLD_NEXT, name);
    return real(addr, len, prot, flags, fd, off);
}

void *mmap(void *addr, size_t len, int prot, int flags, int fd, off_t off) {
    return checked("mmap", addr, len, prot, flags, fd, off);
}

void *mmap64(void *addr, size_t len, int prot, int flags, int fd, off64_t off) {
    return checked("mmap64", addr, len, prot, flags, fd, off);
}

int getpagesize(void) {
    return (int)pagesize();
}

long sysconf(int name) {
    long (*real)(int) = dlsym(RTLD_NEXT, "sysconf");
    return name == _SC_PAGESIZE ? pagesize() : real(name);
}
