// Fuzz target: getint on arbitrary text.
//
// Besides crashes and undefined behaviour: a refused value returns 22 and
// leaves the result as it was; an accepted value reads back the same when
// written out in hexadecimal, unsigned decimal and binary, the forms a
// saved report and a user type.
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
    stderr = sink;
    return 0;
}

static void fail(const char *what, const char *text) {
    fprintf(fdopen(2, "w"), "getint: %s: \"%s\"\n", what, text);
    abort();
}

static void readsback(const char *form, int32_t v) {
    int32_t w = ~v;
    if (getint(form, &w) != 0 || w != v) fail("does not read back", form);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    char *s = (char *)malloc(size + 1);
    if (size) memcpy(s, data, size);
    s[size] = 0;
    fout = sink;

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
    free(s);
    return 0;
}
