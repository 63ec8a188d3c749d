// The report stream and the error reporter: where every report line and
// every diagnostic goes, and how a failure of either shows in the status.
#include "zorl.h"

#include "zr6410io.h"

#include <errno.h>
#include <limits.h>
#include <stdarg.h>
#include <string.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char *outfile;
FILE *fout;
int outerr;

// ---- Error reporting and the report stream -----------------------------

// The report stream is flushed wherever its order against anything else
// could be seen: before a line goes to standard error, before a register is
// written (so the report up to a store that hangs the board has left the
// process), before a command is read from a terminal or pipe, and at exit.
// In between it is left to buffer, so that a long command file does not
// cost a write per command.
//
// A failed write keeps its errno, taken right where the write failed: a C
// library may keep no more than the stream's error flag (musl does), and by
// the next flush the cause would be lost.  Only the first failure counts;
// the run goes on to its end either way, and exits with it.
void outfailed(void) {
    if (!outerr) outerr = errno ? errno : EIO;
}

int flushout(void) {
    if (fflush(fout) != 0)
        outfailed();
    else if (ferror(fout) && !outerr)
        outerr = EIO;
    return outerr;
}

// Every report line goes out through these three, which check the result of
// the write itself: no call beyond the write, however long the replay.
void rpt(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    if (vfprintf(fout, fmt, ap) < 0) outfailed();
    va_end(ap);
}

void rpts(const char *s) {
    if (fputs(s, fout) == EOF) outfailed();
}

void rptw(const char *p, size_t n) {
    if (fwrite(p, 1, n, fout) != n) outfailed();
}

// The end of the report: its last bytes out, and a -o file closed, which
// can fail too (a file system may report a lost write only then).
int endreport(void) {
    flushout();
    if (fout != stdout) {
        if (fclose(fout)) outfailed();
        fout = stdout;
    }
    return outerr;
}

// Standard error, for a diagnostic that must follow the report so far.
FILE *diag(void) {
    flushout();
    return stderr;
}

int err_rpt(int code, const char *text) {
    code = (int16_t)code;
    if (code) {
        flushout();
        errline(code, text);
    }
    return code;
}

// ---- Where the report goes ---------------------------------------------------

// Open the -o file to append to, as fopen's "a" would; *made says whether
// this run created it, so that a run refused before it wrote anything can
// leave no file behind.  The file is created exclusively, so that a file
// another process made between the two opens is appended to, not claimed;
// that race is tried again a few times, never without end.  A symbolic
// link to a file not yet made is followed, as fopen follows it, and the
// file it names created (O_EXCL would refuse the link itself); what the
// link names is not this run's to remove, so *made stays false there.
FILE *openreport(const char *name, bool *made) {
    int fd = -1;
    *made = false;
    for (int tries = 0; tries < 8; tries++) {
        fd = open(name, O_WRONLY | O_APPEND);
        if (fd >= 0 || errno != ENOENT) break;
        fd = open(name, O_WRONLY | O_APPEND | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            *made = true;
            break;
        }
        if (errno != EEXIST) break;
        struct stat st;
        if (!lstat(name, &st) && S_ISLNK(st.st_mode)) {
            fd = open(name, O_WRONLY | O_APPEND | O_CREAT, 0666);
            break;
        }
        errno = EEXIST;
    }
    FILE *f = fd < 0 ? nullptr : fdopen(fd, "a");
    if (fd >= 0 && !f) {
        int err = errno;
        close(fd);
        errno = err;
    }
    return f;
}

// Two names of one thing: the same file, or nodes of the same device.
static bool samefile(const struct stat &a, const struct stat &b) {
    if ((a.st_mode & S_IFMT) != (b.st_mode & S_IFMT)) return false;
    if (S_ISCHR(a.st_mode) || S_ISBLK(a.st_mode)) return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// stat() through a descriptor: what opening the path would reach, even where
// the path is redirected on open (a stand-in for /dev/mem under an
// emulator).  O_PATH opens no device and reads nothing.
static int statpath(const char *path, struct stat *st) {
    int fd = open(path, O_PATH | O_CLOEXEC);
    if (fd < 0) return -1;
    int r = fstat(fd, st);
    close(fd);
    return r;
}

// The report may go neither into the command source, which would read the
// run's own output back as commands until the disk is full, nor into the
// file the registers are reached through (the board image, /dev/mem), where
// it would be written over the registers.  A terminal, a pipe or /dev/null
// shared with the command source does no harm.  0, or 22 after a message
// naming the file; checked before anything runs.
int checkreport(const char *inpath) {
    struct stat out, st;
    if (fstat(fileno(fout), &out)) return 0;
    const char *name = nullptr, *what = nullptr;
    if (inpath && S_ISREG(out.st_mode)) {
        bool std = !strcmp(inpath, "-");
        if (!(std ? fstat(0, &st) : statpath(inpath, &st)) && samefile(out, st))
            name = std ? outfile : inpath, what = "command source";
    }
    const char *store = iostore();
    if (!what && store && !statpath(store, &st) && samefile(out, st))
        name = store, what = "register store";
    if (!what) return 0;
    if (fout != stdout) name = outfile;
    char text[PATH_MAX + 64];
    snprintf(text, sizeof text, "%s: report and %s are the same file, nothing run", name, what);
    return err_rpt(EINVAL, text);
}
