// A privilege that is not the user's.
//
// Installed set-user-ID or set-group-ID, or with file capabilities, so that
// a user other than root may switch the board's clocks, a program runs with
// rights that the user who started it lacks: the kernel's secure-execution
// mode (AT_SECURE), or real and effective user or group IDs that differ.
// The board program needs such a right for /dev/mem alone (and
// /proc/cpuinfo, read beside it).  Every file the user names (the report,
// the command source, the board image) is opened with the user's own
// rights, so that nobody reads, creates, appends to or learns of a file
// through the program that they could not themselves.
//
// privstart lowers the privilege at once: the file-system IDs become the
// real ones and no capability is effective, so that every name is looked
// at (open, stat, readlink, link, unlink) as the user.  privopen raises it
// for one open.  privdrop gives it up for good (user and group IDs,
// capabilities, no new privileges) and checks that it cannot be had back.
// The caller's own supplementary groups stay theirs.  A run without such
// a privilege (root, sudo included, or a plain user) is left as it is.
#ifndef ZORL_PRIVILEGE_H
#define ZORL_PRIVILEGE_H

// 0, or EPERM when the privilege could not be lowered.
int privstart(void);

// open(path, flags) with the privilege, lowered again afterwards: the
// descriptor, or -1 with errno set.
int privopen(const char *path, int flags);

// 0, or EPERM when the privilege could not be given up for good.
int privdrop(void);

#endif
