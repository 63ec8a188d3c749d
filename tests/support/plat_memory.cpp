#include "memboard.h"

#include "platform.h"
#include "simboard.h"
#include "dioadc.h"
#include "zr6410io.h"

#include <cerrno>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

// The board is an anonymous shared file: the tests' own view is one mapping
// of it, and each page the register layer maps is another.
static int memfd = -1;
static unsigned char *img;

// The mappings handed out since the last reset.  More than any test or
// fuzz input makes between two resets; past that, mapping fails (ENOMEM).
static struct {
    unsigned char *start;
    uint32_t phys;
} views[64];
static unsigned nviews;

int memboard_opens;
int memboard_openerr;
int memboard_maperr;
int memboard_lockerr;
int memboard_mapsok;
static int maps; // mappings since the last reset

void memboard_reset(void) {
    if (memfd < 0) {
        memfd = memfd_create("memboard", 0);
        if (memfd < 0 || ftruncate(memfd, SIM_SIZE)) abort();
        void *p = mmap(nullptr, SIM_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, memfd, 0);
        if (p == MAP_FAILED) abort();
        img = (unsigned char *)p;
    }
    while (nviews) munmap(views[--nviews].start, SIM_PAGE);
    simboard_poweron(img);
    memboard_opens = memboard_openerr = memboard_maperr = memboard_mapsok = maps = 0;
    memboard_lockerr = 0;
    iofd = -1;
    sysconp = pwrcntp = clkset1p = clkset2p = devicecfgp = chipidp = syscfgp = nullptr;
    gpiopage = porth_byte = porth_ddr = nullptr;
    dio_io_byte = dio_io_ddr = dio_io_bit8 = dio_io_ddr8 = nullptr;
    adc_io_cntl = nullptr;
    adc_io_stat = adc_io_read = nullptr;
    adcerror = 0;
}

uint32_t memboard_phys(const volatile void *p) {
    const volatile unsigned char *b = (const volatile unsigned char *)p;
    for (unsigned i = 0; i < nviews; i++)
        if (b >= views[i].start && b < views[i].start + SIM_PAGE)
            return views[i].phys + (uint32_t)(b - views[i].start);
    if (!img || b < img + SIM_PAGE || b >= img + SIM_SIZE) return 0;
    long off = b - img;
    return simpages[off / SIM_PAGE - 1] + (uint32_t)(off % SIM_PAGE);
}

uint8_t *memboard_reg8(uint32_t phys) {
    return img + simboard_offset(phys);
}
uint32_t *memboard_reg32(uint32_t phys) {
    return (uint32_t *)(img + simboard_offset(phys));
}

const bool plat_privileged = false;

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
    int err = memboard_maperr && maps >= memboard_mapsok ? memboard_maperr
              : off < 0                                  ? ENXIO
              : nviews == sizeof views / sizeof views[0] ? ENOMEM
                                                         : 0;
    void *p =
        err ? MAP_FAILED : mmap(nullptr, SIM_PAGE, PROT_READ | PROT_WRITE, MAP_SHARED, memfd, off);
    if (p == MAP_FAILED) {
        errno = err ? err : errno;
        return nullptr;
    }
    maps++;
    views[nviews].start = (unsigned char *)p;
    views[nviews++].phys = phys;
    return p;
}

int plat_lock(int) {
    return memboard_lockerr;
}

void plat_unlock(int) {}

int plat_check(int) {
    return 0;
}
