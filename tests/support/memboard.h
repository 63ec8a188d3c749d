// A board in ordinary memory for in-process tests and fuzzing: the same
// pages and power-on values as the simulated board's image, without a file.
//
// Like /dev/mem on the board, every mapping is a view of its own: two
// mappings of one page have two different addresses and see each other's
// stores, so a test can tell which mapping a pointer was made from.
#ifndef ZORL_MEMBOARD_H
#define ZORL_MEMBOARD_H

#include <cstdint>

extern int memboard_opens;   // how often the memory device was opened
extern int memboard_openerr; // when non-zero, opening fails with this errno
extern int memboard_maperr;  // when non-zero, mapping fails with this errno ...
extern int memboard_mapsok;  // ... after this many mappings have succeeded
extern int memboard_lockerr; // when non-zero, holding the board fails with this errno

// Power the board on again: every register at its power-on value, the
// counters and failures cleared, the mappings handed out so far gone, and
// the register layer's descriptor and pointers back to their start values
// (nothing open, nothing mapped).
void memboard_reset(void);

// The physical address of a pointer into the board, through any of its
// mappings (0 if it is not one).
uint32_t memboard_phys(const volatile void *p);

// The byte at physical address phys (inside a simulated page), in a view of
// the tests' own.
uint8_t *memboard_reg8(uint32_t phys);
uint32_t *memboard_reg32(uint32_t phys);

#endif
