// Device loads and stores.
//
// Every register access of the register layer goes through these seven
// functions, and each of them is exactly one volatile load or store of the
// stated width: the compiler may not merge, split, drop, cache or reorder
// them.  Nothing else in the program dereferences a register pointer.
//
// Which implementation is linked is a choice of the build, like the
// platform layer: the programs link devio.cpp, plain device accesses; the
// tests of the register layer link their own (tests/support/iotrace.cpp),
// which counts the accesses and can script what a register returns (a
// status register that stays busy, say).
#ifndef ZORL_DEVIO_H
#define ZORL_DEVIO_H

#include <stdint.h>

uint8_t io_rd8(const volatile uint8_t *reg);
uint16_t io_rd16(const volatile uint16_t *reg);
uint32_t io_rd32(const volatile uint32_t *reg);
void io_wr8(volatile uint8_t *reg, uint8_t value);
void io_wr16(volatile uint16_t *reg, uint16_t value);
void io_wr32(volatile uint32_t *reg, uint32_t value);

// A 32-bit store followed at once by eight no-operations, as one sequence
// that the compiler can neither split nor schedule anything into.  After a
// write to ClkSet1 or ClkSet2 the EP9301 switches its clocks, and the
// processor must execute no-operations, and nothing else, right after the
// store.  On ARM the store and the no-operations are one block of
// assembly: one str, then eight mov r0, r0 (the ARMv4T no-operation); the
// instruction check of the ARM build (tests/budget/armv4t.py) confirms that
// they come out so.  On any other processor, which never runs this on a
// board, it is the one volatile store of io_wr32, then the no-operations.
void io_wr32_settle(volatile uint32_t *reg, uint32_t value);

#endif
