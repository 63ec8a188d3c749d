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

#include "regmap.h"

// The memory device, -1 until an init operation opens it; never closed.
extern int iofd;

// Open the memory device on first use, then map the page at phys.  Returns
// the page start, or a null pointer with *err set to the errno of the failed
// open or mapping.
volatile uint8_t *mappage(uint32_t phys, int *err);

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

// A change of the registers is made between io_begin and io_end: the store
// is held for this run alone meanwhile (see plat_lock), so that the loads
// and stores of the change see no other program's in between.  io_begin
// returns 0, or an errno after a message, and then nothing may be written
// and io_end is not called.  Never held while waiting for anything else.
int io_begin(void);
void io_end(void);

// Whether the pages are still those of the store this run opened (see
// plat_check): 0, or an errno after a message.  0 before anything is open.
int io_check(void);

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

#endif
