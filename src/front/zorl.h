// zorl: the command front end and the register commands.
//
// All state is process-global and lives for the whole run.  Every function
// that can fail returns an errno number, 0 for success.  One section per
// file of the front end.
#ifndef ZORL_ZORL_H
#define ZORL_ZORL_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "errline.h" // sys, the program name in diagnostics

// ---- The run's flags (flags.cpp) ----------------------------------------------

extern int debug; // -d: trace of command processing on standard error
extern int dummy; // 1: writing disabled (the default); -w or write=on clear it

// ---- Start-up and the run (run.cpp) -----------------------------------------

// Reset every piece of state to its value at program start.
void zorlreset(void);

// The program: options, mapping, the run, the exit hook.  own is the
// program's own name, for an empty or missing argv[0]; chip, when given,
// decides from what ChipID reads whether SysCon may be used (0, or an
// errno after a message).  Never returns.
[[noreturn]] void zorlmain(int argc, char **argv, const char *own, int (*chip)(uint32_t id));

// Version line, description and usage; returns code.
int help(int code);

// The full status report; its status is that of the chip-ID report.
int dostatusall(void);

// The exit hook: the ClkSet1 summary, committed when writing is enabled;
// 0, or the errno of a commit that could not be made.
int syscon_exit(void);

// ---- The report stream and the error reporter (report.cpp) -----------------

extern const char *outfile; // the -o file name, or "stdout"
extern FILE *fout;          // the report stream: every report line goes here
extern int outerr;          // errno of the first failure of the report stream, or 0

// "[sys] strerror(code) : text" on standard error for a non-zero code (taken
// as a signed 16-bit number), after the report so far; returns the code.
int err_rpt(int code, const char *text);

// The report stream back to standard output, nothing buffered, no failure
// kept: as at program start.
void reportreset(void);

// The report to the stream f from now on (standard output, or the -o
// file), through a writer of its own (wholeline.h).
void setreport(FILE *f);

// Whether the report's stream is the register store (wholeline.h).
bool reportstore(void);

// Flush the report stream; returns 0, or the errno of the stream's first
// failure, which is also kept in outerr.
int flushout(void);

// Report lines: formatted, a string, or bytes.  A failed write is kept in
// outerr with its errno, and nothing more is written after it.
void rpt(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void rpts(const char *s);
void rptw(const char *p, size_t n);

// Lines of the program's own on standard error, after the report so far.
void diag(const char *text);

// The interactive prompt, on standard output at once, in one write of its
// own; when that is the report stream, as part of the report (a failure
// is a lost report).
void prompt(const char *s);

// Append text, or a number in decimal, to a report line being put
// together by hand; returns the end.  Inline: the full status report and a
// replayed command file put hundreds of lines together this way.
inline char *add(char *p, const char *s) {
    while (*s) *p++ = *s++;
    return p;
}

inline char *adddec(char *p, int v) {
    char digits[12];
    int n = 0;
    unsigned u = v < 0 ? 0u - (unsigned)v : (unsigned)v;
    do digits[n++] = (char)('0' + u % 10);
    while (u /= 10);
    if (v < 0) *p++ = '-';
    while (n) *p++ = digits[--n];
    return p;
}

// Open the -o file to append to; a file this run creates is dropreport's.
// This and the checks below run once, at start-up: cold, so compiled for
// size, for the board's flash.
FILE *openreport(const char *name) __attribute__((cold));

// A run refused before its first command: the -o file removed if this run
// created it (through a link too) and the name still leads to it.
void dropreport(void) __attribute__((cold));

// 0 when the report may go where it goes; 22 after a message when it is the
// command source (inpath, "-" for standard input).
// checkoutname decides it by the -o name before the file is opened (opening
// a FIFO to write would wait for a reader), checkreport by the report
// stream once it is open, checkfed by the source once that is open (its name
// may lead elsewhere by then).
int checkoutname(const char *outname, const char *inpath) __attribute__((cold));
int checkreport(const char *inpath) __attribute__((cold));
int checkfed(int fd, const char *name) __attribute__((cold));

// The end of the report: flushed, a -o file closed; returns outerr, after
// a message against the report's name when it is not 0.
int endreport(void);

// ---- Characters ----------------------------------------------------------------

// White space, digits and case as the default ("C") locale has them, which
// is the only locale zorl runs in.  Written out rather than called from the
// C library: they sit in the inner loops of replaying a command file.
inline bool isws(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
inline bool isdig(char c) {
    return c >= '0' && c <= '9';
}
inline char lower(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c + ('a' - 'A')) : c;
}

// Equal without regard to case, over n characters at most (as strncasecmp).
inline bool samecasen(const char *a, const char *b, size_t n) {
    for (; n; a++, b++, n--) {
        if (*a != *b && lower(*a) != lower(*b)) return false;
        if (!*a) break;
    }
    return true;
}

inline bool samecase(const char *a, const char *b) {
    return samecasen(a, b, (size_t)-1);
}

inline const char *skipspace(const char *p) {
    while (isws(*p)) p++;
    return p;
}

// ---- Values (values.cpp) ------------------------------------------------------

// 1 for "on", 0 for "off" (any case), -1 for anything else.
int chkonoff(const char *s);

// A number (decimal, 0x hexadecimal, 0b binary) or on/off, stored in *result
// as its 32-bit pattern.  0, or 22 after the "number expected" message.
int getint(const char *s, int32_t *result);

// ---- The command language (cmdlang.cpp) -------------------------------------

// Run one command: "keyword[.parameter][=value]".  The text must be
// writable; the separators are cut out in place and put back (except an
// "=" with nothing after it).  The outcome is reported against the text.
int docmd(char *cmd);

// Run each argument as one command; stops at the first failure.
int doargs(char **args, int count);

// The most characters a logical command line may hold (its continuations
// included); a longer one is refused whole.  A macro, as it is spelled out
// in the refusal's message too.
#define CMDLINE_MAX 2047
#define ZORL_STR(x) ZORL_STR2(x)
#define ZORL_STR2(x) #x

// Run a command source to its end: every logical line read, split into
// commands and run; empty lines and comments skipped.  The first failing
// line ends the run, unless the source is interactive (a terminal): that
// shows the write banner first and a prompt before each line, reports a
// failing line and reads on.  A read error is reported against name.  The
// status is that of the last line run.
int runsource(FILE *fp, const char *name, int interactive);

// "-", the name of standard input as the command source.
inline bool isstdin(const char *path) {
    return path[0] == '-' && !path[1];
}

// Run a command file, or standard input for "-" (interactive when it is a
// terminal).
int docmdfile(const char *path);

// Read one logical line (backslash-newline continues it) into buf.  Returns
// buf, or a null pointer at end of input or on a read error (*err is then
// the errno, or 0 at a plain end).  A line that cannot be run is returned
// empty, with *err saying why: LINE_TOOLONG when it does not fit in
// size - 1 bytes, LINE_NUL when it holds a NUL byte, LINE_CUTOFF when the
// input ends right after a continued line.  Reading stops at the byte that
// shows a line too long or holding a NUL, unless skip is set (for a caller
// that reads on after a refused line): the rest of the line, continuation
// lines included, is then read and dropped.
enum { LINE_TOOLONG = -1, LINE_NUL = -2, LINE_CUTOFF = -3 };
char *getcmdline(char *buf, int size, FILE *fp, int *err, int skip);

// Split a line into commands and run them in turn; the first failure ends it.
int docmdline(char *line);

// ---- Switches, write, and the read-only reports (switches.cpp) --------------

int doether(const char *value);
int dousb(const char *value);
int doirda(const char *value);
int douart(const char *value);
int dowrite(const char *value);
int dodma(const char *value);
int dochipid(const char *value);

// ---- Clock-set registers (clkset.cpp) ---------------------------------------

int doclkset1(const char *param, const char *value);
int doclkset2(const char *param, const char *value);

extern uint32_t clkset1, clkset2; // the working copies

void initclkset1(void);
void initclkset2(void);
// The summary, committed when commit is set; 0, or the errno of a refused
// commit.
int writeclkset1(int commit);
int writeclkset2(int commit);

// The clock-set state back to its value at program start.
void clksetreset(void);

#endif
