#include "errline.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

const char *sys = "zorl";

void setprogname(const char *argv0, const char *own) {
    const char *slash = argv0 ? strrchr(argv0, '/') : nullptr;
    sys = slash ? slash + 1 : argv0;
    if (!sys || !*sys) sys = own;
}

// A message that cannot be written is lost; there is nowhere to say so.
static void handover(msgline &m) {
    lineput(m.out, m.buf, m.len);
    m.len = 0;
}

void msgbegin(msgline &m, lineout *out) {
    m.out = out ? out : stdline(2);
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
}

void msghead(msgline &m, const char *what) {
    msgraw(m, "[");
    msgesc(m, sys);
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

void errpath(lineout *out, const char *message, const char *path, const char *what) {
    msgline m;
    msgbegin(m, out);
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
    errpath(nullptr, strerror(code), text, nullptr);
}

void errstore(const char *name, const char *store) {
    msgline m;
    msgbegin(m);
    msghead(m, strerror(EINVAL));
    msgesc(m, name);
    msgraw(m, ": would write into the register store ");
    msgesc(m, store);
    msgraw(m, ", nothing run\n");
    msgend(m);
}

static bool refused(int which, const char *store) {
    if (which == 1 << 1) errstore("stdout", store);
    return which != 0;
}

bool storegate(const char *store) {
    return refused(linestore(store), store);
}

bool storegatefd(const char *store, int fd) {
    return refused(linestorefd(fd), store);
}
