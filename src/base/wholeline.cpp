#include "wholeline.h"

#include "fileid.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

static const char *storename;

// What LOOP_GET_STATUS64 fills in (linux/loop.h, whose layout is the
// kernel's ABI): the device and inode of the loop device's backing file
// come first.
struct loopinfo {
    uint64_t device, inode, rdevice, offset, sizelimit;
    uint32_t number, encrypttype, keysize, flags;
    uint8_t filename[64], cryptname[64], key[32];
    uint64_t init[2];
};
constexpr unsigned long LOOP_STATUS64 = 0x4C05;

// Is what fd writes to the file store: that file, or a loop device backed
// by it?
static bool backs(int fd, const struct stat &store) {
    struct stat st;
    if (fstat(fd, &st)) return false;
    if (sameid(st, store)) return true;
    loopinfo lo = {};
    // ioctl by its number: musl's converts the structures of other
    // requests, at the cost of half a kilobyte of code.
    return S_ISBLK(st.st_mode) && !syscall(SYS_ioctl, fd, LOOP_STATUS64, &lo) &&
           lo.device == (uint64_t)store.st_dev && lo.inode == (uint64_t)store.st_ino;
}

void lineopen(lineout *o, int fd) {
    struct stat st, store;
    bool ok = !fstat(fd, &st);
    o->fd = fd;
    o->kind = !ok                                                             ? LINE_OTHER
              : storename && !statpath(storename, &store) && backs(fd, store) ? LINE_STORE
              : S_ISREG(st.st_mode)                                           ? LINE_FILE
              : S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)                  ? LINE_PIPE
                                                                              : LINE_OTHER;
    o->chunk = ok && S_ISSOCK(st.st_mode) ? SOCKWRITE : ONEWRITE;
    o->size0 = ok ? st.st_size : 0;
    o->peer = nullptr;
    o->err = o->left = 0;
    o->tail = 0;
    o->tailend = -1;
}

static lineout stdwriters[2];
static bool stdopen;

lineout *stdline(int fd) {
    if (!stdopen) {
        lineopen(&stdwriters[0], 1);
        lineopen(&stdwriters[1], 2);
        linepair(&stdwriters[0], &stdwriters[1]); // 2>&1
        stdopen = true;
    }
    return &stdwriters[fd == 2];
}

int linestore(const char *store) {
    storename = store;
    stdopen = false;
    int which = 0;
    for (int fd = 1; fd <= 2; fd++)
        if (stdline(fd)->kind == LINE_STORE) which |= 1 << fd;
    return which;
}

int linestorefd(int storefd) {
    struct stat st;
    int which = 0;
    if (fstat(storefd, &st)) return 0;
    for (int fd = 1; fd <= 2; fd++) {
        if (!backs(fd, st)) continue;
        stdline(fd)->kind = LINE_STORE;
        which |= 1 << fd;
    }
    return which;
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
    if (st.st_size != pos) return pos < o->size0 ? LEFT_OLDTEXT : LEFT_APPENDED;
    // The earlier part only if nothing came between it and this call's
    // (standard error writing into the same file, say).
    if (old && pos - k != o->tailend) old = 0;
    return ftruncate(o->fd, pos - fresh - old) ? errno : 0;
}

int lineerr(const lineout *o) {
    return o->err ? o->err : o->peer ? o->peer->err : 0;
}

// The last newline of the n bytes at p, or a null pointer (memrchr, which
// costs the dynamic board program an import).
static const char *lastnl(const char *p, size_t n) {
    while (n--)
        if (p[n] == '\n') return p + n;
    return nullptr;
}

// How much of the n bytes at p one write takes: all of them when they fit
// one write (whole lines, or the prompt, which ends none), else for a pipe
// up to the last line end within one write's worth (a longer line, in
// pieces of that worth).
static size_t onewrite(const lineout *o, const char *p, size_t n) {
    if (o->kind != LINE_PIPE || n <= o->chunk) return n;
    const char *nl = lastnl(p, o->chunk);
    return nl ? (size_t)(nl - p) + 1 : o->chunk;
}

int lineput(lineout *o, const char *p, size_t n) {
    if ((o->err = lineerr(o))) return o->err;
    if (o->kind == LINE_STORE) return o->err = EINVAL;
    bool file = o->kind == LINE_FILE;
    sigset_t all, was;
    if (file) {
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, &was);
    }
    off_t k = 0, fresh = 0;
    bool ended = false; // a newline among the k bytes
    while (n) {
        ssize_t w = write(o->fd, p, onewrite(o, p, n));
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno == EAGAIN) {
            // Left non-blocking by another program: wait until it takes
            // more, as a blocking stream would.
            struct pollfd ready = {o->fd, POLLOUT, 0};
            poll(&ready, 1, -1);
            continue;
        }
        if (w <= 0) {
            o->err = w < 0 ? errno : EIO;
            off_t old = ended ? 0 : o->tail;
            if (file && (fresh || old)) o->left = cutback(o, k, fresh, old);
            break;
        }
        const char *nl = lastnl(p, (size_t)w);
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
        if (o->tail && file) o->tailend = lseek(o->fd, 0, SEEK_CUR);
    }
    if (file) sigprocmask(SIG_SETMASK, &was, nullptr);
    return o->err;
}
