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

volatile uint8_t *dio_io_byte;
volatile uint8_t *dio_io_ddr;
volatile uint8_t *dio_io_bit8;
volatile uint8_t *dio_io_ddr8;

volatile uint8_t *adc_io_cntl;
volatile uint16_t *adc_io_stat;
volatile uint16_t *adc_io_read;
int adcerror;

// Open the memory device on first use, then map the page at phys.  Returns
// the page start, or a null pointer with *err set to the errno of the failed
// open or mapping.
static volatile uint8_t *mappage(uint32_t phys, int *err) {
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

static volatile uint32_t *reg32(volatile uint8_t *page, unsigned offset) {
    return (volatile uint32_t *)(page + offset);
}

int gpio_init(void) {
    int err;
    volatile uint8_t *page = mappage(GPIO_BASE, &err);
    if (!page) return err;
    gpiopage = page;
    porth_byte = page + 0x40;
    porth_ddr = page + 0x44;
    return 0;
}

int syscon_init(void) {
    int err;
    volatile uint8_t *page = mappage(SYSCON_BASE, &err);
    if (!page) return err;
    sysconp = reg32(page, 0x00);
    pwrcntp = reg32(page, 0x04);
    clkset1p = reg32(page, 0x20);
    clkset2p = reg32(page, 0x24);
    devicecfgp = reg32(page, 0x80);
    chipidp = reg32(page, 0x94);
    syscfgp = reg32(page, 0x9C);
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
    return getwiobit(pwrcntp, 28);
}
int setusbpwr(int value) {
    return setwiobit(pwrcntp, 28, value);
}
int getuartbaudhilo(void) {
    return getwiobit(pwrcntp, 29);
}
int setuartbaudhilo(int value) {
    return setwiobit(pwrcntp, 29, value);
}
int getirdapwr(void) {
    return getwiobit(pwrcntp, 31);
}
int setirdapwr(int value) {
    return setwiobit(pwrcntp, 31, value);
}
int getetherpwr(void) {
    return getbiobit(porth_byte, 2);
}

int setetherpwr(int value) {
    if ((unsigned)value > 1) return -1;
    // The PHY power line must already be configured as an output; driving
    // the data bit of an input line would do nothing on the board.
    if (getbiobit(porth_ddr, 2) != 1) return -1;
    return setbiobit(porth_byte, 2, value);
}

// ---- DIO header lines --------------------------------------------------------

int dio_init(void) {
    int err;
    volatile uint8_t *page = mappage(GPIO_BASE, &err);
    if (!page) return err;
    gpiopage = page;
    dio_io_ddr = page + 0x14;
    dio_io_byte = page + 0x04;
    dio_io_ddr8 = page + 0x34;
    dio_io_bit8 = page + 0x30;
    return 0;
}

int dio_get_byte(void) {
    return io_rd8(dio_io_byte);
}
void dio_set_byte(int value) {
    io_wr8(dio_io_byte, (uint8_t)value);
}
int dio_get_ddr(void) {
    return io_rd8(dio_io_ddr);
}
void dio_set_ddr(int value) {
    io_wr8(dio_io_ddr, (uint8_t)value);
}
int dio_get_bit8(void) {
    return io_rd8(dio_io_bit8) & 1;
}
int dio_get_ddr8(void) {
    return io_rd8(dio_io_ddr8) & 1;
}

// Where a line lives: line 8 is bit 0 of port F, the others bit n of port B.
static volatile uint8_t *dataof(unsigned line) {
    return line == 8 ? dio_io_bit8 : dio_io_byte;
}
static volatile uint8_t *ddrof(unsigned line) {
    return line == 8 ? dio_io_ddr8 : dio_io_ddr;
}
static unsigned bitof(unsigned line) {
    return line == 8 ? 0 : line;
}

int getdioline(int line) {
    if ((unsigned)line > 8) return -1;
    return (io_rd8(dataof((unsigned)line)) >> bitof((unsigned)line)) & 1;
}

int getddrline(int line) {
    if ((unsigned)line > 8) return -1;
    return (io_rd8(ddrof((unsigned)line)) >> bitof((unsigned)line)) & 1;
}

int setdioline(int line, int value) {
    if (value > 1 || (unsigned)line > 8 || value < 0) return -1;
    volatile uint8_t *ddr = ddrof((unsigned)line), *data = dataof((unsigned)line);
    unsigned bit = bitof((unsigned)line);
    // The line becomes an output before its data is driven, and the
    // direction register is written only when that changes it.
    uint8_t d = io_rd8(ddr);
    if (!((d >> bit) & 1)) io_wr8(ddr, (uint8_t)(d | 1u << bit));
    uint8_t v = io_rd8(data);
    io_wr8(data, (uint8_t)((v & ~(1u << bit)) | (unsigned)value << bit));
    return value;
}

int setddrline(int line, int value) {
    if (value > 1 || (unsigned)line > 8 || value < 0) return -1;
    return setbiobit(ddrof((unsigned)line), (int)bitof((unsigned)line), value);
}

// ---- ADC ---------------------------------------------------------------------

constexpr uint32_t ADC_PRESENT = 0x22400000; // board option register: bit 0, ADC fitted
constexpr uint32_t ADC_CNTL = 0x10C00000;    // control (write) and data (read)
constexpr uint32_t ADC_STAT = 0x10800000;

int adc_init(void) {
    int err;
    volatile uint8_t *option = mappage(ADC_PRESENT, &err);
    if (!option) return err;
    adc_io_cntl = option;
    if (!(io_rd8(adc_io_cntl) & 1)) return ENXIO;
    volatile uint8_t *cntl = mappage(ADC_CNTL, &err);
    if (!cntl) return err;
    volatile uint8_t *stat = mappage(ADC_STAT, &err);
    if (!stat) return err;
    volatile uint8_t *data = mappage(ADC_CNTL, &err);
    if (!data) return err;
    adc_io_cntl = cntl;
    adc_io_stat = (volatile uint16_t *)stat;
    adc_io_read = (volatile uint16_t *)data;
    return 0;
}

int adc_read(int channel, int range) {
    io_wr8(adc_io_cntl, (uint8_t)(channel + 8 * range + 0x40));
    // The budget is a number of status reads, not a time: at most 2048,
    // each one reaching the converter.
    int reads = 1;
    while (io_rd16(adc_io_stat) & 0x80) {
        if (reads == 2048) {
            adcerror = ADC_ERROR;
            return ADC_ERROR;
        }
        reads++;
    }
    return (int16_t)io_rd16(adc_io_read);
}

int readvolt(int channel, int range) {
    // Full-scale tenths of a millivolt per 4096 counts, by range.
    static const int32_t scale[4] = {50000, 100000, 100000, 200000};
    if ((unsigned)range > 3) return ADC_ERROR;
    int x = adc_read(channel, range);
    if (x > 65536) return x;
    // The product needs more than 32 bits for large readings; the quotient
    // by 4096 fits again, and the rounding to millivolts is done on that.
    int32_t tenths = (int32_t)((int64_t)x * scale[range] / 4096);
    return (tenths + 5) / 10;
}
