#include "memboard.h"

#include "platform.h"
#include "simboard.h"
#include "dioadc.h"
#include "zr6410io.h"

#include <cerrno>

alignas(SIM_PAGE) static unsigned char img[SIM_SIZE];

int memboard_opens;
int memboard_openerr;
int memboard_maperr;
int memboard_lockerr;

void memboard_reset(void) {
    simboard_poweron(img);
    memboard_opens = memboard_openerr = memboard_maperr = memboard_lockerr = 0;
    iofd = -1;
    sysconp = pwrcntp = clkset1p = clkset2p = devicecfgp = chipidp = syscfgp = nullptr;
    gpiopage = porth_byte = porth_ddr = nullptr;
    dio_io_byte = dio_io_ddr = dio_io_bit8 = dio_io_ddr8 = nullptr;
    adc_io_cntl = nullptr;
    adc_io_stat = adc_io_read = nullptr;
    adcerror = 0;
}

uint32_t memboard_phys(const volatile void *p) {
    long off = (const volatile unsigned char *)p - img;
    if (off < (long)SIM_PAGE || off >= (long)SIM_SIZE) return 0;
    return simpages[off / SIM_PAGE - 1] + (uint32_t)(off % SIM_PAGE);
}

uint8_t *memboard_reg8(uint32_t phys) {
    return img + simboard_offset(phys);
}
uint32_t *memboard_reg32(uint32_t phys) {
    return (uint32_t *)(img + simboard_offset(phys));
}

const char *plat_path(void) {
    return nullptr; // ordinary memory: no file
}

int plat_open(void) {
    memboard_opens++;
    if (memboard_openerr) {
        errno = memboard_openerr;
        return -1;
    }
    return 3;
}

void *plat_map(int, uint32_t phys) {
    long off = simboard_offset(phys);
    if (memboard_maperr || off < 0) {
        errno = memboard_maperr ? memboard_maperr : ENXIO;
        return nullptr;
    }
    return img + off;
}

int plat_lock(int) {
    return memboard_lockerr;
}

void plat_unlock(int) {}
