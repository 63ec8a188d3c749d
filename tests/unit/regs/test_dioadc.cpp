// The DIO header lines and the ADC, with every device access logged: which
// registers are read and written, in what order, and with what.
#include "dioadc.h"
#include "iotrace.h"
#include "memboard.h"
#include "zr6410io.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

using Log = std::vector<std::string>;

constexpr uint32_t PB_DATA = GPIO_BASE + GPIO_PBDR, PB_DDR = GPIO_BASE + GPIO_PBDDR;
constexpr uint32_t PF_DATA = GPIO_BASE + GPIO_PFDR, PF_DDR = GPIO_BASE + GPIO_PFDDR;

static uint8_t &reg8(uint32_t phys) {
    return *memboard_reg8(phys);
}

class Dio : public ::testing::Test {
  protected:
    void SetUp() override {
        memboard_reset();
        ASSERT_EQ(dio_init(), 0);
        iotrace_clear();
    }
};

TEST_F(Dio, InitMapsItsOwnViewOfTheGpioPage) {
    memboard_reset();
    ASSERT_EQ(gpio_init(), 0);
    volatile uint8_t *porth = porth_byte, *porthddr = porth_ddr;
    ASSERT_EQ(dio_init(), 0);
    EXPECT_EQ(memboard_opens, 1);
    EXPECT_EQ(memboard_phys(dio_io_byte), PB_DATA);
    EXPECT_EQ(memboard_phys(dio_io_ddr), PB_DDR);
    EXPECT_EQ(memboard_phys(dio_io_bit8), PF_DATA);
    EXPECT_EQ(memboard_phys(dio_io_ddr8), PF_DDR);
    // gpio_init's pointers are left alone; gpiopage is the latest mapping.
    EXPECT_EQ(porth_byte, porth);
    EXPECT_EQ(porth_ddr, porthddr);
    EXPECT_EQ(gpiopage + GPIO_PBDR, dio_io_byte);
    EXPECT_NE(gpiopage + GPIO_PHDR, porth_byte);

    memboard_reset();
    memboard_openerr = EACCES;
    EXPECT_EQ(dio_init(), EACCES);
    memboard_openerr = 0;
    memboard_maperr = ENOMEM;
    EXPECT_EQ(dio_init(), ENOMEM);
    EXPECT_EQ(dio_io_byte, nullptr);
    EXPECT_EQ(gpiopage, nullptr);
}

TEST_F(Dio, ReadingLines) {
    reg8(PB_DATA) = 0xA5;
    reg8(PB_DDR) = 0x5A;
    reg8(PF_DATA) = 0xFE; // line 8 low, the other port F bits high
    reg8(PF_DDR) = 0x01;
    for (int line = 0; line < 8; line++) {
        EXPECT_EQ(getdioline(line), (0xA5 >> line) & 1) << line;
        EXPECT_EQ(getddrline(line), (0x5A >> line) & 1) << line;
    }
    iotrace_clear();
    EXPECT_EQ(getdioline(8), 0);
    EXPECT_EQ(getddrline(8), 1);
    EXPECT_EQ(iolog, (Log{"r8 0x80840030", "r8 0x80840034"}));
    EXPECT_EQ(dio_get_bit8(), 0);
    EXPECT_EQ(dio_get_ddr8(), 1);
    EXPECT_EQ(dio_get_byte(), 0xA5);
    EXPECT_EQ(dio_get_ddr(), 0x5A);

    iotrace_clear();
    for (int line : {9, -1, 1000}) {
        EXPECT_EQ(getdioline(line), -1);
        EXPECT_EQ(getddrline(line), -1);
    }
    EXPECT_EQ(iolog, Log{});
}

TEST_F(Dio, DrivingAnInputLineMakesItAnOutputFirst) {
    reg8(PB_DDR) = 0x41;
    reg8(PB_DATA) = 0x80;
    EXPECT_EQ(setdioline(3, 1), 1);
    EXPECT_EQ(iolog,
              (Log{"r8 0x80840014", "w8 0x80840014=0x49", "r8 0x80840004", "w8 0x80840004=0x88"}));
}

TEST_F(Dio, DrivingAnOutputLineWritesOnlyItsData) {
    reg8(PB_DDR) = 0xFF;
    reg8(PB_DATA) = 0xFF;
    EXPECT_EQ(setdioline(5, 0), 0);
    EXPECT_EQ(iolog, (Log{"r8 0x80840014", "r8 0x80840004", "w8 0x80840004=0xdf"}));
}

TEST_F(Dio, LineEightKeepsTheOtherPortFBits) {
    reg8(PF_DDR) = 0xAA;
    reg8(PF_DATA) = 0x54;
    EXPECT_EQ(setdioline(8, 1), 1);
    EXPECT_EQ(iolog,
              (Log{"r8 0x80840034", "w8 0x80840034=0xab", "r8 0x80840030", "w8 0x80840030=0x55"}));
    iotrace_clear();
    EXPECT_EQ(setdioline(8, 0), 0);
    EXPECT_EQ(iolog, (Log{"r8 0x80840034", "r8 0x80840030", "w8 0x80840030=0x54"}));
}

TEST_F(Dio, RefusedArgumentsTouchNothing) {
    struct {
        int line, value;
    } refused[] = {{2, 2}, {2, -1}, {9, 1}, {-1, 0}, {8, 2}};
    for (auto r : refused) {
        EXPECT_EQ(setdioline(r.line, r.value), -1);
        EXPECT_EQ(setddrline(r.line, r.value), -1);
    }
    EXPECT_EQ(iolog, Log{});
}

TEST_F(Dio, DirectionChangesLeaveTheDataAlone) {
    reg8(PF_DDR) = 0xFF;
    EXPECT_EQ(setddrline(8, 0), 0);
    EXPECT_EQ(iolog, (Log{"r8 0x80840034", "w8 0x80840034=0xfe"}));
    iotrace_clear();
    reg8(PB_DDR) = 0x00;
    EXPECT_EQ(setddrline(4, 1), 1);
    EXPECT_EQ(iolog, (Log{"r8 0x80840014", "w8 0x80840014=0x10"}));
}

TEST_F(Dio, WholeRegistersTakeTheLowByte) {
    dio_set_byte(0x1A5);
    dio_set_ddr(-1);
    EXPECT_EQ(iolog, (Log{"w8 0x80840004=0xa5", "w8 0x80840014=0xff"}));
}

class Adc : public ::testing::Test {
  protected:
    void SetUp() override {
        memboard_reset();
        reg8(ADC_PRESENT) = 0x01;
        ASSERT_EQ(adc_init(), 0);
        iotrace_clear();
    }
    // The next conversion: the status has these bits set for this many
    // reads (bit 7: busy), then the data register holds the reading.
    void convert(int busy, int16_t reading, uint16_t bits = 0x80) {
        fixedreg = ADC_CNTL;
        fixedvalue = (uint16_t)reading;
        busyreg = ADC_STAT;
        busyreads = busy;
        busybits = bits;
    }
    int statusreads() {
        int n = 0;
        for (auto &op : iolog) n += op == "r16 0x10800000";
        return n;
    }
};

// Only bit 0 of the option register says an ADC is fitted.
TEST_F(Adc, NotFitted) {
    for (uint8_t option : {0x00, 0xFE}) {
        memboard_reset();
        reg8(ADC_PRESENT) = option;
        EXPECT_EQ(adc_init(), ENXIO) << int(option);
        EXPECT_EQ(memboard_phys(adc_io_cntl), ADC_PRESENT);
        EXPECT_EQ(adc_io_stat, nullptr);
        EXPECT_EQ(adc_io_read, nullptr);
    }
}

// adc_init maps four pages: the option register, control, status, data.
// Whichever mapping fails, its errno is the result and neither the status
// nor the data register is set up; up to the presence test, the control
// pointer is the option register's, as when no ADC is fitted.
TEST_F(Adc, FailedMapping) {
    for (int mapsok = 0; mapsok < 4; mapsok++) {
        SCOPED_TRACE(mapsok);
        memboard_reset();
        reg8(ADC_PRESENT) = 0x01;
        memboard_maperr = ENOMEM;
        memboard_mapsok = mapsok;
        EXPECT_EQ(adc_init(), ENOMEM);
        EXPECT_EQ(memboard_phys(adc_io_cntl), mapsok ? ADC_PRESENT : 0);
        EXPECT_EQ(adc_io_stat, nullptr);
        EXPECT_EQ(adc_io_read, nullptr);
    }
}

TEST_F(Adc, Fitted) {
    EXPECT_EQ(memboard_phys(adc_io_cntl), ADC_CNTL);
    EXPECT_EQ(memboard_phys(adc_io_stat), ADC_STAT);
    EXPECT_EQ(memboard_phys(adc_io_read), ADC_CNTL);
}

TEST_F(Adc, ControlByte) {
    struct {
        int channel, range;
        const char *store;
    } cases[] = {{1, 2, "w8 0x10c00000=0x51"}, {0, 0, "w8 0x10c00000=0x40"},
                 {7, 3, "w8 0x10c00000=0x5f"}, {9, 0, "w8 0x10c00000=0x49"},
                 {0, 4, "w8 0x10c00000=0x60"}, {0, 24, "w8 0x10c00000=0x00"}};
    for (auto c : cases) {
        iotrace_clear();
        convert(0, 0);
        adc_read(c.channel, c.range);
        ASSERT_FALSE(iolog.empty());
        EXPECT_EQ(iolog.front(), c.store) << c.channel << " " << c.range;
    }
}

TEST_F(Adc, ConversionPolling) {
    convert(0, 1234);
    EXPECT_EQ(adc_read(1, 2), 1234);
    EXPECT_EQ(iolog, (Log{"w8 0x10c00000=0x51", "r16 0x10800000", "r16 0x10c00000"}));

    iotrace_clear();
    convert(2047, -1); // clears on the 2048th read
    EXPECT_EQ(adc_read(0, 0), -1);
    EXPECT_EQ(statusreads(), 2048);
    EXPECT_EQ(iolog.back(), "r16 0x10c00000");
    EXPECT_EQ(adcerror, 0);

    // Only bit 7 means busy: a status with every other bit set is ready.
    iotrace_clear();
    convert(5000, 9, 0xFF7F);
    EXPECT_EQ(adc_read(0, 0), 9);
    EXPECT_EQ(statusreads(), 1);

    iotrace_clear();
    convert(2048, 5); // still busy at the 2048th read
    EXPECT_EQ(adc_read(0, 0), 4063232);
    EXPECT_EQ(statusreads(), 2048);
    EXPECT_EQ(iolog.back(), "r16 0x10800000"); // the data register is not read
    EXPECT_EQ(adcerror, 4063232);

    // A later good conversion leaves the error recorded.
    iotrace_clear();
    convert(0, 7);
    EXPECT_EQ(adc_read(0, 0), 7);
    EXPECT_EQ(adcerror, 4063232);
}

TEST_F(Adc, Millivolts) {
    struct {
        int range, reading, mv;
    } cases[] = {
        {0, 4095, 4999},
        {0, 1, 1},
        // 2.4 mV rounds down; 8.5 mV, half a millivolt, up.
        {0, 2, 2},
        {0, 7, 9},
        {0, -1, 0},
        {0, -2, -1},
        {2, 4095, 9998},
        {3, 2048, 10000},
        {3, -4096, -19999},
        {1, 4096, 10000},
        {0, 0, 0},
        {0, 32767, 39999},
        {0, -32768, -39999},
        {1, 32767, 79998},
        {1, -32768, -79999},
        {2, 32767, 79998},
        {2, -32768, -79999},
        {3, 32767, 159995},
        {3, -32768, -159999},
    };
    for (auto c : cases) {
        convert(3, (int16_t)c.reading);
        EXPECT_EQ(readvolt(0, c.range), c.mv) << "range " << c.range << " reading " << c.reading;
    }
}

TEST_F(Adc, MillivoltsPassTheErrorThrough) {
    convert(5000, 100);
    EXPECT_EQ(readvolt(0, 0), ADC_ERROR);
    iotrace_clear();
    for (int range : {4, -1, 99}) EXPECT_EQ(readvolt(0, range), ADC_ERROR);
    EXPECT_EQ(iolog, Log{}); // no conversion started
}
