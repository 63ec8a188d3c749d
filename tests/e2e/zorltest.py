"""End-to-end harness: runs the built zorl-sim and zr6410-devmem against a
board image of each test's own, in a temporary directory.

Environment:
  ZORL_BIN_DIR     where the programs are (the build directory)
  ZORL_RUN_PREFIX  a command put before each program: an emulator for a
                   cross build (qemu-arm ...), or valgrind
  ZORL_BOARD       set in an ARM build: the tests run the board program
                   zorl, under the emulator, wherever they name zorl-sim,
                   with its /dev/mem redirected to a stand-in file that
                   holds the test's board image (see BoardStandIn)
  ZORL_ERRTEXT     a program built with the C library under test that
                   prints its strerror texts (see strerror)
"""

import errno
import os
import resource
import select
import shlex
import shutil
import stat
import struct
import subprocess
import tempfile
import time
import unittest
from collections import namedtuple

BIN_DIR = os.path.abspath(
    os.environ.get("ZORL_BIN_DIR", os.path.join(os.path.dirname(__file__), "../../build")))
PREFIX = shlex.split(os.environ.get("ZORL_RUN_PREFIX", ""))
BOARD = bool(os.environ.get("ZORL_BOARD"))
# How long one run of a program may take, or one answer of a running one:
# natively a few seconds; under an emulator or valgrind, whose start-up
# alone takes seconds, several times that.  A test that waits on a program
# fails at this deadline or at the end of the program's output, whichever
# comes first, never hangs.
TIMEOUT = 60 if PREFIX else 10


_texts = None


def strerror(code):
    """What strerror says for an errno number in the C library that the
    programs are built with ("Input/output error" in glibc, "I/O error" in
    musl).  Asked once of ZORL_ERRTEXT, a program of the build itself; the
    interpreter's own C library only when run by hand."""
    global _texts
    if _texts is None:
        prog = os.environ.get("ZORL_ERRTEXT")
        _texts = {}
        if prog:
            out = subprocess.run(PREFIX + [prog], capture_output=True, check=True,
                                 timeout=TIMEOUT).stdout.decode()
            for line in out.splitlines():
                n, _, text = line.partition(" ")
                _texts[int(n)] = text
    return _texts.get(code) or os.strerror(code)


# The image layout, as the README documents it: a header page, then one
# 4 KiB page per simulated block in this order.
PAGE = 4096
PAGES = [0x80840000, 0x80930000, 0x22400000, 0x10C00000, 0x10800000]
MAGIC = b"ZR6410 simulated board image v1\n"
IMAGE_SIZE = PAGE * (1 + len(PAGES))

PWRCNT, CLKSET1, CLKSET2, CHIPID = 0x80930004, 0x80930020, 0x80930024, 0x80930094
PORTH, PORTH_DDR, ADC_PRESENT = 0x80840040, 0x80840044, 0x22400000

POWER_ON = {  # address: (width, value)
    PWRCNT: (32, 0x10030000),
    CLKSET1: (32, 0x02B49907),
    CLKSET2: (32, 0x300DC317),
    CHIPID: (32, 0x70009213),
    PORTH: (8, 0x04),
    PORTH_DDR: (8, 0x04),
    ADC_PRESENT: (8, 0x00),
}

Result = namedtuple("Result", "out err status")

# The board program's /dev/mem under the emulator: qemu-arm -L ROOT resolves
# an absolute path that exists under ROOT there, so ROOT/dev/mem is opened in
# its place.  It must reach the highest simulated page.
STANDIN_SIZE = 0x80940000
# The board program maps nothing unless the kernel names the processor an
# ARM920T: ROOT/proc/cpuinfo stands in for /proc/cpuinfo as the board's
# kernel writes it.
BOARD_CPUINFO = ("processor\t: 0\nmodel name\t: ARM920T rev 0 (v4l)\nCPU architecture: 4T\n"
                 "CPU part\t: 0x920\nCPU revision\t: 0\n\nHardware\t: ZR6410\n")


def offset(addr):
    for i, base in enumerate(PAGES):
        if base <= addr < base + PAGE:
            return (i + 1) * PAGE + addr - base
    raise ValueError("not a simulated address: %#x" % addr)


def power_on_image():
    img = bytearray(IMAGE_SIZE)
    img[: len(MAGIC)] = MAGIC
    for addr, (width, value) in POWER_ON.items():
        put(img, addr, value, width)
    return img


def put(img, addr, value, width=32):
    fmt = {8: "<B", 16: "<H", 32: "<I"}[width]
    struct.pack_into(fmt, img, offset(addr), value)


def changed(img, *changes):
    """A copy of an image with (addr, value[, width]) changes applied."""
    img = bytearray(img)
    for change in changes:
        put(img, *change)
    return img


def get(img, addr, width=32):
    fmt = {8: "<B", 16: "<H", 32: "<I"}[width]
    return struct.unpack_from(fmt, img, offset(addr))[0]


class SimTest(unittest.TestCase):
    """A fresh powered-on board image in a temporary directory per test."""

    maxDiff = None

    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="zorl-e2e-")
        self.dir = self._tmp.name
        self.image = os.path.join(self.dir, "zr6410.img")
        self.standin = BoardStandIn(self.dir, self.image) if BOARD else None
        self.before = power_on_image()  # what a run that fails leaves (assertFault)
        self.write_image(self.before)

    def tearDown(self):
        self._tmp.cleanup()

    # ---- the image -------------------------------------------------------

    def read_image(self):
        if self.standin:
            self.standin.collect()
        with open(self.image, "rb") as f:
            return bytearray(f.read())

    def write_image(self, img):
        with open(self.image, "wb") as f:
            f.write(img)
        if self.standin:
            self.standin.push()

    def reg(self, addr, width=32):
        return get(self.read_image(), addr, width)

    def setreg(self, addr, value, width=32):
        img = self.read_image()
        put(img, addr, value, width)
        self.write_image(img)

    def assertImage(self, expected):
        """The image holds exactly these bytes; names the first register that differs."""
        got = self.read_image()
        if got != expected:
            for i in range(0, max(len(got), len(expected)), 4):
                if got[i : i + 4] != expected[i : i + 4]:
                    self.fail("image differs at offset %#x: %s, expected %s"
                              % (i, got[i : i + 4].hex(), expected[i : i + 4].hex()))

    def expect_image(self, changes=()):
        """The image as it is now, with (addr, value[, width]) changes applied."""
        return changed(self.read_image(), *changes)

    # ---- running the programs --------------------------------------------

    def env(self, extra=None):
        env = {k: v for k, v in os.environ.items() if not k.startswith("ZR6410")}
        env["ZR6410_IMAGE"] = self.image
        env["LC_ALL"] = "C"
        env.update(extra or {})
        return env

    def command(self, name, *args, inner=()):
        """The command line that runs a program of the build, with inner
        (setpriv, say) right before it.  For the board tests, zorl-sim is
        the board program on the stand-in of the image, under the name
        zorl-sim so that its messages read the same."""
        if self.standin and name == "zorl-sim":
            return self.standin.command(os.path.join(BIN_DIR, "zorl"), name, inner) + list(args)
        if self.standin:
            self.standin.collect()  # zr6410-devmem sees what the board program left
        return list(inner) + PREFIX + [os.path.join(BIN_DIR, name)] + list(args)

    def sim_only(self):
        """Skip a test about the simulated board's own image in the board
        tests: the board program has no image."""
        if self.standin:
            self.skipTest("about the simulated board's image")

    def run_program(self, name, *args, input=b"", env=None, cwd=None, before=(), inner=(),
                    stdout=subprocess.PIPE, timeout=TIMEOUT, **popen):
        """Run a program; before is a command put in front of it all (setpriv,
        sh), inner one right before the program (see command).  With stdout
        not a pipe (a file, /dev/full), the result's out is None."""
        cmd = list(before) + self.command(name, *args, inner=inner)
        if isinstance(input, str):
            input = input.encode()
        p = subprocess.run(cmd, input=input, stdout=stdout, stderr=subprocess.PIPE,
                           timeout=timeout, env=self.env(env), cwd=cwd or self.dir, **popen)
        if self.standin and name != "zorl-sim":
            self.standin.push()  # what zr6410-devmem wrote, for the board program
        out = None if p.stdout is None else p.stdout.decode("utf-8", "replace")
        return Result(out, p.stderr.decode("utf-8", "replace"), p.returncode)

    def zorl(self, *args, **kw):
        return self.run_program("zorl-sim", *args, **kw)

    def start(self, *args, **popen):
        """zorl-sim started, its standard streams pipes unless given; killed
        at the end of the test if it is still running then."""
        streams = dict(stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        streams.update(popen)
        p = subprocess.Popen(self.command("zorl-sim", *args), env=self.env(), cwd=self.dir,
                             **streams)
        self.addCleanup(stop, p)
        return p

    def devmem(self, *args, **kw):
        return self.run_program("zr6410-devmem", *args, **kw)

    def assertRun(self, result, out=None, err="", status=0):
        """Exact standard output (when given), standard error and exit status."""
        if out is not None:
            self.assertEqual(result.out, out)
        if err is not None:
            self.assertEqual(result.err, err)
        self.assertEqual(result.status, status, "exit status; stderr was:\n" + result.err)

    def assertFault(self, result, err, status, out=""):
        """assertRun, and the image as it was at the start: a run that fails
        this way writes no register.  Such a run has writing enabled (-w)
        wherever a command would otherwise write."""
        self.assertRun(result, out, err, status)
        self.assertImage(self.before)

    def as_nobody(self):
        """A command that runs the program as an unprivileged user.

        The tests run as root, and root reads and writes any file whatever
        its mode, so a file is made unreadable by taking the privilege away
        from the program instead."""
        if os.geteuid() != 0:
            return []
        setpriv = shutil.which("setpriv")
        if not setpriv:
            self.skipTest("running as root without setpriv: root opens any file")
        before = [setpriv, "--reuid=65534", "--regid=65534", "--clear-groups", "--"]
        os.chmod(self.dir, 0o755)
        if self.zorl("-h", before=before).status != 255:
            self.skipTest("the unprivileged user cannot run the programs from " + BIN_DIR)
        return before

    def write_file(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data.encode() if isinstance(data, str) else data)
        return path


class BoardStandIn:
    """The board program's /dev/mem under the emulator: a sparse file
    ROOT/dev/mem in the test's directory with the simulated pages at their
    physical addresses; and its /proc/cpuinfo, ROOT/proc/cpuinfo, the
    board's own.  Once the board program has run, the stand-in and
    the image are kept as mirrors: the stand-in is filled from the image
    before every run of the board program, and whenever the test or
    zr6410-devmem writes the image; it is copied back into the image before
    the test or zr6410-devmem reads it, even while a board program still
    runs.  So the expectations and register checks of zorl-sim apply
    unchanged.

    The board program must never reach the real /dev/mem (physical memory).
    The stand-ins are made before every run and the emulator is not started
    without both; where a private mount namespace can be had, the run is in
    one with the stand-ins mounted over /dev/mem and /proc/cpuinfo as well."""

    _namespace = None  # the unshare command, once known to work, or []

    def __init__(self, tmp, image):
        self.root = os.path.join(tmp, "board-root")
        self.mem = os.path.join(self.root, "dev", "mem")
        self.cpuinfo = os.path.join(self.root, "proc", "cpuinfo")
        self.image = image
        self.live = False

    def fill(self):
        """The image's pages into the stand-in, which is made if need be,
        with the board's cpuinfo beside it."""
        os.makedirs(os.path.dirname(self.cpuinfo), exist_ok=True)
        if not os.path.lexists(self.cpuinfo):
            with open(self.cpuinfo, "x") as f:  # never through a link
                f.write(BOARD_CPUINFO)
        os.makedirs(os.path.dirname(self.mem), exist_ok=True)
        with open(self.image, "rb") as f:
            img = f.read()
        with open(self.mem, "r+b" if os.path.exists(self.mem) else "w+b") as f:
            f.truncate(STANDIN_SIZE)
            for i, base in enumerate(PAGES):
                f.seek(base)
                f.write(img[(i + 1) * PAGE:(i + 2) * PAGE])

    def push(self):
        if self.live:
            self.fill()

    def collect(self):
        """The stand-in's pages into the image."""
        if not self.live:
            return
        with open(self.image, "r+b") as img, open(self.mem, "rb") as f:
            for i, base in enumerate(PAGES):
                f.seek(base)
                img.seek((i + 1) * PAGE)
                img.write(f.read(PAGE))

    @classmethod
    def namespace(cls):
        if cls._namespace is None:
            cmd = ["unshare", "--mount", "--propagation", "private"]
            if os.geteuid() != 0:
                cmd.append("--map-root-user")
            try:
                ok = subprocess.run(cmd + ["true"], capture_output=True, timeout=TIMEOUT)
                cls._namespace = cmd if ok.returncode == 0 else []
            except OSError:
                cls._namespace = []
        return cls._namespace

    def check(self):
        """Refuses (RuntimeError) unless both stand-ins are there as
        themselves: regular files, not links that could lead to a device or
        the host's own, /dev/mem's large enough for every simulated page.
        Without them qemu would open the real /dev/mem and /proc/cpuinfo."""
        for path, size in ((self.mem, STANDIN_SIZE), (self.cpuinfo, 1)):
            try:
                st = os.lstat(path)
            except OSError as e:
                raise RuntimeError("no stand-in at %s (%s): the board program is not run"
                                   % (path, e.strerror))
            if not stat.S_ISREG(st.st_mode) or st.st_size < size:
                raise RuntimeError("%s is not a stand-in: the board program is not run" % path)

    def command(self, program, argv0, inner=()):
        if not PREFIX or os.path.basename(PREFIX[0]) != "qemu-arm":
            raise RuntimeError("the board program runs only under qemu-arm with its stand-in")
        self.fill()
        self.check()
        self.live = True
        cmd = list(inner) + PREFIX + ["-L", self.root, "-0", argv0, program]
        ns = self.namespace()
        if ns:
            # Over a /dev/mem and a /proc/cpuinfo that exist, the stand-ins;
            # a failed mount ends the run before the emulator starts.
            guard = ('[ ! -e /dev/mem ] || mount --bind "$0" /dev/mem || exit 125; '
                     '[ ! -e /proc/cpuinfo ] || mount --bind "$1" /proc/cpuinfo || exit 125; '
                     'shift; exec "$@"')
            cmd = ns + ["--", "sh", "-c", guard, self.mem, self.cpuinfo] + cmd
        return cmd


def stop(p):
    """Kill a program if it still runs, reap it and close its pipes."""
    if p.poll() is None:
        p.kill()
    p.wait()
    for f in (p.stdin, p.stdout, p.stderr):
        if f:
            f.close()


def wait_state(p, wchan):
    """Until a running program sleeps in the kernel function named so, or ends."""
    deadline = time.monotonic() + TIMEOUT
    while p.poll() is None and time.monotonic() < deadline and wchan not in open(
            "/proc/%d/wchan" % p.pid).read():
        time.sleep(0.002)


def finish(p, timeout=TIMEOUT):
    """Close a running program's input (if a pipe) and read the rest of its
    output: (status, standard output, standard error) as bytes, None for a
    stream that is not a pipe.  Past the deadline it is killed and the test
    fails."""
    try:
        out, err = p.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        stop(p)
        raise AssertionError("%s still running after %s s" % (p.args, timeout))
    return p.returncode, out, err


def read_upto(stream, size, timeout=TIMEOUT, until=None):
    """Up to size bytes from a pipe (a file or a descriptor), or up to the
    first read that ends with the bytes until: fewer if the writer ends it
    first or nothing more comes within the deadline."""
    fd = stream if isinstance(stream, int) else stream.fileno()
    got = b""
    deadline = time.monotonic() + timeout
    while len(got) < size and not (until and got.endswith(until)):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            break
        chunk = os.read(fd, size - len(got))
        if not chunk:
            break  # end of file
        got += chunk
    return got


def small_files():
    """preexec_fn: no file may grow past 1 MiB, so that a run that feeds
    itself its own report is stopped (SIGXFSZ) before it fills the disk."""
    resource.setrlimit(resource.RLIMIT_FSIZE, (1 << 20, 1 << 20))


def closing(*fds):
    """preexec_fn that starts the program with these descriptors closed."""
    def close():
        for fd in fds:
            os.close(fd)
    return close


def errline(code, text, prog="zorl-sim"):
    """A line of the error reporter: "[prog] message : text"."""
    return "[%s] %s : %s\n" % (prog, strerror(code), text)


# A command line that cannot be run, as the program refuses it (with 22).
LINE_TOO_LONG = "command line too long (over 2047 characters), not run"
LINE_NUL = "command line holds a NUL byte, not run"
LINE_CUT_OFF = "command line continued past the end of input, not run"
# The start-up failure of a board that cannot be reached.
GPIO_FAILED = "Could Not initialise GPIO pointers."


def lines(*ls):
    """Report text from lines, each ending in a newline."""
    return "".join(l + "\n" for l in ls)


# The reports of a powered-on board, as the program prints them.
CLKSET1_LOAD = lines("", "# clkset1=0x02b49907")
CLKSET1_FIELDS = lines(
    "clkset1.pll1_x2ipd=7",
    "clkset1.pll1_x2fdb2=8",
    "clkset1.pll1_x1fdb1=19",
    "clkset1.pll1_ps=0",
    "# Fclk = fout/2",
    "clkset1.fclkdiv=1",
    "# Hclk = fout/5",
    "clkset1.hclkdiv=3",
    "# Pclk = Hclk/2",
    "clkset1.pclkdiv=1",
    "clkset1.nbyp1=1",
    "clkset1.smcrom=0",
)
CLKSET1_UNCHANGED = lines(
    "#",
    "# clkset1=0x02b49907 and is unchanged",
    "# pll1 Fout=331785KHz   Fclk=165892KHz   (processor clock)",
    "#      Hclk=66357KHz   Pclk=33178KHz",
)
CLKSET2_LOAD = lines("", "# clkset2=0x300dc317")
CLKSET2_FIELDS = lines(
    "clkset2.pll2_x2ipd=23",
    "clkset2.pll2_x2fdb2=24",
    "clkset2.pll2_x1fdb1=24",
    "clkset2.pll2_ps=1",
    "clkset2.nbyp2=1",
    "clkset2.pll2_en=1",
    "# USBCLK = Fout/4 Hz",
    "clkset2.usbdiv=3",
)
CLKSET2_UNCHANGED = lines(
    "#", "# clkset2=0x300dc317 and is unchanged", "# pll2 Fout=192005KHz   USBclk=48001KHz"
)
SWITCHES = lines(
    "ethernet=on",
    "USB=on",
    "IRDA=off",
    "# UART=on enables max baud of 460K, =off for max of 230K",
    "UART=off",
)
DMA = lines(
    "#",
    "# PwrCnt=0x10030000",
    "# DMA clock status.....",
    "# DMA M2P CH1 = ON",
    "# DMA M2P CH0 = ON",
    "# DMA M2P CH3 = OFF",
    "# DMA M2P CH2 = OFF",
    "# DMA M2P CH5 = OFF",
    "# DMA M2P CH4 = OFF",
    "# DMA M2P CH7 = OFF",
    "# DMA M2P CH6 = OFF",
    "# DMA M2P CH9 = OFF",
    "# DMA M2P CH8 = OFF",
    "# DMA M2M CH0 = OFF",
    "# DMA M2M CH1 = OFF",
    "#",
)
# What write prints, and an interactive run first.
BANNER_OFF = lines("#", "# write disabled, changes will NOT be actioned.", "write=off")
BANNER_ON = lines("#", "# WARNING: write enabled, changes will be actioned.", "write=on")
CHIPID_OUT = lines("", "# chipid    =0x70009213", "# chipid.ID =0x9213d", "# chipid.REV=7")
STATUS = (SWITCHES + DMA + CLKSET1_LOAD + CLKSET1_FIELDS + CLKSET1_UNCHANGED + CLKSET2_LOAD
          + CLKSET2_FIELDS + CLKSET2_UNCHANGED + CHIPID_OUT)
# What an edit of ClkSet1 that is not committed reports first.
HCLK_EDIT = CLKSET1_LOAD + lines("# Hclk = fout/4", "clkset1.hclkdiv=2")
# The full status report of a powered-on board, with the exit summary.
STATUS_RUN = STATUS + CLKSET1_UNCHANGED

USAGE = (
    "\nzorl - command line program to turn on/off parts of the ZR6410/EP9301\n"
    "       and to alter things like the CPU freq.\n\n"
    "Usage:   zorl-sim [-v] [-w] [-i file] [-o file] [commands]\n\n"
    " -v    verbose flag\n"
    " -w    commit changes specified in commands\n\n"
    "This program is dangerous! It can change many system registers\n"
    "that control the way the EP930x processor and its subsystems operate.\n"
    "The program can read and decode many of system registers, using names\n"
    "as used in the Cirrus EP930x user manual. It is urged that this program\n"
    "be used in conjunctionwith the processor user manual - available from\n"
    "Cirrus web site.\n"
)
VERSION = "# zorl-sim version 0.1beta\n"


def main():
    unittest.main(verbosity=2)  # a skipped case says why
