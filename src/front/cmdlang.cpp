// The command language: the dispatcher and its keyword table, the
// tokenizer, command files and the interactive prompt.
#include "zorl.h"

#include "zr6410io.h"

#include <errno.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

// ---- Dispatch ------------------------------------------------------------------

struct kwdef {
    const char *name;
    int minlen; // shortest accepted abbreviation
    int (*fn)(const char *value);
    int (*fnp)(const char *param, const char *value); // for keywords that take a parameter
};

static const kwdef keywords[] = {
    {"ethernet", 5, doether, nullptr},  {"usb", 3, dousb, nullptr},
    {"dma", 3, dodma, nullptr},         {"irda", 4, doirda, nullptr},
    {"uart", 4, douart, nullptr},       {"chipid", 6, dochipid, nullptr},
    {"clkset1", 7, nullptr, doclkset1}, {"clkset2", 7, nullptr, doclkset2},
    {"write", 5, dowrite, nullptr},
};

int docmd(char *cmd) {
    char *kw = (char *)skipspace(cmd);
    int n = (int)strcspn(kw, ".=");
    char *p = kw + n;
    char *end = p + strlen(p);
    char *param = end, *value = end;
    char *eq = nullptr, *dot = nullptr;
    if (*p == '=') {
        eq = p;
        *p++ = 0;
        value = p;
    }
    // After "keyword=" a '.' still opens a parameter: usb=.on is usb with
    // the parameter "on".
    if (*p == '.') {
        dot = p;
        *p++ = 0;
        param = p;
        if (char *e = p + strcspn(p, "="); *e) {
            eq = e;
            *e = 0;
            value = e + 1;
        }
    }
    if (debug) {
        // The parts as the dispatcher cut them, quoted as error lines are.
        msgline m;
        flushout();
        msgbegin(m);
        msgraw(m, "cmd:");
        msgesc(m, cmd);
        msgraw(m, "  n=");
        msgdec(m, n);
        msgraw(m, "  p=");
        msgesc(m, kw);
        msgraw(m, "  p2=");
        msgesc(m, param);
        msgraw(m, "  s=");
        msgesc(m, value);
        msgraw(m, "\n");
        msgend(m);
    }

    int status = ENOSYS;
    char first = lower(*kw); // the keywords are lower case: most fail on their first letter
    for (const kwdef &k : keywords) {
        if (n < k.minlen || first != k.name[0] || !samecasen(kw, k.name, (size_t)n)) continue;
        if (k.fnp)
            status = k.fnp(param, value);
        else
            status = *param ? EINVAL : k.fn(value);
        break;
    }

    if (*value) *eq = '=';
    if (*param) *dot = '.';
    return err_rpt(status, cmd);
}

int doargs(char **args, int count) {
    for (int i = 0; i < count; i++) {
        int status = docmd(args[i]);
        if (status) return status;
    }
    return 0;
}

// ---- Command files and interactive input ---------------------------------

// A -d trace line: the text quoted as error lines are, after the report so
// far.
__attribute__((cold)) static void trace(const char *head, const char *text, const char *tail) {
    flushout();
    putmsg(head, text, tail);
}

// At EOF from the source: a source that another program left non-blocking
// has nothing to read now (EAGAIN) rather than at an end, and is waited on
// until it has.  The next byte, or EOF.
static int nextc(FILE *fp);

static int waitc(FILE *fp) {
    if (!ferror_unlocked(fp) || errno != EAGAIN) return EOF;
    clearerr_unlocked(fp);
    struct pollfd ready = {fileno(fp), POLLIN, 0};
    poll(&ready, 1, -1);
    return nextc(fp);
}

static inline int nextc(FILE *fp) {
    int c = getc_unlocked(fp);
    return c == EOF ? waitc(fp) : c;
}

char *getcmdline(char *buf, int size, FILE *fp, int *err, int skip) {
    int len = 0, lim = size - 1, bad = 0;
    *err = 0;
    errno = 0; // a read error's cause is the read's, not an earlier call's
    for (;;) {
        // One physical line, up to its newline or the end of input.  A NUL
        // byte, or one character more than the buffer holds, is enough to
        // know that the line cannot be run.
        int start = len, over = 0, last = 0, c;
        while ((c = nextc(fp)) != '\n' && c != EOF && c != 0 && len < lim) buf[len++] = (char)c;
        if (c != '\n' && c != EOF) {
            if (!bad) bad = len == lim ? LINE_TOOLONG : LINE_NUL;
            // A caller that ends with this line (any source but a
            // terminal) has it here, without waiting for a newline that may
            // never come (/dev/zero).  One that reads on (a terminal) needs
            // the rest of the line read and dropped; only its last character
            // is kept, to see whether it continues.
            if (!skip) break;
            over = 1, last = c;
            while ((c = nextc(fp)) != '\n' && c != EOF) last = c;
        }
        if (c == EOF && ferror_unlocked(fp)) {
            *err = errno ? errno : EIO;
            return nullptr;
        }
        // End of input.  Right after a continued line it cuts that line
        // off: what was to follow may be what a truncated file lost, so the
        // line is not run, and it is refused rather than dropped unseen.
        if (c == EOF && len == start && !over) {
            if (!start) return nullptr;
            if (!bad) bad = LINE_CUTOFF;
        }
        buf[len] = 0;
        if ((over ? last : len > start ? buf[len - 1] : 0) == '\\') {
            // Continued: the backslash becomes a space and the next line is
            // read into the rest of the buffer.
            if (!over) buf[len - 1] = ' ';
            if (c != EOF) continue;
            if (!bad) bad = LINE_CUTOFF;
        }
        break;
    }
    if (bad) {
        *err = bad;
        buf[0] = 0;
    }
    return buf;
}

int docmdline(char *line) {
    if (debug) trace("cmdline:", line, ":\n");
    char *p = line;
    char *end = line + strlen(line);
    while (p < end) {
        while (p < end && (isws(*p) || *p == '\\')) p++;
        if (p >= end) return 0;
        // Find the token and the character that ends it; a backslash takes
        // the next character into the token (and stays there), but never
        // reaches past the end of the text.
        char *tok, *q;
        if (*p == '\'' || *p == '"') {
            char quote = *p;
            tok = q = p + 1;
            while (q < end && *q != quote) q += (*q == '\\' && q + 1 < end) ? 2 : 1;
        } else if (*p == '(') {
            int depth = 0;
            tok = q = p + 1;
            for (; q < end; q++) {
                if (*q == '\\') {
                    if (q + 1 < end) q++;
                } else if (*q == '(') {
                    depth++;
                } else if (*q == ')') {
                    if (depth == 0) break;
                    depth--;
                }
            }
        } else {
            tok = q = p;
            while (q < end && !isws(*q)) q += (*q == '\\' && q + 1 < end) ? 2 : 1;
        }
        char save = *q;
        *q = 0;
        int status = err_rpt(docmd(tok), tok);
        *q = save;
        p = q < end ? q + 1 : end;
        if (status) return status;
    }
    return 0;
}

static const char *const badline[] = {
    nullptr,
    "command line too long (over " ZORL_STR(CMDLINE_MAX) " characters), not run",
    "command line holds a NUL byte, not run",
    "command line continued past the end of input, not run",
};

int runsource(FILE *fp, const char *name, int interactive) {
    char line[CMDLINE_MAX + 1];
    if (interactive) dowrite("");
    // From a terminal, pipe or FIFO the next command may wait on the report
    // so far: it goes out before each read.  A regular file waits on nobody.
    struct stat st;
    bool live = fstat(fileno(fp), &st) || !S_ISREG(st.st_mode);
    int status = 0;
    for (;;) {
        if (live) flushout();
        if (interactive) prompt("\nzorl> "); // standard output, even with -o
        int err;
        char *p = getcmdline(line, sizeof line, fp, &err, interactive);
        if (!p) {
            if (err) status = err_rpt(err, name);
            break;
        }
        if (err) {
            status = err_rpt(EINVAL, badline[-err]);
        } else {
            p = (char *)skipspace(p);
            if (!*p || *p == '#') continue;
            // A command that came after a wait may find the registers'
            // store replaced meanwhile (a simulated board's image): the run
            // stops there, at a terminal too.  A file read in one go is
            // checked once, at the end of the run.
            if (live && (status = io_check())) break;
            status = docmdline(p);
            err_rpt(status, p);
        }
        if (status && !interactive) break;
    }
    return status;
}

int docmdfile(const char *path) {
    if (debug) trace("processing cmd file: ", path, "\n");
    if (!isstdin(path)) {
        FILE *fp = fopen(path, "r");
        if (!fp) return err_rpt(errno, path);
        int status = checkfed(fileno(fp), path);
        if (!status) status = runsource(fp, path, 0);
        fclose(fp);
        return status;
    }
    return runsource(stdin, path, isatty(fileno(stdin)));
}
