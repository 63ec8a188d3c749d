// The start-up guard: a standard stream closed at start, and its names.
#include "stdguard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// A stream closed at start is known by every name that leads to it, however
// spelt; a name of an open stream, or of anything else, is none.  Each in
// a child started with the stream closed, parked by stdguard as in the
// programs; its exit status is what closedstream says, plus one.
TEST(ClosedStream, EverySpellingOfAStreamClosedAtStart) {
    char dir[] = "/tmp/zorl-std-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    std::string d = dir;
    const char *std[] = {"stdin", "stdout", "stderr"};
    // A name of stream N (%d its number, %s its name in /dev, D the test's
    // folder), and the folder it is taken from; one without N leads to none.
    const char *rows[][2] = {{"/dev/%s", "/"},           {"/dev/fd/%d", "/"},
                             {"/dev//fd/%d", "/"},       {"/dev/fd/./%d", "/"},
                             {"/dev/../dev/fd/%d", "/"}, {"/proc/self/fd/%d", "/"},
                             {"//proc/self/fd/%d", "/"}, {"/proc/thread-self/fd/%d", "/"},
                             {"fd/%d", "/dev"},          {"self/fd/%d", "/proc"},
                             {"D/d%d/rel", "/"}, // -> abs -> /dev//fd/N
                             {"d%d/../d%d/abs", "D"},    {"/dev/null", "/"}};
    auto spell = [&](std::string s, int fd) {
        const std::string subs[][2] = {{"%d", std::to_string(fd)}, {"%s", std[fd]}, {"D", d}};
        for (auto &[from, to] : subs)
            for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
                s.replace(at, from.size(), to);
        return s;
    };
    for (int fd = 0; fd < 3; fd++) {
        std::string sub = spell("D/d%d", fd), abs = sub + "/abs";
        ASSERT_EQ(mkdir(sub.c_str(), 0700) |
                      symlink(spell("/dev//fd/%d", fd).c_str(), abs.c_str()) |
                      symlink("abs", (sub + "/rel").c_str()),
                  0);
    }
    for (int closed = 0; closed < 3; closed++)
        for (auto &r : rows)
            for (int fd = 0; fd < 3; fd++) {
                pid_t pid = fork();
                if (pid == 0) {
                    close(closed);
                    bool parked = stdguard() == 1 << closed && !chdir(spell(r[1], fd).c_str());
                    _exit(parked ? closedstream(spell(r[0], fd).c_str()) + 1 : 99);
                }
                int status;
                ASSERT_EQ(waitpid(pid, &status, 0), pid);
                EXPECT_EQ(WEXITSTATUS(status), strchr(r[0], '%') && fd == closed ? closed + 1 : 0)
                    << spell(r[0], fd) << " from " << spell(r[1], fd) << ", " << closed
                    << " closed";
            }
    EXPECT_EQ(system(("rm -r " + d).c_str()), 0);
}
