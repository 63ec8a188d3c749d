// The board program's platform layer, off the board: it must refuse to map
// anything, and must not even open the memory device.
#include "zr6410io.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

// Is any descriptor of this process open on the memory device?
static bool devmemopen(void) {
    DIR *d = opendir("/proc/self/fd");
    if (!d) return false;
    bool found = false;
    while (dirent *e = readdir(d)) {
        char path[64], target[PATH_MAX];
        snprintf(path, sizeof path, "/proc/self/fd/%s", e->d_name);
        ssize_t n = readlink(path, target, sizeof target - 1);
        if (n > 0 && (target[n] = 0, !strcmp(target, "/dev/mem"))) found = true;
    }
    closedir(d);
    return found;
}

TEST(BoardProgram, RefusesToMapOffTheBoard) {
#if defined(__arm__)
    GTEST_SKIP() << "on 32-bit ARM the board layer opens /dev/mem; never tried here";
#else
    EXPECT_EQ(gpio_init(), ENXIO);
    EXPECT_EQ(syscon_init(), ENXIO);
    EXPECT_EQ(iofd, -1);
    EXPECT_EQ(porth_byte, nullptr);
    EXPECT_EQ(pwrcntp, nullptr);
    EXPECT_FALSE(devmemopen());
#endif
}
