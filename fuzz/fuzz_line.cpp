// Fuzz target: a command source run line by line on the board in memory.
//
// The first byte of the input says how the source runs; the rest is the
// source itself, a stdio stream run by the program's own runsource:
//   bit 0  writing enabled (-w)
//   bit 1  unused (the -d trace is always on: the oracle reads it)
//   bit 2  interactive, as at a terminal: prompts, and a failing line is
//          reported and reading goes on; otherwise the first failing
//          line ends the source, as in a command file
//   bit 3  the Ethernet PHY power line starts as an input, so that
//          ethernet=on|off is refused by the register layer
// Besides crashes and undefined behaviour, one property is checked: with
// writing disabled, no register of the board may change.  Exempt are only
// the runs in which writing was really enabled, by -w or by a write=on
// command that ran, and those in which a clkset1.write or clkset2.write
// commit ran (they write whatever the write flag says).  What ran is read
// from the dispatcher's -d trace, which is written before any handler runs,
// so a handler that gets the write flag wrong cannot hide it.
#include "memboard.h"
#include "simboard.h"
#include "zorl.h"
#include "zr6410io.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <unistd.h>

static FILE *sink, *trace;
static unsigned char before[SIM_NPAGES][SIM_PAGE]; // the board as the run starts

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // The report and the prompts go nowhere, every diagnostic into a file
    // of its own, read back after each run: the program's writers of
    // standard output and error are pointed there, and descriptors 1 and
    // 2 stay libFuzzer's and the sanitizers'.
    sink = fopen("/dev/null", "w");
    trace = tmpfile();
    if (!sink || !trace) abort();
    lineopen(stdline(1), fileno(sink));
    lineopen(stdline(2), fileno(trace));
    return 0;
}

// The n bytes at s are the word, in any case.
static bool is(const char *s, size_t n, const char *word) {
    return n == strlen(word) && !strncasecmp(s, word, n);
}

// Whether the -d trace shows a command that ran and enabled writing
// (write=on), or a commit (clkset1.write, clkset2.write).  A trace line is
// "cmd:TEXT  n=N  p=KEYWORD  p2=PARAMETER  s=VALUE": neither the keyword
// nor the parameter can hold an "=", so the separators are found unambiguously.
static bool enablesorcommits(const char *trace, size_t n) {
    const char *end = trace + n;
    for (const char *p = trace, *nl; p < end; p = nl + 1) {
        nl = (const char *)memchr(p, '\n', (size_t)(end - p));
        if (!nl) nl = end;
        if (nl - p < 4 || memcmp(p, "cmd:", 4)) continue;
        const char *kw = (const char *)memmem(p, (size_t)(nl - p), "  p=", 4);
        const char *par = kw ? (const char *)memmem(kw, (size_t)(nl - kw), "  p2=", 5) : nullptr;
        const char *val = par ? (const char *)memmem(par, (size_t)(nl - par), "  s=", 4) : nullptr;
        if (!val) continue;
        kw += 4, par += 5;
        size_t kwn = (size_t)(par - 5 - kw), parn = (size_t)(val - par);
        val += 4;
        if (is(kw, kwn, "write") && !parn && is(val, (size_t)(nl - val), "on")) return true;
        if ((is(kw, kwn, "clkset1") || is(kw, kwn, "clkset2")) && is(par, parn, "write") &&
            val == nl)
            return true;
    }
    return false;
}

static bool boardunchanged(void) {
    for (unsigned i = 0; i < SIM_NPAGES; i++)
        if (memcmp(memboard_reg8(simpages[i]), before[i], SIM_PAGE)) return false;
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    unsigned flags = data[0];
    data++, size--;

    memboard_reset();
    zorlreset();
    setreport(sink);
    if (gpio_init() || syscon_init()) abort();
    if (flags & 8) *memboard_reg8(GPIO_BASE + GPIO_PHDDR) = 0;
    for (unsigned i = 0; i < SIM_NPAGES; i++)
        memcpy(before[i], memboard_reg8(simpages[i]), SIM_PAGE);
    dummy = !(flags & 1);
    debug = 1;
    int tfd = fileno(trace);
    if (ftruncate(tfd, 0) || lseek(tfd, 0, SEEK_SET)) abort();

    // A copy of its own, so that the stream reads exactly these bytes.
    char *text = (char *)malloc(size + 1);
    if (size) memcpy(text, data, size);
    FILE *fp = size ? fmemopen(text, size, "r") : fopen("/dev/null", "r");
    if (!fp) abort();

    int status = runsource(fp, "fuzz input", flags & 4);
    if (status == 0) syscon_exit();
    flushout();
    fclose(fp);
    free(text);

    size_t tracelen = (size_t)lseek(tfd, 0, SEEK_END);
    char *traced = (char *)malloc(tracelen + 1);
    if (!traced || pread(tfd, traced, tracelen, 0) != (ssize_t)tracelen) abort();
    bool exempt = (flags & 1) || enablesorcommits(traced, tracelen);
    free(traced);
    if (!exempt && !boardunchanged()) {
        dprintf(2, "a register changed with writing disabled\n");
        abort();
    }
    return 0;
}
