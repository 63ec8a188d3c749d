// Prints the C library's text for each errno number, one "N text" line
// each.  The programs report errors in their C library's words, which differ
// between C libraries ("Input/output error", "I/O error"); the end-to-end
// tests take the words from this program, built with the same C library.
#include <stdio.h>
#include <string.h>

int main(void) {
    for (int n = 1; n < 200; n++) printf("%d %s\n", n, strerror(n));
    return 0;
}
