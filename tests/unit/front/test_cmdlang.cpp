// The command language: value parsing (on/off words and numbers);
// splitting commands into keyword, parameter and value; dispatch by
// keyword; splitting lines into commands; reading logical lines.
#include "fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

// The program's state at start: the report stream is standard output.
class Values : public ::testing::Test {
  protected:
    void SetUp() override { zorlreset(); }
};

TEST_F(Values, OnOff) {
    struct {
        const char *text;
        int want;
    } cases[] = {{"on", 1},   {"ON", 1},   {"oN", 1},    {"off", 0}, {"Off", 0},
                 {"OFF", 0},  {"on ", -1}, {" on", -1},  {"o", -1},  {"", -1},
                 {"onn", -1}, {"1", -1},   {"true", -1}, {"0x1", -1}};
    for (auto c : cases) EXPECT_EQ(chkonoff(c.text), c.want) << '"' << c.text << '"';
}

TEST_F(Values, NumbersAccepted) {
    struct {
        const char *text;
        int32_t want;
    } cases[] = {
        {"12", 12},
        {" 12\t", 12},
        {"0", 0},
        {"0 ", 0},
        {"007", 7},
        {"010", 10}, // never octal
        {"0x1F", 31},
        {"0X1f", 31},
        {"0b101", 5},
        {"0B11", 3},
        {"0b", 0},
        {"0x", 0},
        {"0x-1", -1},
        {"0x 5", 5},
        {"0x0x1F", 31}, // strtoll takes a second 0x in every C library
        {"on", 1},
        {"OFF", 0},
        {" on", 1},
        // 32-bit patterns are kept bit for bit.
        {"0x80000000", INT32_MIN},
        {"0xFFFFFFFF", -1},
        {"4294967295", -1},
        {"2147483648", INT32_MIN},
        {"0x82B49907", (int32_t)0x82B49907u},
        {"0x-80000000", INT32_MIN},
    };
    for (auto c : cases) {
        int32_t v = 12345;
        EXPECT_EQ(getint(c.text, &v), 0) << '"' << c.text << '"';
        EXPECT_EQ(v, c.want) << '"' << c.text << '"';
    }
}

TEST_F(Values, NumbersRefused) {
    const char *cases[] = {"",
                           "x1F",
                           "1F",
                           "12abc",
                           "0q",
                           "-5",
                           "on ",
                           "0x-",
                           "1 2",
                           "4294967296",
                           "0x100000000",
                           "0x-80000001",
                           "99999999999999999999999",
                           "0b2",
                           "0b0b101", // a second 0b, whatever the C library's strtoll makes of it
                           "0b -0B1",
                           "+5"};
    for (const char *text : cases) {
        int32_t v = 12345;
        testing::internal::CaptureStderr();
        EXPECT_EQ(getint(text, &v), 22) << '"' << text << '"';
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("\"") + text + "\" number expected\n");
        EXPECT_EQ(v, 12345) << "result changed for \"" << text << '"';
    }
}

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
        {"ether", 0},     {"ETHER=on", 0}, {"ethern", 0},  {"etherne", 0},
        {"ethe", 38},     {"ethernet", 0}, {"eth=on", 38}, {"ethernets=on", 38},
        {"us=on", 38},    {"usb1=on", 38}, {"USB", 0},     {"Write", 0},
        {"CLKSET1", 0},   {"clkset", 38},  {"chipi", 38},  {"chipid", 0},
        {"dma", 0},       {"dma=", 0},     {"irda", 0},    {"uart", 0},
        {"clkset2", 0},   {"foo=1", 38},   {"", 38},       {"foo", 38},
        {"clkset=1", 38},
    };
    for (auto c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(run(c.cmd), c.status) << c.cmd;
        testing::internal::GetCapturedStderr();
    }
}

// ... as far as the buffer holds it: "usb=.on" is cut after its keyword.
TEST_F(Dispatch, FailureIsReportedOnceAgainstTheWholeCommand) {
    for (auto [cmd, status, err] : {std::tuple{" foo=1", 38, "Function not implemented :  foo=1"},
                                    {"usb.x=on", 22, "Invalid argument : usb.x=on"},
                                    {"usb=.on", 22, "Invalid argument : usb"}}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(run(cmd), status);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string("[zorl] ") + err + "\n");
    }
    EXPECT_EQ(report(), "");
}

// An error line of any length is written whole and ends its line, its
// escapes never split, wherever the pieces of its writing fall; the -d
// trace quotes the same way.
TEST_F(Dispatch, MessagesOfAnyLength) {
    for (size_t n : {11, 4050, 4059, 4060, 4061, 4062, 4095, 8150, 65539, 100000}) {
        std::string kw(n, 'b'), digits(n, '9'), cmd = "clkset1.hclkdiv=" + digits;
        testing::internal::CaptureStderr();
        EXPECT_EQ(run((kw + "\x1b").c_str()), 38);
        EXPECT_EQ(run(cmd.c_str()), 22);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "[zorl] Function not implemented : " + kw + "\\033\n\"" + digits +
                      "\" number expected\n[zorl] Invalid argument : " + cmd + "\n")
            << n;
    }
    debug = 1;
    testing::internal::CaptureStderr();
    run("\x1busb.\x07=\x7f");
    std::string trace = testing::internal::GetCapturedStderr();
    EXPECT_EQ(trace.substr(0, trace.find('\n') + 1),
              "cmd:\\033usb  n=4  p=\\033usb  p2=\\007  s=\\177\n");
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
        {"  'usb=off'  (irda)", {"usb", "irda"}, 0},
        {"'usb =off'", {"usb "}, 38}, // quotes keep a separator inside one command
        {"(usb=off)", {"usb"}, 0},
        {"'usb=off'irda", {"usb", "irda"}, 0},
        {"ethernet=on usb=bad irda=on", {"ethernet", "usb"}, 22},
        {"usb=off #note", {"usb", "#note"}, 38},
        {"\\ \\usb", {"usb"}, 0}, // leading backslashes are skipped
        {"'usb", {"usb"}, 0},     // an unclosed quote runs to the end
        {"(usb", {"usb"}, 0},
        {"usb\\ x", {"usb\\ x"}, 38},               // a backslash protects the space
        {"usb\\", {"usb\\"}, 38},                   // ... and at the very end stays in the token
        {"dma\\ ", {"dma\\ "}, 38},                 // the last character it escapes stays too
        {"(dma\\)", {"dma\\)"}, 38},                // ... inside parentheses as well
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

// A command source runs to its first failing line; an interactive one
// shows the write banner, prompts before each line and reads on after a
// failing one.  The status is that of the last line run.
TEST_F(Dispatch, CommandSources) {
    const std::string banner = "#\n# write disabled, changes will NOT be actioned.\nwrite=off\n";
    struct {
        std::string text;
        int interactive;
        std::string report;
        int status, prompts;
    } cases[] = {
        {"# a comment\n\n   \n\t# indented\nusb\n  # note\n  irda  \n#usb=bad\n", 0,
         "USB=on\nIRDA=off\n", 0, 0},
        {"usb\nfoo\nirda\n", 0, "USB=on\n", 38, 0},
        {"usb\n" + std::string(3000, 'x') + "\nirda\n", 0, "USB=on\n", 22, 0},
        {"usb\nfoo\nirda\n", 1, banner + "USB=on\nIRDA=off\n", 0, 4},
        {"irda\nfoo\n", 1, banner + "IRDA=off\n", 38, 3},
        {"foo\nusb\n\n# comment\n", 1, banner + "USB=on\n", 0, 5}, // blank lines count for nothing
        {std::string(3000, 'x') + "\nirda\n", 1, banner + "IRDA=off\n", 0, 3},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20) + (c.interactive ? " at a terminal" : ""));
        restart();
        FILE *fp = fmemopen(&c.text[0], c.text.size(), "r");
        ASSERT_TRUE(fp);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(runsource(fp, "src", c.interactive), c.status);
        testing::internal::GetCapturedStderr();
        std::string prompts;
        for (int i = 0; i < c.prompts; i++) prompts += "\nzorl> ";
        EXPECT_EQ(testing::internal::GetCapturedStdout(), prompts);
        EXPECT_EQ(report(), c.report);
        fclose(fp);
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
        {"usb=off \\\nirda=on\\\n\n", {"usb=off  irda=on "}, 0},
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
        char buf[CMDLINE_MAX + 1];
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
