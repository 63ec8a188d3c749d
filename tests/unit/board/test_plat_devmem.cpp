// The board program's platform layer, off the board: it must refuse to map
// anything, and must not even open the memory device.
#include "cpuinfo.h"
#include "target.h"
#include "platform.h"
#include "zr6410io.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <string>
#include <unistd.h>

// Is any descriptor of this process open on the memory device?
static bool devmemopen(void) {
    DIR *d = opendir("/proc/self/fd");
    if (!d) return false;
    bool found = false;
    while (dirent *e = readdir(d)) {
        char target[PATH_MAX];
        ssize_t n = readlinkat(dirfd(d), e->d_name, target, sizeof target - 1);
        if (n > 0 && (target[n] = 0, !strcmp(target, "/dev/mem"))) found = true;
    }
    closedir(d);
    return found;
}

TEST(BoardProgram, RefusesToMapOffTheBoard) {
#if ZORL_ARMV4T
    GTEST_SKIP() << "built for ARMv4T the board layer asks the kernel; never tried here";
#else
    EXPECT_EQ(gpio_init(), ENXIO);
    EXPECT_EQ(syscon_init(), ENXIO);
    EXPECT_EQ(iofd, -1);
    EXPECT_EQ(porth_byte, nullptr);
    EXPECT_EQ(pwrcntp, nullptr);
    EXPECT_FALSE(devmemopen());
#endif
}

// Only a kernel that names every core an ARM920T is the board's.
TEST(BoardProgram, KnowsTheArm920tByCpuinfo) {
    static const struct {
        const char *text;
        bool board;
    } rows[] = {
        {"processor\t: 0\nCPU part\t: 0x920\nCPU revision\t: 0\n", true},
        {"CPU part:0x920", true},
        {"CPU part :  0X920 \t\n", true},
        {"CPU part\t: 0x926\n", false},
        {"CPU part\t: 0x9200\n", false},
        {"CPU part\t: 0x920\nCPU part\t: 0xc07\n", false},
        {"processor\t: 0\nvendor_id\t: GenuineIntel\n", false},
        {"model name\t: CPU part : 0x920\n", false},
        {"", false},
    };
    for (const auto &r : rows) {
        cpuscan s;
        cpuscan_start(&s);
        cpuscan_feed(&s, r.text, strlen(r.text));
        EXPECT_EQ(cpuscan_done(&s), r.board) << r.text;
    }
    // Read in pieces of any size, past lines longer than the part kept.
    std::string big = std::string(5000, 'x') + "\nCPU part\t: 0x920\n";
    cpuscan s;
    cpuscan_start(&s);
    for (char c : big) cpuscan_feed(&s, &c, 1);
    EXPECT_TRUE(cpuscan_done(&s));
}

// A change waits for /dev/mem while another run holds it, and gives up after
// the wait with a message (this build waits ZORL_LOCKWAIT_MS, the program
// five seconds); a file of the test's own stands in for the device.
TEST(BoardProgram, GivesUpAStoreHeldByAnotherProgram) {
    char path[] = "/tmp/zorl-lock-XXXXXX";
    int fd = mkstemp(path), other = open(path, O_RDONLY);
    unlink(path);
    ASSERT_EQ(flock(other, LOCK_EX), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(plat_lock(fd), EAGAIN);
    std::string why = std::string(strerror(EAGAIN)) + " : /dev/mem: held by another program";
    EXPECT_NE(testing::internal::GetCapturedStderr().find(why + ", nothing written\n"),
              std::string::npos);
    close(other);
    close(fd);
}
