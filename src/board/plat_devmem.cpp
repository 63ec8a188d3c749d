// The board: registers are reached through /dev/mem.
#include "platform.h"

#include "errline.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>

// SysCon sits at 0x80930000, above 2 GiB: on 32-bit ARM Linux the mmap
// offset must be a 64-bit off_t or the address would turn negative.
static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");

static const char memdev[] = "/dev/mem";

const char *plat_path(void) {
    return memdev;
}

int plat_open(void) {
#if defined(__arm__)
    return open(memdev, O_RDWR | O_SYNC);
#else
    // These physical addresses mean EP9301 registers only on the board.  On
    // any other machine (a PC, a 64-bit ARM server) they are unrelated RAM or
    // devices, and writing them as root would corrupt the running system, so
    // the device is never opened there.
    errno = ENXIO;
    return -1;
#endif
}

void *plat_map(int fd, uint32_t phys) {
    void *p =
        mmap(nullptr, (size_t)getpagesize(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, (off_t)phys);
    return p == MAP_FAILED ? nullptr : p;
}

// Another run of the program on this board changing a register at the same
// moment would write back a stale copy over this run's change: each change
// is made holding /dev/mem, for a few seconds of waiting at most.
int plat_lock(int fd) {
    if (!plat_flockwait(fd)) return 0;
    int err = errno;
    errline(err, "/dev/mem: held by another program, nothing written");
    return err;
}

void plat_unlock(int fd) {
    flock(fd, LOCK_UN);
}
