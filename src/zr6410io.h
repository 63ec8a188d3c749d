// Register access for the ZR6410 board: page mapping, the EP9301 SysCon
// registers and the GPIO line that powers the Ethernet PHY.
//
// Every getter reads the hardware when called; nothing is cached.  The layer
// has no policy: whether a change may be made is the caller's decision, and
// an accessor acts on the hardware at once.
//
// Call the init operation of a block, and check that it returned 0, before
// using any accessor of that block.  All init operations share one
// descriptor of the memory device, opened by whichever runs first.
#ifndef ZORL_ZR6410IO_H
#define ZORL_ZR6410IO_H

#include <stdint.h>

// Physical base addresses of the register blocks.
constexpr uint32_t GPIO_BASE = 0x80840000;
constexpr uint32_t SYSCON_BASE = 0x80930000;

// The memory device, -1 until an init operation opens it; never closed.
extern int iofd;

// SysCon block (32-bit registers).
extern volatile uint32_t *sysconp;    // page start, and PwrSts (offset 0x00)
extern volatile uint32_t *pwrcntp;    // PwrCnt    0x04
extern volatile uint32_t *clkset1p;   // ClkSet1   0x20
extern volatile uint32_t *clkset2p;   // ClkSet2   0x24
extern volatile uint32_t *devicecfgp; // DeviceCfg 0x80
extern volatile uint32_t *chipidp;    // ChipID    0x94
extern volatile uint32_t *syscfgp;    // SysCfg    0x9C

// GPIO block (8-bit registers).
extern volatile uint8_t *gpiopage;   // the latest mapping of the GPIO page
extern volatile uint8_t *porth_byte; // port H data            0x40
extern volatile uint8_t *porth_ddr;  // port H data direction  0x44 (1 = output)

// Map the GPIO page (gpio_init) or the SysCon page (syscon_init).  0, or the
// errno of the failed open of the memory device or of the failed mapping;
// after a failure the block's pointers are left as they were.
int gpio_init(void);
int syscon_init(void);

// The file the pages are mapped from (/dev/mem on the board), so that the
// program can keep its own output away from it; a null pointer when there
// is no such file.  Nothing is opened.
const char *iostore(void);

// Whole SysCon registers, one 32-bit access each.
uint32_t syscon_get_pwrsts(void);
uint32_t syscon_get_pwrcnt(void);
uint32_t syscon_get_clkset1(void);
uint32_t syscon_get_clkset2(void);
uint32_t syscon_get_chipid(void);
uint32_t syscon_get_syscfg(void);
// Write a clock-set register exactly as given, then let the clock switch settle.
void syscon_set_clkset1(uint32_t value);
void syscon_set_clkset2(uint32_t value);

// Single switches.  Getters return 0 or 1; setters take 0 or 1, change that
// one bit and return the value, or -1 when they refuse.
int getusbpwr(void); // PwrCnt bit 28, USB host clock
int setusbpwr(int value);
int getuartbaudhilo(void); // PwrCnt bit 29, UART clock: 1 allows 460K baud, 0 230K
int setuartbaudhilo(int value);
int getirdapwr(void); // PwrCnt bit 31, IrDA clock
int setirdapwr(int value);
int getetherpwr(void);      // port H data bit 2, Ethernet PHY power
int setetherpwr(int value); // refused unless port H bit 2 is an output

// ---- DIO header lines --------------------------------------------------------
//
// The board's DIO header has nine digital lines, 0 to 8.  Lines 0 to 7 are
// GPIO port B (bit n is line n); line 8 is bit 0 of GPIO port F, whose bits
// 1 to 7 are not DIO lines and are always written back as read.  In a
// direction register a 1 makes the line an output.  Line numbers are taken
// as unsigned, so a negative one is simply too large.
//
// Call dio_init (and check that it returned 0) before any other DIO
// operation.  It maps its own view of the GPIO page; gpio_init's pointers
// stay valid beside it.

extern volatile uint8_t *dio_io_byte; // port B data            0x04: lines 0 to 7
extern volatile uint8_t *dio_io_ddr;  // port B data direction  0x14
extern volatile uint8_t *dio_io_bit8; // port F data            0x30: line 8 in bit 0
extern volatile uint8_t *dio_io_ddr8; // port F data direction  0x34

// Map the DIO registers: 0, or the errno of the failed open or mapping.
int dio_init(void);

// Whole registers of lines 0 to 7 (the low 8 bits of value are written).
int dio_get_byte(void);
void dio_set_byte(int value);
int dio_get_ddr(void);
void dio_set_ddr(int value);
// Line 8's data and direction bits, 0 or 1.
int dio_get_bit8(void);
int dio_get_ddr8(void);

// A line's data or direction bit, 0 or 1; -1 for a line above 8.
int getdioline(int line);
int getddrline(int line);

// Drive a line to value (0 or 1), first making it an output if it is not
// one; returns the value.  A line that is already an output gets no
// direction write.  -1, touching nothing, for a value other than 0 or 1 or
// a line above 8.
int setdioline(int line, int value);

// Make a line an output (1) or an input (0) without touching its data;
// returns the value, or -1 as for setdioline.
int setddrline(int line, int value);

// ---- ADC ---------------------------------------------------------------------
//
// The optional analog-to-digital converter.  Writing a control byte
// (channel + 8 x range + 0x40) starts a conversion; the status register's
// bit 7 is 1 while it runs; the data register then holds a signed 16-bit
// reading.  Call adc_init, and go on only if it returned 0.

constexpr int ADC_ERROR = 0x3E0000; // larger than any 16-bit reading

extern volatile uint8_t *adc_io_cntl;  // control (8-bit store), 0x10C00000
extern volatile uint16_t *adc_io_stat; // status (16-bit load),  0x10800000
extern volatile uint16_t *adc_io_read; // data (16-bit load),    0x10C00000
extern int adcerror;                   // ADC_ERROR once a conversion has timed out

// 0 when an ADC is fitted and mapped; 6 (ENXIO) when the board's option
// register says none is fitted; otherwise the errno of the failed open or
// mapping.
int adc_init(void);

// One conversion: the reading, -32768 to 32767, or ADC_ERROR (also left in
// adcerror) when the converter is still busy after 2048 status reads.
// Neither channel nor range is checked: they simply make the control byte.
int adc_read(int channel, int range);

// One conversion in millivolts for range 0 (5 V full scale at 4096 counts),
// 1 and 2 (10 V) or 3 (20 V), rounded to the nearest millivolt; ADC_ERROR
// after a timeout, and for any other range (without a conversion).
int readvolt(int channel, int range);

#endif
