#include "scsubs.h"

#include "devio.h"

// One load of the register's width, whichever width that is.
static uint8_t rd(const volatile uint8_t *reg) {
    return io_rd8(reg);
}
static uint32_t rd(const volatile uint32_t *reg) {
    return io_rd32(reg);
}
static void wr(volatile uint8_t *reg, uint8_t v) {
    io_wr8(reg, v);
}
static void wr(volatile uint32_t *reg, uint32_t v) {
    io_wr32(reg, v);
}

template <typename T> static int getbit(volatile T *reg, int bit) {
    if ((unsigned)bit >= sizeof(T) * 8) return -1;
    return (rd(reg) >> bit) & 1;
}

template <typename T> static int setbit(volatile T *reg, int bit, int value) {
    if (value > 1 || (unsigned)bit >= sizeof(T) * 8 || value < 0) return -1;
    T r = rd(reg);
    r = (T)((r & ~((T)1 << bit)) | ((T)value << bit));
    wr(reg, r);
    return value;
}

int getbiobit(volatile uint8_t *reg, int bit) {
    return getbit(reg, bit);
}
int setbiobit(volatile uint8_t *reg, int bit, int value) {
    return setbit(reg, bit, value);
}
int getwiobit(volatile uint32_t *reg, int bit) {
    return getbit(reg, bit);
}
int setwiobit(volatile uint32_t *reg, int bit, int value) {
    return setbit(reg, bit, value);
}
