#!/usr/bin/env python3
"""Budgets of a lean board program, each failing when it is broken.

    lean.py [--expect-fail] needed  READELF PROGRAM...
    lean.py [--expect-fail] static  READELF PROGRAM...
    lean.py [--expect-fail] startup READELF NM PROGRAM...
    lean.py [--expect-fail] size    READELF STRIP LIMIT PROGRAM

needed   the program loads no shared library but the C library and its own
         program interpreter (the loader, which hardening's stack
         protector asks for on 32-bit ARM glibc): no libstdc++, libgcc_s or
         libm (a fully static program loads none at all)
static   the program is fully static: no program interpreter (INTERP), no
         dynamic section, no symbol versions (GLIBC_2.34 and the like)
startup  nothing runs before main but the C start-up itself: no static
         constructors (nor __attribute__((constructor)) functions, nor the
         iostreams initialiser), no exit-time destructors, no guarded
         function-local statics, nothing of the C++ library
size     the program holds at most LIMIT bytes of code and data: the
         contents of its loadable segments, not the page-rounded offsets at
         which the file places them (the stripped file's size is printed
         beside it)

--expect-fail turns a check round, to show that it catches a program that
breaks the budget (a test of this checker).
"""

import os, re, subprocess, sys, tempfile


def run(*cmd):
    return subprocess.run(cmd, check=True, capture_output=True, text=True).stdout


def needed(readelf, prog):
    libs = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", run(readelf, "-d", prog))
    interp = re.findall(r"program interpreter: ([^\]]+)\]", run(readelf, "-l", "-W", prog))
    # glibc's libc.so.6, uClibc's libc.so.0, musl's libc.so
    return ["loads %s" % lib for lib in libs if not re.fullmatch(r"libc\.so(\.\d+)*", lib)
            and [lib] != [os.path.basename(i) for i in interp]]


def static(readelf, prog):
    faults = []
    if re.search(r"^\s*INTERP\s", run(readelf, "-l", "-W", prog), re.M):
        faults.append("asks for a program interpreter")
    if "There is no dynamic section" not in run(readelf, "-d", prog):
        faults.append("has a dynamic section")
    versions = set(re.findall(r"Name: (\S+)", run(readelf, "-V", "-W", prog)))
    if versions:
        faults.append("asks for symbol versions " + " ".join(sorted(versions)))
    return faults


# Symbols that mean code runs before main or after exit, or that the C++
# library is wanted.  __cxa_finalize is the C start-up's own (for shared
# objects) and is not among them.
CXX_RUNTIME = re.compile(r"_GLOBAL__(sub_)?I_|__cxa_atexit|__cxa_guard_|__cxa_throw|"
                         r"__gxx_personality|_ZN?K?St|_ZNSt8ios_base4Init")


def startup(readelf, nm, prog):
    faults = []
    # One .init_array entry is the C start-up's frame_dummy; every static
    # constructor, of any language, adds one.
    m = re.search(r"\.init_array\s+\S+\s+\S+\s+\S+\s+([0-9a-f]+)\s+([0-9a-f]+)",
                  run(readelf, "-S", "-W", prog))
    if m and int(m.group(1), 16) > int(m.group(2), 16):
        faults.append(".init_array holds %d entries: static constructors"
                      % (int(m.group(1), 16) // int(m.group(2), 16)))
    if re.search(r"^\s*\[\s*\d+\]\s+\.ctors\s", run(readelf, "-S", "-W", prog), re.M):
        faults.append("a .ctors section: static constructors")
    syms = subprocess.run([nm, prog], capture_output=True, text=True)
    if syms.returncode or not syms.stdout.strip():
        faults.append("no symbol table: check the unstripped program")
    for line in syms.stdout.splitlines():
        name = line.split()[-1]
        if CXX_RUNTIME.search(name):
            faults.append("symbol " + name)
    return faults


def size(readelf, strip, limit, prog):
    limit = int(limit)
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "stripped")
        run(strip, "-o", out, prog)
        stripped = os.path.getsize(out)
    loads = re.findall(r"^\s*LOAD\s+\S+\s+\S+\s+\S+\s+(0x[0-9a-f]+)", run(readelf, "-l", "-W", prog),
                       re.M)
    n = sum(int(filesz, 16) for filesz in loads)
    print("%s: %d bytes of code and data, budget %d; %d bytes stripped" % (prog, n, limit, stripped))
    return ["%d bytes of code and data, %d over the budget of %d" % (n, n - limit, limit)] \
        if n > limit else []


# Each check, and how many of its arguments come before the programs.
CHECKS = {"needed": (needed, 1), "static": (static, 1), "startup": (startup, 2), "size": (size, 3)}


def main():
    args = sys.argv[1:]
    expect_fail = args[:1] == ["--expect-fail"]
    check, args = args[expect_fail], args[expect_fail + 1:]
    if check not in CHECKS:
        sys.exit("unknown check " + check)
    f, n = CHECKS[check]
    faults = ["%s: %s" % (prog, fault) for prog in args[n:] for fault in f(*args[:n], prog)]
    for fault in faults:
        print(fault)
    if expect_fail:
        print("caught, as it should be" if faults else "NOT caught: the check is blind")
        return 0 if faults else 1
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
