#include "privilege.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <sys/auxv.h>
#include <sys/syscall.h>
#include <unistd.h>

// Every ID and capability call by its number, through syscall(): a C
// library may make every thread of the process change with setresuid
// (musl, at the cost of a kilobyte of code), and each wrapper more costs
// the board program's flash an import; this program has one thread.
// 32-bit ARM has the calls on 32-bit IDs under names of their own.
#ifdef SYS_setresuid32
#define ID(call) SYS_##call##32
#else
#define ID(call) SYS_##call
#endif

static bool priv;       // a privilege is held, lowered or raised
static unsigned ids[6]; // real, effective, saved user ID; the same of the group
enum { RUID, EUID, SUID, RGID, EGID, SGID };

// The capability sets, as capget and capset take them (linux/capability.h,
// version 3: two words of 32 capabilities each).
struct caphead {
    uint32_t version;
    int pid;
};
struct capdata {
    uint32_t effective, permitted, inheritable;
};

static long sys(long call, long a, long b = -1, long c = -1) {
    return syscall(call, a, b, c);
}

static int caps(long call, capdata *d) {
    caphead h = {0x20080522, 0};
    return (int)sys(call, (long)&h, (long)d);
}

// The file-system IDs and the effective capabilities: the user's (raise
// false) or the privilege's.  0, or EPERM when they could not be so;
// without a privilege, nothing to do.
static int privset(bool raise) {
    if (!priv) return 0;
    unsigned u = ids[raise ? EUID : RUID], g = ids[raise ? EGID : RGID];
    capdata d[2];
    if (caps(SYS_capget, d)) return EPERM;
    for (capdata &c : d) c.effective = raise ? c.permitted : 0;
    sys(ID(setfsgid), g);
    sys(ID(setfsuid), u);
    // Asked with an ID that is none, each answers the one it has.
    bool ok = !caps(SYS_capset, d) && (unsigned)sys(ID(setfsuid), -1) == u &&
              (unsigned)sys(ID(setfsgid), -1) == g;
    return ok ? 0 : EPERM;
}

int privstart(void) {
    sys(ID(getresuid), (long)&ids[RUID], (long)&ids[EUID], (long)&ids[SUID]);
    sys(ID(getresgid), (long)&ids[RGID], (long)&ids[EGID], (long)&ids[SGID]);
    priv = getauxval(AT_SECURE) || ids[RUID] != ids[EUID] || ids[RGID] != ids[EGID];
    return privset(false);
}

int privopen(const char *path, int flags) {
    if (privset(true)) return errno = EPERM, -1;
    int fd = open(path, flags), err = errno;
    if (privset(false)) {
        close(fd);
        return errno = EPERM, -1;
    }
    return errno = err, fd;
}

int privdrop(void) {
    if (!priv) return 0;
    unsigned r = ids[RUID], g = ids[RGID];
    capdata none[2] = {}, now[2];
    bool ok = !sys(ID(setresgid), g, g, g) && !sys(ID(setresuid), r, r, r) &&
              (!r || !caps(SYS_capset, none)) &&
              !syscall(SYS_prctl, 38 /* PR_SET_NO_NEW_PRIVS */, 1L, 0L, 0L, 0L);
    // Had back, it was not given up.  Root as the real user has every
    // right anyway.
    if (ok && r)
        ok = (ids[EUID] == r || sys(ID(setresuid), -1, ids[EUID])) &&
             (ids[EGID] == g || sys(ID(setresgid), -1, ids[EGID])) && !caps(SYS_capget, now) &&
             !(now[0].permitted | now[1].permitted);
    priv = !ok;
    return ok ? 0 : EPERM;
}
