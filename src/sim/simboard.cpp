#include "simboard.h"

#include "errline.h"
#include "platform.h"
#include "regmap.h"

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <signal.h>
#include <string.h>
#include <sys/file.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const uint32_t simpages[SIM_NPAGES] = {GPIO_BASE, SYSCON_BASE, ADC_PRESENT, ADC_CNTL, ADC_STAT};

// The first bytes of every image; the rest of the header page is zero.
static const char magic[] = "ZR6410 simulated board image v1\n";
constexpr size_t MAGICLEN = sizeof magic - 1;

// Register values of a board just powered on; every other byte is 0.
static const struct {
    uint32_t addr;
    unsigned width;
    uint32_t value;
} poweron[] = {
    {SYSCON_BASE + SYSCON_PWRCNT, 32, 0x10030000},  // USB clock, DMA M2P channels 0 and 1 on
    {SYSCON_BASE + SYSCON_CLKSET1, 32, 0x02B49907}, // 166 MHz processor clock
    {SYSCON_BASE + SYSCON_CLKSET2, 32, 0x300DC317}, // 48 MHz USB clock
    {SYSCON_BASE + SYSCON_CHIPID, 32, 0x70009213},  // ID 0x9213, revision 7
    {GPIO_BASE + GPIO_PHDR, 8, 1u << PH_ETHERPWR},  // Ethernet PHY powered
    {GPIO_BASE + GPIO_PHDDR, 8, 1u << PH_ETHERPWR}, // the PHY power line is an output
    {ADC_PRESENT, 8, 0x00},                         // no ADC fitted
};

const char *simboard_path(void) {
    const char *p = getenv("ZR6410_IMAGE");
    return p && *p ? p : "zr6410.img";
}

long simboard_offset(uint32_t phys) {
    for (unsigned i = 0; i < SIM_NPAGES; i++)
        if (phys - simpages[i] < SIM_PAGE) return (long)((i + 1) * SIM_PAGE + (phys - simpages[i]));
    return -1;
}

// "[prog] system message : path: what", in the form of every other error line.
static int fail(int err, const char *path, const char *what) {
    char text[PATH_MAX + 128];
    snprintf(text, sizeof text, "%s: %s", path, what);
    errline(err, text);
    errno = err;
    return -1;
}

static int writeall(int fd, const unsigned char *p, size_t n) {
    while (n) {
        ssize_t w = write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        p += w;
        n -= (size_t)w;
    }
    return 0;
}

void simboard_poweron(unsigned char *img) {
    memset(img, 0, SIM_SIZE);
    memcpy(img, magic, MAGICLEN);
    for (const auto &r : poweron) {
        unsigned char *p = img + simboard_offset(r.addr);
        if (r.width == 8)
            *p = (unsigned char)r.value;
        else
            memcpy(p, &r.value, 4);
    }
}

// Build a fresh image beside the final name and link it into place, so that
// another process never sees a half-written image; if one appeared there in
// the meantime, that one is used.  0, or -1 after the message.
static int create(const char *path) {
    static unsigned char img[SIM_SIZE];
    simboard_poweron(img);

    char tmp[PATH_MAX];
    if (snprintf(tmp, sizeof tmp, "%s.XXXXXX", path) >= (int)sizeof tmp)
        return fail(ENAMETOOLONG, path, "cannot create the board image");
    int fd = mkstemp(tmp);
    if (fd < 0) return fail(errno, path, "cannot create the board image");
    // Whatever fails (a file-size limit, a full disk), the temporary file
    // goes, and the cause is what is reported.
    int err = 0;
    if (fchmod(fd, 0644) || writeall(fd, img, sizeof img) || link(tmp, path)) err = errno;
    if (close(fd) && !err) err = errno;
    unlink(tmp);
    if (err && err != EEXIST) return fail(err, path, "cannot create the board image");
    return 0;
}

int simboard_roerr;
static struct stat opened; // the image as it was opened: device, inode, size

// A load from a page of an image that was cut short under the run: the
// kernel sends SIGBUS.  The line is made ready when the image is opened, as
// nothing but write and _exit may be called here.
static char busline[PATH_MAX + 256];
static size_t buslen;

static void onbus(int) {
    if (write(2, busline, buslen) < 0) _exit(ESTALE);
    _exit(ESTALE);
}

int simboard_open(void) {
    const char *path = simboard_path();
    int fd = open(path, O_RDWR);
    if (fd < 0 && errno == ENOENT) {
        if (create(path)) return -1;
        fd = open(path, O_RDWR);
    }
    // An image this run may only read still serves a run that only reads.
    simboard_roerr = 0;
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
        int err = errno;
        fd = open(path, O_RDONLY);
        if (fd >= 0)
            simboard_roerr = err;
        else
            errno = err;
    }
    if (fd < 0) return fail(errno, path, "cannot open the board image");

    struct stat st;
    char head[MAGICLEN];
    char why[96];
    int err = EINVAL;
    const char *bad = nullptr;
    if (fstat(fd, &st)) {
        err = errno;
        bad = "cannot read the board image";
    } else if (!S_ISREG(st.st_mode)) {
        bad = "not a board image: not a regular file";
    } else if (st.st_size != SIM_SIZE) {
        snprintf(why, sizeof why, "not a board image: %lld bytes, an image has %u",
                 (long long)st.st_size, SIM_SIZE);
        bad = why;
    } else {
        ssize_t n = pread(fd, head, MAGICLEN, 0);
        if (n < 0) {
            err = errno;
            bad = "cannot read the board image";
        } else if ((size_t)n != MAGICLEN || memcmp(head, magic, MAGICLEN)) {
            bad = "not a board image: wrong header";
        }
    }
    if (bad) {
        close(fd);
        return fail(err, path, bad);
    }
    opened = st;
    char text[PATH_MAX + 64];
    snprintf(text, sizeof text, "%s: the board image was cut short while in use", path);
    buslen = fmterrline(busline, sizeof busline, ESTALE, text);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = onbus;
    sigaction(SIGBUS, &sa, nullptr);
    return fd;
}

int simboard_lock(int fd) {
    const char *path = simboard_path();
    if (simboard_roerr)
        return fail(simboard_roerr, path, "the board image may only be read, nothing written");
    // Another run holds the image for the few loads and stores of one
    // change; a run that cannot have it within a few seconds gives up
    // rather than wait for ever.
    if (plat_flockwait(fd))
        return fail(errno, path, "the board image is held by another program, nothing written");
    // What this run mapped must still be the image: neither cut short
    // (truncate, the first step of cp over it) nor replaced (mv over it), or
    // a store would crash or go into a file nobody reads.
    struct stat now, named;
    const char *why = nullptr;
    if (fstat(fd, &now) || now.st_size != SIM_SIZE)
        why = "the board image was cut short while in use, nothing written";
    else if (stat(path, &named) || named.st_dev != opened.st_dev || named.st_ino != opened.st_ino)
        why = "the board image was replaced while in use, nothing written";
    if (why) {
        flock(fd, LOCK_UN);
        return fail(ESTALE, path, why);
    }
    return 0;
}

void simboard_unlock(int fd) {
    flock(fd, LOCK_UN);
}
