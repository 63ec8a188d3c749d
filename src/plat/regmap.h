// The ZR6410's register map: where each register the program reaches lives
// (physical base of its 4 KiB page, offset in the page), how wide an access
// to it is, and which of its bits mean what.  The register layer, the
// front end, the simulated board, zr6410-devmem and the tests all take
// their addresses and bit numbers from here.
#ifndef ZORL_REGMAP_H
#define ZORL_REGMAP_H

#include <stdint.h>

constexpr uint32_t REG_PAGE = 4096;

// EP9301 GPIO block: 8-bit registers.
constexpr uint32_t GPIO_BASE = 0x80840000;
constexpr uint32_t GPIO_PBDR = 0x04;  // port B data: DIO lines 0 to 7
constexpr uint32_t GPIO_PBDDR = 0x14; // port B data direction
constexpr uint32_t GPIO_PFDR = 0x30;  // port F data: DIO line 8 in bit 0
constexpr uint32_t GPIO_PFDDR = 0x34; // port F data direction
constexpr uint32_t GPIO_PHDR = 0x40;  // port H data: bit 2 powers the Ethernet PHY
constexpr uint32_t GPIO_PHDDR = 0x44; // port H data direction (1 = output)

// Bits of the GPIO ports (data and direction alike).
constexpr int PH_ETHERPWR = 2; // port H: the Ethernet PHY's power line, an output when in use
constexpr int PF_DIO8 = 0;     // port F: DIO line 8; the port's other bits are no DIO lines

// EP9301 SysCon block: 32-bit registers.
constexpr uint32_t SYSCON_BASE = 0x80930000;
constexpr uint32_t SYSCON_PWRSTS = 0x00;
constexpr uint32_t SYSCON_PWRCNT = 0x04;
constexpr uint32_t SYSCON_CLKSET1 = 0x20;
constexpr uint32_t SYSCON_CLKSET2 = 0x24;
constexpr uint32_t SYSCON_DEVICECFG = 0x80;
constexpr uint32_t SYSCON_CHIPID = 0x94;
constexpr uint32_t SYSCON_SYSCFG = 0x9C;

// ChipID fields: the ID in bits 0-15, the same on every EP93xx; the
// revision in bits 28-31.
constexpr uint32_t CHIPID_ID = 0xFFFF;
constexpr uint32_t EP93XX_ID = 0x9213;
constexpr int CHIPID_REV = 28;

// PwrCnt bits.
constexpr int PWRCNT_DMA = 16; // 16 to 27: the clock gates of the 12 DMA channels
constexpr int PWRCNT_NDMA = 12;
constexpr int PWRCNT_USB = 28;      // USB host clock
constexpr int PWRCNT_UARTBAUD = 29; // UART baud clock: 1 allows 460K baud, 0 at most 230K
constexpr int PWRCNT_IRDA = 31;     // IrDA clock

// The board's optional ADC, each register alone in its page.
constexpr uint32_t ADC_PRESENT = 0x22400000; // option register (8-bit): bit 0, ADC fitted
constexpr uint32_t ADC_CNTL = 0x10C00000;    // control (8-bit store) and data (16-bit load)
constexpr uint32_t ADC_STAT = 0x10800000;    // status (16-bit load): bit 7 while converting

constexpr unsigned ADC_FITTED = 0x01; // option register: an ADC is fitted
constexpr unsigned ADC_BUSY = 0x80;   // status: a conversion is running

#endif
