// The clock-set registers ClkSet1 and ClkSet2: a working copy of each,
// decoded into fields by a constant table per register, edited field by
// field, printed with the resulting frequencies, and written on request or
// by the exit hook.
#include "zorl.h"

#include "zr6410io.h"

#include <errno.h>

// ---- Clock-set registers ---------------------------------------------------

// The working copies, and the value read from the chip.
uint32_t clkset1, clkset2;
static uint32_t oldclkset1, oldclkset2;
// What each register read back after this run's last store, and whether
// there was one: another program's change since is known by it.
static uint32_t seen1, seen2;
static int c1set, c2set; // 1 once the working copy is loaded
static int c1seen, c2seen;
// The fields of each working copy, decoded.
static int c1x2ipd, c1x2fbd, c1x1fbd, c1ps, fclkd, hclkd, pclkd, nbyp1, smcrom;
static int c2x2ipd, c2x2fbd, c2x1fbd, c2ps, nbyp2, pll2en, usbdiv;
static int c1fo, hclk, c2fo; // PLL outputs and Hclk in kHz, as last summarised

// Hclk divisor by hclkdiv code: not all powers of two.
static const int32_t hdiv[8] = {1, 2, 4, 5, 6, 8, 16, 32};

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

// The PLLs' reference clock, 14.7456 MHz, in whole kHz.
constexpr int REFKHZ = 14746;

// PLL output in kHz from its feedback and input dividers and its post
// scaler.  The product is formed first and every division truncates; it
// fits 32 bits for every field value.
static int pllfout(int x1fbd, int x2fbd, int x2ipd, int ps) {
    return (x1fbd + 1) * REFKHZ * (x2fbd + 1) / ((x2ipd + 1) * (1 << ps));
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
    uint32_t *seen; // what the chip held when this run last read it, or read back after a store
    int *hasseen;   // 0 while this run has neither read nor written it
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
    &clkset1, &oldclkset1, &c1set, &seen1, &c1seen,
    syscon_get_clkset1, syscon_set_clkset1, clkset1freqs,
    false, // nothing is read before a whole-register value
};
static const clkreg reg2 = {
    "clkset2", clkset2fields, countof(clkset2fields),
    &clkset2, &oldclkset2, &c2set, &seen2, &c2seen,
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
        *r.work = *r.old = *r.seen = v;
        *r.set = *r.hasseen = 1;
        rpt("\n# %s=0x%08x\n", r.name, (unsigned)v);
    }
    for (int i = 0; i < r.nfields; i++) {
        const clkfield &f = r.fields[i];
        *f.decoded = (int)((*r.work & fieldmask(f)) >> f.lsb);
    }
}

// The commit of the working copy, with the register store held.  A commit
// over a change that another program made to the register since this run
// read it would undo that change unseen: it is refused, naming the
// register.  0, or the errno after a message; nothing is written then.
static int commitclkset(const clkreg &r) {
    flushout();
    if (int err = io_begin()) return err;
    int status = 0;
    if (*r.hasseen && r.get() != *r.seen) {
        status = EBUSY;
    } else {
        // What the chip holds now is what it reads back after the store
        // has settled: bits outside every field may not keep what was
        // written, and the next commit's check must not take that for
        // another program's change.
        r.put(*r.work);
        *r.seen = r.get();
        *r.hasseen = 1;
    }
    io_end();
    if (status) {
        char text[96];
        snprintf(text, sizeof text,
                 "%s: changed by another program since this run read it, nothing written", r.name);
        err_rpt(status, text);
    }
    return status;
}

// The summary: the value against the one read from the chip, the commit
// when asked for, and the resulting frequencies.  The old value is never
// updated, so a later commit in the same run writes again.  0, or the errno
// of a commit that could not be made.
static int writeclkset(const clkreg &r, int commit) {
    if (!*r.set) return 0;
    int status = 0;
    if (*r.work == *r.old) {
        rpt("#\n# %s=0x%08x and is unchanged\n", r.name, (unsigned)*r.old);
    } else {
        rpt("#\n# new %s=0x%08x\n", r.name, (unsigned)*r.work);
        if (commit) status = commitclkset(r);
        rpts(commit && !status ? "#  ....has been actioned.\n" : "#  ....has NOT been actioned.\n");
    }
    r.freqs();
    return status;
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
    if (!*value && samecase(param, "write")) return writeclkset(r, 1);
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
int writeclkset1(int commit) {
    return writeclkset(reg1, commit);
}
int writeclkset2(int commit) {
    return writeclkset(reg2, commit);
}

void clksetreset(void) {
    clkset1 = oldclkset1 = clkset2 = oldclkset2 = 0;
    c1set = c2set = 0;
    c1fo = hclk = c2fo = 0;
    seen1 = seen2 = 0;
    c1seen = c2seen = 0;
    for (const clkfield &f : clkset1fields) *f.decoded = 0;
    for (const clkfield &f : clkset2fields) *f.decoded = 0;
}
