// The canaries of the rooms check (cmake/rooms.cmake): CANARY 1 takes the
// write flag of the front end, declared by hand, as a register-layer file
// would if it reached up; CANARY 2 and 3 take each other's function, as
// two files of one room calling each other.
#if CANARY == 1
extern int dummy;
int canary_up(void) {
    return dummy;
}
#else
int canary_other(void);
int CANARY_NAME(void) {
    return canary_other();
}
#endif
