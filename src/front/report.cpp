// The report stream and the error reporter: where every report line and
// every diagnostic goes, and how a failure of either shows in the status.
#include "zorl.h"

#include "fileid.h"
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
// The buffer is the program's own, and it hands the stream whole lines
// only: every flush of the program comes between two lines, and a full
// buffer passes on the lines it holds and keeps a line it is still given
// in pieces.  A run that is stopped halfway (a bus error from an image cut
// short, a kill) therefore never leaves a report that ends in part of a
// line, which a replay would take for a whole one ("clkset1.pll1_x2fdb2=6"
// for "=63").  The stream itself is unbuffered, so what it is handed is
// with the system at once.
//
// A failed write keeps its errno, taken right where the write failed: a C
// library may keep no more than the stream's error flag (musl does), and by
// the next flush the cause would be lost.  Only the first failure counts;
// the run goes on to its end either way, and exits with it.
void outfailed(void) {
    if (!outerr) outerr = errno ? errno : EIO;
}

static char obuf[8192];
static size_t olen;

// The file this run created for its report, by the name it was created
// under (the end of the -o name's links); empty when it made none.
static char madepath[PATH_MAX];

// The first n bytes of the buffer to the stream.
static void handover(size_t n) {
    if (!n) return;
    errno = 0;
    if (fwrite(obuf, 1, n, fout) != n || fflush(fout)) outfailed();
    memmove(obuf, obuf + n, olen - n);
    olen -= n;
}

int flushout(void) {
    handover(olen);
    errno = 0;
    if (fflush(fout) != 0)
        outfailed();
    else if (ferror(fout) && !outerr)
        outerr = EIO;
    return outerr;
}

void rptw(const char *p, size_t n) {
    if (olen + n > sizeof obuf) {
        // The whole lines go; a line longer than the buffer cannot stay whole.
        size_t k = olen;
        while (k && obuf[k - 1] != '\n') k--;
        handover(k ? k : olen);
        if (olen + n > sizeof obuf) {
            handover(olen);
            errno = 0;
            if (fwrite(p, 1, n, fout) != n) outfailed();
            return;
        }
    }
    memcpy(obuf + olen, p, n);
    olen += n;
}

void rpts(const char *s) {
    rptw(s, strlen(s));
}

void rpt(const char *fmt, ...) {
    char line[256];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    if (n >= 0 && (size_t)n < sizeof line) return rptw(line, (size_t)n);
    // Longer than any line the program prints: straight to the stream,
    // after what is buffered.
    handover(olen);
    va_start(ap, fmt);
    errno = 0;
    if (vfprintf(fout, fmt, ap) < 0) outfailed();
    va_end(ap);
}

void reportreset(void) {
    fout = stdout;
    outerr = 0;
    olen = 0;
    madepath[0] = 0;
}

// The end of the report: its last bytes out, and a -o file closed, which
// can fail too (a file system may report a lost write only then).
int endreport(void) {
    flushout();
    if (fout != stdout) {
        errno = 0;
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
// leave no file behind.  A symbolic link to a file not yet made is
// followed, as fopen follows it, and the file at its end created; that
// file is this run's own.  The file is created exclusively, so that a file
// another process made between the two opens is appended to, not claimed;
// that race is tried again a few times, never without end.
FILE *openreport(const char *name, bool *made) {
    int fd = -1;
    *made = false;
    for (int tries = 0; tries < 8; tries++) {
        fd = open(name, O_WRONLY | O_APPEND);
        if (fd >= 0 || errno != ENOENT) break;
        if (linkend(name, madepath, sizeof madepath)) break;
        fd = open(madepath, O_WRONLY | O_APPEND | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            *made = true;
            break;
        }
        if (errno != EEXIST) break;
    }
    if (!*made) madepath[0] = 0;
    FILE *f = fd < 0 ? nullptr : fdopen(fd, "a");
    if (fd >= 0 && !f) {
        int err = errno;
        close(fd);
        errno = err;
    }
    return f;
}

void dropreport(void) {
    // Only while the name still leads to the file this run made: another
    // program may have put a file of its own there since.
    struct stat opened, named;
    if (madepath[0] && !fstat(fileno(fout), &opened) && !stat(madepath, &named) &&
        sameid(opened, named))
        unlink(madepath);
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
        if (!(std ? fstat(0, &st) : statpath(inpath, &st)) && sameid(out, st))
            name = std ? outfile : inpath, what = "command source";
    }
    const char *store = iostore();
    if (!what && store && !statpath(store, &st) && sameid(out, st))
        name = store, what = "register store";
    if (!what) return 0;
    if (fout != stdout) name = outfile;
    char why[64];
    snprintf(why, sizeof why, "report and %s are the same file, nothing run", what);
    flushout();
    errpath(-1, strerror(EINVAL), name, why);
    return EINVAL;
}
