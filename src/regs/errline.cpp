#include "errline.h"

#include <stdio.h>
#include <string.h>

const char *sys = "zorl";

void setprogname(const char *argv0) {
    if (!argv0 || !*argv0) return;
    const char *slash = strrchr(argv0, '/');
    sys = slash ? slash + 1 : argv0;
}

static char *put(char *p, char *end, const char *s, bool escape) {
    for (; *s && p < end; s++) {
        unsigned char c = (unsigned char)*s;
        if (!escape || (c >= 0x20 && c != 0x7F)) {
            *p++ = (char)c;
        } else if (end - p >= 4) {
            *p++ = '\\';
            *p++ = (char)('0' + (c >> 6));
            *p++ = (char)('0' + ((c >> 3) & 7));
            *p++ = (char)('0' + (c & 7));
        } else {
            break;
        }
    }
    return p;
}

size_t fmtmsg(char *buf, size_t size, const char *head, const char *text, const char *tail) {
    if (!size) return 0;
    char *end = buf + size - 1;
    char *p = put(put(put(buf, end, head, false), end, text, true), end, tail, false);
    *p = 0;
    return (size_t)(p - buf);
}

// Room for the longest text a program gives: a command line of 2047
// characters all escaped, or a path with a few words around it.
static char line[4 * 2048 + 4096 + 256];

void putmsg(const char *head, const char *text, const char *tail) {
    size_t n = fmtmsg(line, sizeof line, head, text, tail);
    fwrite(line, 1, n, stderr);
    fflush(stderr);
}

static void headof(char *head, size_t size, int code) {
    snprintf(head, size, "[%s] %s : ", sys, strerror(code));
}

size_t fmterrline(char *buf, size_t size, int code, const char *text) {
    char head[256];
    headof(head, sizeof head, code);
    return fmtmsg(buf, size, head, text, "\n");
}

void errline(int code, const char *text) {
    char head[256];
    headof(head, sizeof head, code);
    putmsg(head, text, "\n");
}
