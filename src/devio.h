// Device loads and stores.
//
// Every register access of the register layer goes through these six
// functions, and each of them is exactly one volatile load or store of the
// stated width: the compiler may not merge, split, drop, cache or reorder
// them.  Nothing else in the program dereferences a register pointer.
//
// The test build of the register layer is compiled with ZORL_IO_TRACE
// defined; the accesses then become calls into a test harness that counts
// them and can script what a register returns (a status register that stays
// busy, say).  The programs themselves never define it, so in them these
// stay plain inline device accesses.
#ifndef ZORL_DEVIO_H
#define ZORL_DEVIO_H

#include <stdint.h>

#ifdef ZORL_IO_TRACE

uint8_t io_rd8(const volatile uint8_t *reg);
uint16_t io_rd16(const volatile uint16_t *reg);
uint32_t io_rd32(const volatile uint32_t *reg);
void io_wr8(volatile uint8_t *reg, uint8_t value);
void io_wr16(volatile uint16_t *reg, uint16_t value);
void io_wr32(volatile uint32_t *reg, uint32_t value);

#else

inline uint8_t io_rd8(const volatile uint8_t *reg) {
    return *reg;
}
inline uint16_t io_rd16(const volatile uint16_t *reg) {
    return *reg;
}
inline uint32_t io_rd32(const volatile uint32_t *reg) {
    return *reg;
}
inline void io_wr8(volatile uint8_t *reg, uint8_t value) {
    *reg = value;
}
inline void io_wr16(volatile uint16_t *reg, uint16_t value) {
    *reg = value;
}
inline void io_wr32(volatile uint32_t *reg, uint32_t value) {
    *reg = value;
}

#endif

#endif
