#include "wholeline.h"

#include "fileid.h"

#include <errno.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

void lineopen(lineout *o, int fd) {
    struct stat st;
    o->fd = fd;
    o->file = fd >= 0 && !fstat(fd, &st) && S_ISREG(st.st_mode);
    o->peer = nullptr;
    o->err = o->left = 0;
    o->tail = 0;
    o->tailend = -1;
}

void linepair(lineout *a, lineout *b) {
    struct stat sa, sb;
    if (a != b && !fstat(a->fd, &sa) && !fstat(b->fd, &sb) && sameid(sa, sb)) {
        a->peer = b;
        b->peer = a;
    }
}

// The write just failed, having written k bytes, of which the last fresh
// are of a line not ended; old more bytes of that line were written by
// earlier calls.  Cut them off, if the file still ends where this writer's
// last write ended.
static int cutback(lineout *o, off_t k, off_t fresh, off_t old) {
    struct stat st;
    if (fstat(o->fd, &st)) return errno;
    off_t pos = lseek(o->fd, 0, SEEK_CUR);
    if (pos < 0) return errno;
    if (st.st_size != pos) return LEFT_APPENDED;
    // The earlier part only if nothing came between it and this call's
    // (standard error writing into the same file, say).
    if (old && pos - k != o->tailend) old = 0;
    return ftruncate(o->fd, pos - fresh - old) ? errno : 0;
}

int lineerr(const lineout *o) {
    return o->err ? o->err : o->peer ? o->peer->err : 0;
}

int lineput(lineout *o, const char *p, size_t n) {
    if ((o->err = lineerr(o))) return o->err;
    sigset_t all, was;
    if (o->file) {
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, &was);
    }
    off_t k = 0, fresh = 0;
    bool ended = false; // a newline among the k bytes
    while (n) {
        ssize_t w = write(o->fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            o->err = w < 0 ? errno : EIO;
            off_t old = ended ? 0 : o->tail;
            if (o->file && (fresh || old)) o->left = cutback(o, k, fresh, old);
            break;
        }
        const char *nl = (const char *)memrchr(p, '\n', (size_t)w);
        if (nl) ended = true;
        fresh = nl ? p + w - nl - 1 : fresh + w;
        k += w;
        p += w;
        n -= (size_t)w;
    }
    if (!o->err) {
        o->tail = ended ? fresh : o->tail + fresh;
        // Where a line is left open (a prompt), where it ends: whether
        // what follows it is still next to it is known by that.
        if (o->tail && o->file) o->tailend = lseek(o->fd, 0, SEEK_CUR);
    }
    if (o->file) sigprocmask(SIG_SETMASK, &was, nullptr);
    return o->err;
}
