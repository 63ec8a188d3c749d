// Fuzz target: a command source run line by line on the board in memory.
//
// The first byte of the input says how the source runs; the rest is the
// source itself, read through a stdio stream exactly as a command file is:
//   bit 0  writing enabled (-w)
//   bit 1  the -d trace
//   bit 2  go on after a failing line, as at a terminal; otherwise the
//          source is handed to docmdfile itself, as standard input
//   bit 3  the Ethernet PHY power line starts as an input, so that
//          ethernet=on|off is refused by the register layer
// Besides crashes and undefined behaviour, one property is checked: with
// writing disabled, no register of the board may change.  The clkset1.write
// and clkset2.write commits write whatever the write flag says, and
// write=on enables writing, so an input that holds "write" in any case is
// exempt.
#include "memboard.h"
#include "simboard.h"
#include "zorl.h"
#include "zr6410io.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static FILE *sink;
static unsigned char before[SIM_NPAGES][SIM_PAGE]; // the board as the run starts

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // The report and every diagnostic go nowhere.  libFuzzer keeps the
    // standard error stream it had at start for its own output, and the
    // sanitizers write to descriptor 2 directly, so their reports still show.
    sink = fopen("/dev/null", "w");
    if (!sink) abort();
    stderr = sink;
    return 0;
}

static bool holdswrite(const uint8_t *p, size_t n) {
    static const char word[] = "write";
    for (size_t i = 0; i + 5 <= n; i++) {
        size_t k = 0;
        while (k < 5 && (p[i + k] | 0x20) == word[k]) k++;
        if (k == 5) return true;
    }
    return false;
}

static bool boardunchanged(void) {
    for (unsigned i = 0; i < SIM_NPAGES; i++)
        if (memcmp(memboard_reg8(simpages[i]), before[i], SIM_PAGE)) return false;
    return true;
}

// docmdfile's loop as it runs at a terminal: a failing line is reported and
// reading goes on.
static int keepgoing(FILE *fp) {
    char line[2048];
    int status = 0;
    for (;;) {
        int err;
        char *p = getcmdline(line, sizeof line, fp, &err, 1);
        if (!p) {
            if (err) status = err_rpt(err, "fuzz input");
            break;
        }
        if (err) {
            status = err_rpt(EINVAL, "line refused");
            continue;
        }
        while (*p == ' ' || (*p >= '\t' && *p <= '\r')) p++;
        if (!*p || *p == '#') continue;
        status = docmdline(p);
        err_rpt(status, p);
    }
    return status;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    unsigned flags = data[0];
    data++, size--;

    memboard_reset();
    zorlreset();
    fout = sink;
    if (gpio_init() || syscon_init()) abort();
    if (flags & 8) *memboard_reg8(0x80840044) = 0; // port H direction
    for (unsigned i = 0; i < SIM_NPAGES; i++)
        memcpy(before[i], memboard_reg8(simpages[i]), SIM_PAGE);
    dummy = !(flags & 1);
    debug = (flags >> 1) & 1;

    // A copy of its own, so that the stream reads exactly these bytes.
    char *text = (char *)malloc(size + 1);
    if (size) memcpy(text, data, size);
    FILE *fp = size ? fmemopen(text, size, "r") : fopen("/dev/null", "r");
    if (!fp) abort();

    int status;
    if (flags & 4) {
        status = keepgoing(fp);
    } else {
        FILE *in = stdin;
        stdin = fp;
        status = docmdfile("-");
        stdin = in;
    }
    if (status == 0) syscon_exit();
    flushout();
    fclose(fp);
    free(text);

    if (!(flags & 1) && !holdswrite(data, size) && !boardunchanged()) {
        dprintf(2, "a register changed with writing disabled\n");
        abort();
    }
    return 0;
}
