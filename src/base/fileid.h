// What a file is, as against how it is named: the decisions that two names
// are one file, and where a name that does not lead to a file yet would
// make one.
#ifndef ZORL_FILEID_H
#define ZORL_FILEID_H

#include <stddef.h>
#include <sys/stat.h>

// Two names of one thing: the same file, or for a device file (a character
// or block special file) any node with the same device number, since every
// such node reaches the same device.
bool sameid(const struct stat &a, const struct stat &b);

// stat() through a descriptor opened only to name the file (O_PATH: no
// device is opened and nothing read, a FIFO is not waited on): what opening
// the path would reach, even where the path is redirected on open (a
// stand-in for /dev/mem under an emulator).  0, or -1 with errno set.
int statpath(const char *path, struct stat *st);

// As many symbolic links as Linux follows in one lookup (its MAXSYMLINKS).
constexpr int MAXLINKS = 40;

// The name at the end of path's chain of symbolic links, which is where
// creating path makes the file (as open with O_CREAT does).  A relative
// link is taken from the folder that holds it; the links are followed as
// many times as the kernel would, no more.  0 with the name in out, or -1
// with errno set (ELOOP, ENAMETOOLONG, or a failed lstat other than
// ENOENT).
int linkend(const char *path, char *out, size_t size);

#endif
