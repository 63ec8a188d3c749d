// The simulated board's image file, shared by zorl-sim and zr6410-devmem.
//
// The image holds a header page followed by one 4 KiB page for each
// simulated register block; a register lives at its offset within its page,
// in the host's byte order (little-endian on x86 and ARM Linux).  Loads and
// stores go through a shared mapping of the file, so the file is the
// register state and a run sees what the previous run left.
#ifndef ZORL_SIMBOARD_H
#define ZORL_SIMBOARD_H

#include "regmap.h"

#include <stdint.h>

constexpr unsigned SIM_PAGE = REG_PAGE;
constexpr unsigned SIM_NPAGES = 5;
constexpr unsigned SIM_SIZE = SIM_PAGE * (1 + SIM_NPAGES);

// Physical base of each simulated page, in image order (page 1 onwards).
extern const uint32_t simpages[SIM_NPAGES];

// The image path: $ZR6410_IMAGE, or zr6410.img in the current directory.
const char *simboard_path(void);

// Offset in the image of the page that holds physical address phys, or -1
// when no simulated page holds it.
long simboard_offset(uint32_t phys);

// A view of the page at physical address phys (a page boundary): the whole
// image is mapped, shared, from its start, whatever the host's page size,
// and the page's place in it returned.  A null pointer with errno set.
void *simboard_map(int fd, uint32_t phys);

// Whether addr lies in a mapping of the image that this run made.
bool simboard_mapped(const void *addr);

// Fill a SIM_SIZE buffer with the image of a board just powered on.
void simboard_poweron(unsigned char *img);

// Open the image read-write, creating it with the power-on register values
// when it does not exist.  An image that exists is used as it is or refused,
// never rewritten.  An image that may only be read (EACCES, EROFS, EPERM)
// is opened to read: a run that only reads goes ahead, a store is refused.
// A bus error in a mapping of the image ends the run with a message: the
// image was cut short under the run, or its file system had no room for
// one of its pages; the exit status is faultstatus, or for 0 the cause's
// errno (ESTALE, ENOSPC).  Returns the descriptor, or -1 with errno set
// after a one-line message on standard error that names the image and the
// problem.
int simboard_open(int faultstatus);

// Is the image still the file that was opened, of its size: neither cut
// short, nor grown, nor replaced under its name?  0, or -1 with errno
// ESTALE after a message naming the image.
int simboard_check(int fd);

// Before a change: the image held for this run alone (an advisory lock,
// flock, waited for a few seconds at most), writable, and still the image
// (simboard_check).  0, or -1 with errno set after a message naming the
// image; the lock is not held then.
int simboard_lock(int fd);
// After the change.
void simboard_unlock(int fd);

#endif
