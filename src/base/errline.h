// The error line of every program of the project, and the one name they
// give themselves in it:
//
//     [prog] system message : text
//
// The text often holds what the user typed or a file held (a command, a
// path).  Bytes below 0x20 and 0x7F in it are written as a backslash and
// three octal digits (ESC as \033), so that a command file cannot retitle,
// clear or otherwise drive the terminal the messages go to; every other
// byte, printable text and bytes from 0x80 on, goes out as it is.  The
// trace lines of -d and -v quote input the same way.
//
// A line is put together piece by piece in a buffer and handed to the
// system whenever the buffer fills, so a text of any length is written
// whole, and its line always ends; a line that fits the buffer leaves in
// one write, so lines of programs side by side do not mix.
#ifndef ZORL_ERRLINE_H
#define ZORL_ERRLINE_H

#include "wholeline.h"

#include <stddef.h>

// The program's name in its messages: argv[0] after its last '/' (set by
// setprogname), "zorl" until then.
extern const char *sys;
void setprogname(const char *argv0);

// A message line being written, to a descriptor with write() alone, which
// a signal handler may call; fd -1 is standard error's, or, for a stream
// without one (in memory, as a test may make it), the stream itself.  A
// file that cannot take the whole line keeps none of it (wholeline.h).
struct msgline {
    lineout *out, own;
    size_t len;
    char buf[4096];
};

// The writer of standard error, one for the run: a failed write stops
// every message after it.
lineout *errwriter(void);

void msgbegin(msgline &m, int fd = -1);
void msgraw(msgline &m, const char *s); // as it is
void msgesc(msgline &m, const char *s); // control characters escaped
void msgdec(msgline &m, long v);
void msgend(msgline &m); // the rest handed to the system
// "[sys] what : ", the head of an error line, what being the system's
// message for the code.
void msghead(msgline &m, const char *what);

// head, text with its control characters escaped, then tail, on standard
// error.
void putmsg(const char *head, const char *text, const char *tail);

// "[sys] strerror(code) : text" on standard error.
void errline(int code, const char *text);

// "[sys] message : path: what", the path escaped (without ": what" when
// what is null), on standard error (fd -1) or, from a signal handler,
// straight to descriptor fd with a message prepared beforehand.
void errpath(int fd, const char *message, const char *path, const char *what);

#endif
