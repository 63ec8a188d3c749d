"""Builds as a build system's package makes them: a generic toolchain file
per Debian cross compiler, offline (a network namespace), the source tree
read-only (a read-only bind mount), no tests, installed with DESTDIR.  Each
zorl-sim, emulated, prints a fresh board's report as the native one does;
each board program, and the native one, refuses off the board.  And as
Debian builds a package for armhf, with the tests on.  What it needs and
lacks (root, namespaces, a tool) it says, and exits 77: skipped.
usage: cross_builds.py SOURCE NATIVE_ZORL_SIM NATIVE_ZORL"""

import os, re, shutil, subprocess, sys, tempfile, unittest

SRC, SIM, ZORL = sys.argv[1:4]
TOOLCHAIN = ("set(CMAKE_SYSTEM_NAME Linux)\nset(CMAKE_SYSTEM_PROCESSOR {p})\n"
             "set(CMAKE_C_COMPILER {t}-gcc)\nset(CMAKE_CXX_COMPILER {t}-g++)\n"
             'set(CMAKE_C_FLAGS_INIT "{f}")\nset(CMAKE_CXX_FLAGS_INIT "{f}")\n'
             "set(CMAKE_FIND_ROOT_PATH /usr/{t})\nset(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)\n"
             + "".join("set(CMAKE_FIND_ROOT_PATH_MODE_%s ONLY)\n" % m
                       for m in ("LIBRARY", "INCLUDE", "PACKAGE")))
BUILD = """set -e
[ "$(awk 'NR > 2 { print $1 }' /proc/net/dev)" = lo: ] || { echo "not offline"; exit 1; }
mount --bind "$0" "$1" && mount -o remount,bind,ro "$1"
! touch "$1/.probe" 2>/dev/null || { echo "source tree writable"; exit 1; }
cmake -S "$1" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$3" -DBUILD_TESTING=OFF -DCMAKE_INSTALL_PREFIX=/usr
cmake --build "$2" -j2
for c in board development; do DESTDIR="$4" cmake --install "$2" --component $c; done"""
# The real /dev/mem is never reachable: a stand-in is bound over it.
GUARD = '[ ! -e /dev/mem ] || mount --bind "$0" /dev/mem || exit 125; exec "$@"'
NOT_BUILT = "not opened, built for a processor other than the ZR6410's ARM920T"
NOT_KERNEL = "not opened, /proc/cpuinfo names no ARM920T, the ZR6410's processor"
ROWS = [  # name, triplet, processor, code generation, emulator, how the board program refuses
    ("armhf", "arm-linux-gnueabihf", "arm", "", "qemu-arm", NOT_BUILT),
    ("armel-v4t", "arm-linux-gnueabi", "arm", "-march=armv4t -marm", "qemu-arm", NOT_KERNEL),
    ("aarch64", "aarch64-linux-gnu", "aarch64", "", "qemu-aarch64", NOT_BUILT),
]


def private():
    """unshare's mount propagation: private; in a chroot, whose root is no
    mount point and cannot be made private, its mounts as they are, if none
    of them is shared with another namespace (tools/try-fresh's are not)."""
    if subprocess.run(["unshare", "-m", "--propagation", "private", "true"]).returncode == 0:
        return ["--propagation", "private"]
    with open("/proc/self/mountinfo") as f:
        assert "shared:" not in f.read(), "mounts here would reach other namespaces"
    return ["--propagation", "unchanged"]


def run(cmd, dir, **kw):
    env = dict(os.environ, LC_ALL="C", ZR6410_IMAGE=os.path.join(dir, "fresh.img"), **kw)
    return subprocess.run(cmd, env=env, capture_output=True, timeout=600)


class CrossBuilds(unittest.TestCase):
    def refuses(self, dir, cmd, why):
        """With a stand-in over /dev/mem (and in the emulator's -L root), the
        host's own /proc/cpuinfo: status 6, no report."""
        os.makedirs(os.path.join(dir, "root", "dev"))
        with open(os.path.join(dir, "root", "dev", "mem"), "xb") as f:  # never through a link
            f.truncate(0x80940000)
        assert os.path.isfile(f.name) and os.path.getsize(f.name) == 0x80940000, "no stand-in"
        r = run(["unshare", "-m"] + private() + ["sh", "-c", GUARD, f.name] + cmd, dir)
        err = "".join("[zorl] No such device or address : %s\n" % t
                      for t in ("/dev/mem: " + why, "Could Not initialise GPIO pointers."))
        self.assertEqual((r.returncode, r.stdout, r.stderr.decode()), (6, b"", err))

    def test_generic_toolchain_files(self):
        top = tempfile.TemporaryDirectory(prefix="zorl-cross-")
        self.addCleanup(top.cleanup)
        native = run([SIM], top.name)
        self.assertEqual((native.returncode, native.stderr), (0, b""))
        self.refuses(top.name, [ZORL], NOT_BUILT)
        for name, t, p, f, emu, why in ROWS:
            with self.subTest(name):
                dir = os.path.join(top.name, name)
                tc, ro, b, d, home = (os.path.join(dir, n) for n in ("tc", "src", "b", "d", "home"))
                os.makedirs(ro)
                os.mkdir(home)
                with open(tc, "w") as out:
                    out.write(TOOLCHAIN.format(p=p, t=t, f=f))
                r = run(["unshare", "-n", "-m"] + private() + ["sh", "-c", BUILD, SRC, ro, b, tc, d],
                        dir, HOME=home, XDG_CACHE_HOME=home)
                self.assertEqual(r.returncode, 0, (r.stdout + r.stderr).decode()[-3000:])
                self.assertEqual(os.listdir(home), [])  # nothing written outside the build
                sim = run([emu, "-L", "/usr/" + t, d + "/usr/bin/zorl-sim"], dir)
                self.assertEqual((sim.returncode, sim.stdout, sim.stderr), (0, native.stdout, b""))
                os.makedirs(os.path.join(dir, "root"))
                os.symlink("/usr/%s/lib" % t, os.path.join(dir, "root", "lib"))
                self.refuses(dir, [emu, "-L", os.path.join(dir, "root"), d + "/usr/bin/zorl"], why)

    def test_debian_cross_build_with_its_tests(self):
        # As debhelper builds for armhf: no toolchain file nor emulator, its
        # processor name, dpkg-buildflags' hardening=+all flags (CPPFLAGS in
        # both, as for CMake), the tests on; no warning.  Configured again with
        # qemu-arm off PATH: the tests that run the programs are left out, and
        # configure says so; and with a find root whose multiarch folder holds
        # another libc.so.6 (libm), which the loader must not take.
        top = tempfile.TemporaryDirectory(prefix="zorl-deb-")
        self.addCleanup(top.cleanup)
        get = lambda v: run(["dpkg-buildflags", "--get", v], top.name, DEB_HOST_ARCH="armhf",
                            DEB_BUILD_MAINT_OPTIONS="hardening=+all").stdout.decode().strip()
        env = {v: get(v) + " " + get("CPPFLAGS") for v in ("CFLAGS", "CXXFLAGS")}
        env["LDFLAGS"] = get("LDFLAGS")
        t, bin, root, b = ["arm-linux-gnueabihf"] + [os.path.join(top.name, n) for n in "xrb"]
        os.makedirs(root + "/usr/lib/" + t)
        os.symlink("/usr/%s/lib" % t, root + "/lib")
        os.symlink("/usr/%s/lib/libm.so.6" % t, "%s/usr/lib/%s/libc.so.6" % (root, t))
        os.mkdir(bin)
        for p in (t + "-gcc", t + "-g++", "cmake", "make"):
            os.symlink(shutil.which(p), os.path.join(bin, p))
        cmd = ["cmake", "-S", SRC, "-B", b, "-DCMAKE_SYSTEM_NAME=Linux",
               "-DCMAKE_SYSTEM_PROCESSOR=armv7l", "-DCMAKE_C_COMPILER=%s-gcc" % t,
               "-DCMAKE_CXX_COMPILER=%s-g++" % t]
        for name, more, args, tests in [  # one build tree, configured three times
                ("qemu-arm on PATH", {}, cmd, 3), ("qemu-arm off PATH", {"PATH": bin}, cmd[:5], 1),
                ("a second C library", {}, cmd[:5] + ["-DCMAKE_FIND_ROOT_PATH=" + root], 3)]:
            with self.subTest(name):
                r = run(args, top.name, **env, **more)
                self.assertEqual(r.returncode, 0, r.stderr.decode()[-3000:])
                self.assertEqual(b"the tests that run the built programs are left out" in r.stdout,
                                 tests == 1)
                r = run(["cmake", "--build", b, "-j2"], top.name)
                self.assertEqual((r.returncode, re.findall(rb".*warning.*", r.stdout + r.stderr)),
                                 (0, []))
                r = run(["ctest", "--test-dir", b, "-R", "^(unit|lean_needed|e2e_startup)$"],
                        top.name)
                self.assertIn(b"tests passed, 0 tests failed out of %d" % tests, r.stdout, r.stdout)


def missing():
    """Why these builds cannot be made here, or nothing."""
    tools = ["unshare", "dpkg-buildflags"] + [r[1] + "-g++" for r in ROWS] + [r[4] for r in ROWS]
    lack = " ".join(t for t in dict.fromkeys(tools) if not shutil.which(t))
    if lack or os.geteuid():
        return "not installed: " + lack if lack else "needs root (namespaces)"
    if subprocess.run(["unshare", "-n", "-m", "--propagation", "unchanged", "true"]).returncode:
        return "unshare cannot make namespaces here"
    return ""


if __name__ == "__main__":
    why = missing()
    if why:  # skipped; a failure where it must run (ctest --preset cross)
        print("cross builds not made: " + why)
        sys.exit(1 if os.environ.get("ZORL_CROSS_MUST_RUN") else 77)
    unittest.main(argv=sys.argv[:1])
