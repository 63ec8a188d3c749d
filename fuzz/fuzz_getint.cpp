// Fuzz target: getint on arbitrary text.
//
// Besides crashes and undefined behaviour: a refused value returns 22 and
// leaves the result as it was; an accepted value reads back the same when
// written out in hexadecimal, unsigned decimal and binary, the forms a
// saved report and a user type; and a plain unsigned number (decimal, 0x
// or 0b, blanks around it) is taken exactly when it fits 32 bits, never
// saturated or cut to a different value.
#include "zorl.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static FILE *sink;

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // "number expected" messages go nowhere; see fuzz_line.cpp.
    sink = fopen("/dev/null", "w");
    if (!sink) abort();
    lineopen(stdline(2), fileno(sink));
    setreport(sink);
    return 0;
}

static void fail(const char *what, const char *text) {
    dprintf(2, "getint: %s: \"%s\"\n", what, text);
    abort();
}

// The value of a plain unsigned number, read independently of getint:
// blanks, decimal digits or 0x and hexadecimal digits or 0b and binary
// digits, blanks.  Values above 2^33 read as 2^33.  False for other text.
static bool plain(const char *s, uint64_t *value) {
    auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (blank(*s)) s++;
    unsigned base = 10;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        base = 16, s += 2;
    else if (s[0] == '0' && (s[1] == 'b' || s[1] == 'B'))
        base = 2, s += 2;
    uint64_t v = 0;
    int digits = 0;
    for (;; s++, digits++) {
        unsigned d = *s >= '0' && *s <= '9'   ? (unsigned)(*s - '0')
                     : *s >= 'a' && *s <= 'f' ? (unsigned)(*s - 'a' + 10)
                     : *s >= 'A' && *s <= 'F' ? (unsigned)(*s - 'A' + 10)
                                              : 99;
        if (d >= base) break;
        v = v * base + d;
        if (v > (1ull << 33)) v = 1ull << 33;
    }
    while (blank(*s)) s++;
    if (!digits || *s) return false;
    *value = v;
    return true;
}

static void readsback(const char *form, int32_t v) {
    int32_t w = ~v;
    if (getint(form, &w) != 0 || w != v) fail("does not read back", form);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    char *s = (char *)malloc(size + 1);
    if (size) memcpy(s, data, size);
    s[size] = 0;

    const int32_t untouched = 0x5A5A5A5A;
    int32_t v = untouched;
    int r = getint(s, &v);
    if (r != 0) {
        if (r != EINVAL) fail("status other than 22", s);
        if (v != untouched) fail("result changed by a refused value", s);
    } else {
        char form[40];
        uint32_t u = (uint32_t)v;
        snprintf(form, sizeof form, "0x%X", (unsigned)u);
        readsback(form, v);
        snprintf(form, sizeof form, " %u ", (unsigned)u);
        readsback(form, v);
        char *p = form + snprintf(form, sizeof form, "0b");
        for (int bit = 31; bit >= 0; bit--) *p++ = (char)('0' + ((u >> bit) & 1));
        *p = 0;
        readsback(form, v);
    }
    uint64_t n;
    if (plain(s, &n)) {
        if (n <= UINT32_MAX && (r != 0 || (uint32_t)v != n)) fail("misread", s);
        if (n > UINT32_MAX && r == 0) fail("wider than 32 bits, yet accepted", s);
    }
    free(s);
    return 0;
}
