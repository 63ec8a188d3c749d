#include "cpuinfo.h"

#include <string.h>

void cpuscan_start(cpuscan *s) {
    s->len = 0;
    s->arm920t = 0;
    s->others = 0;
}

static bool blank(char c) {
    return c == ' ' || c == '\t';
}

// The line just ended: is it a "CPU part" line, and for which core?
static void cpuscan_line(cpuscan *s) {
    static const char key[] = "CPU part", part[] = "0x920";
    const size_t klen = sizeof key - 1, plen = sizeof part - 1;
    if (s->len < klen || memcmp(s->line, key, klen)) return;
    if (s->len > sizeof s->line) { // longer than any the kernel writes
        s->others++;
        return;
    }
    const char *p = s->line + klen, *end = s->line + s->len;
    while (p < end && blank(*p)) p++;
    if (p == end || *p != ':') return; // "CPU parts", say: not this key
    p++;
    while (p < end && blank(*p)) p++;
    // The kernel writes 0x920; 0X920 is the same number.
    if (end - p < (ptrdiff_t)plen || p[0] != '0' || (p[1] | 0x20) != 'x' ||
        memcmp(p + 2, part + 2, plen - 2)) {
        s->others++;
        return;
    }
    for (p += plen; p < end; p++) {
        if (!blank(*p)) { // 0x9200, 0x920a: another part
            s->others++;
            return;
        }
    }
    s->arm920t++;
}

void cpuscan_feed(cpuscan *s, const char *text, size_t n) {
    for (size_t i = 0; i < n; i++) {
        if (text[i] == '\n') {
            cpuscan_line(s);
            s->len = 0;
            continue;
        }
        if (s->len < sizeof s->line) s->line[s->len] = text[i];
        if (s->len <= sizeof s->line) s->len++; // one past: cut short
    }
}

bool cpuscan_done(cpuscan *s) {
    if (s->len) cpuscan_line(s); // a last line without its newline
    s->len = 0;
    return s->arm920t > 0 && s->others == 0;
}
