// The platform layer: how the register layer reaches physical memory.
//
// Exactly one implementation is linked into each program:
//   plat_devmem.cpp  the board: /dev/mem, pages mapped at their physical address
//   plat_image.cpp   the simulated board: pages of a board image file
// (and, for tests, one backed by ordinary memory).  The register layer
// calls only these functions and does not know which board it runs on.
#ifndef ZORL_PLATFORM_H
#define ZORL_PLATFORM_H

#include <stdint.h>

// Whether opening the store needs a privilege beyond the user's, as
// /dev/mem does on the board.  A program whose store needs none gives any
// privilege up before it opens anything (privilege.h).
extern const bool plat_privileged;

// Open the memory device read-write with synchronous writes.  Returns the
// descriptor, or -1 with errno set.
int plat_open(void);

// Map one page of the device, shared and read-write, at the physical address
// phys (a page boundary).  Returns the start of the mapping, or a null
// pointer with errno set; a failed mapping is never handed out.
void *plat_map(int fd, uint32_t phys);

// The file the registers are reached through: the memory device, or the
// board image.  Nothing but register accesses may ever go there, and the
// front end makes sure its own output does not.  A null pointer when there
// is no such file.
const char *plat_path(void);

// Around every change of a register (a read-modify-write of a switch, a
// clock-set commit): the store held for this run alone, so that programs
// changing registers side by side never lose each other's bits.  An
// advisory lock (flock) on the store, waited for a few seconds at most and
// never held while waiting for input.  plat_lock returns 0, or an errno
// after a message on standard error naming the store; nothing may be
// written then, and plat_unlock is not called.
int plat_lock(int fd);
void plat_unlock(int fd);

// Is the store still the one this run opened?  A simulated board's image
// can be cut short, grown or replaced under a run; a value read then comes
// from a file nobody uses.  0, or an errno after a message naming the
// store.  plat_lock makes the same check before every change.
int plat_check(int fd);

#endif
