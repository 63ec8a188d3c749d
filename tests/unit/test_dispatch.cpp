// Splitting commands into keyword, parameter and value; dispatch by
// keyword; splitting lines into commands; reading logical lines.
#include "fixture.h"

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

using Dispatch = Board;

// What docmd saw (its -d trace), what it returned, and the text it left.
TEST_F(Dispatch, Splitting) {
    struct {
        const char *cmd;
        const char *trace;
        int status;
        std::string after; // the buffer afterwards, NULs included
    } cases[] = {
        {"usb=off", "cmd:usb  n=3  p=usb  p2=  s=off", 0, "usb=off"},
        {"  clkset1.pll1_ps=2", "cmd:  clkset1  n=7  p=clkset1  p2=pll1_ps  s=2", 0,
         "  clkset1.pll1_ps=2"},
        {"clkset1.foo", "cmd:clkset1  n=7  p=clkset1  p2=foo  s=", 0, "clkset1.foo"},
        {"clkset1", "cmd:clkset1  n=7  p=clkset1  p2=  s=", 0, "clkset1"},
        {"usb.x=on", "cmd:usb  n=3  p=usb  p2=x  s=on", 22, "usb.x=on"},
        // A '.' right after "keyword=" opens a parameter.
        {"usb=.on", "cmd:usb  n=3  p=usb  p2=on  s=", 22, std::string("usb\0.on", 7)},
        // A bare '=' is not put back.
        {"usb=", "cmd:usb  n=3  p=usb  p2=  s=", 0, std::string("usb\0", 4)},
        {"=on", "cmd:  n=0  p=  p2=  s=on", 38, "=on"},
        {".x", "cmd:  n=0  p=  p2=x  s=", 38, ".x"},
        {"dma.x", "cmd:dma  n=3  p=dma  p2=x  s=", 22, "dma.x"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.cmd);
        std::vector<char> text(c.cmd, c.cmd + strlen(c.cmd) + 1);
        debug = 1;
        testing::internal::CaptureStderr();
        int status = docmd(text.data());
        std::string err = testing::internal::GetCapturedStderr();
        debug = 0;
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(err.substr(0, err.find('\n')), c.trace);
        EXPECT_EQ(std::string(text.data(), c.after.size()), c.after);
    }
}

TEST_F(Dispatch, KeywordsAndTheirShortForms) {
    struct {
        const char *cmd;
        int status;
    } cases[] = {
        {"ether", 0},    {"ETHER=on", 0}, {"ethern", 0},        {"etherne", 0},
        {"ethernet", 0}, {"eth=on", 38},  {"ethernets=on", 38}, {"us=on", 38},
        {"usb1=on", 38}, {"USB", 0},      {"Write", 0},         {"CLKSET1", 0},
        {"clkset", 38},  {"chipi", 38},   {"chipid", 0},        {"dma", 0},
        {"dma=", 0},     {"irda", 0},     {"uart", 0},          {"clkset2", 0},
        {"foo=1", 38},   {"", 38},
    };
    for (auto c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(run(c.cmd), c.status) << c.cmd;
        testing::internal::GetCapturedStderr();
    }
}

TEST_F(Dispatch, FailureIsReportedOnceAgainstTheWholeCommand) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(run(" foo=1"), 38);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[zorl] Function not implemented :  foo=1\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(run("usb.x=on"), 22);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[zorl] Invalid argument : usb.x=on\n");
    EXPECT_EQ(report(), "");
}

// The commands docmdline hands to docmd, read from the -d trace.
static std::vector<std::string> commandsrun(const std::string &err) {
    std::vector<std::string> cmds;
    size_t at = 0;
    while ((at = err.find("cmd:", at)) != std::string::npos) {
        if (at == 0 || err[at - 1] == '\n') {
            size_t e = err.find("  n=", at);
            cmds.push_back(err.substr(at + 4, e - at - 4));
        }
        at += 4;
    }
    return cmds;
}

TEST_F(Dispatch, LineTokens) {
    struct {
        const char *line;
        std::vector<std::string> run; // keywords as traced (up to the first separator)
        int status;
    } cases[] = {
        {"usb ether  irda", {"usb", "ether", "irda"}, 0},
        {"'usb=off'", {"usb"}, 0},
        {"\"usb=off\"", {"usb"}, 0},
        {"(usb=off)", {"usb"}, 0},
        {"'usb=off'irda", {"usb", "irda"}, 0},
        {"ethernet=on usb=bad irda=on", {"ethernet", "usb"}, 22},
        {"usb=off #note", {"usb", "#note"}, 38},
        {"\\ \\usb", {"usb"}, 0}, // leading backslashes are skipped
        {"'usb", {"usb"}, 0},     // an unclosed quote runs to the end
        {"(usb", {"usb"}, 0},
        {"usb\\ x", {"usb\\ x"}, 38},               // a backslash protects the space
        {"usb\\", {"usb\\"}, 38},                   // ... and at the very end stays in the token
        {"'us\\'b'", {"us\\'b"}, 38},               // an escaped quote stays inside
        {"(clkset1.pll1_ps=(1))", {"clkset1"}, 22}, // nested parentheses belong to the token
        {"   ", {}, 0},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.line);
        std::string text(c.line);
        debug = 1;
        testing::internal::CaptureStderr();
        int status = docmdline(&text[0]);
        std::string err = testing::internal::GetCapturedStderr();
        debug = 0;
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(commandsrun(err), c.run);
        // Cut in place and put back: the line is whole again afterwards.
        EXPECT_EQ(text, c.line);
    }
}

// Logical lines from a stream: continuation, the last line without a
// newline, a continued line cut off by the end of input, over-long lines.
TEST(LogicalLines, Reading) {
    struct {
        std::string input;
        std::vector<std::string> lines; // "!long" and "!nul" for a refused line
        int enderr;
    } cases[] = {
        {"a\nb", {"a", "b"}, 0},
        {"ethernet=on \\\nusb=off\n", {"ethernet=on  usb=off"}, 0},
        {"a\\\n\\\nb\n", {"a  b"}, 0},
        {"a\\\n\nb\n", {"a ", "b"}, 0},
        // A continued last line is cut off by the end of input: refused,
        // not run, and the end of input follows.
        {"a\nb \\\n", {"a", "!cut"}, 0},
        {"a\nb \\", {"a", "!cut"}, 0},
        {"a\\\n\\\n", {"!cut"}, 0},
        {std::string(3000, 'x') + "\\\n", {"!long"}, 0},
        {std::string("a\0\\\n", 4), {"!nul"}, 0},
        {"\n\n", {"", ""}, 0},
        {std::string(2047, 'x') + "\nok\n", {std::string(2047, 'x'), "ok"}, 0},
        {std::string(2048, 'x') + "\nok\n", {"!long", "ok"}, 0},
        {std::string(2047, 'x'), {std::string(2047, 'x')}, 0},
        {std::string(5000, 'x') + "\nok", {"!long", "ok"}, 0},
        // Made long by its continuations: nothing of it runs, not even the
        // following line that it continues into.
        {std::string(1500, 'x') + "\\\n" + std::string(1500, 'y') + "\\\nzzz\nok\n",
         {"!long", "ok"},
         0},
        {std::string("us\0b\nok\n", 8), {"!nul", "ok"}, 0},
        {std::string("a\\\n\0\nok\n", 7), {"!nul", "ok"}, 0},
        {std::string(2047, 'x') + std::string("\0\nok\n", 5), {"!long", "ok"}, 0},
        {std::string(2047, 'x') + "\\\n" + "more\nok\n", {"!long", "ok"}, 0},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.input.substr(0, 40));
        FILE *fp = fmemopen(&c.input[0], c.input.size(), "r");
        ASSERT_TRUE(fp);
        char buf[2048];
        std::vector<std::string> got;
        int err;
        while (char *p = getcmdline(buf, sizeof buf, fp, &err, 1))
            got.push_back(err == LINE_TOOLONG  ? "!long"
                          : err == LINE_NUL    ? "!nul"
                          : err == LINE_CUTOFF ? "!cut"
                                               : p);
        EXPECT_EQ(err, c.enderr);
        EXPECT_EQ(got, c.lines);
        fclose(fp);
    }
}

// A failed report write keeps its cause.  The report streams here are
// unbuffered or line-buffered, so the failing writes happen inside the
// printing calls and nothing is left for the last flush: a C library that
// keeps only the stream's error flag, as musl does, then offers no errno.
TEST_F(Board, ReportFailureKeepsItsCause) {
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    close(pipefd[0]); // no reader: every write fails with EPIPE
    void (*sigpipe)(int) = signal(SIGPIPE, SIG_IGN);
    struct {
        FILE *stream;
        int mode, err;
    } cases[] = {
        {fopen("/dev/full", "w"), _IONBF, ENOSPC},
        {fopen("/dev/full", "w"), _IOLBF, ENOSPC},
        {fdopen(pipefd[1], "w"), _IOLBF, EPIPE},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.err);
        ASSERT_TRUE(c.stream);
        restart();
        FILE *real = fout;
        fout = c.stream;
        setvbuf(fout, nullptr, c.mode, 0);
        run("chipid");
        run("usb");
        EXPECT_EQ(flushout(), c.err);
        fclose(fout);
        fout = real;
    }
    signal(SIGPIPE, sigpipe);
}
