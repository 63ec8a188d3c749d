// What the board program asks of the board's room beyond the platform
// interface.
#ifndef ZORL_BOARD_H
#define ZORL_BOARD_H

#include <stdint.h>

// Other systems-on-chip have an ARM920T core too, with other devices at
// the EP9301's addresses (on some an external chip select).  Every EP93xx
// reads 0x9213 in bits 0-15 of ChipID (SysCon 0x94), whatever its
// revision, and the kernel's own EP93xx clock driver starts only if it
// does.  Given what ChipID read, once SysCon is mapped and before any
// command has run: 0 on an EP93xx, else ENXIO after a message saying what
// it read.
int board_chipid(uint32_t id);

#endif
