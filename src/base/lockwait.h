// The wait for an advisory lock that every register store takes, the board's
// /dev/mem and the simulated board's image alike.
#ifndef ZORL_LOCKWAIT_H
#define ZORL_LOCKWAIT_H

// flock(LOCK_EX) on fd, tried every 10 ms for about five seconds, never
// without end.  0, or -1 with errno set (EAGAIN when another program held
// it all that time).
int lockwait(int fd);

#endif
