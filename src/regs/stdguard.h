// The start-up guard of the project's programs: called first thing in
// main, before anything is opened.
#ifndef ZORL_STDGUARD_H
#define ZORL_STDGUARD_H

// Descriptors 0 to 2: a program started with one of them closed would be
// handed that number by its next open, and what it writes to standard
// output or error would land in that file; for zorl the memory device or
// the board image, for zr6410-devmem the image.  Each closed one is opened
// on /dev/null instead, so that what went to it is lost rather than written
// into memory.
//
// SIGPIPE is ignored: a reader that goes away (zorl ... | head) then makes
// the next write fail with EPIPE, which the program reports like any other
// failed write, instead of killing it halfway through its commands.
// SIGXFSZ likewise: past a file-size limit (ulimit -f) a write fails with
// EFBIG, a lost report like a full disk, and the run still makes every
// change it was asked for.
//
// Returns a bit (1 << fd) for each descriptor that was closed, or -1 when
// one of them could not be opened.  The bits are kept in stdclosed.
int stdguard(void);
extern int stdclosed;

// The standard stream (0, 1 or 2) that a path reaches by name, or -1:
// /dev/stdin, /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N and
// /proc/PID/fd/N for this process's own PID, directly or through symbolic
// links to one of them.  Once a closed stream stands on /dev/null, opening
// such a name opens /dev/null, and a lost stream would pass for an empty
// one; this tells them apart.
int stdname(const char *path);

#endif
