// The DIO header lines and the optional ADC: the board's own I/O beyond the
// switches, mapped through the same memory device as the rest.
#include "dioadc.h"

#include "devio.h"
#include "regmap.h"
#include "scsubs.h"
#include "zr6410io.h"

#include <errno.h>

volatile uint8_t *dio_io_byte;
volatile uint8_t *dio_io_ddr;
volatile uint8_t *dio_io_bit8;
volatile uint8_t *dio_io_ddr8;

volatile uint8_t *adc_io_cntl;
volatile uint16_t *adc_io_stat;
volatile uint16_t *adc_io_read;
int adcerror;

// ---- DIO header lines --------------------------------------------------------

// The DIO lines are in the GPIO block, which gpio_init maps for the
// switches' port H too.  This is a mapping of its own: gpio_init's port H
// pointers stay as they are and both sets remain valid side by side; the
// page start goes to gpiopage, which holds whichever mapping came last.
int dio_init(void) {
    int err;
    volatile uint8_t *page = mappage(GPIO_BASE, &err);
    if (!page) return err;
    gpiopage = page;
    dio_io_ddr = page + GPIO_PBDDR;
    dio_io_byte = page + GPIO_PBDR;
    dio_io_ddr8 = page + GPIO_PFDDR;
    dio_io_bit8 = page + GPIO_PFDR;
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
    return (io_rd8(dio_io_bit8) >> PF_DIO8) & 1;
}
int dio_get_ddr8(void) {
    return (io_rd8(dio_io_ddr8) >> PF_DIO8) & 1;
}

// Where a line lives: line 8 is a bit of port F, the others bit n of port B.
static volatile uint8_t *dataof(unsigned line) {
    return line == 8 ? dio_io_bit8 : dio_io_byte;
}
static volatile uint8_t *ddrof(unsigned line) {
    return line == 8 ? dio_io_ddr8 : dio_io_ddr;
}
static unsigned bitof(unsigned line) {
    return line == 8 ? PF_DIO8 : line;
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

int adc_init(void) {
    int err;
    volatile uint8_t *option = mappage(ADC_PRESENT, &err);
    if (!option) return err;
    adc_io_cntl = option;
    if (!(io_rd8(adc_io_cntl) & ADC_FITTED)) return ENXIO;
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
    io_wr8(adc_io_cntl, (uint8_t)(channel + ADC_RANGE * range + ADC_START));
    // The budget is a number of status reads, not a time, each one
    // reaching the converter.
    int reads = 1;
    while (io_rd16(adc_io_stat) & ADC_BUSY) {
        if (reads == ADC_POLLS) {
            adcerror = ADC_ERROR;
            return ADC_ERROR;
        }
        reads++;
    }
    return (int16_t)io_rd16(adc_io_read);
}

int readvolt(int channel, int range) {
    // Full-scale tenths of a millivolt per ADC_FULLSCALE counts, by range.
    static const int32_t scale[4] = {50000, 100000, 100000, 200000};
    if ((unsigned)range > 3) return ADC_ERROR;
    int x = adc_read(channel, range);
    if (x == ADC_ERROR) return x;
    // The product needs more than 32 bits for large readings; the quotient
    // fits again, and the rounding to millivolts is done on that.
    int32_t tenths = (int32_t)((int64_t)x * scale[range] / ADC_FULLSCALE);
    return (tenths + 5) / 10;
}
