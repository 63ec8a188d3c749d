// Values: on and off, and numbers, as every command takes them.  Below
// the dispatcher and the handlers, which call it; it calls nothing of
// theirs.
#include "zorl.h"

#include <errno.h>
#include <stdlib.h>

int chkonoff(const char *s) {
    if (samecase(s, "on")) return 1;
    if (samecase(s, "off")) return 0;
    return -1;
}

int getint(const char *s, int32_t *result) {
    const char *p = skipspace(s);
    int32_t v;
    if (isdig(*p)) {
        // A leading 0 selects the base by the letter after it and never
        // octal: 010 is ten, 0x10 sixteen, 0b10 two, a lone 0 is zero.
        int base = 10;
        if (*p == '0') {
            p++;
            if (isdig(*p))
                base = 10;
            else if (*p == 'x' || *p == 'X')
                base = 16, p++;
            else if (*p == 'b' || *p == 'B')
                base = 2, p++;
            else
                base = 0;
        }
        long long n = 0;
        if (base == 2) {
            // A second 0b ("0b0b101") is taken by strtoll in C libraries that
            // follow C23 and ends the number at the b in older ones: refused
            // here, whichever C library the program is built with.
            const char *q = skipspace(p);
            if (*q == '+' || *q == '-') q++;
            if (q[0] == '0' && (q[1] == 'b' || q[1] == 'B')) goto bad;
        }
        if (base) {
            char *end;
            errno = 0;
            n = strtoll(p, &end, base);
            if (errno == ERANGE) goto bad;
            p = end;
        }
        // A register value is a 32-bit pattern: anything from -2^31 to
        // 2^32 - 1 is taken bit for bit, a wider number is refused rather
        // than silently turned into a different one.
        if (*skipspace(p) || n < INT32_MIN || n > (long long)UINT32_MAX) goto bad;
        v = (int32_t)(uint32_t)n;
    } else {
        v = chkonoff(p);
        if (v < 0) goto bad;
    }
    *result = v;
    return 0;
bad:
    flushout();
    putmsg("\"", s, "\" number expected\n");
    return EINVAL;
}
