// Generic single-bit accessors for memory-mapped registers.
//
// A bit change is a read-modify-write of the whole register: one load and
// one store of the register's width, every other bit written back as read.
// Bit numbers are taken as unsigned, so a negative bit number is simply too
// large.  A refused bit number or value returns -1 and touches nothing.
#ifndef ZORL_SCSUBS_H
#define ZORL_SCSUBS_H

#include <stdint.h>

// The bit (0 or 1) of an 8-bit register; -1 for a bit number above 7.
int getbiobit(volatile uint8_t *reg, int bit);
// Set the bit to value (0 or 1) and return the value; -1 when the value is
// not 0 or 1 or the bit number is above 7.
int setbiobit(volatile uint8_t *reg, int bit, int value);

// The same for 32-bit registers, bits 0 to 31.
int getwiobit(volatile uint32_t *reg, int bit);
int setwiobit(volatile uint32_t *reg, int bit, int value);

#endif
