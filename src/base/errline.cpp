#include "errline.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

const char *sys = "zorl";

void setprogname(const char *argv0) {
    if (!argv0 || !*argv0) return;
    const char *slash = strrchr(argv0, '/');
    sys = slash ? slash + 1 : argv0;
}

static void handover(msgline &m) {
    if (m.fd < 0) {
        fwrite(m.buf, 1, m.len, stderr);
    } else {
        // A message that cannot be written is lost; there is nowhere to say so.
        for (const char *p = m.buf, *end = m.buf + m.len; p < end;) {
            ssize_t w = write(m.fd, p, (size_t)(end - p));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) break;
            p += w;
        }
    }
    m.len = 0;
}

void msgbegin(msgline &m, int fd) {
    m.fd = fd;
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
    if (m.fd < 0) fflush(stderr);
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
