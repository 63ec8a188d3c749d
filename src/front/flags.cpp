// The run's flags, set by start-up and the write command, read by the
// handlers: a file of their own, below every file that reads them.
#include "zorl.h"

int debug;
int dummy = 1;
