#include "iotrace.h"

#include "devio.h"
#include "memboard.h"

#include <cstdio>

std::vector<std::string> iolog;
uint32_t busyreg;
long busyreads;
uint16_t busybits;
uint32_t fixedreg;
uint32_t fixedvalue;
uint32_t zeroreg;
uint32_t zerobits;

void iotrace_clear(void) {
    iolog.clear();
    busyreg = 0;
    busyreads = 0;
    busybits = 0;
    fixedreg = 0;
    fixedvalue = 0;
    zeroreg = 0;
    zerobits = 0;
}

static void logop(char op, int width, const volatile void *reg, uint32_t value) {
    char s[48];
    if (op == 'r')
        snprintf(s, sizeof s, "r%d 0x%08x", width, (unsigned)memboard_phys(reg));
    else
        snprintf(s, sizeof s, "w%d 0x%08x=0x%02x", width, (unsigned)memboard_phys(reg),
                 (unsigned)value);
    iolog.push_back(s);
}

template <typename T> static T load(const volatile T *reg) {
    uint32_t phys = memboard_phys(reg); // 0: not on the board, never scripted
    T v = phys && phys == fixedreg ? (T)fixedvalue : *reg;
    if (phys && phys == zeroreg) v = (T)(v & ~zerobits);
    if (phys && phys == busyreg && busyreads > 0) {
        busyreads--;
        v = (T)(v | busybits);
    }
    logop('r', (int)sizeof(T) * 8, reg, v);
    return v;
}

template <typename T> static void store(volatile T *reg, T value) {
    logop('w', (int)sizeof(T) * 8, reg, value);
    *reg = value;
}

uint8_t io_rd8(const volatile uint8_t *reg) {
    return load(reg);
}
uint16_t io_rd16(const volatile uint16_t *reg) {
    return load(reg);
}
uint32_t io_rd32(const volatile uint32_t *reg) {
    return load(reg);
}
void io_wr8(volatile uint8_t *reg, uint8_t value) {
    store(reg, value);
}
void io_wr16(volatile uint16_t *reg, uint16_t value) {
    store(reg, value);
}
void io_wr32(volatile uint32_t *reg, uint32_t value) {
    store(reg, value);
}
// One store as far as the log can see; the no-operations leave no trace.
void io_wr32_settle(volatile uint32_t *reg, uint32_t value) {
    store(reg, value);
}
