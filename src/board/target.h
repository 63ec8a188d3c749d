// The board's core as the build targets it, told by the compiler's own
// macros (a CMake processor name is only a label).
#ifndef ZORL_TARGET_H
#define ZORL_TARGET_H

// 1 when the program is built for the board's core, ARMv4T and
// little-endian.  Nothing built for anything else (a PC, a 64-bit ARM, an
// ARMv5 or later core, a big-endian one) can be on the board: such a build
// refuses without asking the kernel.
#if defined(__arm__) && defined(__ARMEL__) && __ARM_ARCH == 4
#define ZORL_ARMV4T 1
#else
#define ZORL_ARMV4T 0
#endif

#endif
