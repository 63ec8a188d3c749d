#!/usr/bin/env python3
"""The static zorl-sim replays a long command file about as fast as the
dynamic one.

    replay.py STATIC-ZORL-SIM DYNAMIC-ZORL-SIM RATIO

Replays a file of 1,000,000 clock-set field edits (zorl-sim -o /dev/null
-i FILE) with each program in turn, five rounds, and fails when the static
(musl) program's best processor time is more than RATIO times the dynamic
(glibc) program's.  Both run the same code over the same file on the same
machine in the same minute, the one after the other, and the processor
time leaves out the time spent waiting for a core: a busy machine hardly
moves the ratio, where it would sink an absolute rate.
What it guards is the static build's C library: its stdio and string
functions carry the replay, and the board program is built on it.

Exit status 77 (skipped) when there is no dynamic program to compare with.
Absolute speeds (commands per second) are bench/run's to print, not a
test's to assert: they depend on the machine and on how busy it is.
bench/run uses the same file and timing.
"""

import os, subprocess, sys, tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import icount  # noqa: E402  (the fixed environment, the skip status)

# clkset1 fields and the largest value each takes.
FIELDS = [("pll1_x2ipd", 31), ("pll1_x2fdb2", 63), ("pll1_x1fdb1", 31), ("pll1_ps", 3),
          ("fclkdiv", 7), ("hclkdiv", 7), ("pclkdiv", 3), ("nbyp1", 1), ("smcrom", 1)]


def edits(path, n):
    """A command file of n clock-set field edits, one per line."""
    with open(path, "w") as f:
        for i in range(n):
            name, top = FIELDS[i % len(FIELDS)]
            f.write("clkset1.%s=%d\n" % (name, (i // len(FIELDS)) % (top + 1)))


def cpu_seconds(cmd, env):
    """Run cmd to its end: the processor time it took, user and system, in
    seconds (the time it waits for a core is not counted)."""
    p = subprocess.Popen(cmd, env=env)
    _, status, usage = os.wait4(p.pid, 0)
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.returncode != 0:
        raise subprocess.CalledProcessError(p.returncode, cmd)
    return usage.ru_utime + usage.ru_stime


def replay(runs, env, rounds):
    """The best processor time of each run, in seconds: runs maps a key to
    a (program, command file) pair.  The runs take turns, so that a busy
    spell of the machine (caches, memory bandwidth) costs each alike."""
    best = {}
    for _ in range(rounds):
        for key, (prog, path) in runs.items():
            t = cpu_seconds([prog, "-o", "/dev/null", "-i", path], env)
            best[key] = min(best.get(key, t), t)
    return best


def main():
    static, dynamic = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    ratio = float(sys.argv[3])
    if not os.access(dynamic, os.X_OK):
        print("no dynamic zorl-sim to compare with at %s (build the native flavour first)"
              % dynamic)
        return icount.SKIP
    n = 1000000
    with tempfile.TemporaryDirectory(prefix="zorl-replay-") as tmp:
        env = icount.environment(os.path.join(tmp, "zr6410.img"))
        subprocess.run([static, "chipid"], env=env, cwd=tmp, check=True, stdout=subprocess.DEVNULL)
        path = os.path.join(tmp, "edits.txt")
        edits(path, n)
        best = replay({"static": (static, path), "dynamic": (dynamic, path)}, env, 5)
    got = best["static"] / best["dynamic"]
    for name in ("static", "dynamic"):
        print("%-7s %s: %d clock-set field edits, best %.3f s"
              % (name, (static, dynamic)[name == "dynamic"], n, best[name]))
    print("static / dynamic = %.2f, at most %.2f" % (got, ratio))
    if got > ratio:
        print("over the ratio by %.2f" % (got - ratio))
    return 1 if got > ratio else 0


if __name__ == "__main__":
    sys.exit(main())
