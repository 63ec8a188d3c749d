// The report stream: a failed write keeps its cause.
#include "fixture.h"

#include <csignal>
#include <unistd.h>

// A failed report write keeps its cause.  The report streams here are
// unbuffered or line-buffered, so the failing writes happen inside the
// printing calls and nothing is left for the last flush: a C library that
// keeps only the stream's error flag, as musl does, then offers no errno.
TEST_F(Board, ReportFailureKeepsItsCause) {
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    close(pipefd[0]); // no reader: every write fails with EPIPE
    void (*sigpipe)(int) = signal(SIGPIPE, SIG_IGN);
    struct {
        FILE *stream;
        int mode, err;
    } cases[] = {
        {fopen("/dev/full", "w"), _IONBF, ENOSPC},
        {fopen("/dev/full", "w"), _IOLBF, ENOSPC},
        {fdopen(pipefd[1], "w"), _IOLBF, EPIPE},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.err);
        ASSERT_TRUE(c.stream);
        restart();
        FILE *real = fout;
        fout = c.stream;
        setvbuf(fout, nullptr, c.mode, 0);
        run("chipid");
        run("usb");
        EXPECT_EQ(flushout(), c.err);
        fclose(fout);
        fout = real;
    }
    signal(SIGPIPE, sigpipe);
}
