// The board's DIO header lines and its optional ADC.
#ifndef ZORL_DIOADC_H
#define ZORL_DIOADC_H

#include <stdint.h>

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
constexpr int ADC_RANGE = 8;        // the control byte: channel + ADC_RANGE x range + ADC_START
constexpr int ADC_START = 0x40;
constexpr int ADC_POLLS = 2048;     // status reads before a conversion is given up
constexpr int ADC_FULLSCALE = 4096; // counts at full scale

extern volatile uint8_t *adc_io_cntl;  // control (8-bit store), 0x10C00000
extern volatile uint16_t *adc_io_stat; // status (16-bit load),  0x10800000
extern volatile uint16_t *adc_io_read; // data (16-bit load),    0x10C00000
extern int adcerror;                   // ADC_ERROR once a conversion has timed out

// 0 when an ADC is fitted and mapped; 6 (ENXIO) when the board's option
// register says none is fitted; otherwise the errno of the failed open or
// mapping.
int adc_init(void);

// One conversion: the reading, -32768 to 32767, or ADC_ERROR (also left in
// adcerror) when the converter is still busy after ADC_POLLS status reads.
// Neither channel nor range is checked: they simply make the control byte.
int adc_read(int channel, int range);

// One conversion in millivolts for range 0 (5 V full scale at 4096 counts),
// 1 and 2 (10 V) or 3 (20 V), rounded to the nearest millivolt; ADC_ERROR
// after a timeout, and for any other range (without a conversion).
int readvolt(int channel, int range);

#endif
