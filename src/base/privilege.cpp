#include "privilege.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <sys/auxv.h>
#include <sys/fsuid.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

static bool priv; // a privilege is held, lowered or raised
static uid_t ruid, euid;
static gid_t rgid, egid;

// The capability sets, as capget and capset take them (linux/capability.h,
// version 3: two words of 32 capabilities each).
struct caphead {
    uint32_t version;
    int pid;
};
struct capdata {
    uint32_t effective, permitted, inheritable;
};

// setresuid and setresgid by their numbers: a C library may make every
// thread of the process change with them (musl, at the cost of a
// kilobyte of code), and this program has one thread.
#ifdef SYS_setresuid32
#define SYS_SETRESUID SYS_setresuid32
#define SYS_SETRESGID SYS_setresgid32
#else
#define SYS_SETRESUID SYS_setresuid
#define SYS_SETRESGID SYS_setresgid
#endif

static int setres(long call, unsigned r, unsigned e, unsigned s) {
    return (int)syscall(call, r, e, s);
}

static int caps(long call, capdata *d) {
    caphead h = {0x20080522, 0};
    return (int)syscall(call, &h, d);
}

// The file-system IDs and the effective capabilities: the user's (raise
// false) or the privilege's.  0, or EPERM when they could not be so.
static int privset(bool raise) {
    uid_t u = raise ? euid : ruid;
    gid_t g = raise ? egid : rgid;
    capdata d[2];
    if (caps(SYS_capget, d)) return EPERM;
    for (capdata &c : d) c.effective = raise ? c.permitted : 0;
    setfsgid(g);
    setfsuid(u);
    bool ok = !caps(SYS_capset, d) && (uid_t)setfsuid(-1) == u && (gid_t)setfsgid(-1) == g;
    return ok ? 0 : EPERM;
}

int privstart(void) {
    uid_t s;
    gid_t sg;
    getresuid(&ruid, &euid, &s);
    getresgid(&rgid, &egid, &sg);
    priv = getauxval(AT_SECURE) || ruid != euid || rgid != egid;
    return priv ? privset(false) : 0;
}

int privopen(const char *path, int flags) {
    if (priv && privset(true)) return errno = EPERM, -1;
    int fd = open(path, flags);
    int err = errno;
    if (priv && privset(false)) {
        if (fd >= 0) close(fd);
        return errno = EPERM, -1;
    }
    errno = err;
    return fd;
}

int privdrop(void) {
    if (!priv) return 0;
    capdata none[2] = {}, now[2];
    bool ok = !setres(SYS_SETRESGID, rgid, rgid, rgid) &&
              !setres(SYS_SETRESUID, ruid, ruid, ruid) && (!ruid || !caps(SYS_capset, none)) &&
              !prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    // Had back, it was not given up.  Root as the real user has every
    // right anyway.
    if (ok && ruid) {
        ok = (euid == ruid || setres(SYS_SETRESUID, -1u, euid, -1u)) &&
             (egid == rgid || setres(SYS_SETRESGID, -1u, egid, -1u)) && !caps(SYS_capget, now) &&
             !(now[0].permitted | now[1].permitted);
    }
    priv = !ok;
    return ok ? 0 : EPERM;
}
