// In-process test fixture: a freshly powered-on board in memory, the
// program's state at start, the report stream captured in a file, and
// the device accesses since start-up in iolog.
#ifndef ZORL_FIXTURE_H
#define ZORL_FIXTURE_H

#include "iotrace.h"
#include "memboard.h"
#include "zorl.h"
#include "zr6410io.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

class Board : public ::testing::Test {
  protected:
    FILE *rep = nullptr;

    void SetUp() override {
        memboard_reset();
        zorlreset();
        ASSERT_EQ(gpio_init(), 0);
        ASSERT_EQ(syscon_init(), 0);
        iotrace_clear();
        setreport(rep = tmpfile());
    }
    void TearDown() override {
        fclose(rep);
        setreport(stdout);
    }
    // The program's state at start again, with a new report; the board
    // stays as it is.
    void restart() {
        zorlreset();
        report();
        setreport(rep);
    }
    // The report written so far, and forget it.
    std::string report() {
        flushout();
        int fd = fileno(rep);
        std::string s((size_t)lseek(fd, 0, SEEK_END), 0);
        if (!s.empty() && pread(fd, &s[0], s.size(), 0) != (ssize_t)s.size()) s = "(unread)";
        EXPECT_EQ(ftruncate(fd, 0) | (int)lseek(fd, 0, SEEK_SET), 0);
        return s;
    }
    // Run one command as the dispatcher would.
    int run(const char *cmd) {
        std::string text(cmd);
        return docmd(&text[0]);
    }
    uint32_t &pwrcnt() { return *memboard_reg32(SYSCON_BASE + SYSCON_PWRCNT); }
    uint32_t &clkset1reg() { return *memboard_reg32(SYSCON_BASE + SYSCON_CLKSET1); }
    uint32_t &clkset2reg() { return *memboard_reg32(SYSCON_BASE + SYSCON_CLKSET2); }
    uint8_t &porth() { return *memboard_reg8(GPIO_BASE + GPIO_PHDR); }
    uint8_t &porthddr() { return *memboard_reg8(GPIO_BASE + GPIO_PHDDR); }
};

#endif
