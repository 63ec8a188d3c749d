// The register layer on the simulated board's platform layer: pages of a
// real image file, mapped shared.
#include "dioadc.h"
#include "platform.h"
#include "simboard.h"
#include "wholeline.h"
#include "zr6410io.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

class SimBoard : public ::testing::Test {
  protected:
    std::string dir, image;
    void SetUp() override {
        char tmpl[] = "/tmp/zorl-sim-XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        dir = tmpl;
        image = dir + "/board.img";
        setenv("ZR6410_IMAGE", image.c_str(), 1);
        iofd = -1;
    }
    void TearDown() override {
        if (iofd != -1) close(iofd);
        iofd = -1;
        unlink(image.c_str());
        rmdir(dir.c_str());
        unsetenv("ZR6410_IMAGE");
    }
    std::string bytes() {
        std::ifstream f(image, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    unsigned char at(uint32_t phys) { return (unsigned char)bytes()[simboard_offset(phys)]; }
};

TEST_F(SimBoard, FreshImageHasThePowerOnValues) {
    ASSERT_EQ(syscon_init(), 0);
    ASSERT_EQ(gpio_init(), 0);
    EXPECT_EQ(syscon_get_clkset1(), 0x02B49907u);
    EXPECT_EQ(syscon_get_clkset2(), 0x300DC317u);
    EXPECT_EQ(syscon_get_pwrcnt(), 0x10030000u);
    EXPECT_EQ(syscon_get_chipid(), 0x70009213u);
    EXPECT_EQ(getetherpwr(), 1);
    std::string img = bytes();
    ASSERT_EQ(img.size(), SIM_SIZE);
    EXPECT_EQ(img.substr(0, 32), "ZR6410 simulated board image v1\n");
}

TEST_F(SimBoard, DioLinesReachTheImage) {
    ASSERT_EQ(dio_init(), 0);
    EXPECT_EQ(setdioline(3, 1), 1);
    EXPECT_EQ(setdioline(8, 1), 1);
    EXPECT_EQ(at(GPIO_BASE + GPIO_PBDR), 0x08);
    EXPECT_EQ(at(GPIO_BASE + GPIO_PBDDR), 0x08);
    EXPECT_EQ(at(GPIO_BASE + GPIO_PFDR), 0x01);
    EXPECT_EQ(at(GPIO_BASE + GPIO_PFDDR), 0x01);
    EXPECT_EQ(getdioline(3), 1);
}

TEST_F(SimBoard, AdcFollowsThePresenceFlag) {
    EXPECT_EQ(adc_init(), ENXIO); // a fresh board has no ADC fitted
    *adc_io_cntl = 1;             // the option register now says it is fitted
    EXPECT_EQ(adc_init(), 0);
    EXPECT_EQ(adc_read(0, 0), 0x40); // plain memory: the control byte reads back
}

TEST_F(SimBoard, NothingIsMappedOutsideTheSimulatedPages) {
    // SysCon is the image's second page, the ADC status register its last.
    EXPECT_EQ(simboard_offset(SYSCON_BASE), 0x2000);
    EXPECT_EQ(simboard_offset(SYSCON_BASE + REG_PAGE - 1), 0x2FFF);
    EXPECT_EQ(simboard_offset(SYSCON_BASE + REG_PAGE), -1);
    EXPECT_EQ(simboard_offset(SYSCON_BASE - 1), -1);
    EXPECT_EQ(simboard_offset(ADC_STAT), 0x5000);
}

// A store is refused, saying why, when another program holds the image for
// the whole wait (this build waits ZORL_LOCKWAIT_MS, the programs five
// seconds), or when the image was replaced under the run (the check that
// stops a read; the end-to-end tests show the read and its other causes).
TEST_F(SimBoard, AStoreIsRefusedWhenTheImageIsHeldOrReplaced) {
    ASSERT_EQ(syscon_init(), 0);
    std::string mv = "cd " + dir + " && mv board.img old.img && cp old.img board.img";
    int other = open(image.c_str(), O_RDONLY);
    struct {
        int lock;          // another program's flock on the image meanwhile
        const char *shell; // and what is done to it
        int err;
        const char *why;
    } rows[] = {{LOCK_EX, "true", EAGAIN, "is held by another program"},
                {LOCK_UN, mv.c_str(), ESTALE, "was replaced while in use"}};
    for (auto &r : rows) {
        ASSERT_EQ(flock(other, r.lock) | system(r.shell), 0);
        testing::internal::CaptureStderr();
        EXPECT_EQ(plat_lock(iofd), r.err);
        std::string why = std::string(strerror(r.err)) + " : " + image + ": the board image ";
        EXPECT_NE(testing::internal::GetCapturedStderr().find(why + r.why + ", nothing written\n"),
                  std::string::npos);
    }
    close(other);
    unlink((dir + "/old.img").c_str());
}

// Standard output that was not the image when the run started, but is the
// file opened under the image's name (another file took the name since):
// refused at the open, and the stream writes nothing from then on.
TEST_F(SimBoard, AStreamThatBecameTheImageIsRefusedAtItsOpen) {
    ASSERT_EQ(close(simboard_open(0)), 0); // the image made
    int out = dup(1);
    ASSERT_EQ(dup2(open(image.c_str(), O_WRONLY | O_APPEND), 1), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ((simboard_open(0), errno), EINVAL);
    EXPECT_EQ(lineput(stdline(1), "x\n", 2), EINVAL);
    dup2(out, 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(": would write into the register store"),
              std::string::npos);
    EXPECT_EQ(bytes().size(), SIM_SIZE);
    close(out);
    linestore(nullptr);
}
