// zr6410-devmem ADDRESS [WIDTH [VALUE]]
//
// Read or write one register of the simulated board, in the manner of the
// familiar devmem tools: without VALUE print the register, with VALUE store
// it with one access of WIDTH bits.  Every argument is checked before the
// image is opened, so a refused call touches nothing.
#include "devio.h"
#include "errline.h"
#include "platform.h"
#include "privilege.h"
#include "simboard.h"
#include "stdguard.h"

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

// "[prog] system message : arg: why" on standard error; the exit status.
static int fail(int err, const char *arg, const char *why) {
    errpath(nullptr, strerror(err), arg, why);
    return 1;
}

static int refuse(const char *arg, const char *why) {
    return fail(EINVAL, arg, why);
}

// C notation: 0x hexadecimal or decimal, nothing else, at most 32 bits.
static bool number(const char *s, uint32_t *out) {
    unsigned base = 10;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) base = 16, s += 2;
    if (!*s) return false;
    unsigned long long v = 0;
    for (; *s; s++) {
        unsigned d;
        if (*s >= '0' && *s <= '9')
            d = (unsigned)(*s - '0');
        else if (base == 16 && *s >= 'a' && *s <= 'f')
            d = (unsigned)(*s - 'a' + 10);
        else if (base == 16 && *s >= 'A' && *s <= 'F')
            d = (unsigned)(*s - 'A' + 10);
        else
            return false;
        v = v * base + d;
        if (v > 0xFFFFFFFFull) return false;
    }
    *out = (uint32_t)v;
    return true;
}

int main(int argc, char **argv) {
    int closed = stdguard();
    if (closed < 0) return 1;
    // No privilege is needed: any is given up before anything is opened.
    int priv = privstart();
    if (!priv) priv = privdrop();
    setprogname(argc > 0 ? argv[0] : nullptr, "zr6410-devmem");
    // Nothing it prints may land in the image.
    if (storegate(simboard_path())) return 1;
    if (priv) return fail(priv, "cannot give up privileges", nullptr);
    if (argc < 2 || argc > 4) {
        if (argc > 4) refuse(argv[4], "too many arguments");
        msgline m;
        msgbegin(m);
        msgraw(m, "usage: ");
        msgesc(m, sys);
        msgraw(m, " ADDRESS [WIDTH [VALUE]]\n");
        msgend(m);
        return 1;
    }
    uint32_t addr, width = 32, value = 0;
    if (!number(argv[1], &addr)) return refuse(argv[1], "address expected");
    if (argc > 2 && !number(argv[2], &width))
        return refuse(argv[2], "width expected (8, 16 or 32)");
    if (width != 8 && width != 16 && width != 32)
        return refuse(argv[2], "width expected (8, 16 or 32)");
    if (addr % (width / 8)) return refuse(argv[1], "address not aligned to the width");
    long off = simboard_offset(addr);
    if (off < 0) return refuse(argv[1], "address outside the simulated pages");
    if (argc > 3) {
        if (!number(argv[3], &value)) return refuse(argv[3], "value expected");
        if (width < 32 && value >> width) return refuse(argv[3], "value does not fit the width");
    }
    // A read answers on standard output; started with it closed, the answer
    // would go nowhere and the caller take silence for success.
    if (argc < 4 && (closed & 2))
        return fail(EBADF, "stdout", "nowhere to print the value, nothing read");

    // Every failure exits 1, a bus error on the image too.
    int fd = simboard_open(1);
    if (fd < 0) return 1;
    // The page as zorl-sim maps it, through the same platform layer.
    void *map = plat_map(fd, addr & ~(SIM_PAGE - 1));
    if (!map) return fail(errno, simboard_path(), "cannot map the board image");
    volatile uint8_t *reg = (volatile uint8_t *)map + (addr & (SIM_PAGE - 1));
    if (argc > 3) {
        // A store as any other program's change: with the image held, and
        // only into the image that was opened, whole and writable.
        if (plat_lock(fd)) return 1;
        if (width == 8)
            io_wr8(reg, (uint8_t)value);
        else if (width == 16)
            io_wr16((volatile uint16_t *)reg, (uint16_t)value);
        else
            io_wr32((volatile uint32_t *)reg, value);
        plat_unlock(fd);
        return 0;
    }
    if (width == 8)
        value = io_rd8(reg);
    else if (width == 16)
        value = io_rd16((volatile uint16_t *)reg);
    else
        value = io_rd32((volatile uint32_t *)reg);
    char line[16];
    int n = snprintf(line, sizeof line, "0x%0*X\n", (int)(width / 4), (unsigned)value);
    int err = lineput(stdline(1), line, (size_t)n);
    return err ? fail(err, "stdout", "the value could not be printed") : 0;
}
