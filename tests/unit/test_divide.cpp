// Division without a divide instruction (the ARM build's division helpers).
//
// The results are checked against known quotients and against the
// definition of division (q * d + r == n, with the remainder smaller than
// the divisor and of the dividend's sign), never against the / operator:
// in the ARM build / itself calls these routines.
#include "divide.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>

TEST(Divide, UnsignedKnownQuotients) {
    struct {
        uint32_t n, d, q, r;
    } cases[] = {
        {0, 1, 0, 0},
        {1, 1, 1, 0},
        {7, 2, 3, 1},
        {100, 7, 14, 2},
        {6, 7, 0, 6},
        {9216250, 48, 192005, 10}, // PLL2 of a powered-on board
        {331785, 5, 66357, 0},     // Hclk of a powered-on board
        {UINT32_MAX, 1, UINT32_MAX, 0},
        {UINT32_MAX, 2, 0x7FFFFFFF, 1},
        {UINT32_MAX, 10, 429496729, 5},
        {UINT32_MAX, UINT32_MAX, 1, 0},
        {UINT32_MAX - 1, UINT32_MAX, 0, UINT32_MAX - 1},
        {0x80000000, 0x80000000, 1, 0},
        {UINT32_MAX, 0x80000001, 1, 0x7FFFFFFE}, // divisor with its top bit set
        {0x80000000, 0x40000000, 2, 0},
        {0x12345678, 0x1000, 0x12345, 0x678},
    };
    for (auto c : cases) {
        uint32_t r = 12345;
        EXPECT_EQ(udivmod32(c.n, c.d, &r), c.q) << c.n << " / " << c.d;
        EXPECT_EQ(r, c.r) << c.n << " % " << c.d;
    }
}

TEST(Divide, SignedKnownQuotients) {
    struct {
        int32_t n, d, q, r;
    } cases[] = {
        {7, 2, 3, 1},
        {-7, 2, -3, -1}, // truncation toward zero, remainder of the dividend's sign
        {7, -2, -3, 1},
        {-7, -2, 3, -1},
        {0, -5, 0, 0},
        {-1, 1, -1, 0},
        {INT_MAX, 1, INT_MAX, 0},
        {INT_MAX, -1, -INT_MAX, 0},
        {INT_MIN, 1, INT_MIN, 0},
        {INT_MIN, -1, INT_MIN, 0}, // wraps, as a divide instruction does
        {INT_MIN, 2, INT_MIN / 2, 0},
        {INT_MIN, INT_MIN, 1, 0},
        {INT_MIN, INT_MAX, -1, -1},
        {INT_MAX, INT_MIN, 0, INT_MAX},
        {-1, INT_MIN, 0, -1},
    };
    for (auto c : cases) {
        int32_t r = 12345;
        EXPECT_EQ(sdivmod32(c.n, c.d, &r), c.q) << c.n << " / " << c.d;
        EXPECT_EQ(r, c.r) << c.n << " % " << c.d;
    }
}

// Operands of every magnitude, from a fixed pseudo-random sequence.
static uint32_t next(uint32_t *s) {
    *s ^= *s << 13;
    *s ^= *s >> 17;
    *s ^= *s << 5;
    return *s >> (*s & 31); // a random number of significant bits
}

TEST(Divide, UnsignedDefinition) {
    uint32_t s = 2463534242u;
    for (int i = 0; i < 200000; i++) {
        uint32_t n = next(&s), d = next(&s);
        if (!d) continue;
        uint32_t r;
        uint32_t q = udivmod32(n, d, &r);
        ASSERT_LT(r, d) << n << " / " << d;
        ASSERT_EQ((uint64_t)q * d + r, n) << n << " / " << d;
#if !defined(__arm__)
        ASSERT_EQ(q, n / d); // the host's divide instruction agrees
#endif
    }
}

TEST(Divide, SignedDefinition) {
    uint32_t s = 88172645u;
    for (int i = 0; i < 200000; i++) {
        int32_t n = (int32_t)(next(&s) ^ (s & 0x80000000u)), d = (int32_t)next(&s);
        if (s & 1) d = -d;
        if (!d || (n == INT_MIN && d == -1)) continue;
        int32_t r;
        int32_t q = sdivmod32(n, d, &r);
        ASSERT_EQ((int64_t)q * d + r, n) << n << " / " << d;
        ASSERT_LT(r < 0 ? -(int64_t)r : r, d < 0 ? -(int64_t)d : d) << n << " / " << d;
        ASSERT_TRUE(r == 0 || (r < 0) == (n < 0)) << n << " % " << d;
#if !defined(__arm__)
        ASSERT_EQ(q, n / d);
#endif
    }
}

#if defined(__arm__)
// The ARM EABI entry points the compiler calls, as the compiler calls them:
// the divmod helpers return the quotient in r0 and the remainder in r1.
extern "C" uint32_t __aeabi_uidiv(uint32_t, uint32_t);
extern "C" uint64_t __aeabi_uidivmod(uint32_t, uint32_t);
extern "C" int32_t __aeabi_idiv(int32_t, int32_t);
extern "C" uint64_t __aeabi_idivmod(int32_t, int32_t);

TEST(Divide, EabiHelpers) {
    EXPECT_EQ(__aeabi_uidiv(UINT32_MAX, 10), 429496729u);
    EXPECT_EQ(__aeabi_uidivmod(UINT32_MAX, 10), (uint64_t)5 << 32 | 429496729u);
    EXPECT_EQ(__aeabi_idiv(-7, 2), -3);
    EXPECT_EQ(__aeabi_idivmod(-7, 2), (uint64_t)(uint32_t)-1 << 32 | (uint32_t)-3);
    // The / and % operators reach them.
    volatile int32_t n = -9216250, d = 48;
    EXPECT_EQ(n / d, -192005);
    EXPECT_EQ(n % d, -10);
    volatile uint32_t un = 0xFFFFFFF0u, ud = 3;
    EXPECT_EQ(un / ud, 0x55555550u);
    EXPECT_EQ(un % ud, 0u);
}

TEST(Divide, DivisionByZeroRaisesSigfpe) {
    // As libgcc's helpers do on Linux.
    EXPECT_EXIT(__aeabi_uidiv(1, 0), ::testing::KilledBySignal(SIGFPE), "");
    EXPECT_EXIT(__aeabi_idivmod(-1, 0), ::testing::KilledBySignal(SIGFPE), "");
}
#endif
