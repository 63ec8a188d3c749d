// The error line of every program of the project, and the one name they
// give themselves in it:
//
//     [prog] system message : text
//
// The text often holds what the user typed or a file held (a command, a
// path).  Bytes below 0x20 and 0x7F in it are written as a backslash and
// three octal digits (ESC as \033), so that a command file cannot retitle,
// clear or otherwise drive the terminal the messages go to; every other
// byte, printable text and bytes from 0x80 on, goes out as it is.
#ifndef ZORL_ERRLINE_H
#define ZORL_ERRLINE_H

#include <stddef.h>

// The program's name in its messages: argv[0] after its last '/' (set by
// setprogname), "zorl" until then.
extern const char *sys;
void setprogname(const char *argv0);

// head, text with its control characters escaped, then tail, into buf as a
// string (cut short to fit size); returns its length.  Nothing but stores
// into buf, so it may prepare a line that a signal handler writes later.
size_t fmtmsg(char *buf, size_t size, const char *head, const char *text, const char *tail);

// The same on standard error, in one write where it fits.
void putmsg(const char *head, const char *text, const char *tail);

// "[sys] strerror(code) : text" into buf (as fmtmsg), or on standard error.
size_t fmterrline(char *buf, size_t size, int code, const char *text);
void errline(int code, const char *text);

#endif
