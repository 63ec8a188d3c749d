#!/usr/bin/env python3
"""The instructions the full status report costs, counted by callgrind.

    icount.py ZORL-SIM LIMIT [STRIP]

Runs zorl-sim without commands (the full status report) on an existing
board image under valgrind --tool=callgrind and fails when it executes more
than LIMIT instructions, from the first instruction of the dynamic loader
to exit.  The count is deterministic, so unlike a time it can be compared
across machines and commits; it is only comparable on the same kind of
machine (x86-64) and C library.

The environment is fixed (the loader and getenv walk it, and a large one
costs thousands of instructions): PATH, HOME, LC_ALL=C and the image path.
A copy without debugging information is measured, the same instructions:
valgrind 3.19 cannot read clang's DWARF 5 and would give up.
Exit status 77 (skipped) without valgrind.
"""

import os, re, shutil, subprocess, sys, tempfile

SKIP = 77


def environment(image):
    return {"PATH": "/usr/bin:/bin", "HOME": "/nonexistent", "LC_ALL": "C", "ZR6410_IMAGE": image}


def count(program, tmp, strip="strip"):
    """Instructions of one full status report on an existing image in tmp."""
    image = os.path.join(tmp, "zr6410.img")
    env = environment(image)
    copy = os.path.join(tmp, os.path.basename(program))
    subprocess.run([strip, "--strip-debug", "-o", copy, program], check=True)
    program = copy
    # The first run creates the image; only the second is measured.
    subprocess.run([program, "chipid"], env=env, cwd=tmp, check=True, stdout=subprocess.DEVNULL)
    r = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", program],
                       env=env, cwd=tmp, capture_output=True, text=True)
    if r.returncode != 0:
        sys.exit("zorl-sim under callgrind exited %d:\n%s" % (r.returncode, r.stderr))
    m = re.search(r"Collected : (\d+)", r.stderr)
    if not m:
        sys.exit("no instruction count in callgrind's output:\n" + r.stderr)
    return int(m.group(1))


def main():
    program, limit = os.path.abspath(sys.argv[1]), int(sys.argv[2])
    strip = sys.argv[3] if len(sys.argv) > 3 else "strip"
    if not shutil.which("valgrind"):
        print("valgrind is not installed: skipped")
        return SKIP
    with tempfile.TemporaryDirectory(prefix="zorl-icount-") as tmp:
        n = count(program, tmp, strip)
    print("full status report: %d instructions, budget %d" % (n, limit))
    if n > limit:
        print("over the budget by %d" % (n - limit))
    return 1 if n > limit else 0


if __name__ == "__main__":
    sys.exit(main())
