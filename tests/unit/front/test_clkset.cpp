// The clock-set registers in process: every field's bounds and bits, the
// divider lines, and the frequency arithmetic at its extremes.
#include "fixture.h"

#include <string>

class ClkSet : public Board {
  protected:
    // The frequency lines of the summary of ClkSet1 or ClkSet2 read as value.
    std::string frequencies(int reg, uint32_t value) {
        restart();
        (reg == 1 ? clkset1reg() : clkset2reg()) = value;
        reg == 1 ? initclkset1() : initclkset2();
        report();
        reg == 1 ? writeclkset1(0) : writeclkset2(0);
        std::string out = report();
        return out.substr(out.find(reg == 1 ? "# pll1" : "# pll2"));
    }
};

struct Field {
    const char *reg;
    const char *name;
    int lsb, width, max;
};

static const Field fields[] = {
    {"clkset1", "pll1_x2ipd", 0, 5, 31},   {"clkset1", "pll1_x2fdb2", 5, 6, 63},
    {"clkset1", "pll1_x1fdb1", 11, 5, 31}, {"clkset1", "pll1_ps", 16, 2, 3},
    {"clkset1", "fclkdiv", 25, 3, 7},      {"clkset1", "hclkdiv", 20, 3, 7},
    {"clkset1", "pclkdiv", 18, 2, 3},      {"clkset1", "nbyp1", 23, 1, 1},
    {"clkset1", "smcrom", 24, 1, 1},       {"clkset2", "pll2_x2ipd", 0, 5, 31},
    {"clkset2", "pll2_x2fdb2", 5, 6, 63},  {"clkset2", "pll2_x1fdb1", 11, 5, 31},
    {"clkset2", "pll2_ps", 16, 2, 3},      {"clkset2", "nbyp2", 19, 1, 1},
    {"clkset2", "pll2_en", 18, 1, 1},      {"clkset2", "usbdiv", 28, 4, 14},
};

// Every field takes 0 and its maximum, and refuses one more and negative
// numbers; an edit changes exactly the field's bits of the working copy,
// from a register with every bit set and with none.
TEST_F(ClkSet, FieldBoundsAndBits) {
    for (const Field &f : fields) {
        for (uint32_t start : {0u, 0xFFFFFFFFu}) {
            SCOPED_TRACE(std::string(f.name) + (start ? " from all ones" : " from zero"));
            restart();
            bool one = f.reg[6] == '1';
            (one ? clkset1reg() : clkset2reg()) = start;
            uint32_t &work = one ? clkset1 : clkset2;
            uint32_t mask = ((1u << f.width) - 1) << f.lsb;
            std::string cmd = std::string(f.reg) + "." + f.name + "=";

            for (int v : {f.max, 0}) {
                EXPECT_EQ(run((cmd + std::to_string(v)).c_str()), 0);
                EXPECT_EQ(work, (start & ~mask) | ((uint32_t)v << f.lsb));
            }
            for (const char *bad : {"0x-1", "-1", "4294967295"}) {
                testing::internal::CaptureStderr();
                EXPECT_EQ(run((cmd + bad).c_str()), 22);
                testing::internal::GetCapturedStderr();
            }
            testing::internal::CaptureStderr();
            EXPECT_EQ(run((cmd + std::to_string(f.max + 1)).c_str()), 22);
            EXPECT_EQ(testing::internal::GetCapturedStderr(),
                      "[zorl] Invalid argument : " + cmd + std::to_string(f.max + 1) + "\n");
            EXPECT_EQ(work, start & ~mask); // the refused values left the last edit
            // The chip is never written by an edit.
            EXPECT_EQ(one ? clkset1reg() : clkset2reg(), start);
        }
    }
}

TEST_F(ClkSet, OneBitFieldsTakeOnAndOff) {
    EXPECT_EQ(run("clkset1.nbyp1=off"), 0);
    EXPECT_EQ(clkset1, 0x02349907u);
    EXPECT_EQ(run("clkset1.smcrom=ON"), 0);
    EXPECT_EQ(clkset1, 0x03349907u);
    EXPECT_EQ(run("clkset2.pll2_en=Off"), 0);
    EXPECT_EQ(clkset2, 0x3009C317u);
}

TEST_F(ClkSet, HclkDivisors) {
    const int divisor[8] = {1, 2, 4, 5, 6, 8, 16, 32};
    initclkset1(); // the load line comes with the first use
    report();
    for (int code = 0; code < 8; code++) {
        EXPECT_EQ(run(("clkset1.hclkdiv=" + std::to_string(code)).c_str()), 0);
        EXPECT_EQ(report(), "# Hclk = fout/" + std::to_string(divisor[code]) +
                                "\nclkset1.hclkdiv=" + std::to_string(code) + "\n");
    }
}

// The summary's frequencies, including the largest PLL product, which still
// fits in 32 bits, and the smallest.
TEST_F(ClkSet, Frequencies) {
    struct {
        uint32_t value;
        const char *lines;
    } cases[] = {
        {0x02B49907, "# pll1 Fout=331785KHz   Fclk=165892KHz   (processor clock)\n"
                     "#      Hclk=66357KHz   Pclk=33178KHz\n"},
        {0x02A49907, "# pll1 Fout=331785KHz   Fclk=165892KHz   (processor clock)\n"
                     "#      Hclk=82946KHz   Pclk=41473KHz\n"},
        // x1fbd 31, x2fbd 63, x2ipd 0, ps 0: 32 x 14746 x 64; every divider at its largest.
        {0x0EFCFFE0, "# pll1 Fout=30199808KHz   Fclk=235936KHz   (processor clock)\n"
                     "#      Hclk=943744KHz   Pclk=117968KHz\n"},
        // Everything at zero but the post scaler: 14746 / 8, then / 1.
        {0x00030000, "# pll1 Fout=1843KHz   Fclk=1843KHz   (processor clock)\n"
                     "#      Hclk=1843KHz   Pclk=1843KHz\n"},
    };
    for (auto c : cases) EXPECT_EQ(frequencies(1, c.value), c.lines) << std::hex << c.value;
}

TEST_F(ClkSet, UsbClock) {
    struct {
        uint32_t value;
        const char *line;
    } cases[] = {
        {0x300DC317, "# pll2 Fout=192005KHz   USBclk=48001KHz\n"},
        {0xF00DC317, "# pll2 Fout=192005KHz   USBclk=12000KHz\n"}, // 15 from the chip is used
        {0x0000FFE0, "# pll2 Fout=30199808KHz   USBclk=30199808KHz\n"},
    };
    for (auto c : cases) EXPECT_EQ(frequencies(2, c.value), c.line) << std::hex << c.value;
}

// A change is made only with the register store held, and a ClkSet commit
// only over the value this run last read or wrote: otherwise the command
// fails with the errno and the registers stay exactly as they were (or as
// the other program left them).  ClkSet1 bits 28 to 31, in no field, read
// back as 0 whatever was stored, as a chip may have them.
TEST_F(ClkSet, ChangesNeedTheStoreAndAnUnchangedRegister) {
    struct {
        const char *cmds[3];
        int lockerr;          // holding the store fails with this
        uint32_t other;       // ClkSet1 written behind the run's back before the last command, or 0
        int status;           // of the last command
        uint32_t pwrcnt, clk; // the registers after
    } cases[] = {
        {{"usb=off"}, EAGAIN, 0, EAGAIN, 0x10030000, 0x02B49907},
        {{"irda=on"}, EACCES, 0, EACCES, 0x10030000, 0x02B49907},
        {{"clkset1.hclkdiv=2", "clkset1.write"}, EAGAIN, 0, EAGAIN, 0x10030000, 0x02B49907},
        {{"clkset1.hclkdiv=2", "clkset1.write"}, 0, 0, 0, 0x10030000, 0x02A49907},
        {{"clkset1.hclkdiv=2", "clkset1.write"}, 0, 0x02B89907, EBUSY, 0x10030000, 0x02B89907},
        // Written, then changed behind: the second commit is refused too.
        {{"clkset1.hclkdiv=2", "clkset1.write", "clkset1.write"},
         0,
         0x11111111,
         EBUSY,
         0x10030000,
         0x11111111},
        // Never read: a whole value is written as given.
        {{"clkset1=0x02A49907", "clkset1.write"}, 0, 0x02B89907, 0, 0x10030000, 0x02A49907},
        {{"clkset2.usbdiv=2", "clkset2.write"}, 0, 0, 0, 0x10030000, 0x02B49907},
        // Bits the chip does not keep are no other program's change.
        {{"clkset1=0xF2B49907", "clkset1.write", "clkset1.write"}, 0, 0, 0, 0x10030000, 0xF2B49907},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.cmds[0]);
        memboard_reset();
        restart();
        ASSERT_EQ(gpio_init(), 0);
        ASSERT_EQ(syscon_init(), 0);
        zeroreg = SYSCON_BASE + SYSCON_CLKSET1;
        zerobits = 0xF0000000;
        dummy = 0;
        memboard_lockerr = c.lockerr;
        int n = 0, status = 0;
        while (n < 3 && c.cmds[n]) n++;
        for (int i = 0; i < n; i++) {
            if (c.other && i == n - 1) clkset1reg() = c.other;
            status = run(c.cmds[i]);
        }
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(pwrcnt(), c.pwrcnt);
        EXPECT_EQ(clkset1reg(), c.clk);
    }
    iotrace_clear();
}

// A caller may pass no parameter or no value at all: a null text is taken
// as an empty one, with the same report and status.
TEST_F(ClkSet, AbsentParameterOrValueIsEmpty) {
    struct {
        const char *param, *value;
    } cases[] = {{nullptr, nullptr}, {nullptr, "0x02A49907"}, {"hclkdiv", nullptr},
                 {nullptr, ""},      {"", nullptr},           {"write", nullptr}};
    for (auto c : cases) {
        for (auto fn : {doclkset1, doclkset2}) {
            SCOPED_TRACE(std::string(c.param ? c.param : "(null)") + "=" +
                         (c.value ? c.value : "(null)"));
            restart();
            int status = fn(c.param, c.value);
            std::string out = report();
            restart();
            EXPECT_EQ(fn(c.param ? c.param : "", c.value ? c.value : ""), status);
            EXPECT_EQ(report(), out);
        }
    }
}
