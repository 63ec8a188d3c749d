// The rooms check's canaries (cmake/rooms.cmake), one file built three
// times: one takes the front end's write flag by a declaration of its own,
// as a register-layer file reaching up would; two take each other's.
extern int TAKES;
extern "C" int *GIVES(void) {
    return &TAKES;
}
