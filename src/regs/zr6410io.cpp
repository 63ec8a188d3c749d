#include "zr6410io.h"

#include "devio.h"
#include "platform.h"
#include "scsubs.h"

#include <errno.h>

int iofd = -1;

volatile uint32_t *sysconp;
volatile uint32_t *pwrcntp;
volatile uint32_t *clkset1p;
volatile uint32_t *clkset2p;
volatile uint32_t *devicecfgp;
volatile uint32_t *chipidp;
volatile uint32_t *syscfgp;

volatile uint8_t *gpiopage;
volatile uint8_t *porth_byte;
volatile uint8_t *porth_ddr;

volatile uint8_t *mappage(uint32_t phys, int *err) {
    if (iofd == -1) {
        int fd = plat_open();
        if (fd == -1) {
            *err = errno;
            return nullptr;
        }
        iofd = fd;
    }
    void *p = plat_map(iofd, phys);
    if (!p) *err = errno;
    return (volatile uint8_t *)p;
}

const char *iostore(void) {
    return plat_path();
}

int io_begin(void) {
    return plat_lock(iofd);
}

void io_end(void) {
    plat_unlock(iofd);
}

int io_check(void) {
    return iofd == -1 ? 0 : plat_check(iofd);
}

static volatile uint32_t *reg32(volatile uint8_t *page, unsigned offset) {
    return (volatile uint32_t *)(page + offset);
}

int gpio_init(void) {
    int err;
    volatile uint8_t *page = mappage(GPIO_BASE, &err);
    if (!page) return err;
    gpiopage = page;
    porth_byte = page + GPIO_PHDR;
    porth_ddr = page + GPIO_PHDDR;
    return 0;
}

int syscon_init(void) {
    int err;
    volatile uint8_t *page = mappage(SYSCON_BASE, &err);
    if (!page) return err;
    sysconp = reg32(page, SYSCON_PWRSTS);
    pwrcntp = reg32(page, SYSCON_PWRCNT);
    clkset1p = reg32(page, SYSCON_CLKSET1);
    clkset2p = reg32(page, SYSCON_CLKSET2);
    devicecfgp = reg32(page, SYSCON_DEVICECFG);
    chipidp = reg32(page, SYSCON_CHIPID);
    syscfgp = reg32(page, SYSCON_SYSCFG);
    return 0;
}

uint32_t syscon_get_pwrsts(void) {
    return io_rd32(sysconp);
}
uint32_t syscon_get_pwrcnt(void) {
    return io_rd32(pwrcntp);
}
uint32_t syscon_get_clkset1(void) {
    return io_rd32(clkset1p);
}
uint32_t syscon_get_clkset2(void) {
    return io_rd32(clkset2p);
}
uint32_t syscon_get_chipid(void) {
    return io_rd32(chipidp);
}
uint32_t syscon_get_syscfg(void) {
    return io_rd32(syscfgp);
}

// After a write to ClkSet1 or ClkSet2 the EP9301 switches its clocks; the
// processor must execute a few no-operation instructions before it does
// anything else, so they follow the store immediately, in one sequence.
void syscon_set_clkset1(uint32_t value) {
    io_wr32_settle(clkset1p, value);
}
void syscon_set_clkset2(uint32_t value) {
    io_wr32_settle(clkset2p, value);
}

int getusbpwr(void) {
    return getwiobit(pwrcntp, PWRCNT_USB);
}
int setusbpwr(int value) {
    return setwiobit(pwrcntp, PWRCNT_USB, value);
}
int getuartbaudhilo(void) {
    return getwiobit(pwrcntp, PWRCNT_UARTBAUD);
}
int setuartbaudhilo(int value) {
    return setwiobit(pwrcntp, PWRCNT_UARTBAUD, value);
}
int getirdapwr(void) {
    return getwiobit(pwrcntp, PWRCNT_IRDA);
}
int setirdapwr(int value) {
    return setwiobit(pwrcntp, PWRCNT_IRDA, value);
}
int getetherpwr(void) {
    return getbiobit(porth_byte, PH_ETHERPWR);
}

int setetherpwr(int value) {
    if ((unsigned)value > 1) return -1;
    // The PHY power line must already be configured as an output; driving
    // the data bit of an input line would do nothing on the board.
    if (getbiobit(porth_ddr, PH_ETHERPWR) != 1) return -1;
    return setbiobit(porth_byte, PH_ETHERPWR, value);
}
