// The report stream and the error reporter: where every report line and
// every diagnostic goes, and how a failure of either shows in the status.
#include "zorl.h"

#include "fileid.h"
#include "wholeline.h"

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
// for "=63").  What it hands over goes to the writer (wholeline.h), with
// the system at once; the stream's stdio buffer is never used.
//
// A failed write keeps its errno, taken right where the write failed, and
// nothing more is written to the report after it: what it holds is its
// beginning, in whole lines only, as part of a line that got out before
// the failure is cut off again (wholeline.h).  Only the first failure
// counts; the run goes on to its end either way, and exits with it.
static void outfailed(void) {
    if (!outerr) outerr = errno ? errno : EIO;
}

// The report's own buffer: a replayed command file's lines leave in writes
// of up to this many bytes.
constexpr size_t REPORTBUF = 8192;
static char obuf[REPORTBUF];
static size_t olen;
static lineout repfile; // the -o file's writer
static lineout *rep;    // the report's writer: standard output's, or repfile

// The file this run created for its report, by the name it was created
// under (the end of the -o name's links); empty when it made none.
static char madepath[PATH_MAX];

void setreport(FILE *f) {
    fout = f;
    rep = stdline(1);
    if (fileno(f) == 1) return;
    lineopen(&repfile, fileno(f));
    linepair(&repfile, stdline(2)); // 2>&1: what follows a failure of either is lost
    rep = &repfile;
}

bool reportstore(void) {
    return rep->kind == LINE_STORE;
}

// n bytes to the report's writer.
static void emit(const char *p, size_t n) {
    if (outerr || !n) return;
    if (lineput(rep, p, n)) outerr = rep->err;
}

// The first n bytes of the buffer to the stream.
static void handover(size_t n) {
    emit(obuf, n);
    memmove(obuf, obuf + n, olen - n);
    olen -= n;
}

int flushout(void) {
    handover(olen);
    if (!outerr) outerr = lineerr(rep); // standard error into the same file failed
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
            return emit(p, n);
        }
    }
    memcpy(obuf + olen, p, n);
    olen += n;
}

void rpts(const char *s) {
    rptw(s, strlen(s));
}

// Every line the program prints this way is far shorter than the buffer.
void rpt(const char *fmt, ...) {
    char line[256];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    if (n > 0) rptw(line, (size_t)n < sizeof line ? (size_t)n : sizeof line - 1);
}

void prompt(const char *s) {
    if (fout == stdout) return emit(s, strlen(s));
    lineput(stdline(1), s, strlen(s));
}

void reportreset(void) {
    setreport(stdout);
    outerr = 0;
    olen = 0;
    madepath[0] = 0;
}

// The end of the report: its last bytes out, and a -o file closed, which
// can fail too (a file system may report a lost write only then).  A lost
// report is said against its name, and so is a part of a line that had to
// be left in it.
int endreport(void) {
    flushout();
    int left = rep->left;
    if (fout != stdout) {
        errno = 0;
        if (fclose(fout)) outfailed();
        setreport(stdout);
    }
    if (!outerr) return 0;
    if (!left) return err_rpt(outerr, outfile);
    char why[128];
    snprintf(why, sizeof why, "the report ends in part of a line, not cut off: %s",
             left == LEFT_APPENDED  ? "another program has written to the file since"
             : left == LEFT_OLDTEXT ? "the file's older text follows it"
             : left == EPERM        ? "the file is append-only"
                                    : strerror(left));
    errpath(nullptr, strerror(outerr), outfile, why);
    return outerr;
}

void diag(const char *text) {
    flushout();
    msgline m;
    msgbegin(m);
    msgraw(m, text);
    msgend(m);
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

// Open the -o file to append to, as fopen's "a" would; the name of a file
// this run created is kept (madepath), so that a run refused before it
// wrote anything can leave no file behind.  A symbolic link to a file not yet made is
// followed, as fopen follows it, and the file at its end created; that
// file is this run's own.  The file is created exclusively, so that a file
// another process made between the two opens is appended to, not claimed;
// that race is tried again a few times, never without end.
FILE *openreport(const char *name) {
    int fd = -1;
    bool made = false;
    for (int tries = 0; tries < 8; tries++) {
        fd = open(name, O_WRONLY | O_APPEND);
        if (fd >= 0 || errno != ENOENT) break;
        if (linkend(name, madepath, sizeof madepath)) break;
        fd = open(madepath, O_WRONLY | O_APPEND | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            made = true;
            break;
        }
        if (errno != EEXIST) break;
    }
    if (!made) madepath[0] = 0;
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

// The report may not go into the command source, which would read the
// run's own output back as commands without end (a file until the disk is
// full, a FIFO or a pipe for ever); the register store is the writer's to
// refuse (wholeline.h).  Whatever is written to a regular file, a FIFO, a
// pipe or a block device comes back to be read from it; not so a terminal,
// a socket (what is written goes to the other end) or /dev/null, which
// may be both.
static bool feeds(const struct stat &out, const struct stat &src) {
    bool loops = S_ISREG(out.st_mode) || S_ISFIFO(out.st_mode) || S_ISBLK(out.st_mode);
    return loops && sameid(out, src);
}

// "NAME: report and command source are the same file, nothing run"; 22.
static int samefile(const char *name) {
    flushout();
    errpath(nullptr, strerror(EINVAL), name,
            "report and command source are the same file, nothing run");
    return EINVAL;
}

// What the command source is: standard input, or where its name leads.
static int sourceid(const char *inpath, struct stat *st) {
    return isstdin(inpath) ? fstat(0, st) : statpath(inpath, st);
}

int checkoutname(const char *outname, const char *inpath) {
    struct stat out, src;
    if (inpath && !statpath(outname, &out) && !sourceid(inpath, &src) && feeds(out, src))
        return samefile(outname);
    return 0;
}

int checkreport(const char *inpath) {
    struct stat out, st;
    // A report lost already (a closed standard output) feeds nothing.
    if (!inpath || outerr || fstat(fileno(fout), &out) || sourceid(inpath, &st) || !feeds(out, st))
        return 0;
    return samefile(fout != stdout || isstdin(inpath) ? outfile : inpath);
}

int checkfed(int fd, const char *name) {
    struct stat out, src;
    if (outerr || fstat(fileno(fout), &out) || fstat(fd, &src) || !feeds(out, src)) return 0;
    return samefile(fout != stdout ? outfile : name);
}
