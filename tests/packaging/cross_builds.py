"""Builds as a build system's package makes them: a generic toolchain file
for each of Debian's cross compilers, offline (a network namespace of its
own), the source tree read-only (a read-only bind mount in a mount
namespace), no tests, installed with DESTDIR.  Then zorl-sim of each build,
emulated, prints the full status report of a fresh board byte for byte as
the native one does, and the board program of each build, and the native
one, refuses off the board: status 6, no report, nothing opened.

usage: cross_builds.py SOURCE NATIVE_ZORL_SIM NATIVE_ZORL   (as root)"""

import os, subprocess, sys, tempfile, unittest

SRC, SIM, ZORL = sys.argv[1:4]
TOOLCHAIN = """set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR {proc})
set(CMAKE_C_COMPILER {t}-gcc)
set(CMAKE_CXX_COMPILER {t}-g++)
set(CMAKE_C_FLAGS_INIT "{flags}")
set(CMAKE_CXX_FLAGS_INIT "{flags}")
set(CMAKE_FIND_ROOT_PATH /usr/{t})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
"""
BUILD = """set -e
[ "$(awk 'NR > 2 { print $1 }' /proc/net/dev)" = lo: ] || { echo "not offline"; exit 1; }
mount --bind "$0" "$1" && mount -o remount,bind,ro "$1"
! touch "$1/.probe" 2>/dev/null || { echo "source tree writable"; exit 1; }
cmake -S "$1" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$3" -DBUILD_TESTING=OFF -DCMAKE_INSTALL_PREFIX=/usr
cmake --build "$2" -j2
for c in board development; do DESTDIR="$4" cmake --install "$2" --component $c; done"""
GUARD = '[ ! -e /dev/mem ] || mount --bind "$0" /dev/mem || exit 125; exec "$@"'
NOT_BUILT = "not opened, built for a processor other than the ZR6410's ARM920T"
NOT_KERNEL = "not opened, /proc/cpuinfo names no ARM920T, the ZR6410's processor"
ROWS = [  # name, triplet, processor, code generation, emulator, how the board program refuses
    ("armhf", "arm-linux-gnueabihf", "arm", "", "qemu-arm", NOT_BUILT),
    ("armel-v4t", "arm-linux-gnueabi", "arm", "-march=armv4t -marm", "qemu-arm", NOT_KERNEL),
    ("aarch64", "aarch64-linux-gnu", "aarch64", "", "qemu-aarch64", NOT_BUILT),
]


def run(cmd, tmp, timeout=60):
    env = dict(os.environ, LC_ALL="C", ZR6410_IMAGE=os.path.join(tmp, "fresh.img"))
    if os.path.exists(env["ZR6410_IMAGE"]):
        os.remove(env["ZR6410_IMAGE"])
    return subprocess.run(cmd, env=env, capture_output=True, timeout=timeout)


class CrossBuilds(unittest.TestCase):
    def refuses(self, tmp, cmd, why):
        """The board program with a stand-in bound over /dev/mem (and, with an
        emulator's -L, in its root too) and the host's own /proc/cpuinfo."""
        mem = os.path.join(tmp, "root", "dev", "mem")
        os.makedirs(os.path.dirname(mem), exist_ok=True)
        with open(mem, "wb") as f:
            f.truncate(0x80940000)
        r = run(["unshare", "-m", "--propagation", "private", "sh", "-c", GUARD, mem] + cmd, tmp)
        err = "".join("[zorl] No such device or address : %s\n" % t
                      for t in ("/dev/mem: " + why, "Could Not initialise GPIO pointers."))
        self.assertEqual((r.returncode, r.stdout, r.stderr.decode()), (6, b"", err))

    def test_generic_toolchain_files(self):
        self.assertEqual(os.geteuid(), 0, "namespaces need root: offline and read-only not checked")
        native = run([SIM], tempfile.gettempdir())
        self.assertEqual((native.returncode, native.stderr), (0, b""))
        for name, t, proc, flags, emu, why in ROWS:
            with self.subTest(name), tempfile.TemporaryDirectory(prefix="zorl-cross-") as tmp:
                tc, ro, b, d = (os.path.join(tmp, n) for n in ("tc.cmake", "src", "b", "d"))
                with open(tc, "w") as f:
                    f.write(TOOLCHAIN.format(proc=proc, t=t, flags=flags))
                os.mkdir(ro)
                os.mkdir(home := os.path.join(tmp, "home"))  # nothing written outside the build
                r = subprocess.run(["unshare", "-n", "-m", "--propagation", "private", "sh", "-c",
                                    BUILD, SRC, ro, b, tc, d], capture_output=True, timeout=600,
                                   env=dict(os.environ, HOME=home, XDG_CACHE_HOME=home))
                self.assertEqual(r.returncode, 0, (r.stdout + r.stderr).decode()[-3000:])
                self.assertEqual(os.listdir(home), [])
                self.assertTrue(os.path.isfile(os.path.join(d, "usr/bin/zorl")))
                sim = run([emu, "-L", "/usr/" + t, os.path.join(d, "usr/bin/zorl-sim")], tmp)
                self.assertEqual((sim.returncode, sim.stdout, sim.stderr), (0, native.stdout, b""))
                root = os.path.join(tmp, "root")
                os.makedirs(root)
                os.symlink("/usr/%s/lib" % t, os.path.join(root, "lib"))
                self.refuses(tmp, [emu, "-L", root, os.path.join(d, "usr/bin/zorl")], why)
        with tempfile.TemporaryDirectory(prefix="zorl-cross-") as tmp:
            self.refuses(tmp, [ZORL], NOT_BUILT)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
