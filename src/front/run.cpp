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
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const char version[] = "0.1beta";

int vflg;
int debug;
int dummy = 1;

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

int syscon_exit(void) {
    return writeclkset1(dummy == 0);
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
    clksetreset();
}

// Whether a stream of the run is one that was closed at start: the
// standard stream fd itself (name null), or whatever standard stream the
// name reaches.
static bool closedstream(const char *name, int fd = 1) {
    if (name) fd = stdname(name);
    return fd >= 0 && (stdclosed & (1 << fd));
}

static bool isprefix(const char *opt, const char *word) {
    size_t n = strlen(opt);
    return n && n <= strlen(word) && !strncmp(opt, word, n);
}

void zorlmain(int argc, char **argv) {
    if (stdguard() < 0) exit(EBADF);
    zorlreset();
    setprogname(argc > 0 ? argv[0] : nullptr);
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
    }
    // Started with standard output closed, the report goes to /dev/null and
    // is lost, which the exit status must say; so too when -o reaches a
    // closed stream by one of its names (/dev/stdout, /proc/self/fd/1).
    if (closedstream(outname)) outerr = EBADF;
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
    // empty, and fails as a closed standard output does, by any of its names.
    int status = 0;
    if (nargs > 0) status = doargs(args, nargs);
    if (inpath) {
        bool std = !strcmp(inpath, "-");
        status = closedstream(std ? nullptr : inpath, 0) ? err_rpt(EBADF, std ? "stdin" : inpath)
                                                         : docmdfile(inpath);
    } else if (nargs == 0)
        status = dostatusall();
    if (status == 0) status = syscon_exit();

    // A report that could not be written is a failed run, whatever the
    // commands returned.
    if (endreport()) {
        err_rpt(outerr, outfile);
        if (!status) status = outerr;
    }
    exit(status);
}
