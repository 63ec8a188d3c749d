#include "zorl.h"

int main(int argc, char **argv) {
    zorlmain(argc, argv, ZORL_PROG);
}
