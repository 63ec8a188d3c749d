// The simulated board: registers live in the pages of a board image file.
#include "platform.h"

#include "simboard.h"

#include <errno.h>

const bool plat_privileged = false;

const char *plat_path(void) {
    return simboard_path();
}

int plat_open(void) {
    return simboard_open(0);
}

void *plat_map(int fd, uint32_t phys) {
    return simboard_map(fd, phys);
}

int plat_lock(int fd) {
    return simboard_lock(fd) ? errno : 0;
}

void plat_unlock(int fd) {
    simboard_unlock(fd);
}

int plat_check(int fd) {
    return simboard_check(fd) ? errno : 0;
}
