// Value parsing: on/off words and numbers.
#include "zorl.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

// The program's state at start: the report stream is standard output.
class Values : public ::testing::Test {
  protected:
    void SetUp() override { zorlreset(); }
};

TEST_F(Values, OnOff) {
    struct {
        const char *text;
        int want;
    } cases[] = {{"on", 1},   {"ON", 1},   {"oN", 1},   {"off", 0}, {"Off", 0},
                 {"OFF", 0},  {"on ", -1}, {" on", -1}, {"o", -1},  {"", -1},
                 {"onn", -1}, {"1", -1},   {"true", -1}};
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
