// zorl, the board program: the front end on /dev/mem, which it uses only
// on an EP93xx, by its ChipID.
#include "board.h"
#include "zorl.h"

int main(int argc, char **argv) {
    zorlmain(argc, argv, "zorl", board_chipid);
}
