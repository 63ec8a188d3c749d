// The one writer of the project's programs: every byte that goes to
// standard output, standard error or a report file passes through
// lineput, which writes it whole, as the kind of file it goes to needs,
// and never into the register store.
//
// What a stream is, is decided once, when its writer is opened (lineopen),
// before its first byte:
//
//   the register store  the board image, a loop device backed by it, or
//                       /dev/mem: its text would be written over the
//                       registers.  Such a writer writes nothing at all.
//   a regular file      A write can stop partway: at a file-size limit
//                       (EFBIG), on a full disk (ENOSPC), past a quota
//                       (EDQUOT), on an I/O error.  What got out of a line
//                       would later read as a whole one: a saved report
//                       ending in "clkset1.pll1_x2fdb2=6" where the run
//                       wrote "=63" replays as 6.  So when a write fails
//                       with part of a line written, that part is cut off
//                       again, and nothing more is written through the
//                       writer.  Only what this writer wrote of the line is
//                       cut, and only while the file still ends where its
//                       write ended: never what another program (or
//                       standard error into the same file) wrote after it.
//                       A signal that ends the process would stop such a
//                       write partway with nothing left to mend it, so
//                       every signal but KILL is held off meanwhile.
//   a pipe, FIFO or     Each write is at most PIPE_BUF bytes (a socket's
//   socket              SOCKWRITE) and ends at the end of a line, so that
//                       no signal, KILL included, can cut it: the kernel
//                       writes such a write whole or not at all (a local
//                       socket's; a network one may take part of it).  The
//                       prompt, which ends no line, is a write of its own;
//                       only a single line longer than that goes in pieces.
//   anything else       (a terminal) written as it comes.
//
// A stream that another program left non-blocking is waited on (poll)
// whenever it is full, and written on; its flags are left as they are.
// The programs never write while they hold the register store's lock.
#ifndef ZORL_WHOLELINE_H
#define ZORL_WHOLELINE_H

#include <limits.h>
#include <stddef.h>
#include <sys/types.h>

// The most bytes the kernel writes to a pipe in one piece.
constexpr size_t ONEWRITE = PIPE_BUF;
// A local stream socket takes a write whole, or nothing of it, while it
// fits half the socket's send buffer less a header: of its smallest
// buffer (4608 bytes), 2240.
constexpr size_t SOCKWRITE = 2048;

enum linekind { LINE_OTHER, LINE_FILE, LINE_PIPE, LINE_STORE };

struct lineout {
    int fd;
    linekind kind;
    lineout *peer; // another writer into the same file (report and standard error)
    int err;       // errno of the write that failed; nothing is written once it is set
    int left;      // then: 0 when no part of a line was left, else why it was (below)
    off_t tail;    // bytes written since the last newline
    off_t tailend; // the file offset where they end, when tail is not 0
    off_t size0;   // the file's size when the writer was opened
    size_t chunk;  // a pipe's or socket's most bytes in one write
};

// Why part of a line was left in a file: another program wrote to it after
// this writer; the file held older text after the report (written over
// with 1<>, not appended to); or the errno of the failed cut (EPERM: an
// append-only file).
enum { LEFT_APPENDED = -1, LEFT_OLDTEXT = -2 };

// The register store's name, for every writer opened after this call;
// standard output and error are decided again.  Returns which of them is
// the store: bit 1 for standard output, bit 2 for standard error.
int linestore(const char *store);

// The same for the store as it was opened, by its descriptor: another file
// may have taken the store's name since standard output and error were
// decided.  A stream found to be the store writes nothing from then on.
int linestorefd(int storefd);

void lineopen(lineout *o, int fd);

// The writer of standard output (fd 1) or standard error (fd 2), one each
// for the run.
lineout *stdline(int fd);

// Two writers into one file (standard output and error redirected to it):
// the first failure of either stops both, so nothing is written after it.
// Nothing is done for two different files.
void linepair(lineout *a, lineout *b);

// Write the n bytes, all of them, or up to a failure.  0, or the errno of
// the failed write, as kept in o->err (EINVAL for the register store).
int lineput(lineout *o, const char *p, size_t n);

// The errno of the failed write that stopped the writer (its own, or its
// peer's), or 0.
int lineerr(const lineout *o);

#endif
