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
    void *p = mmap(nullptr, SIM_PAGE, PROT_READ | PROT_WRITE, MAP_SHARED, fd, off);
    return p == MAP_FAILED ? nullptr : p;
}
