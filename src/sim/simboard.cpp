#include "simboard.h"

#include "errline.h"
#include "fileid.h"
#include "lockwait.h"
#include "regmap.h"

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <signal.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

// "[prog] system message : path: what", in the form of every other error
// line; errno is err.
static int fail(int err, const char *path, const char *what) {
    errpath(nullptr, strerror(err), path, what);
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

// The file tmp, whole, under the name end as well, unless a file is there
// already (EEXIST): never over an image that another run made meanwhile.
// A rename that refuses to replace, else a link; on a file system that has
// neither (FAT through FUSE), a rename with the folder dir locked against
// every other run making an image in it, once no file has the name.
static int putinplace(const char *dir, const char *tmp, const char *end) {
    // renameat2 by its number: not every C library has it (musl before 1.2.5).
    if (!syscall(SYS_renameat2, AT_FDCWD, tmp, AT_FDCWD, end, 1 /* RENAME_NOREPLACE */)) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    if (!link(tmp, end)) return 0;
    if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    int dfd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return errno;
    struct stat st;
    int err = 0;
    if (lockwait(dfd))
        err = errno;
    else if (!lstat(end, &st))
        err = EEXIST;
    else if (errno != ENOENT || rename(tmp, end))
        err = errno;
    close(dfd); // and the lock with it
    return err;
}

// The image written whole into a file of its own, then linked to the name
// end: another process never sees a half-written image, and if one
// appeared under that name meanwhile, that one is used (EEXIST).  0, or the
// errno of what failed (a file-size limit, a full disk); the file made is
// gone again then.
static int makeimage(const char *end, const unsigned char *img) {
    // First a file without a name (O_TMPFILE): whatever ends the process,
    // KILL included, it goes with it, and it has a name only once it is
    // the image.  It is made as the user's files are: 0666 less the umask.
    char dir[PATH_MAX];
    const char *slash = strrchr(end, '/');
    snprintf(dir, sizeof dir, "%.*s", slash ? (int)(slash - end) + 1 : 1, slash ? end : ".");
    int fd = open(dir, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
        // Linked by its descriptor where the process may (root), else
        // through /proc.
        char self[32];
        snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
        int err = writeall(fd, img, SIM_SIZE) ? errno : 0;
        if (!err && linkat(fd, "", AT_FDCWD, end, AT_EMPTY_PATH)) {
            err = errno;
            if (err != EEXIST)
                err = linkat(AT_FDCWD, self, AT_FDCWD, end, AT_SYMLINK_FOLLOW) ? errno : 0;
        }
        close(fd);
        if (err != ENOENT) return err; // ENOENT: no /proc to link it from
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return errno;
    }
    // A file system that cannot make a file without a name (NFS, FAT): a
    // temporary name beside the image's, put in the image's place only if
    // no image is there yet.  A KILL in between can leave it behind; no
    // other signal can (create).
    char tmp[PATH_MAX + 8];
    if (snprintf(tmp, sizeof tmp, "%s.XXXXXX", end) >= (int)sizeof tmp) return ENAMETOOLONG;
    fd = mkstemp(tmp);
    if (fd < 0) return errno;
    mode_t mask = umask(0);
    umask(mask);
    // A file system without modes (FAT) keeps its own: nothing to set.
    int err = fchmod(fd, 0666 & ~mask) && errno != EPERM && errno != ENOSYS ? errno : 0;
    if (!err && writeall(fd, img, SIM_SIZE)) err = errno;
    if (close(fd) && !err) err = errno;
    if (!err) err = putinplace(dir, tmp, end);
    unlink(tmp);
    return err;
}

// A fresh image of a board just powered on, under path; a name that is a
// symbolic link to a file not yet made gets the image at the link's end, as
// any file created through a link would.  No signal that can be held back
// ends the run while it is being made: afterwards there is the image or
// nothing.  0, or -1 after the message.
static int create(const char *path) {
    static unsigned char img[SIM_SIZE];
    simboard_poweron(img);
    char end[PATH_MAX];
    if (linkend(path, end, sizeof end)) return fail(errno, path, "cannot create the board image");
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    int err = makeimage(end, img);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (err && err != EEXIST) return fail(err, path, "cannot create the board image");
    return 0;
}

// 0 when the image was opened read-write; else why it could only be opened
// to read (EACCES, EROFS, EPERM).
static int simboard_roerr;
static struct stat opened; // the image as it was opened: device, inode, size
static int imagefd = -1;

// Every mapping of the image this run made, so that a bus error can be
// told to be the image's (simboard_mapped).  Only ever added to, and a
// mapping is listed once it is whole, so a signal handler may walk it.
struct span {
    const char *start;
    size_t len;
    span *next;
};
static span *spans;

bool simboard_mapped(const void *addr) {
    uintptr_t a = (uintptr_t)addr;
    for (const span *s = spans; s; s = s->next)
        if (a - (uintptr_t)s->start < s->len) return true;
    return false;
}

void *simboard_map(int fd, uint32_t phys) {
    long off = simboard_offset(phys);
    if (off < 0) {
        errno = ENXIO; // nothing is simulated at that address
        return nullptr;
    }
    span *s = (span *)malloc(sizeof *s);
    if (!s) return nullptr;
    // The whole image from its start: an offset of 0 suits a kernel of any
    // page size, where the offset of a single 4 KiB page of the image would
    // be refused by kernels whose pages are 16 or 64 KiB.  An image this
    // run may only read is mapped to read: a store is refused by
    // simboard_lock before it is tried.
    int prot = simboard_roerr ? PROT_READ : PROT_READ | PROT_WRITE;
    void *p = mmap(nullptr, SIM_SIZE, prot, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        int err = errno;
        free(s);
        errno = err;
        return nullptr;
    }
    s->start = (const char *)p;
    s->len = SIM_SIZE;
    s->next = spans;
    spans = s;
    return (char *)p + off;
}

// A bus error in a mapping of the image: the file could not back the page.
// Either it was cut short under the run, or a page of a sparse image found
// no room on its file system.  What is said is prepared when the image is
// opened, as nothing but write, fstat and _exit may be called here.  A bus
// error anywhere else is none of the image's business: it ends the run as
// it would without this handler.
static const char *imagepath, *cutmsg, *fullmsg;
static int faultexit; // the exit status then, or 0 for the cause's errno

static void onbus(int, siginfo_t *si, void *) {
    if (si->si_code <= 0 || !simboard_mapped(si->si_addr)) {
        signal(SIGBUS, SIG_DFL);
        raise(SIGBUS);
        return;
    }
    // The lock first: a message is never written while it is held, as a
    // stream left non-blocking may be waited on.
    flock(imagefd, LOCK_UN);
    struct stat st;
    bool cut = fstat(imagefd, &st) || st.st_size < (off_t)SIM_SIZE;
    lineout err = *stdline(2);
    err.peer = nullptr;
    errpath(&err, cut ? cutmsg : fullmsg, imagepath,
            cut ? "the board image was cut short while in use"
                : "no space left for the board image");
    _exit(faultexit ? faultexit : cut ? ESTALE : ENOSPC);
}

int simboard_open(int faultstatus) {
    const char *path = simboard_path();
    // Never waits: a FIFO or a device in the image's place is opened at
    // once, and refused below as not a regular file.
    int fd = open(path, O_RDWR | O_NONBLOCK);
    if (fd < 0 && errno == ENOENT) {
        if (create(path)) return -1;
        fd = open(path, O_RDWR | O_NONBLOCK);
    }
    // An image this run may not write (its mode, a read-only file system,
    // an immutable file) still serves a run that only reads.
    simboard_roerr = 0;
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        int err = errno;
        fd = open(path, O_RDONLY | O_NONBLOCK);
        if (fd >= 0)
            simboard_roerr = err;
        else
            errno = err;
    }
    // A folder cannot be opened to write: refused as any other file that
    // is not a regular file.
    if (fd < 0 && errno == EISDIR)
        return fail(EINVAL, path, "not a board image: not a regular file");
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
    // Another file may have taken the image's name since standard output
    // and error were decided: decided again by the file opened.
    if (storegatefd(path, fd)) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    opened = st;
    imagefd = fd;
    imagepath = path;
    faultexit = faultstatus;
    cutmsg = strerror(ESTALE);
    fullmsg = strerror(ENOSPC);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_sigaction = onbus;
    sa.sa_flags = SA_SIGINFO;
    sigaction(SIGBUS, &sa, nullptr);
    return fd;
}

// What this run mapped must still be the image: neither cut short
// (truncate, the first step of cp over it) nor replaced (mv over it), or a
// store would crash or go into a file nobody reads, and a value read come
// from a file nobody writes.  Cut short and grown again to its size, it has
// lost its header.  Why it is not, or a null pointer.
static const char *stale(int fd) {
    struct stat now, named;
    char head[MAGICLEN];
    if (fstat(fd, &now) || now.st_size < (off_t)SIM_SIZE ||
        pread(fd, head, MAGICLEN, 0) != (ssize_t)MAGICLEN || memcmp(head, magic, MAGICLEN))
        return "the board image was cut short while in use, nothing written";
    if (now.st_size > (off_t)SIM_SIZE) return "the board image grew while in use, nothing written";
    if (stat(simboard_path(), &named) || !sameid(named, opened))
        return "the board image was replaced while in use, nothing written";
    return nullptr;
}

int simboard_check(int fd) {
    const char *why = stale(fd);
    return why ? fail(ESTALE, simboard_path(), why) : 0;
}

int simboard_lock(int fd) {
    const char *path = simboard_path();
    if (simboard_roerr)
        return fail(simboard_roerr, path, "the board image may only be read, nothing written");
    // Another run holds the image for the few loads and stores of one
    // change; a run that cannot have it within a few seconds gives up
    // rather than wait for ever.
    if (lockwait(fd))
        return fail(errno, path, "the board image is held by another program, nothing written");
    const char *why = stale(fd);
    if (!why) return 0;
    flock(fd, LOCK_UN); // before the message
    return fail(ESTALE, path, why);
}

void simboard_unlock(int fd) {
    flock(fd, LOCK_UN);
}
