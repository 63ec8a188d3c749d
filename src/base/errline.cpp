#include "errline.h"

#include <stdio.h>
#include <string.h>

const char *sys = "zorl";

void setprogname(const char *argv0) {
    if (!argv0 || !*argv0) return;
    const char *slash = strrchr(argv0, '/');
    sys = slash ? slash + 1 : argv0;
}

lineout *errwriter(void) {
    static lineout out = {-1, false, nullptr, 0, 0, 0, -1};
    int fd = fileno(stderr);
    if (fd != out.fd) lineopen(&out, fd);
    return &out;
}

// A message that cannot be written is lost; there is nowhere to say so.
static void handover(msgline &m) {
    if (m.out->fd < 0)
        fwrite(m.buf, 1, m.len, stderr);
    else
        lineput(m.out, m.buf, m.len);
    m.len = 0;
}

void msgbegin(msgline &m, int fd) {
    if (fd >= 0) lineopen(&m.own, fd);
    m.out = fd >= 0 ? &m.own : errwriter();
    m.len = 0;
}

// One byte, or its escape; the buffer is handed over when an escape might
// not fit, so an escape is never split.
static void put(msgline &m, unsigned char c, bool escape) {
    if (sizeof m.buf - m.len < 4) handover(m);
    if (!escape || (c >= 0x20 && c != 0x7F)) {
        m.buf[m.len++] = (char)c;
        return;
    }
    m.buf[m.len++] = '\\';
    m.buf[m.len++] = (char)('0' + (c >> 6));
    m.buf[m.len++] = (char)('0' + ((c >> 3) & 7));
    m.buf[m.len++] = (char)('0' + (c & 7));
}

void msgraw(msgline &m, const char *s) {
    while (*s) put(m, (unsigned char)*s++, false);
}

void msgesc(msgline &m, const char *s) {
    while (*s) put(m, (unsigned char)*s++, true);
}

void msgdec(msgline &m, long v) {
    char digits[24];
    snprintf(digits, sizeof digits, "%ld", v);
    msgraw(m, digits);
}

void msgend(msgline &m) {
    handover(m);
    if (m.out->fd < 0) fflush(stderr);
}

void msghead(msgline &m, const char *what) {
    msgraw(m, "[");
    msgraw(m, sys);
    msgraw(m, "] ");
    msgraw(m, what);
    msgraw(m, " : ");
}

void putmsg(const char *head, const char *text, const char *tail) {
    msgline m;
    msgbegin(m);
    msgraw(m, head);
    msgesc(m, text);
    msgraw(m, tail);
    msgend(m);
}

void errpath(int fd, const char *message, const char *path, const char *what) {
    msgline m;
    msgbegin(m, fd);
    msghead(m, message);
    msgesc(m, path);
    if (what) {
        msgraw(m, ": ");
        msgraw(m, what);
    }
    msgraw(m, "\n");
    msgend(m);
}

void errline(int code, const char *text) {
    errpath(-1, strerror(code), text, nullptr);
}
