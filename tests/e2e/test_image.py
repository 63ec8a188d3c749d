"""The register store under faults: board images that are damaged, out of
reach or only to be read, made on any file system or cut short while
made; runs side by side; the image held, or changed underneath a run.
"""

import contextlib
import ctypes
import fcntl
import signal
from unittest import mock

from zorltest import *


class Image(SimTest):
    def test_board_program_only_on_its_stand_in(self):
        # The harness's own guard: qemu -L opens ROOT/dev/mem only if it is
        # there, the real /dev/mem otherwise (and so /proc/cpuinfo).
        # Without the emulator, or without either stand-in as a regular
        # file (/dev/mem's of full size), the board program's command line
        # is refused, so nothing is run.
        board = BoardStandIn(self.dir, self.image)
        dev = os.path.dirname(board.mem)

        def missing():
            os.makedirs(dev, exist_ok=True)

        def link():
            missing()
            os.symlink(os.devnull, board.mem)

        def short():
            missing()
            open(board.mem, "wb").close()

        def nocpuinfo():
            BoardStandIn.fill(board)
            os.remove(board.cpuinfo)

        def cpulink():
            nocpuinfo()
            os.symlink("/proc/cpuinfo", board.cpuinfo)

        cases = [  # the run prefix, how the stand-in is made (None: as the harness makes it)
            ([], None),
            (["valgrind"], None),
            (["qemu-arm"], missing),
            (["qemu-arm"], link),
            (["qemu-arm"], short),
            (["qemu-arm"], nocpuinfo),
            (["qemu-arm"], cpulink),
        ]
        zorl = os.path.join(BIN_DIR, "zorl")
        for prefix, make in cases:
            with self.subTest(prefix=prefix, make=make and make.__name__):
                shutil.rmtree(board.root, ignore_errors=True)
                board.fill = make or BoardStandIn.fill.__get__(board)
                with mock.patch("zorltest.PREFIX", prefix):
                    self.assertRaises(RuntimeError, board.command, zorl, "zorl-sim")
                self.assertFalse(board.live)
        # As the harness makes it, under the emulator: the stand-in is used.
        shutil.rmtree(board.root)
        board.fill = BoardStandIn.fill.__get__(board)
        with mock.patch("zorltest.PREFIX", ["qemu-arm", "-cpu", "ti925t"]):
            cmd = board.command(zorl, "zorl-sim")
        self.assertEqual(cmd[cmd.index("qemu-arm"):][:6],
                         ["qemu-arm", "-cpu", "ti925t", "-L", board.root, "-0"])
        self.assertEqual(os.path.getsize(board.mem), STANDIN_SIZE)

    def test_images_refused(self):
        # Not an image, not a file, or out of reach: start-up ends, saying
        # why; nothing is written, nothing made (nor the report's file).
        self.sim_only()
        good, size = bytes(self.before), "not a board image: %d bytes, an image has 24576"
        fifo, new = os.path.join(self.dir, "fifo.img"), os.path.join(self.dir, "new.img")
        # The image named, made (its bytes, a FIFO, a mode), its folder's
        # mode, as nobody, errno, why.
        rows = [
            (self.image, good[:100], 0o755, False, errno.EINVAL, size % 100),
            (self.image, good[:-PAGE], 0o755, False, errno.EINVAL, size % 20480),
            (self.image, good + b"\0", 0o755, False, errno.EINVAL, size % 24577),
            (self.image, b"", 0o755, False, errno.EINVAL, size % 0),
            (self.image, b"X" + good[1:], 0o755, False, errno.EINVAL,
             "not a board image: wrong header"),
            (self.image, good.replace(b"v1\n", b"v2\n", 1), 0o755, False, errno.EINVAL,
             "not a board image: wrong header"),
            (fifo, "fifo", 0o755, False, errno.EINVAL, "not a board image: not a regular file"),
            (self.dir, None, 0o755, False, errno.EINVAL, "not a board image: not a regular file"),
            (os.path.join(self.dir, "nodir", "x.img"), None, 0o755, False, errno.ENOENT,
             "cannot create the board image"),
            (self.image, 0o000, 0o755, True, errno.EACCES, "cannot open the board image"),
            (new, None, 0o555, True, errno.EACCES, "cannot create the board image"),
        ]
        for name, made, dirmode, nobody, code, why in rows:
            with self.subTest(name=name, why=why, dirmode=dirmode):
                before = self.as_nobody() if nobody else []
                if made == "fifo":
                    os.mkfifo(name)
                elif isinstance(made, bytes):
                    self.write_image(made)
                elif made is not None:
                    self.write_image(self.before)
                    os.chmod(name, made)
                files = os.listdir(self.dir)
                os.chmod(self.dir, dirmode)
                report = [] if nobody else ["-o", "new.txt"]  # nobody may not make it here
                r = self.zorl("-w", *report, "usb=off", env={"ZR6410_IMAGE": name}, before=before)
                os.chmod(self.dir, 0o755)
                self.assertRun(r, "", errline(code, "%s: %s" % (name, why))
                               + errline(code, GPIO_FAILED), code)
                self.assertEqual(os.listdir(self.dir), files)
                if name == self.image:
                    os.chmod(name, 0o644)
                    self.assertImage(bytearray(made) if isinstance(made, bytes) else self.before)
        # One the user may only read is opened to read, and never waited on.
        nobody = self.as_nobody()
        os.chmod(fifo, 0o444)
        for prog in ("zorl-sim", "zr6410-devmem"):
            r = self.run_program(prog, "0x80930004" if prog != "zorl-sim" else "usb",
                                 env={"ZR6410_IMAGE": fifo}, before=nobody)
            self.assertEqual((r.out, r.status), ("", 22 if prog == "zorl-sim" else 1))
            self.assertIn(fifo + ": not a board image: not a regular file", r.err)

    def test_image_that_may_only_be_read(self):
        # A run that only reads works; a store is refused with the errno of
        # the refused open, before it is tried, and nothing else changes.
        # Read only by its mode, or immutable (which even root may not write).
        self.sim_only()
        nobody = self.as_nobody()
        os.chmod(self.image, 0o444)
        self.check_read_only(nobody, errno.EACCES)
        os.chmod(self.image, 0o644)
        if os.geteuid():
            self.skipTest("an immutable image needs root (chattr +i)")
        subprocess.run(["chattr", "+i", self.image], check=True)
        try:
            self.check_read_only([], errno.EPERM)
        finally:
            subprocess.run(["chattr", "-i", self.image], check=True)

    def check_read_only(self, before, code):
        ro = self.image + ": the board image may only be read, nothing written"
        edit = HCLK_EDIT + lines("#", "# new clkset1=0x02a49907", "#  ....has NOT been actioned.",
                                 "# pll1 Fout=331785KHz   Fclk=165892KHz   (processor clock)",
                                 "#      Hclk=82946KHz   Pclk=41473KHz")
        cases = [  # program, arguments, report, stderr, status
            ("zorl-sim", ["usb"], "USB=on\n", "", 0),
            ("zorl-sim", ["-w", "usb=off"], "",
             errline(code, ro) + errline(code, "usb=off"), code),
            ("zorl-sim", ["-w", "clkset1.hclkdiv=2"], edit, errline(code, ro), code),
            ("zorl-sim", ["clkset1.hclkdiv=2", "clkset1.write"], edit,
             errline(code, ro) + errline(code, "clkset1.write"), code),
            ("zr6410-devmem", ["0x80930004"], "0x10030000\n", "", 0),
            ("zr6410-devmem", ["0x80930004", "32", "0"], "",
             errline(code, ro, "zr6410-devmem"), 1),
        ]
        for prog, args, out, err, status in cases:
            with self.subTest(prog=prog, args=args):
                self.assertFault(self.run_program(prog, *args, before=before), err, status, out)

    def test_image_made_as_any_file(self):
        # A new image is made where the name's link leads, with the mode
        # that the umask leaves of 0666, by either program; on FAT (fusefat:
        # no file without a name, no modes, no links) with the modes it has.
        self.sim_only()
        os.remove(self.image)
        boards = os.path.join(self.dir, "boards")
        os.mkdir(boards)
        target = os.path.join(boards, "b.img")
        os.symlink("boards/b.img", self.image)
        for prog, mask, mode in (("zorl-sim", 0o022, 0o644), ("zorl-sim", 0o077, 0o600),
                                 ("zr6410-devmem", 0, 0o666), ("zorl-sim", 0, None)):
            with self.subTest(prog=prog, umask=oct(mask), fat=mode is None), \
                    self.fat(boards) if mode is None else contextlib.nullcontext():
                r = self.run_program(prog, "0x80840040" if "devmem" in prog else "usb",
                                     preexec_fn=lambda: os.umask(mask))
                self.assertRun(r, "0x00000004\n" if "devmem" in prog else "USB=on\n")
                self.assertTrue(os.path.islink(self.image))
                self.assertEqual(os.listdir(boards), ["b.img"])
                if mode is not None:
                    self.assertEqual(stat.S_IMODE(os.stat(target).st_mode), mode)
                self.assertEqual(self.read_image(), power_on_image())
                os.remove(target)

    @contextlib.contextmanager
    def fat(self, folder):
        """A FAT file system of its own over folder, through fusefat."""
        if not all(map(shutil.which, ("fusefat", "mkfs.fat", "fusermount"))) or \
                not os.access("/dev/fuse", os.R_OK | os.W_OK):  # without, fusefat exits 0
            self.skipTest("FAT needs a /dev/fuse this user may open, fusefat and mkfs.fat")
        subprocess.run(["mkfs.fat", "-C", folder + ".fat", "4096"], capture_output=True, check=True)
        r = subprocess.run(["fusefat", "-o", "rw+", folder + ".fat", folder], capture_output=True,
                           text=True)
        if r.returncode:
            self.skipTest("fusefat cannot mount here: " + r.stderr)
        try:
            yield
        finally:
            subprocess.run(["fusermount", "-u", folder], check=True)

    def test_image_made_whole_or_not_at_all(self):
        # A signal that ends the run while the image is being made leaves the
        # image, whole, or nothing: never the file it was written into, on a
        # file system that makes a file without a name first (KILL too) or
        # one that cannot (every signal but KILL, which nothing holds off).
        lib = os.environ.get("ZORL_HOST_LIB")
        if not lib or self.standin:
            self.skipTest("no interposer in a static, emulated or sanitizer build")
        # Both programs make it through the same code: zr6410-devmem once.
        rows = [("zorl-sim", notmp, sig) for notmp in ("", "1")
                for sig in (signal.SIGHUP, signal.SIGTERM, signal.SIGUSR1, signal.SIGKILL)
                if not (notmp and sig == signal.SIGKILL)] + [("zr6410-devmem", "", signal.SIGTERM)]
        for prog, notmp, sig in rows:
            with self.subTest(prog=prog, notmp=notmp, sig=sig):
                if os.path.exists(self.image):
                    os.remove(self.image)
                rd, wr = os.pipe()
                env = {"LD_PRELOAD": lib, "ZORL_HOLD_FD": str(wr), "ZORL_NO_TMPFILE": notmp}
                p = subprocess.Popen(self.command(prog, "0x80930020"), env=self.env(env),
                                     cwd=self.dir, pass_fds=(wr,), stdout=subprocess.DEVNULL)
                os.close(wr)
                self.assertEqual(read_upto(rd, 1), b"\0")  # the image is being written
                os.close(rd)
                p.send_signal(sig)
                self.assertEqual(p.wait(timeout=TIMEOUT), -sig)
                made = sig != signal.SIGKILL
                self.assertEqual(os.listdir(self.dir), ["zr6410.img"] if made else [])
                if made:
                    self.assertImage(power_on_image())

    def test_runs_side_by_side(self):
        # Many runs at once, each switching a different bit of PwrCnt or
        # editing a different field of ClkSet1: no bit may be lost.  A
        # switch waits for the others; a ClkSet1 commit that would undo
        # another run's commit is refused with a message, never made.
        if self.standin:
            # The harness fills the stand-in from the image before every run
            # of the board program and copies it back after, so runs at once
            # would overwrite each other's stand-in; the lock itself is the
            # same code in the ARM zorl-sim (e2e_image of build-arm).
            self.skipTest("the board program's stand-in is one copy per run")
        switches = ["usb=off", "irda=on", "uart=on", "ethernet=off"] * 6
        fields = [("hclkdiv", 2, 20, 3), ("pclkdiv", 2, 18, 2), ("fclkdiv", 2, 25, 3)]
        procs = []
        try:
            for i, cmd in enumerate(switches):
                procs.append((cmd, subprocess.Popen(
                    self.command("zorl-sim", "-w", cmd), stdout=subprocess.DEVNULL,
                    stderr=subprocess.PIPE, env=self.env(), cwd=self.dir)))
                if i % 8 == 0:
                    f = fields[i // 8]
                    cmd = "clkset1.%s=%d" % f[:2]
                    procs.append((f, subprocess.Popen(
                        self.command("zorl-sim", "-w", cmd), stdout=subprocess.DEVNULL,
                        stderr=subprocess.PIPE, env=self.env(), cwd=self.dir)))
            results = [(what, p.communicate(timeout=60)[1].decode(), p.returncode)
                       for what, p in procs]
        finally:
            for _, p in procs:
                p.kill()
                p.wait()
        clk = self.reg(CLKSET1)
        refused = errline(errno.EBUSY, "clkset1: changed by another program since this run "
                          "read it, nothing written")
        for what, err, status in results:
            with self.subTest(what):
                if isinstance(what, str) or status == 0:
                    self.assertEqual((err, status), ("", 0))
                else:
                    self.assertEqual((err, status), (refused, errno.EBUSY))
                if isinstance(what, tuple) and status == 0:
                    name, value, lsb, width = what
                    self.assertEqual((clk >> lsb) & ((1 << width) - 1), value, name)
        self.assertEqual(self.reg(PWRCNT), 0xA0030000)
        self.assertEqual(self.reg(PORTH, 8), 0x00)

    def test_image_held_by_another_program(self):
        # A run that only reads does not wait for the register store.  One
        # that cannot have it within the wait writes nothing and says why:
        # the platforms' unit tests, with a shorter wait than the programs'.
        held = self.standin.mem if self.standin else self.image
        if self.standin:
            self.standin.fill()
        with open(held, "rb") as f:
            fcntl.flock(f, fcntl.LOCK_EX)
            self.assertFault(self.zorl("usb", timeout=30), "", 0, "USB=on\n")
            # What was reported before a change has left the program by the
            # time it waits for the store.
            p = self.start("-w", "usb", "irda=on")
            self.assertEqual(read_upto(p.stdout, 7), b"USB=on\n")
            self.assertIsNone(p.poll(), "the report came only at the end")
        self.assertEqual(finish(p), (0, b"IRDA=on\n", b""))
        # A session waiting for its next line holds nothing.
        p = self.start("-w", "-i", "-")
        p.stdin.write(b"usb=off\n")
        p.stdin.flush()
        self.assertEqual(read_upto(p.stdout, 8), b"USB=off\n")
        with open(held, "rb") as f:
            fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
        self.assertEqual(finish(p), (0, b"", b""))

    def test_image_changed_underneath(self):
        # A -w session reading a pipe or a terminal; between two of its
        # lines the image is cut short (truncate, the first step of cp over
        # it), grows, is replaced (mv over it), or its file system fills up
        # under a page it has yet to back.  The run stops with a message
        # that names the cause, before the next command or at the end of
        # its input: no crash, no value read from a file nobody uses, and
        # no write reported as done that went into a file nobody reads.
        # The image lives on a small file system of its own, in a mount
        # namespace of this test's; that needs root, and without it the
        # rows that fill the file system are skipped.
        self.sim_only()
        fs = os.path.join(self.dir, "fs")
        os.mkdir(fs)
        libc = ctypes.CDLL(None, use_errno=True)
        tmpfs = libc.unshare(0x00020000) == 0  # CLONE_NEWNS
        # Nothing mounted here may reach other namespaces.  A chroot's root
        # is no mount point to make private; its mounts must be private
        # already (tools/try-fresh's are).
        if tmpfs and subprocess.run(["mount", "--make-rprivate", "/"],
                                    capture_output=True).returncode:
            with open("/proc/self/mountinfo") as f:
                self.assertNotIn("shared:", f.read(), "mounts here would reach other namespaces")
        if tmpfs:
            subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "zorl", fs], check=True)
        self.image = os.path.join(fs, "zr6410.img")
        fresh = os.path.join(fs, "fresh.img")

        def truncate():
            os.truncate(self.image, 0)

        def regrow():
            os.truncate(self.image, 0)
            os.truncate(self.image, IMAGE_SIZE)

        def grow():
            with open(self.image, "ab") as f:
                f.write(b"\0")

        def replace():
            with open(fresh, "wb") as f:
                f.write(power_on_image())
            os.rename(fresh, self.image)

        def fill():
            with open(os.path.join(fs, "filler"), "wb", buffering=0) as f:
                with self.assertRaises(OSError):
                    while True:
                        f.write(bytes(PAGE))

        def sparse():  # the GPIO page left a hole for the file system to back later
            img = power_on_image()
            with open(self.image, "wb") as f:
                f.write(img[:PAGE])
                f.seek(2 * PAGE)
                f.write(img[2 * PAGE:])

        stale = "the board image %s while in use, nothing written"
        cases = [  # what happens, the next line (None: end of input), status, why, the image after
            (truncate, "usb", errno.ESTALE, stale % "was cut short", b""),
            (regrow, "usb", errno.ESTALE, stale % "was cut short", bytes(IMAGE_SIZE)),
            (grow, "usb=off", errno.ESTALE, stale % "grew", power_on_image() + b"\0"),
            (replace, "usb", errno.ESTALE, stale % "was replaced", power_on_image()),
            (replace, None, errno.ESTALE, stale % "was replaced", power_on_image()),
            (fill, "ethernet=off", errno.ENOSPC, "no space left for the board image", None),
        ]
        try:
            # Each from a pipe; the replaced image at a terminal too, whose
            # session would go on after a failing line.
            for (change, line, status, why, after), tty in [
                    (c, t) for c in cases for t in (0, 1) if not t or c[0] is replace]:
                with self.subTest(change=change.__name__, line=line, tty=tty):
                    if change is fill and not tmpfs:
                        self.skipTest("a full file system needs root (a tmpfs of the test's own)")
                    if change is fill:
                        sparse()
                    else:
                        self.write_image(power_on_image())
                    master, slave = os.openpty() if tty else os.pipe()[::-1]
                    p = self.start("-w", "-i", "-", stdin=slave)
                    os.close(slave)
                    os.write(master, b"usb\n")
                    got = b""
                    while not got.endswith(b"USB=on\n") and (c := read_upto(p.stdout, 1)):
                        got += c
                    change()
                    os.write(master, line.encode() + b"\n" if line else b"\x04" * tty)
                    if not tty:
                        os.close(master)
                    code, out, err = finish(p)
                    if tty:
                        os.close(master)
                    self.assertEqual((err.decode(), code), (errline(status, "%s: %s" % (
                        self.image, why)), status))
                    self.assertNotIn(b"USB=", out)
                    if after is not None:
                        with open(self.image, "rb") as f:
                            self.assertEqual(f.read(), after)
            # zr6410-devmem exits 1, whatever the cause.
            if tmpfs:
                sparse()
                fill()
                self.assertRun(self.devmem("0x80840040", "8", "0"), "", errline(
                    errno.ENOSPC, self.image + ": no space left for the board image",
                    "zr6410-devmem"), 1)
        finally:
            if tmpfs:
                subprocess.run(["umount", fs], check=True)

    def test_bus_error_elsewhere(self):
        # A bus error that is not the image's ends the run as the signal's
        # default action would, without a word about the image.
        p = self.start("-i", "-", preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_CORE,
                                                                         (0, 0)))
        p.stdin.write(b"usb\n")
        p.stdin.flush()
        self.assertEqual(read_upto(p.stdout, 7), b"USB=on\n")
        wait_state(p, "read")  # valgrind holds a signal sent meanwhile until then
        p.send_signal(signal.SIGBUS)
        status, out, err = finish(p)  # an emulator may say it died so
        self.assertEqual((status, out), (-signal.SIGBUS, b""))
        self.assertNotIn(b"image", err)


if __name__ == "__main__":
    main()
