// The start-up guard of the project's programs: called first thing in
// main, before anything is opened.
#ifndef ZORL_STDGUARD_H
#define ZORL_STDGUARD_H

// Descriptors 0 to 2: a program started with one of them closed would be
// handed that number by its next open, and what it writes to standard
// output or error would land in that file; for zorl the memory device or
// the board image, for zr6410-devmem the image.  Each closed one is parked
// on a pipe of its own whose other end is closed at once: reading it gives
// end of input, writing it fails (EPIPE), neither ever waits, and nothing
// else in the system is that pipe, so a closed stream is known by what it
// is whatever name reaches it (closedstream).  In secure-execution mode a
// stand-in that the C library put there before main counts as closed.
//
// SIGPIPE is ignored: a reader that goes away (zorl ... | head) then makes
// the next write fail with EPIPE, which the program reports like any other
// failed write, instead of killing it halfway through its commands.
// SIGXFSZ likewise: past a file-size limit (ulimit -f) a write fails with
// EFBIG, a lost report like a full disk, and the run still makes every
// change it was asked for.
//
// Returns a bit (1 << fd) for each descriptor that was closed, or -1 when
// one of them could not be parked.  The bits are kept in stdclosed.
int stdguard(void);
extern int stdclosed;

// The standard stream (0, 1 or 2) that was closed at start and that path
// is, or -1: decided by the file the path leads to (stat), so every
// spelling counts alike (/dev/stdin, /dev//fd/0, /proc/thread-self/fd/0,
// fd/0 from /dev, a link to any of these).  The path is never opened: a
// closed stream's name must not be, and one that led to the pipe's other
// end would wait for ever.
int closedstream(const char *path);

#endif
