// Lines handed to a descriptor, never left in part in a file.
//
// A write can stop partway: at a file-size limit (EFBIG), on a full disk
// (ENOSPC), past a quota (EDQUOT), on an I/O error.  What got out of a line
// would later read as a whole one: a saved report ending in
// "clkset1.pll1_x2fdb2=6" where the run wrote "=63" replays as 6.  So when
// a write fails with part of a line written into a regular file, that part
// is cut off again, and nothing more is written through the writer: the
// file holds whole lines only, the beginning of what was to be written.
//
// Only what this writer wrote of the line is cut, and only while the file
// still ends where its write ended: never what another program (or another
// writer of this one, standard error into the same file) wrote after it.
//
// A signal that ends the process can stop a write partway too, and then
// nothing is left to cut it: while a regular file is written, every signal
// but KILL is held off until the write is done.
#ifndef ZORL_WHOLELINE_H
#define ZORL_WHOLELINE_H

#include <stddef.h>
#include <sys/types.h>

struct lineout {
    int fd;
    bool file;     // a regular file, whose writes are mended
    lineout *peer; // another writer into the same file (report and standard error)
    int err;       // errno of the write that failed; nothing is written once it is set
    int left;      // then: 0 when no part of a line was left, else why it was (below)
    off_t tail;    // bytes written since the last newline
    off_t tailend; // the file offset where they end, when tail is not 0
};

// Why part of a line was left in the file: another program wrote to it
// after this writer, or the errno of the failed cut (EPERM: an append-only
// file).
enum { LEFT_APPENDED = -1 };

void lineopen(lineout *o, int fd);

// Two writers into one file (standard output and error redirected to it):
// the first failure of either stops both, so nothing is written after it.
// Nothing is done for two different files.
void linepair(lineout *a, lineout *b);

// Write the n bytes, all of them, or up to a failure.  0, or the errno of
// the failed write, as kept in o->err.
int lineput(lineout *o, const char *p, size_t n);

// The errno of the failed write that stopped the writer (its own, or its
// peer's), or 0.
int lineerr(const lineout *o);

#endif
