// Integer division without a divide instruction, for the board's processor.
//
// The ARM920T (ARMv4T) has no divide instruction: the compiler calls the
// run-time helpers of the ARM EABI (__aeabi_idiv and friends) for every
// division by a variable.  The helpers in Debian's armel libgcc are built
// for ARMv5TE and use clz, which the ARM920T does not have: the first
// division would kill the program with SIGILL.  divide.cpp therefore
// supplies the helpers in the ARM build, on top of the two routines below;
// the linker takes them before libgcc's.
#ifndef ZORL_DIVIDE_H
#define ZORL_DIVIDE_H

#include <cstdint>

// n / d and n % d (in *rem), truncating toward zero as C does.  d must not
// be 0.  INT32_MIN / -1 gives INT32_MIN and remainder 0, as the wrapping
// arithmetic of a divide instruction would.
uint32_t udivmod32(uint32_t n, uint32_t d, uint32_t *rem);
int32_t sdivmod32(int32_t n, int32_t d, int32_t *rem);

#endif
