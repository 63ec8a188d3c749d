// The report stream: a failed write keeps its cause.
#include "fixture.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// A failed report write keeps its cause, taken where the write failed.
TEST_F(Board, ReportFailureKeepsItsCause) {
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    close(pipefd[0]); // no reader: every write fails with EPIPE
    void (*sigpipe)(int) = signal(SIGPIPE, SIG_IGN);
    for (auto [stream, err] :
         {std::pair(fopen("/dev/full", "w"), ENOSPC), std::pair(fdopen(pipefd[1], "w"), EPIPE)}) {
        SCOPED_TRACE(err);
        ASSERT_TRUE(stream);
        restart();
        setreport(stream);
        run("chipid");
        run("usb");
        EXPECT_EQ(flushout(), err);
        fclose(stream);
        setreport(rep);
    }
    signal(SIGPIPE, sigpipe);
}

// Every write comes here first (--wrap=write).  To the report (cutfd),
// allow more bytes get out, then writes fail with cuterr; another program
// appends mid to the file before the first, theirs at the failure.
extern "C" ssize_t __real_write(int fd, const void *p, size_t n);
static int cutfd = -1, cuterr, otherfd;
static size_t allow;
static const char *mid, *theirs;

extern "C" ssize_t __wrap_write(int fd, const void *p, size_t n) {
    if (fd != cutfd) return __real_write(fd, p, n);
    for (const char **o : {&mid, allow ? &mid : &theirs})
        if (*o) __real_write(otherfd, *o, strlen(*o)), *o = nullptr;
    if (!allow) return errno = cuterr, -1;
    n = n < allow ? n : allow;
    allow -= n;
    return __real_write(fd, p, n);
}

// However a write stops partway (a file-size limit: e2e_output), the report
// file ends in the last line it got whole, and nothing more is written to
// it; what another program wrote after it is not cut, and the message says
// so.
TEST_F(Board, ACutWriteLeavesWholeLines) {
    struct {
        int err;
        size_t allow;
        const char *prompt, *mid, *theirs, *old, *file, *why;
    } cases[] = {
        {ENOSPC, 0, "", nullptr, nullptr, "", "", nullptr},
        {EDQUOT, 7, "", nullptr, nullptr, "", "USB=on\n", nullptr},
        {EIO, 10, "", nullptr, nullptr, "", "USB=on\n", nullptr},
        // Not cut, and said so: another program wrote after it, or the
        // file went on (1<>file, written over from its start).
        {ENOSPC, 10, "", nullptr, "x\n", "", "USB=on\nIRDx\n",
         "another program has written to the file since"},
        {ENOSPC, 10, "", nullptr, nullptr, "0123456789ABCDEF\n", "USB=on\nIRDABCDEF\n",
         "the file's older text follows it"},
        // A prompt left open is part of the line, until another line follows it.
        {EFBIG, 3, "\nzorl> ", nullptr, nullptr, "", "\n", nullptr},
        {EFBIG, 3, "\nzorl> ", "[zorl] x\n", nullptr, "", "\nzorl> [zorl] x\n", nullptr},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.file);
        restart();
        char path[] = "/tmp/zorl-cut-XXXXXX";
        int fd = mkstemp(path);
        otherfd = open(path, O_WRONLY | O_APPEND);
        ASSERT_EQ(pwrite(fd, c.old, strlen(c.old), 0), (ssize_t)strlen(c.old));
        FILE *realout = stdout;
        stdout = fdopen(fd, *c.old ? "r+" : "a"); // a prompt is part of the report only then
        setreport(stdout);
        outfile = "r.txt";
        prompt(c.prompt);
        cutfd = fd, cuterr = c.err, allow = c.allow, mid = c.mid, theirs = c.theirs;
        run("usb");
        run("irda");
        EXPECT_EQ(flushout(), c.err);
        run("uart");
        testing::internal::CaptureStderr();
        EXPECT_EQ(endreport(), c.err);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("[zorl] ") + strerror(c.err) + " : r.txt" +
                      (c.why ? std::string(": the report ends in part of a line, not cut off: ") +
                                   c.why + "\n"
                             : "\n"));
        cutfd = -1;
        stdout = realout;
        setreport(rep);
        close(otherfd);
        std::ifstream in(path);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.file);
        unlink(path);
    }
}

// ---- Opening the -o file -----------------------------------------------------

// The unit tests are linked with --wrap=open64, so that every open of the
// program comes here first: a test can then make another process's file
// appear between openreport's two opens, at exactly that moment.
extern "C" int __real_open64(const char *path, int flags, ...);

static std::string racepath; // the file the race is about, or empty
static int racemode;         // 1: made once before the exclusive open; 2: always there then
static int raceopens;        // opens of that file

extern "C" int __wrap_open64(const char *path, int flags, ...) {
    unsigned mode = 0;
    if (flags & O_CREAT) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, unsigned);
        va_end(ap);
    }
    if (!racepath.empty() && racepath == path) {
        raceopens++;
        if ((flags & O_EXCL) && racemode == 1) {
            racemode = 0;
            int fd = __real_open64(path, O_WRONLY | O_CREAT, 0644);
            EXPECT_EQ(write(fd, "theirs\n", 7), 7);
            close(fd);
        } else if ((flags & O_EXCL) && racemode == 2) {
            errno = EEXIST; // as if created and removed again every time
            return -1;
        }
    }
    return __real_open64(path, flags, mode);
}

TEST(OpenReport, AppendsCreatesFollowsLinksAndNeverRetriesForEver) {
    char dir[] = "/tmp/zorl-report-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    std::string d = dir;
    ASSERT_EQ(symlink("target.txt", (d + "/link.txt").c_str()), 0);
    ASSERT_EQ(symlink("nodir/r.txt", (d + "/badlink.txt").c_str()), 0);
    struct {
        const char *name;
        int race;
        int err;         // errno of a refused open, 0 when it opens
        bool made;       // whether this run counts the file as its own
        const char *was; // what the file holds before our report line ("" when none)
        const char *file;
        int opens; // opens of the named file
    } cases[] = {
        {"new.txt", 0, 0, true, "", "new.txt", 2},
        // Another process creates it between the two opens: appended to, not ours.
        {"raced.txt", 1, 0, false, "theirs\n", "raced.txt", 3},
        // Created and gone again on every try: given up after a few tries.
        {"flicker.txt", 2, EEXIST, false, nullptr, nullptr, 16},
        // A link to a file not yet made: the file at its end is made, and ours.
        {"link.txt", 0, 0, true, "", "target.txt", 1},
        {"badlink.txt", 0, ENOENT, false, nullptr, nullptr, 1},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        racepath = d + "/" + c.name;
        racemode = c.race;
        raceopens = 0;
        errno = 0;
        FILE *f = openreport(racepath.c_str());
        int err = errno;
        racepath.clear();
        EXPECT_EQ(raceopens, c.opens);
        if (c.err) {
            EXPECT_EQ(f, nullptr);
            EXPECT_EQ(err, c.err);
            continue;
        }
        ASSERT_TRUE(f);
        fputs("ours\n", f);
        fflush(f);
        std::string path = d + "/" + c.file;
        FILE *in = fopen(path.c_str(), "r");
        ASSERT_TRUE(in);
        char got[64] = {0};
        EXPECT_EQ(fread(got, 1, sizeof got - 1, in), strlen(c.was) + 5);
        fclose(in);
        EXPECT_EQ(std::string(got), std::string(c.was) + "ours\n");
        // Only a file this run made is taken away by a refused run.
        setreport(f);
        dropreport();
        EXPECT_EQ(access(path.c_str(), F_OK) != 0, c.made);
        fclose(f);
        setreport(stdout);
        unlink(path.c_str());
    }
    unlink((d + "/link.txt").c_str());
    unlink((d + "/badlink.txt").c_str());
    EXPECT_EQ(rmdir(dir), 0);
}

// A page that cannot be mapped ends the run at start-up with the failure
// of its block, the second (SysCon) as much as the first.
TEST(StartUp, AFailedMappingEndsTheRun) {
    struct {
        int mapsok;
        const char *message;
    } cases[] = {{0, "Could Not initialise GPIO pointers."},
                 {1, "Could Not initialise SysCon pointers."}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.message);
        char prog[] = "zorl-sim", cmd[] = "chipid";
        char *argv[] = {prog, cmd, nullptr};
        EXPECT_EXIT(
            {
                memboard_reset();
                memboard_maperr = ENOMEM;
                memboard_mapsok = c.mapsok;
                zorlmain(2, argv, "zorl-sim", nullptr);
            },
            ::testing::ExitedWithCode(ENOMEM), std::string(strerror(ENOMEM)) + " : " + c.message);
    }
}
