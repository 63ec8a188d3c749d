// zorl: show and change the ZR6410's Ethernet PHY power, its USB, IrDA and
// UART clocks and its PLL and clock-divider registers.
//
// Commands come from the command line, a command file or an interactive
// prompt.  Every report line is empty, a comment, or itself a command that
// sets the state it shows, so a saved report can be replayed with -i.
// Nothing is written to the hardware unless writing is enabled (-w or
// write=on), except by the explicit clkset1.write and clkset2.write commits.
#include "zorl.h"

#include "platform.h"
#include "privilege.h"
#include "stdguard.h"
#include "zr6410io.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const char version[] = ZORL_VERSION; // from the build (CMakeLists.txt)

static int vflg; // -v: start-up messages on standard error

// After "Usage:   " and the program's name.
static const char usage[] =
    " [-v] [-w] [-i file] [-o file] [commands]\n\n"
    " -v    verbose flag\n"
    " -w    commit changes specified in commands\n\n"
    "This program is dangerous! It can change many system registers\n"
    "that control the way the EP930x processor and its subsystems operate.\n"
    "The program can read and decode many of system registers, using names\n"
    "as used in the Cirrus EP930x user manual. It is urged that this program\n"
    "be used in conjunctionwith the processor user manual - available from\n"
    "Cirrus web site.\n";

// "# zorl version 0.1beta", the first line of -h and -v.
static void versionline(msgline &m) {
    msgraw(m, "# ");
    msgesc(m, sys);
    msgraw(m, " version ");
    msgraw(m, version);
    msgraw(m, "\n");
}

int help(int code) {
    msgline m;
    msgbegin(m);
    versionline(m);
    msgend(m);
    // The usage on standard output, the program's name in it escaped as
    // in every message.
    msgbegin(m, stdline(1));
    msgraw(m, "\nzorl - command line program to turn on/off parts of the ZR6410/EP9301\n"
              "       and to alter things like the CPU freq.\n\n");
    msgraw(m, "Usage:   ");
    msgesc(m, sys);
    msgraw(m, usage);
    msgend(m);
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
    reportreset();
    clksetreset();
}

// The -v lines of start-up, the output file's name quoted as error lines
// are.
__attribute__((cold)) static void verbose(void) {
    msgline m;
    msgbegin(m);
    versionline(m);
    msgraw(m, "# Output File is \"");
    msgesc(m, outfile);
    msgraw(m, "\"\n");
    msgend(m);
}

// A run that cannot reach the registers ends before its first command, and
// leaves no report file it made behind.
[[noreturn]] static void failstart(int code, const char *what) {
    if (what) err_rpt(code, what);
    dropreport();
    exit(code);
}

static bool isprefix(const char *opt, const char *word) {
    size_t n = strlen(opt);
    return n && n <= strlen(word) && !memcmp(opt, word, n);
}

void zorlmain(int argc, char **argv, const char *own, int (*chip)(uint32_t id)) {
    if (stdguard() < 0) exit(EBADF);
    // A privilege that is not the user's opens the register store alone
    // (privilege.h): from here on lowered, given up once the pages are
    // mapped, or at once where the store needs none.
    int priv = privstart();
    if (!priv && !plat_privileged) priv = privdrop();
    zorlreset();
    setprogname(argc > 0 ? argv[0] : nullptr, own);
    // Nothing may be written into the register store, the usage and -h
    // included: standard output and error are decided before anything.
    if (storegate(iostore())) exit(EINVAL);
    if (priv) failstart(priv, "cannot give up privileges");
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
    if (outname) {
        // A closed standard stream by any of its names is not opened: the
        // report is lost, and the exit status says so.
        bool closed = closedstream(outname) >= 0;
        if (int r = closed ? 0 : checkoutname(outname, inpath)) exit(r);
        FILE *f = closed ? fopen("/dev/null", "w") : openreport(outname);
        if (!f) exit(err_rpt(errno, closed ? "/dev/null" : outname));
        // The open may have waited (a FIFO, for its reader): what standard
        // output and error are is decided once more.
        fout = f; // the report to drop, should that refuse the run
        if (storegate(iostore())) failstart(EINVAL, nullptr);
        setreport(f);
        outfile = outname;
        if (closed) outerr = EBADF;
        if (reportstore()) {
            errstore(outname, iostore());
            failstart(EINVAL, nullptr);
        }
    } else if (stdclosed & 2) {
        // Started with standard output closed: the report is lost.
        outerr = EBADF;
    }
    if (int r = checkreport(inpath)) failstart(r, nullptr);
    if (vflg) verbose();

    int r = gpio_init();
    if (r) failstart(r, "Could Not initialise GPIO pointers.");
    r = syscon_init();
    if (!r && chip) r = chip(syscon_get_chipid());
    if (r) failstart(r, "Could Not initialise SysCon pointers.");
    r = privdrop();
    if (r) failstart(r, "cannot give up privileges");
    if (vflg) diag("# GPIO pointers initialised \n# SysCon pointers initialised \n");

    // The command-line commands, then the -i source, whose status is the
    // run's; with neither, the full status report.  A standard stream that
    // was closed at start, as the source, is lost, not empty, by any name.
    int status = 0;
    if (nargs > 0) status = doargs(args, nargs);
    if (inpath) {
        bool std = isstdin(inpath);
        bool closed = std ? (stdclosed & 1) != 0 : closedstream(inpath) >= 0;
        status = closed ? err_rpt(EBADF, std ? "stdin" : inpath) : docmdfile(inpath);
    } else if (nargs == 0)
        status = dostatusall();
    // Values read from a store that was replaced under the run came from a
    // file nobody uses: the run fails, and no commit follows.
    if (status == 0) status = io_check();
    if (status == 0) status = syscon_exit();

    // A report that could not be written is a failed run, whatever the
    // commands returned.
    if (int lost = endreport(); lost && !status) status = lost;
    exit(status);
}
