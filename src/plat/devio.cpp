// The device accesses of the programs: each one volatile load or store of
// its width, nothing more.
#include "devio.h"

uint8_t io_rd8(const volatile uint8_t *reg) {
    return *reg;
}
uint16_t io_rd16(const volatile uint16_t *reg) {
    return *reg;
}
uint32_t io_rd32(const volatile uint32_t *reg) {
    return *reg;
}
void io_wr8(volatile uint8_t *reg, uint8_t value) {
    *reg = value;
}
void io_wr16(volatile uint16_t *reg, uint16_t value) {
    *reg = value;
}
void io_wr32(volatile uint32_t *reg, uint32_t value) {
    *reg = value;
}

void io_wr32_settle(volatile uint32_t *reg, uint32_t value) {
#if defined(__arm__)
    __asm__ __volatile__("str %1, [%0]\n\t"
                         "mov r0, r0\n\tmov r0, r0\n\tmov r0, r0\n\tmov r0, r0\n\t"
                         "mov r0, r0\n\tmov r0, r0\n\tmov r0, r0\n\tmov r0, r0"
                         :
                         : "r"(reg), "r"(value)
                         : "memory");
#else
    io_wr32(reg, value);
    __asm__ __volatile__("nop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop" ::: "memory");
#endif
}
