// zorl: show and change the ZR6410's Ethernet PHY power, its USB, IrDA and
// UART clocks and its PLL and clock-divider registers.
//
// Commands come from the command line, a command file or an interactive
// prompt.  Every report line is empty, a comment, or itself a command that
// sets the state it shows, so a saved report can be replayed with -i.
// Nothing is written to the hardware unless writing is enabled (-w or
// write=on), except by the explicit clkset1.write and clkset2.write commits.
#include "zorl.h"

#include "stdguard.h"
#include "zr6410io.h"

#include <errno.h>
#include <limits.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static const char version[] = "0.1beta";

const char *sys = "zorl";
int vflg;
int debug;
int dummy = 1;
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
static void __attribute__((cold)) outfailed(void) {
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
static void __attribute__((format(printf, 1, 2))) rpt(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    if (vfprintf(fout, fmt, ap) < 0) outfailed();
    va_end(ap);
}

static void rpts(const char *s) {
    if (fputs(s, fout) == EOF) outfailed();
}

static void rptw(const char *p, size_t n) {
    if (fwrite(p, 1, n, fout) != n) outfailed();
}

// The end of the report: its last bytes out, and a -o file closed, which
// can fail too (a file system may report a lost write only then).
static int endreport(void) {
    flushout();
    if (fout != stdout) {
        if (fclose(fout)) outfailed();
        fout = stdout;
    }
    return outerr;
}

// Standard error, for a diagnostic that must follow the report so far.
static FILE *diag(void) {
    flushout();
    return stderr;
}

int err_rpt(int code, const char *text) {
    code = (int16_t)code;
    if (code) fprintf(diag(), "[%s] %s : %s\n", sys, strerror(code), text);
    return code;
}

static const char usage[] =
    "Usage:   %s [-v] [-w] [-i file] [-o file] [commands]\n\n"
    " -v    verbose flag\n"
    " -w    commit changes specified in commands\n\n"
    "This program is dangerous! It can change many system registers\n"
    "that control the way the EP930x processor and its subsystems operate.\n"
    "The program can read and decode many of system registers, using names\n"
    "as used in the Cirrus EP930x user manual. It is urged that this program\n"
    "be used in conjunctionwith the processor user manual - available from\n"
    "Cirrus web site.\n";

int help(int code) {
    fprintf(diag(), "# %s version %s\n", sys, version);
    puts("\nzorl - command line program to turn on/off parts of the ZR6410/EP9301\n"
         "       and to alter things like the CPU freq.\n");
    printf(usage, sys);
    return code;
}

// ---- Characters --------------------------------------------------------------

// White space, digits and case as the default ("C") locale has them, which
// is the only locale zorl runs in.  Written out rather than called from the
// C library: they sit in the inner loops of replaying a command file.
static inline bool isws(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
static inline bool isdig(char c) {
    return c >= '0' && c <= '9';
}
static inline char lower(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c + ('a' - 'A')) : c;
}

// Equal without regard to case, over n characters at most (as strncasecmp).
static bool samecasen(const char *a, const char *b, size_t n) {
    for (; n; a++, b++, n--) {
        if (*a != *b && lower(*a) != lower(*b)) return false;
        if (!*a) break;
    }
    return true;
}

static bool samecase(const char *a, const char *b) {
    return samecasen(a, b, (size_t)-1);
}

// Append text, or a number in decimal, to a line being put together.
static char *add(char *p, const char *s) {
    while (*s) *p++ = *s++;
    return p;
}

static char *adddec(char *p, int v) {
    char digits[12];
    int n = 0;
    unsigned u = v < 0 ? 0u - (unsigned)v : (unsigned)v;
    do digits[n++] = (char)('0' + u % 10);
    while (u /= 10);
    if (v < 0) *p++ = '-';
    while (n) *p++ = digits[--n];
    return p;
}

// ---- Values ------------------------------------------------------------------

int chkonoff(const char *s) {
    if (samecase(s, "on")) return 1;
    if (samecase(s, "off")) return 0;
    return -1;
}

static const char *skipspace(const char *p) {
    while (isws(*p)) p++;
    return p;
}

int getint(const char *s, int32_t *result) {
    const char *p = skipspace(s);
    int32_t v;
    if (isdig(*p)) {
        // A leading 0 selects the base by the letter after it and never
        // octal: 010 is ten, 0x10 sixteen, 0b10 two, a lone 0 is zero.
        int base = 10;
        if (*p == '0') {
            p++;
            if (isdig(*p))
                base = 10;
            else if (*p == 'x' || *p == 'X')
                base = 16, p++;
            else if (*p == 'b' || *p == 'B')
                base = 2, p++;
            else
                base = 0;
        }
        long long n = 0;
        if (base) {
            char *end;
            errno = 0;
            n = strtoll(p, &end, base);
            if (errno == ERANGE) goto bad;
            p = end;
        }
        // A register value is a 32-bit pattern: anything from -2^31 to
        // 2^32 - 1 is taken bit for bit, a wider number is refused rather
        // than silently turned into a different one.
        if (*skipspace(p) || n < INT32_MIN || n > (long long)UINT32_MAX) goto bad;
        v = (int32_t)(uint32_t)n;
    } else {
        v = chkonoff(p);
        if (v < 0) goto bad;
    }
    *result = v;
    return 0;
bad:
    fprintf(diag(), "\"%s\" number expected\n", s);
    return EINVAL;
}

// ---- Switch commands -----------------------------------------------------

// A hardware switch: one bit, read and set through the register layer.
struct swdef {
    int (*get)(void);
    int (*set)(int);
    const char *guard;   // names the switch when its state reads inconsistent
    const char *comment; // a line printed before the state line, or null
    const char *label;   // the state line: label=on or label=off
};

static const swdef sw_ether = {getetherpwr, setetherpwr, "Ethernet PHY Power Status", nullptr,
                               "ethernet"};
static const swdef sw_usb = {getusbpwr, setusbpwr, "USB Power Status", nullptr, "USB"};
static const swdef sw_irda = {getirdapwr, setirdapwr, "IRDA Power Status", nullptr, "IRDA"};
static const swdef sw_uart = {getuartbaudhilo, setuartbaudhilo, "UART clock Status",
                              "# UART=on enables max baud of 460K, =off for max of 230K\n", "UART"};

// Show the switch, and with a value set it: only when writing is enabled
// is the bit written, and then the line shows the state read back.
static int doswitch(const swdef &sw, const char *value) {
    int status = 0;
    int state = sw.get();
    if ((unsigned)state > 1) {
        fputs("May not be running on a ZR6410 - inconsistant data.\n", diag());
        return err_rpt(ENXIO, sw.guard);
    }
    if (value && *value) {
        int want = chkonoff(value);
        if ((unsigned)want > 1) {
            status = EINVAL;
        } else if (dummy) {
            state = want;
        } else {
            flushout();
            if (sw.set(want) < 0) {
                status = EIO;
                state = want;
            } else {
                state = sw.get();
            }
        }
    }
    // "USB=on": put together by hand, as is every line that the full
    // status report prints many of; a printf costs several times as much.
    char line[128];
    char *p = line;
    if (sw.comment) p = add(p, sw.comment);
    p = add(add(add(p, sw.label), "="), state ? "on\n" : "off\n");
    rptw(line, (size_t)(p - line));
    return status;
}

int doether(const char *value) {
    return doswitch(sw_ether, value);
}
int dousb(const char *value) {
    return doswitch(sw_usb, value);
}
int doirda(const char *value) {
    return doswitch(sw_irda, value);
}
int douart(const char *value) {
    return doswitch(sw_uart, value);
}

int dowrite(const char *value) {
    int status = 0;
    if (value && *value) {
        int v = chkonoff(value);
        if (v == 1)
            dummy = 0;
        else if (v == 0)
            dummy = 1;
        else
            status = EINVAL;
    }
    rpts(dummy ? "#\n# write disabled, changes will NOT be actioned.\n"
               : "#\n# WARNING: write enabled, changes will be actioned.\n");
    rpt("write=%s\n", dummy ? "off" : "on");
    return status;
}

// ---- Read-only reports -----------------------------------------------------

// PwrCnt bits 16 to 27 gate the DMA channel clocks; in bit order the M2P
// channel numbers come in swapped pairs and the two M2M channels come last.
static const char *const dmachannel[12] = {"M2P CH1", "M2P CH0", "M2P CH3", "M2P CH2",
                                           "M2P CH5", "M2P CH4", "M2P CH7", "M2P CH6",
                                           "M2P CH9", "M2P CH8", "M2M CH0", "M2M CH1"};

int dodma(const char *value) {
    if (value && *value) {
        fputs("PwrCnt: cannot write to this register\n", diag());
        return EIO;
    }
    uint32_t r = syscon_get_pwrcnt();
    rpt("#\n# PwrCnt=0x%08x\n# DMA clock status.....\n", (unsigned)r);
    char lines[12 * 24 + 3];
    char *p = lines;
    for (int i = 0; i < 12; i++)
        p = add(add(add(p, "# DMA "), dmachannel[i]), (r >> (16 + i)) & 1 ? " = ON\n" : " = OFF\n");
    p = add(p, "#\n");
    rptw(lines, (size_t)(p - lines));
    return 0;
}

int dochipid(const char *value) {
    if (value && *value) {
        fputs("chipid: cannot write to this register\n", diag());
        return EIO;
    }
    uint32_t id = syscon_get_chipid();
    rpt("\n# chipid    =0x%08x\n# chipid.ID =0x%Xd\n# chipid.REV=%d\n", (unsigned)id,
        (unsigned)(id & 0xFFFF), (int)(id >> 28));
    return 0;
}

// ---- Clock-set registers ---------------------------------------------------

uint32_t clkset1, oldclkset1;
uint32_t clkset2, oldclkset2;
int c1set, c2set;
int c1x2ipd, c1x2fbd, c1x1fbd, c1ps, fclkd, hclkd, pclkd, nbyp1, smcrom;
int c2x2ipd, c2x2fbd, c2x1fbd, c2ps, nbyp2, pll2en, usbdiv;
int c1fo, hclk, c2fo;

// Hclk divisor by hclkdiv code: not all powers of two.
const int32_t hdiv[8] = {1, 2, 4, 5, 6, 8, 16, 32};

// How a divider field turns into the divisor its comment line shows.
enum divkind { DIV_NONE, DIV_POW2, DIV_HDIV, DIV_PLUS1 };

// One field of a clock-set register.  The table order is the order in which
// fields are listed (not bit order).
struct clkfield {
    const char *name; // the parameter name, as in clkset1.NAME=VALUE
    int lsb;
    int width;
    int max;      // largest value a command may set
    int *decoded; // mirrors the field's bits of the working copy
    divkind div;
    const char *divhead; // the divider comment line: divhead, the divisor, divtail
    const char *divtail;
};

static const clkfield clkset1fields[] = {
    {"pll1_x2ipd", 0, 5, 31, &c1x2ipd, DIV_NONE, nullptr, nullptr},
    {"pll1_x2fdb2", 5, 6, 63, &c1x2fbd, DIV_NONE, nullptr, nullptr},
    {"pll1_x1fdb1", 11, 5, 31, &c1x1fbd, DIV_NONE, nullptr, nullptr},
    {"pll1_ps", 16, 2, 3, &c1ps, DIV_NONE, nullptr, nullptr},
    {"fclkdiv", 25, 3, 7, &fclkd, DIV_POW2, "# Fclk = fout/", "\n"},
    {"hclkdiv", 20, 3, 7, &hclkd, DIV_HDIV, "# Hclk = fout/", "\n"},
    {"pclkdiv", 18, 2, 3, &pclkd, DIV_POW2, "# Pclk = Hclk/", "\n"},
    {"nbyp1", 23, 1, 1, &nbyp1, DIV_NONE, nullptr, nullptr},
    {"smcrom", 24, 1, 1, &smcrom, DIV_NONE, nullptr, nullptr},
};

static const clkfield clkset2fields[] = {
    {"pll2_x2ipd", 0, 5, 31, &c2x2ipd, DIV_NONE, nullptr, nullptr},
    {"pll2_x2fdb2", 5, 6, 63, &c2x2fbd, DIV_NONE, nullptr, nullptr},
    {"pll2_x1fdb1", 11, 5, 31, &c2x1fbd, DIV_NONE, nullptr, nullptr},
    {"pll2_ps", 16, 2, 3, &c2ps, DIV_NONE, nullptr, nullptr},
    {"nbyp2", 19, 1, 1, &nbyp2, DIV_NONE, nullptr, nullptr},
    {"pll2_en", 18, 1, 1, &pll2en, DIV_NONE, nullptr, nullptr},
    // The field holds 4 bits, but a USB divisor of 16 is not allowed.
    {"usbdiv", 28, 4, 14, &usbdiv, DIV_PLUS1, "# USBCLK = Fout/", " Hz\n"},
};

static int divisor(const clkfield &f) {
    int v = *f.decoded;
    switch (f.div) {
    case DIV_POW2: return 1 << v;
    case DIV_HDIV: return hdiv[v];
    case DIV_PLUS1: return v + 1;
    case DIV_NONE: break;
    }
    return 1;
}

// PLL output in kHz from its feedback and input dividers and its post
// scaler; the reference clock is 14.7456 MHz.  The product is formed first
// and every division truncates; it fits 32 bits for every field value.
static int pllfout(int x1fbd, int x2fbd, int x2ipd, int ps) {
    return (x1fbd + 1) * 14746 * (x2fbd + 1) / ((x2ipd + 1) * (1 << ps));
}

static void clkset1freqs(void) {
    c1fo = pllfout(c1x1fbd, c1x2fbd, c1x2ipd, c1ps);
    int fclk = c1fo / (1 << fclkd);
    hclk = c1fo / hdiv[hclkd];
    int pclk = hclk / (1 << pclkd); // from the truncated Hclk, as the hardware divides it
    rpt("# pll1 Fout=%dKHz   Fclk=%dKHz   (processor clock)\n", c1fo, fclk);
    rpt("#      Hclk=%dKHz   Pclk=%dKHz\n", hclk, pclk);
}

static void clkset2freqs(void) {
    c2fo = pllfout(c2x1fbd, c2x2fbd, c2x2ipd, c2ps);
    rpt("# pll2 Fout=%dKHz   USBclk=%dKHz\n", c2fo, c2fo / (usbdiv + 1));
}

// A clock-set register: its working copy, the value read from the chip, its
// fields and how its frequencies are summarised.
struct clkreg {
    const char *name;
    const clkfield *fields;
    int nfields;
    uint32_t *work;
    uint32_t *old;
    int *set;
    uint32_t (*get)(void);
    void (*put)(uint32_t);
    void (*freqs)(void);
    bool loadfirst; // read the chip even before a whole-register value
};

template <typename T, size_t N> constexpr int countof(const T (&)[N]) {
    return (int)N;
}

// clang-format off
static const clkreg reg1 = {
    "clkset1", clkset1fields, countof(clkset1fields),
    &clkset1, &oldclkset1, &c1set,
    syscon_get_clkset1, syscon_set_clkset1, clkset1freqs,
    false, // nothing is read before a whole-register value
};
static const clkreg reg2 = {
    "clkset2", clkset2fields, countof(clkset2fields),
    &clkset2, &oldclkset2, &c2set,
    syscon_get_clkset2, syscon_set_clkset2, clkset2freqs,
    true, // the chip is read first, even before a whole-register value
};
// clang-format on

static uint32_t fieldmask(const clkfield &f) {
    return ((1u << f.width) - 1) << f.lsb;
}

// Load the register from the chip on first use, then decode every field
// from the working copy.
static void initclkset(const clkreg &r) {
    if (!*r.set) {
        uint32_t v = r.get();
        *r.work = *r.old = v;
        *r.set = 1;
        rpt("\n# %s=0x%08x\n", r.name, (unsigned)v);
    }
    for (int i = 0; i < r.nfields; i++) {
        const clkfield &f = r.fields[i];
        *f.decoded = (int)((*r.work & fieldmask(f)) >> f.lsb);
    }
}

// The summary: the value against the one read from the chip, the commit
// when asked for, and the resulting frequencies.  The old value is never
// updated, so a later commit in the same run writes again.
static void writeclkset(const clkreg &r, int commit) {
    if (!*r.set) return;
    if (*r.work == *r.old) {
        rpt("#\n# %s=0x%08x and is unchanged\n", r.name, (unsigned)*r.old);
    } else {
        rpt("#\n# new %s=0x%08x\n", r.name, (unsigned)*r.work);
        if (commit) {
            flushout();
            r.put(*r.work);
            rpts("#  ....has been actioned.\n");
        } else {
            rpts("#  ....has NOT been actioned.\n");
        }
    }
    r.freqs();
}

// A field's report line, after its divider comment line if it has one:
// "clkset1.hclkdiv=3".  Put together by hand rather than with printf, as
// these are the lines a replayed command file prints over and over.
static void putfield(const clkreg &r, const clkfield &f) {
    char line[128];
    char *p = line;
    if (f.divhead) p = add(adddec(add(p, f.divhead), divisor(f)), f.divtail);
    p = add(add(add(add(p, r.name), "."), f.name), "=");
    p = add(adddec(p, *f.decoded), "\n");
    rptw(line, (size_t)(p - line));
}

static int doclkset(const clkreg &r, const char *param, const char *value) {
    if (!param) param = "";
    if (!value) value = "";
    if (r.loadfirst) initclkset(r);
    if (!*param && *value) {
        int32_t v;
        if (getint(value, &v)) return EINVAL;
        *r.work = (uint32_t)v;
        *r.set = 1;
    }
    initclkset(r);
    for (int i = 0; i < r.nfields; i++) {
        const clkfield &f = r.fields[i];
        if (*param && !samecase(param, f.name)) continue;
        if (*param && *value) {
            int32_t v;
            if (getint(value, &v) || v < 0 || v > f.max) return EINVAL;
            *f.decoded = v;
            *r.work = (*r.work & ~fieldmask(f)) | ((uint32_t)v << f.lsb);
        }
        putfield(r, f);
    }
    if (!*value && samecase(param, "write")) writeclkset(r, 1);
    if (!*param) writeclkset(r, 0);
    return 0;
}

int doclkset1(const char *param, const char *value) {
    return doclkset(reg1, param, value);
}
int doclkset2(const char *param, const char *value) {
    return doclkset(reg2, param, value);
}
void initclkset1(void) {
    initclkset(reg1);
}
void initclkset2(void) {
    initclkset(reg2);
}
void writeclkset1(int commit) {
    writeclkset(reg1, commit);
}
void writeclkset2(int commit) {
    writeclkset(reg2, commit);
}

void syscon_exit(void) {
    writeclkset1(dummy == 0);
}

int dostatusall(void) {
    doether("");
    dousb("");
    doirda("");
    douart("");
    dodma("");
    doclkset1("", "");
    doclkset2("", "");
    return dochipid("");
}

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
        if (char *e = strchr(p, '=')) {
            eq = e;
            *e = 0;
            value = e + 1;
        }
    }
    if (debug) fprintf(diag(), "cmd:%s  n=%d  p=%s  p2=%s  s=%s\n", cmd, n, kw, param, value);

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

char *getcmdline(char *buf, int size, FILE *fp, int *err, int skip) {
    int len = 0, lim = size - 1, bad = 0;
    *err = 0;
    for (;;) {
        // One physical line, up to its newline or the end of input.  A NUL
        // byte, or one character more than the buffer holds, is enough to
        // know that the line cannot be run.
        int start = len, over = 0, last = 0, c;
        while ((c = getc_unlocked(fp)) != '\n' && c != EOF && c != 0 && len < lim)
            buf[len++] = (char)c;
        if (c != '\n' && c != EOF) {
            if (!bad) bad = len == lim ? LINE_TOOLONG : LINE_NUL;
            // A caller that ends with this line (any source but a
            // terminal) has it here, without waiting for a newline that may
            // never come (/dev/zero).  One that reads on (a terminal) needs
            // the rest of the line read and dropped; only its last character
            // is kept, to see whether it continues.
            if (!skip) break;
            over = 1, last = c;
            while ((c = getc_unlocked(fp)) != '\n' && c != EOF) last = c;
        }
        if (c == EOF && ferror(fp)) {
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
    if (debug) fprintf(diag(), "cmdline:%s:\n", line);
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
    "command line too long (over 2047 characters), not run",
    "command line holds a NUL byte, not run",
    "command line continued past the end of input, not run",
};

// Run a command source to its end.  A file stops at its first failing
// line; at an interactive terminal a failure is reported and the prompt
// comes again.  The status is that of the last line run.
int docmdfile(const char *path) {
    char line[2048];
    if (debug) fprintf(diag(), "processing cmd file: %s\n", path);
    FILE *fp;
    int interactive = 0;
    if (!strcmp(path, "-")) {
        fp = stdin;
        interactive = isatty(fileno(stdin));
        if (interactive) dowrite("");
    } else if (!(fp = fopen(path, "r"))) {
        return err_rpt(errno, path);
    }
    // From a terminal, pipe or FIFO the next command may wait on the report
    // so far: it goes out before each read.  A regular file waits on nobody.
    struct stat st;
    bool live = fstat(fileno(fp), &st) || !S_ISREG(st.st_mode);
    int status = 0;
    for (;;) {
        if (live) flushout();
        if (interactive) {
            // The prompt goes to standard output even with -o; when that
            // is also the report stream, a failed prompt is a lost report.
            if ((fputs("\nzorl> ", stdout) == EOF || fflush(stdout)) && fout == stdout) outfailed();
        }
        int err;
        char *p = getcmdline(line, sizeof line, fp, &err, interactive);
        if (!p) {
            if (err) status = err_rpt(err, path);
            break;
        }
        if (err) {
            status = err_rpt(EINVAL, badline[-err]);
        } else {
            p = (char *)skipspace(p);
            if (!*p || *p == '#') continue;
            status = docmdline(p);
            err_rpt(status, p);
        }
        if (status && !interactive) break;
    }
    if (fp != stdin) fclose(fp);
    return status;
}

// ---- Where the report goes ---------------------------------------------------

// Open the -o file to append to, as fopen's "a" would; *made says whether
// this run created it, so that a run refused before it wrote anything can
// leave no file behind.
static FILE *openreport(const char *name, bool *made) {
    int fd;
    *made = false;
    do {
        fd = open(name, O_WRONLY | O_APPEND);
        if (fd >= 0 || errno != ENOENT) break;
        fd = open(name, O_WRONLY | O_APPEND | O_CREAT | O_EXCL, 0666);
        *made = fd >= 0;
    } while (fd < 0 && errno == EEXIST); // created by someone else meanwhile
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
static int checkreport(const char *inpath) {
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

// ---- Start-up ------------------------------------------------------------------

void zorlreset(void) {
    vflg = 0;
    debug = 0;
    dummy = 1;
    outfile = nullptr;
    fout = stdout;
    outerr = 0;
    clkset1 = oldclkset1 = clkset2 = oldclkset2 = 0;
    c1set = c2set = 0;
    c1fo = hclk = c2fo = 0;
    for (const clkfield &f : clkset1fields) *f.decoded = 0;
    for (const clkfield &f : clkset2fields) *f.decoded = 0;
}

static bool isprefix(const char *opt, const char *word) {
    size_t n = strlen(opt);
    return n && n <= strlen(word) && !strncmp(opt, word, n);
}

void zorlmain(int argc, char **argv) {
    int closed = stdguard();
    if (closed < 0) exit(EBADF);
    zorlreset();
    const char *self = argc > 0 && argv[0] ? argv[0] : "zorl";
    const char *slash = strrchr(self, '/');
    sys = slash ? slash + 1 : self;
    char **args = argv + (argc > 0);
    int nargs = argc > 0 ? argc - 1 : 0;

    const char *outname = nullptr;
    const char *inpath = nullptr;
    while (nargs > 0 && args[0][0] == '-') {
        const char *opt = args[0] + 1;
        args++, nargs--;
        if (isprefix(opt, "output")) {
            if (!nargs) break;
            outname = *args++, nargs--;
        } else if (isprefix(opt, "input")) {
            inpath = nargs ? (nargs--, *args++) : "-";
        } else {
            for (; *opt; opt++) {
                switch (*opt) {
                case 'h': exit(help(-1));
                case 'd': debug = 1; break;
                case 'v': vflg = 1; break;
                case 'w': dummy = 0; break;
                default: {
                    char bad[3] = {'-', *opt, 0};
                    err_rpt(EINVAL, bad);
                    exit(help(EINVAL));
                }
                }
            }
        }
    }

    outfile = "stdout";
    bool made = false;
    if (outname) {
        FILE *f = openreport(outname, &made);
        if (!f) exit(err_rpt(errno, outname));
        fout = f;
        outfile = outname;
    } else if (closed & 2) {
        // Started with standard output closed: the report goes to /dev/null
        // and is lost, which the exit status must say.
        outerr = EBADF;
    }
    if (int r = checkreport(inpath)) {
        if (made) unlink(outname);
        exit(r);
    }
    if (vflg) fprintf(stderr, "# %s version %s\n# Output File is \"%s\"\n", sys, version, outfile);
    fflush(stderr);

    int r = gpio_init();
    if (r) exit(err_rpt(r, "Could Not initialise GPIO pointers."));
    r = syscon_init();
    if (r) exit(err_rpt(r, "Could Not initialise SysCon pointers."));
    if (vflg) fputs("# GPIO pointers initialised \n# SysCon pointers initialised \n", stderr);
    fflush(stderr);

    // The command-line commands, then the -i source, whose status is the
    // run's; with neither, the full status report.  Standard input that was
    // closed at start now reads /dev/null: as the source it is lost, not
    // empty, and fails as a closed standard output does.
    int status = 0;
    if (nargs > 0) status = doargs(args, nargs);
    if (inpath)
        status = !strcmp(inpath, "-") && (closed & 1) ? err_rpt(EBADF, "stdin") : docmdfile(inpath);
    else if (nargs == 0)
        status = dostatusall();
    if (status == 0) syscon_exit();

    // A report that could not be written is a failed run, whatever the
    // commands returned.
    if (endreport()) {
        err_rpt(outerr, outfile);
        if (!status) status = outerr;
    }
    exit(status);
}
