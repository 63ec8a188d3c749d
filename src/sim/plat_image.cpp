// The simulated board: registers live in the pages of a board image file.
#include "platform.h"

#include "simboard.h"

#include <errno.h>
#include <sys/mman.h>

const char *plat_path(void) {
    return simboard_path();
}

int plat_open(void) {
    return simboard_open();
}

void *plat_map(int fd, uint32_t phys) {
    long off = simboard_offset(phys);
    if (off < 0) {
        errno = ENXIO; // nothing is simulated at that address
        return nullptr;
    }
    // An image this run may only read is mapped to read: a store is refused
    // by plat_lock before it is tried.
    int prot = simboard_roerr ? PROT_READ : PROT_READ | PROT_WRITE;
    void *p = mmap(nullptr, SIM_PAGE, prot, MAP_SHARED, fd, off);
    return p == MAP_FAILED ? nullptr : p;
}

int plat_lock(int fd) {
    return simboard_lock(fd) ? errno : 0;
}

void plat_unlock(int fd) {
    simboard_unlock(fd);
}
