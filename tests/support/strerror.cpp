// zorl-strerror N...: the C library's message for each errno number, one a
// line.  Built and run exactly as the programs under test are (natively, or
// under the emulator of a cross build), so the end-to-end tests expect the
// texts of the C library those programs use, whichever it is.
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
    for (int i = 1; i < argc; i++) puts(strerror(atoi(argv[i])));
    return fflush(stdout) ? 1 : 0;
}
