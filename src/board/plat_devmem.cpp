// The board: registers are reached through /dev/mem.
#include "platform.h"

#include "board.h"
#include "cpuinfo.h"
#include "errline.h"
#include "lockwait.h"
#include "privilege.h"
#include "regmap.h"
#include "target.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>

// SysCon sits at 0x80930000, above 2 GiB: on 32-bit ARM Linux the mmap
// offset must be a 64-bit off_t or the address would turn negative.
static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");

static const char memdev[] = "/dev/mem";

// Opening /dev/mem needs root, or CAP_SYS_RAWIO with the right to write it;
// the program may be installed with that privilege for other users
// (privilege.h), and uses it for these two opens alone.
const bool plat_privileged = true;

const char *plat_path(void) {
    return memdev;
}

#if ZORL_ARMV4T
// Does the kernel name every core of this machine an ARM920T?  Any other
// answer, an unreadable file included, is no.
static bool onarm920t(void) {
    int fd = privopen("/proc/cpuinfo", O_RDONLY | O_CLOEXEC);
    if (fd == -1) return false;
    cpuscan s;
    cpuscan_start(&s);
    char buf[512];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) != 0) {
        if (n > 0)
            cpuscan_feed(&s, buf, (size_t)n);
        else if (errno != EINTR)
            break;
    }
    close(fd);
    return n == 0 && cpuscan_done(&s);
}
#endif

// These physical addresses are EP9301 registers only on the board.  On any
// other machine (a PC, a 64-bit ARM server, a later ARM board) they are
// unrelated RAM or devices, and writing them as root would corrupt the
// running system, so the device is opened only on the board's own core,
// and only when the kernel names it.
int plat_open(void) {
#if ZORL_ARMV4T
    if (onarm920t()) return privopen(memdev, O_RDWR | O_SYNC);
    errline(ENXIO, "/dev/mem: not opened, /proc/cpuinfo names no ARM920T, the ZR6410's processor");
#else
    errline(ENXIO, "/dev/mem: not opened, built for a processor other than the ZR6410's ARM920T");
#endif
    errno = ENXIO;
    return -1;
}

void *plat_map(int fd, uint32_t phys) {
    void *p =
        mmap(nullptr, (size_t)getpagesize(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, (off_t)phys);
    return p == MAP_FAILED ? nullptr : p;
}

int board_chipid(uint32_t id) {
    if ((id & CHIPID_ID) == EP93XX_ID) return 0;
    char why[96];
    snprintf(why, sizeof why, "/dev/mem: not used, ChipID reads 0x%08x, not an EP93xx's 0x%04x",
             (unsigned)id, (unsigned)EP93XX_ID);
    errline(ENXIO, why);
    return ENXIO;
}

// Another run of the program on this board changing a register at the same
// moment would write back a stale copy over this run's change: each change
// is made holding /dev/mem, for a few seconds of waiting at most.
int plat_lock(int fd) {
    if (!lockwait(fd)) return 0;
    int err = errno;
    errline(err, "/dev/mem: held by another program, nothing written");
    return err;
}

void plat_unlock(int fd) {
    flock(fd, LOCK_UN);
}

// /dev/mem is physical memory whatever happens to its name: nothing to check.
int plat_check(int) {
    return 0;
}
