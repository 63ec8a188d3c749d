// zorl-sim: the front end on the simulated board of an image file, which
// has no chip to ask.
#include "zorl.h"

int main(int argc, char **argv) {
    zorlmain(argc, argv, "zorl-sim", nullptr);
}
