// Which processor the kernel says it runs on, from the text of
// /proc/cpuinfo.  The board program maps physical memory only on the
// ZR6410, whose EP9301 has an ARM920T core: an ARM kernel lists each core
// with a line "CPU part\t: 0x920" for it.
#ifndef ZORL_CPUINFO_H
#define ZORL_CPUINFO_H

#include <stddef.h>

// The text is read in pieces of any size: feed each piece in turn, then ask
// done.  Lines are looked at one by one over the whole text, however long;
// only their beginnings are kept.
struct cpuscan {
    char line[64]; // the beginning of the current line
    size_t len;    // bytes of it so far (more than fit are counted, not kept)
    int arm920t;   // "CPU part" lines that name an ARM920T
    int others;    // "CPU part" lines that name anything else
};

void cpuscan_start(cpuscan *s);
void cpuscan_feed(cpuscan *s, const char *text, size_t n);
// True when at least one core is named and every one is an ARM920T.
bool cpuscan_done(cpuscan *s);

#endif
