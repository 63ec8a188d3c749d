# Cross building zorl for the ZR6410 board: 32-bit ARM Linux, ARM920T core
# (ARMv4T), soft float, little-endian.
#
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabi.cmake \
#         -DZORL_BOARD_RELEASE=ON      # the board release (the arm preset)
#
# Without ZORL_BOARD_RELEASE it builds as any toolchain file does, with the
# toolchain's own C library and libgcc (the arm-system preset).
#
# The default is Debian's armel cross compiler (g++-arm-linux-gnueabi).
# Another toolchain (Buildroot, Yocto, crosstool-NG, the board vendor's) is
# selected by its prefix, the part of the compiler's path before "gcc":
#
#   -DZORL_CROSS_PREFIX=/opt/br/host/bin/arm-buildroot-linux-gnueabi-
#
# ZORL_SYSROOT names the target's root file system, where the emulator that
# runs the tests of the system flavour (ZORL_LIBC=system) finds the target's
# dynamic loader and C library; it is asked of the compiler when not given.
# The board release links musl, built for the board, statically and needs
# no sysroot to run (cmake/musl.cmake).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(ZORL_CROSS_PREFIX "arm-linux-gnueabi-" CACHE STRING
    "Cross toolchain prefix: the compiler is \${ZORL_CROSS_PREFIX}gcc")
set(ZORL_SYSROOT "" CACHE PATH "Target root file system (empty: ask the compiler)")
# The board's processor: the project's code and, in the default flavour, the
# C library are compiled for it.
set(ZORL_ARM_FLAGS "-marm -march=armv4t -mtune=arm920t" CACHE STRING
    "Code generation options for the board's processor")
# try_compile() projects read this file again and need the same choices.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZORL_CROSS_PREFIX ZORL_SYSROOT ZORL_ARM_FLAGS)

set(CMAKE_C_COMPILER ${ZORL_CROSS_PREFIX}gcc)
set(CMAKE_CXX_COMPILER ${ZORL_CROSS_PREFIX}g++)
set(CMAKE_C_FLAGS_INIT "${ZORL_ARM_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${ZORL_ARM_FLAGS}")

if(NOT ZORL_SYSROOT)
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-sysroot
    OUTPUT_VARIABLE _zorl_sysroot OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT _zorl_sysroot OR _zorl_sysroot STREQUAL "/")
    # Debian's cross compilers keep the target's files in /usr/<triplet>.
    execute_process(COMMAND ${CMAKE_C_COMPILER} -dumpmachine
      OUTPUT_VARIABLE _zorl_triplet OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    set(_zorl_sysroot /usr/${_zorl_triplet})
  endif()
  set(ZORL_SYSROOT ${_zorl_sysroot})
endif()

set(CMAKE_FIND_ROOT_PATH ${ZORL_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run the target's programs under user-mode emulation.  Never the
# board program itself past option parsing this way: the emulator would hand
# it the host's /dev/mem (the end-to-end tests give it a stand-in instead).
# The board release replaces this with an ARMv4T core.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L ${ZORL_SYSROOT})
