// The switch commands (Ethernet PHY power, the USB, IrDA and UART clocks),
// write, and the read-only reports of the DMA clock gates and the chip ID.
#include "zorl.h"

#include "zr6410io.h"

#include <errno.h>

// ---- Switch commands -----------------------------------------------------

// A hardware switch: one bit, read and set through the register layer.
struct swdef {
    int (*get)(void);
    int (*set)(int);
    const char *guard;   // names the switch when its state reads inconsistent
    const char *comment; // a line printed before the state line, or null
    const char *label;   // the state line: label=on or label=off
};

static const swdef sw_ether = {getetherpwr, setetherpwr, "Ethernet PHY Power Status", nullptr,
                               "ethernet"};
static const swdef sw_usb = {getusbpwr, setusbpwr, "USB Power Status", nullptr, "USB"};
static const swdef sw_irda = {getirdapwr, setirdapwr, "IRDA Power Status", nullptr, "IRDA"};
static const swdef sw_uart = {getuartbaudhilo, setuartbaudhilo, "UART clock Status",
                              "# UART=on enables max baud of 460K, =off for max of 230K\n", "UART"};

// Show the switch, and with a value set it: only when writing is enabled
// is the bit written, and then the line shows the state read back.
static int doswitch(const swdef &sw, const char *value) {
    int status = 0;
    int state = sw.get();
    if ((unsigned)state > 1) {
        diag("May not be running on a ZR6410 - inconsistant data.\n");
        return err_rpt(ENXIO, sw.guard);
    }
    if (value && *value) {
        int want = chkonoff(value);
        if ((unsigned)want > 1) {
            status = EINVAL;
        } else if (dummy) {
            state = want;
        } else {
            // The read-modify-write of the bit, and the read back, with the
            // register store held: another program's change to the other
            // bits of the register cannot fall in between and be undone.
            flushout();
            if (int err = io_begin()) return err;
            if (sw.set(want) < 0) {
                status = EIO;
                state = want;
            } else {
                state = sw.get();
            }
            io_end();
        }
    }
    // "USB=on": put together by hand, as is every line that the full
    // status report prints many of; a printf costs several times as much.
    char line[128];
    char *p = line;
    if (sw.comment) p = add(p, sw.comment);
    p = add(add(add(p, sw.label), "="), state ? "on\n" : "off\n");
    rptw(line, (size_t)(p - line));
    return status;
}

int doether(const char *value) {
    return doswitch(sw_ether, value);
}
int dousb(const char *value) {
    return doswitch(sw_usb, value);
}
int doirda(const char *value) {
    return doswitch(sw_irda, value);
}
int douart(const char *value) {
    return doswitch(sw_uart, value);
}

int dowrite(const char *value) {
    int status = 0;
    if (value && *value) {
        int v = chkonoff(value);
        if (v == 1)
            dummy = 0;
        else if (v == 0)
            dummy = 1;
        else
            status = EINVAL;
    }
    rpts(dummy ? "#\n# write disabled, changes will NOT be actioned.\n"
               : "#\n# WARNING: write enabled, changes will be actioned.\n");
    rpt("write=%s\n", dummy ? "off" : "on");
    return status;
}

// ---- Read-only reports -----------------------------------------------------

// PwrCnt bits 16 to 27 gate the DMA channel clocks; in bit order the M2P
// channel numbers come in swapped pairs and the two M2M channels come last.
static const char *const dmachannel[PWRCNT_NDMA] = {"M2P CH1", "M2P CH0", "M2P CH3", "M2P CH2",
                                                    "M2P CH5", "M2P CH4", "M2P CH7", "M2P CH6",
                                                    "M2P CH9", "M2P CH8", "M2M CH0", "M2M CH1"};

int dodma(const char *value) {
    if (value && *value) {
        diag("PwrCnt: cannot write to this register\n");
        return EIO;
    }
    uint32_t r = syscon_get_pwrcnt();
    rpt("#\n# PwrCnt=0x%08x\n# DMA clock status.....\n", (unsigned)r);
    char lines[PWRCNT_NDMA * 24 + 3];
    char *p = lines;
    for (int i = 0; i < PWRCNT_NDMA; i++)
        p = add(add(add(p, "# DMA "), dmachannel[i]),
                (r >> (PWRCNT_DMA + i)) & 1 ? " = ON\n" : " = OFF\n");
    p = add(p, "#\n");
    rptw(lines, (size_t)(p - lines));
    return 0;
}

int dochipid(const char *value) {
    if (value && *value) {
        diag("chipid: cannot write to this register\n");
        return EIO;
    }
    uint32_t id = syscon_get_chipid();
    rpt("\n# chipid    =0x%08x\n# chipid.ID =0x%Xd\n# chipid.REV=%d\n", (unsigned)id,
        (unsigned)(id & CHIPID_ID), (int)(id >> CHIPID_REV));
    return 0;
}
