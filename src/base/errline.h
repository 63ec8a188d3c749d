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
// setprogname), or the program's own name when that is empty or missing.
extern const char *sys;
void setprogname(const char *argv0, const char *own);

// A message line being written through a writer (wholeline.h), standard
// error's unless another is given, with write() alone, which a signal
// handler may call.  A line that fits the buffer leaves in one write.
struct msgline {
    lineout *out;
    size_t len;
    char buf[ONEWRITE];
};

void msgbegin(msgline &m, lineout *out = nullptr);
void msgraw(msgline &m, const char *s); // as it is
void msgesc(msgline &m, const char *s); // control characters escaped
void msgdec(msgline &m, long v);
void msgend(msgline &m); // the rest handed to the system
// "[sys] what : ", the head of an error line, what being the system's
// message for the code; the name escaped as the text is.
void msghead(msgline &m, const char *what);

// head, text with its control characters escaped, then tail, on standard
// error.
void putmsg(const char *head, const char *text, const char *tail);

// "[sys] strerror(code) : text" on standard error.
void errline(int code, const char *text);

// "[sys] message : path: what", the path escaped (without ": what" when
// what is null), on standard error, or, from a signal handler, through a
// copy of its writer, with a message prepared beforehand.
void errpath(lineout *out, const char *message, const char *path, const char *what);

// "[sys] Invalid argument : NAME: would write into the register store
// STORE, nothing run", both escaped.
void errstore(const char *name, const char *store);

// Before anything is written: the register store's name for every writer
// (linestore), and whether standard output or error is the store; once
// the store is open, storegatefd: whether they are the file it opened, fd
// (linestorefd).  If one is, true after the message (unless standard error
// is the store, where the status alone says it): the run is refused.
bool storegate(const char *store);
bool storegatefd(const char *store, int fd);

#endif
