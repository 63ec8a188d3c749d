// The test side of the device-access seam: a test linked with iotrace.cpp
// in place of the programs' devio.cpp has every load and store land here.
// Each is carried out on the in-memory board and logged; a register can be
// scripted to read as busy for a number of reads.
#ifndef ZORL_IOTRACE_H
#define ZORL_IOTRACE_H

#include <cstdint>
#include <string>
#include <vector>

// The accesses since the last clear, one string each: "r8 0x80840014"
// for a load, "w8 0x80840014=0x08" for a store.
extern std::vector<std::string> iolog;

// Registers are named by their physical address, so that a script holds
// through whichever mapping the register is reached.
//
// Loads of busyreg read with busybits set for the next busyreads loads (0:
// no register).
extern uint32_t busyreg;
extern long busyreads;
extern uint16_t busybits;

// Loads of fixedreg read fixedvalue whatever the memory holds: a read-only
// register at the same address as a write-only one, as the ADC's data and
// control registers are.
extern uint32_t fixedreg;
extern uint32_t fixedvalue;

// Loads of zeroreg read with zerobits clear, whatever was stored: bits
// that the chip does not keep.
extern uint32_t zeroreg;
extern uint32_t zerobits;

void iotrace_clear(void);

#endif
