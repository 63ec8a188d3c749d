// The register layer on the in-memory board: mapping and the named accessors.
#include "fixture.h"

#include <cerrno>
#include <string>
#include <vector>

TEST(Mapping, OneOpenSharedByAllBlocks) {
    memboard_reset();
    EXPECT_EQ(syscon_init(), 0);
    EXPECT_EQ(gpio_init(), 0);
    EXPECT_EQ(memboard_opens, 1);
    EXPECT_NE(iofd, -1);
    // Each block's base pointer is the start of its page.
    EXPECT_EQ(gpiopage + GPIO_PHDR, porth_byte);
    EXPECT_EQ(memboard_phys(sysconp), SYSCON_BASE);
}

TEST(Mapping, FailedOpenIsRetried) {
    memboard_reset();
    memboard_openerr = EACCES;
    EXPECT_EQ(gpio_init(), EACCES);
    EXPECT_EQ(iofd, -1);
    memboard_openerr = 0;
    EXPECT_EQ(syscon_init(), 0);
    EXPECT_EQ(memboard_opens, 2);
}

TEST(Mapping, FailedMapLeavesPointersNull) {
    memboard_reset();
    memboard_maperr = ENOMEM;
    EXPECT_EQ(syscon_init(), ENOMEM);
    EXPECT_EQ(gpio_init(), ENOMEM);
    EXPECT_EQ(pwrcntp, nullptr);
    EXPECT_EQ(clkset1p, nullptr);
    EXPECT_EQ(porth_byte, nullptr);
    EXPECT_EQ(porth_ddr, nullptr);
}

using Accessors = Board;

TEST_F(Accessors, PwrCntSwitchesChangeOneBit) {
    struct {
        int (*get)(void);
        int (*set)(int);
        int bit;
    } sw[] = {{getusbpwr, setusbpwr, 28},
              {getuartbaudhilo, setuartbaudhilo, 29},
              {getirdapwr, setirdapwr, 31}};
    for (auto s : sw) {
        for (uint32_t start : {0x00000000u, 0xFFFFFFFFu, 0x10030000u}) {
            for (int v = 0; v <= 1; v++) {
                pwrcnt() = start;
                EXPECT_EQ(s.set(v), v);
                EXPECT_EQ(s.get(), v);
                EXPECT_EQ(pwrcnt(), (start & ~(1u << s.bit)) | ((uint32_t)v << s.bit));
            }
        }
        pwrcnt() = 0x5A5A5A5A;
        EXPECT_EQ(s.set(2), -1);
        EXPECT_EQ(s.set(-1), -1);
        EXPECT_EQ(pwrcnt(), 0x5A5A5A5Au);
    }
}

TEST_F(Accessors, EthernetNeedsAnOutputLine) {
    porth() = 0xFB;
    porthddr() = 0x04;
    EXPECT_EQ(setetherpwr(1), 1);
    EXPECT_EQ(porth(), 0xFF);
    EXPECT_EQ(getetherpwr(), 1);
    EXPECT_EQ(setetherpwr(0), 0);
    EXPECT_EQ(porth(), 0xFB);
    // A value that cannot be set is refused before any register is read.
    iotrace_clear();
    EXPECT_EQ(setetherpwr(2), -1);
    EXPECT_EQ(setetherpwr(-1), -1);
    EXPECT_EQ(iolog, std::vector<std::string>{});

    porthddr() = 0xFB; // line 2 an input, every other line an output
    EXPECT_EQ(setetherpwr(1), -1);
    EXPECT_EQ(porth(), 0xFB);
    EXPECT_EQ(porthddr(), 0xFB);
}

TEST_F(Accessors, ClockSetWritesTheExactValue) {
    syscon_set_clkset1(0x82B49907);
    EXPECT_EQ(clkset1reg(), 0x82B49907u);
    syscon_set_clkset2(0xFFFFFFFF);
    EXPECT_EQ(clkset2reg(), 0xFFFFFFFFu);
}

// Each getter reads its own register: every one holds a value of its own.
TEST_F(Accessors, SysConGettersReadTheirRegister) {
    struct {
        uint32_t (*get)(void);
        uint32_t offset;
    } regs[] = {{syscon_get_pwrsts, SYSCON_PWRSTS},   {syscon_get_pwrcnt, SYSCON_PWRCNT},
                {syscon_get_clkset1, SYSCON_CLKSET1}, {syscon_get_clkset2, SYSCON_CLKSET2},
                {syscon_get_chipid, SYSCON_CHIPID},   {syscon_get_syscfg, SYSCON_SYSCFG}};
    for (auto r : regs) *memboard_reg32(SYSCON_BASE + r.offset) = 0xA5000000u | r.offset;
    for (auto r : regs) EXPECT_EQ(r.get(), 0xA5000000u | r.offset) << r.offset;
}
