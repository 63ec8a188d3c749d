#include "divide.h"

// Shift and subtract, one quotient bit per step.  The divisor is first
// lined up under the dividend's highest bit by shifting, not by counting
// leading zeros, which would need clz (ARMv5) again.  At most 32 steps; the
// program divides a handful of times per run.
uint32_t udivmod32(uint32_t n, uint32_t d, uint32_t *rem) {
    uint32_t q = 0, bit = 1;
    while (d < n && !(d & 0x80000000u)) d <<= 1, bit <<= 1;
    for (; bit; d >>= 1, bit >>= 1) {
        if (n >= d) n -= d, q |= bit;
    }
    *rem = n;
    return q;
}

int32_t sdivmod32(int32_t n, int32_t d, int32_t *rem) {
    // Magnitudes in unsigned arithmetic, where -INT32_MIN is representable.
    uint32_t un = n < 0 ? 0u - (uint32_t)n : (uint32_t)n;
    uint32_t ud = d < 0 ? 0u - (uint32_t)d : (uint32_t)d;
    uint32_t ur;
    uint32_t uq = udivmod32(un, ud, &ur);
    // The quotient is negative when the signs differ; the remainder takes
    // the dividend's sign.
    *rem = (int32_t)(n < 0 ? 0u - ur : ur);
    return (int32_t)((n < 0) != (d < 0) ? 0u - uq : uq);
}

#if defined(__arm__) && defined(__ARM_EABI__)

#include <csignal>

// The ARM EABI run-time helpers (Run-time ABI for the ARM Architecture,
// section 4.3.1).  The two divmod helpers return the quotient in r0 and the
// remainder in r1, which is how a 64-bit integer comes back on little-endian
// ARM: low word in r0.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the divmod helpers return in r0:r1");

// Division by zero raises SIGFPE, as libgcc's helpers do on Linux.
static uint32_t divzero(void) {
    raise(SIGFPE);
    return 0;
}

extern "C" {

uint32_t __aeabi_uidiv(uint32_t n, uint32_t d) {
    uint32_t r;
    return d ? udivmod32(n, d, &r) : divzero();
}

uint64_t __aeabi_uidivmod(uint32_t n, uint32_t d) {
    uint32_t r = 0;
    uint32_t q = d ? udivmod32(n, d, &r) : divzero();
    return (uint64_t)r << 32 | q;
}

int32_t __aeabi_idiv(int32_t n, int32_t d) {
    int32_t r;
    return d ? sdivmod32(n, d, &r) : (int32_t)divzero();
}

uint64_t __aeabi_idivmod(int32_t n, int32_t d) {
    int32_t r = 0;
    int32_t q = d ? sdivmod32(n, d, &r) : (int32_t)divzero();
    return (uint64_t)(uint32_t)r << 32 | (uint32_t)q;
}
}

#endif
