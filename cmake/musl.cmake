# The musl flavour: every program fully static against musl, for the board
# (ARMv4T) or for the development machine (-DZORL_LIBC=musl).
#
# musl is built from Debian's source package by tools/musl into a sysroot of
# this build tree, with the compiler and code generation options of the
# programs; the call is cheap once the sysroot is there.  Its source and
# apt's private state are kept in ZORL_MUSL_CACHE: by default in the build
# tree too, so that nothing is written into the source tree (which may be
# read-only) nor anywhere else; name one folder for several build trees to
# fetch it once.  The programs are then compiled against its headers alone
# and linked by hand: its start-up files, libc.a and libgcc, nothing of the
# toolchain's own C library.
#
# Only the C headers are used (<stdio.h>, not <cstdio>): the C++ wrapper
# headers of libstdc++ are written for glibc, and the programs use nothing
# of the C++ library.  The unit tests need GoogleTest and so the C++
# library, which exists only for the toolchain's C library: a musl build
# has the end-to-end tests and the budgets, not the unit tests.

set(ZORL_MUSL_SYSROOT ${CMAKE_BINARY_DIR}/musl)
set(ZORL_MUSL_CACHE ${CMAKE_BINARY_DIR}/musl-cache CACHE PATH
  "Where tools/musl keeps musl's source and its apt state")
execute_process(
  COMMAND ${PROJECT_SOURCE_DIR}/tools/musl --cache ${ZORL_MUSL_CACHE}
    ${ZORL_MUSL_SYSROOT} ${CMAKE_C_COMPILER} "${CMAKE_C_FLAGS}"
  RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "tools/musl could not build musl (see above)")
endif()

if(ZORL_BOARD_RELEASE)
  set(_libgcc ${ZORL_LIBGCC_LINK})
else()
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-libgcc-file-name
    OUTPUT_VARIABLE _libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=include
  OUTPUT_VARIABLE _gcc_include OUTPUT_STRIP_TRAILING_WHITESPACE)

set(_lib ${ZORL_MUSL_SYSROOT}/lib)
# musl's headers first; the compiler's own after them, for its built-in
# headers only.
target_compile_options(zorl_libc INTERFACE -nostdinc
  "SHELL:-isystem ${ZORL_MUSL_SYSROOT}/include" "SHELL:-isystem ${_gcc_include}")
# No RELRO: musl makes relocated data read-only only in its dynamic linker,
# so a static program loses no protection, and its writable segment need
# not start on a page of its own (up to a page of padding in the file).
target_link_options(zorl_libc INTERFACE -static -no-pie -nostdlib -Wl,-z,norelro
  ${_lib}/crt1.o ${_lib}/crti.o)
# After the program's own objects and libraries: the C library and libgcc,
# which need each other, then the end of the .init and .fini sections.
target_link_libraries(zorl_libc INTERFACE
  -Wl,--start-group ${_lib}/libc.a ${_libgcc} -Wl,--end-group ${_lib}/crtn.o)

set(ZORL_STATIC ON)

if(ZORL_BOARD_RELEASE)
  # The tests run the programs on an emulated ARM925T: ARMv4T, the board's
  # architecture, on which any later instruction (clz, blx, ldrd) raises
  # SIGILL.  No -L: the static programs load nothing from a sysroot.
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -cpu ti925t)
endif()
