// The wait for an advisory lock that every register store takes, the board's
// /dev/mem and the simulated board's image alike.
#ifndef ZORL_LOCKWAIT_H
#define ZORL_LOCKWAIT_H

// How long another program may hold the lock before a run gives up, and
// how often it is tried meanwhile, in milliseconds.  The programs wait the
// five seconds; only a test build compiles lockwait.cpp again with a
// shorter wait (-DZORL_LOCKWAIT_MS=...), to see a run give up.
#ifndef ZORL_LOCKWAIT_MS
#define ZORL_LOCKWAIT_MS 5000
#endif
constexpr int LOCKWAIT_MS = ZORL_LOCKWAIT_MS;
constexpr int LOCKWAIT_STEP_MS = 10;

// flock(LOCK_EX) on fd, tried every LOCKWAIT_STEP_MS for about LOCKWAIT_MS,
// never without end.  0, or -1 with errno set (EAGAIN when another program
// held it all that time).
int lockwait(int fd);

#endif
