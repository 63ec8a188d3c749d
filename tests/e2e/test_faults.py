"""Fault injection: report files that cannot be opened or written, command
sources that cannot be read or hold what no command file should, board
images that are damaged or out of reach, closed standard streams.

Every case checks the exact message and exit status, and that the board
image is exactly as it was: a run that fails this way writes no register.
Each run has writing enabled (-w) wherever a command would otherwise write.
"""

import contextlib
import ctypes
import fcntl
import itertools
import os
import resource
import shutil
import signal
import socket
import stat
import struct
import subprocess
import time
from unittest import mock

from zorltest import *

GPIO_FAILED = "Could Not initialise GPIO pointers."


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


class Faults(SimTest):
    def setUp(self):
        super().setUp()
        self.before = self.read_image()

    def assertFault(self, result, err, status, out=""):
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

    # ---- the report stream (-o) ------------------------------------------

    def test_output_to_a_directory(self):
        self.assertFault(self.zorl("-w", "-o", self.dir, "usb=off"),
                         errline(errno.EISDIR, self.dir), 21)

    def test_output_in_a_missing_directory(self):
        bad = os.path.join(self.dir, "missing", "r.txt")
        self.assertFault(self.zorl("-w", "-o", bad, "usb=off"),
                         errline(errno.ENOENT, bad), 2)
        self.assertFalse(os.path.exists(os.path.dirname(bad)))

    def test_output_through_a_symbolic_link(self):
        # As fopen "a" or the shell's >> would: a link to a file not yet
        # made creates that file; a link into a missing folder fails.  The
        # time limit stops a run that would retry for ever.
        cases = [  # where the link points, the status, the file that results
            ("missing.txt", 0, "missing.txt"),
            (os.path.join(self.dir, "abs.txt"), 0, "abs.txt"),
            ("nodir/r.txt", 2, None),
        ]
        for target, status, made in cases:
            with self.subTest(target):
                link = os.path.join(self.dir, "report.txt")
                os.symlink(target, link)
                err = errline(errno.ENOENT, link) if status else ""
                self.assertFault(self.zorl("-w", "-o", link, "usb", timeout=30), err, status)
                if made:
                    with open(os.path.join(self.dir, made)) as f:
                        self.assertEqual(f.read(), "USB=on\n")
                    os.remove(os.path.join(self.dir, made))
                self.assertFalse(os.path.exists(os.path.join(self.dir, "nodir")))
                os.remove(link)

    def test_file_size_limit(self):
        # Past a file-size limit a write fails with EFBIG, like a full disk:
        # every command runs, the commit is made, and then the lost report is
        # reported; never a death by SIGXFSZ halfway through.
        cmds = self.write_file("cmds.txt", "usb=off\nclkset1\nclkset2\n" * 20
                               + "irda=on\nclkset1.hclkdiv=2\n")
        out = os.path.join(self.dir, "out.txt")
        want = self.expect_image([(PWRCNT, 0x80030000), (CLKSET1, 0x02A49907)])

        def limit():
            resource.setrlimit(resource.RLIMIT_FSIZE, (1024, 1024))

        r = self.zorl("-w", "-i", cmds, "-o", out, preexec_fn=limit, timeout=30)
        self.assertRun(r, "", errline(errno.EFBIG, out), errno.EFBIG)
        self.assertImage(want)
        self.assertEqual(os.path.getsize(out), 1008)  # its last whole line
        # Standard output and error into the file: the trace line that fails
        # first is cut back, and nothing follows it; a file that cannot be
        # cut says so.  Other causes of a cut write: unit tests.
        head = "#" * 980 + "\n"
        torn = self.zorl("clkset1.pll1_x2fdb2=63").out[:1024 - len(head)]  # "...pll1_x2fdb2=6"
        cases = [("-d", ">>r.txt 2>&1", "", ""),
                 ("-o r.txt", "+a", torn, errline(errno.EFBIG, "r.txt: the report ends in part "
                                                  "of a line, not cut off: the file is append-only"))]
        for opts, redirect, file, err in cases:
            with self.subTest(opts=opts, redirect=redirect):
                rep = self.write_file("r.txt", head)
                if redirect == "+a" and os.geteuid():
                    self.skipTest("an append-only file needs root (chattr +a)")
                elif redirect == "+a":
                    subprocess.run(["chattr", "+a", rep], check=True)
                r = self.zorl(*opts.split(), "clkset1.pll1_x2fdb2=63", preexec_fn=limit,
                              before=["sh", "-c", 'exec "$@" ' + redirect.strip("+a"), "sh"])
                subprocess.run(["chattr", "-a", rep], capture_output=True)  # before any assertion
                self.assertRun(r, "", err, errno.EFBIG)
                with open(rep) as f:
                    self.assertEqual(f.read(), head + file)
        os.remove(rep)
        if self.standin:
            return  # the rest is about the simulated board's image
        # An image that cannot be made whole is reported with its cause, and
        # leaves no file behind.
        os.remove(self.image)
        os.remove(out)
        os.remove(cmds)
        self.assertRun(self.zorl("chipid", preexec_fn=limit, timeout=30), "",
                       errline(errno.EFBIG, self.image + ": cannot create the board image")
                       + errline(errno.EFBIG, GPIO_FAILED), errno.EFBIG)
        self.assertEqual(os.listdir(self.dir), [])

    def test_output_to_a_full_device(self):
        full = errline(errno.ENOSPC, "/dev/full")
        self.assertFault(self.zorl("-o", "/dev/full", "chipid"), full, 28)
        # The full status report, and a command file whose report is larger
        # than any buffer, so that writes fail in the middle of the run.
        self.assertFault(self.zorl("-o", "/dev/full"), full, 28)
        many = self.write_file("many", "clkset1\nclkset2\n" * 300)
        self.assertFault(self.zorl("-o", "/dev/full", "-i", many), full, 28)
        # Edits to ClkSet1 are not committed at exit when writing is disabled.
        self.assertFault(self.zorl("-o", "/dev/full", "clkset1.hclkdiv=2"), full, 28)
        # A failing command keeps its own status.
        self.assertFault(self.zorl("-o", "/dev/full", "chipid", "foo"),
                         errline(errno.ENOSYS, "foo") + full, 38)
        # Standard output on a full device: the same, against "stdout".
        with open("/dev/full", "wb") as dev:
            self.assertFault(self.zorl("chipid", stdout=dev), errline(errno.ENOSPC, "stdout"),
                             28, None)

    def test_report_into_the_command_source(self):
        # Appended to the command source the report would be read back as
        # commands without end (a file, a FIFO, a pipe).  Refused before
        # anything runs: not the command-line command, not the file's
        # commands, not the exit commit.
        cmds = self.write_file("board.txt", "irda=on\nclkset1.hclkdiv=2\n")
        fifo, lone = os.path.join(self.dir, "fifo"), os.path.join(self.dir, "lone")
        os.mkfifo(fifo)
        os.mkfifo(lone)  # opened by nobody: to open it to write would wait
        held = os.open(fifo, os.O_RDWR | os.O_NONBLOCK)  # as the shell's 3<>fifo: never waits
        pipe = os.pipe2(os.O_NONBLOCK)
        src = "%s: report and command source are the same file, nothing run"
        cases = [  # options, standard input and output (path, mode), the file named
            (["-o", cmds, "-i", cmds], None, None, src % cmds),
            (["-i", cmds], None, (cmds, "ab"), src % cmds),
            (["-i", "-"], (cmds, "rb"), (cmds, "ab"), src % "stdout"),
            (["-i", fifo, "-o", fifo], None, None, src % fifo),
            (["-i", lone, "-o", lone], None, None, src % lone),
            (["-i", "-"], pipe[0], pipe[1], src % "stdout"),
        ]
        with open(cmds, "rb") as f:
            text = f.read()
        for opts, stdin, stdout, why in cases:
            with self.subTest(opts=opts, stdin=stdin, stdout=stdout):
                streams = [open(*s) if isinstance(s, tuple) else s for s in (stdin, stdout)]
                try:
                    r = self.zorl("-w", *opts, "usb=off", input=None,
                                  preexec_fn=small_files, stdin=streams[0] or subprocess.DEVNULL,
                                  stdout=streams[1] or subprocess.PIPE)
                finally:
                    for f in streams:
                        if hasattr(f, "close"):
                            f.close()
                self.assertFault(r, errline(errno.EINVAL, why), errno.EINVAL,
                                 None if stdout else "")
                with open(cmds, "rb") as f:
                    self.assertEqual(f.read(), text)
                for fd in (held, pipe[0]):  # nothing went into the FIFO or the pipe
                    self.assertRaises(BlockingIOError, os.read, fd, 1)
        for fd in (held, *pipe):
            os.close(fd)
        os.remove(fifo)
        os.remove(lone)
        # A file that the refused run would have created is not left behind.
        new = os.path.join(self.dir, "new.txt")
        self.assertFault(self.zorl("-o", new, "-i", new, preexec_fn=small_files),
                         errline(errno.EINVAL, src % new), 22)
        # Nor one it made at the end of the report's link, the command
        # source that was missing.
        os.symlink("cmds.txt", os.path.join(self.dir, "out.txt"))
        self.assertFault(self.zorl("-i", "cmds.txt", "-o", "out.txt"),
                         errline(errno.EINVAL, src % "out.txt"), 22)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "cmds.txt")))

    def test_nothing_lands_in_the_register_store(self):
        # Every stream the program writes, into every name of the store (the
        # image, a loop device over it; /dev/mem's stand-in for the board):
        # refused with 22 before a byte is written, -h and the usage
        # included; the message on standard error unless that is the store.
        if self.standin:
            self.standin.fill()
        store, path = ("/dev/mem", self.standin.mem) if self.standin else (self.image, self.image)
        loop = subprocess.run(["losetup", "-f", "--show", path], capture_output=True, text=True)
        if loop.returncode == 0:
            self.addCleanup(subprocess.run, ["losetup", "-d", loop.stdout.strip()])
        mess = "%s: would write into the register store " + store + ", nothing run"
        rows = [(">>%s", ["-h"]), (">>%s", ["-o", "r.txt", "-i", "-"]), ("2>>%s", ["bogus"]),
                ("2>>%s", ["-w", "-v", "usb=off"]), (">>%s 2>&1", ["-x"]), ("-o %s", ["usb"])]
        progs = [("zorl-sim", 22)] + [("zr6410-devmem", 1)] * (not self.standin)
        for (stream, args), name, (prog, status) in itertools.product(
                rows, (path, loop.stdout.strip()), progs):
            if prog != "zorl-sim" and (stream[0] == "-" or args[0] != "-h"):
                continue  # zr6410-devmem: each stream once
            with self.subTest(stream=stream, name=name, args=args, prog=prog):
                if not name:
                    self.skipTest("a loop device needs root and losetup: " + loop.stderr)
                if name != path and PREFIX and "valgrind" in PREFIX[0]:
                    self.skipTest("valgrind does not know a loop device's ioctl")
                opt = (stream % name).split() if stream[0] == "-" else []
                cmd = opt + args if prog == "zorl-sim" else ["0x80930020"]
                before = self.read_image()
                r = self.run_program(prog, *cmd, before=[
                    "sh", "-c", 'exec "$@" ' + ("" if opt else stream % name), "sh"])
                err = "" if "2>" in stream else errline(
                    errno.EINVAL, mess % (name if opt else "stdout"), prog)
                self.assertRun(r, "", err, status)
                self.assertImage(before)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "r.txt")))
        if self.standin:
            return  # the rest is about the simulated board's image
        # Nor the board image, made empty through the report's link, nor a
        # device in its place.
        os.remove(self.image)
        os.symlink("zr6410.img", os.path.join(self.dir, "rep.txt"))
        self.assertRun(self.zorl("-o", "rep.txt", "usb"), "",
                       errline(errno.EINVAL, mess % "rep.txt"), 22)
        self.assertEqual(os.listdir(self.dir), ["rep.txt"])
        self.assertRun(self.zorl("-o", "/dev/null", env={"ZR6410_IMAGE": "/dev/null"}), "",
                       errline(errno.EINVAL, (mess % "/dev/null").replace(store, "/dev/null")), 22)

    def test_report_and_command_source_that_do_no_harm(self):
        # What goes to /dev/null, a socket or a terminal never comes back to
        # be read from it: each may be both.
        self.assertRun(self.zorl("-o", "/dev/null", "-i", "/dev/null", "usb"), "")
        sock, peer = socket.socketpair()
        master, slave = os.openpty()
        for ours, theirs, eof in ((os.open(os.devnull, os.O_RDWR), None, None),
                                  (sock.detach(), peer.fileno(), lambda: peer.shutdown(1)),
                                  (slave, master, lambda: os.write(master, b"\x04"))):
            with self.subTest(ours=ours):
                p = self.start("-i", "-", stdin=ours, stdout=ours)
                os.close(ours)
                if theirs is not None:
                    os.write(theirs, b"usb\n")
                    eof()
                self.assertEqual(finish(p), (0, None, b""))
                if theirs is not None:
                    self.assertIn(b"USB=on", read_upto(theirs, 4096, until=b"zorl> "))
        peer.close()
        os.close(master)

    def test_reader_that_goes_away(self):
        # zorl-sim -w -i cmds | head -c 1: the report is many times what a
        # pipe holds, so the reader is gone long before it ends.  Every
        # line is applied all the same, the exit commit made, and the lost
        # report said: never a silent death by SIGPIPE halfway through.
        cmds = self.write_file("cmds", "clkset1\nusb=on\nclkset2\n" * 2000
                               + "usb=off\nirda=on\nclkset1.hclkdiv=2\n")
        want = self.expect_image([(PWRCNT, 0x80030000), (CLKSET1, 0x02A49907)])
        rd, wr = os.pipe()
        p = self.start("-w", "-i", cmds, stdin=None, stdout=wr)
        os.close(wr)
        try:
            self.assertEqual(len(read_upto(rd, 1)), 1)
        finally:
            os.close(rd)
        status, _, err = finish(p)
        self.assertRun(Result(None, err.decode(), status), None,
                       errline(errno.EPIPE, "stdout"), errno.EPIPE)
        self.assertImage(want)

    def test_pipe_or_fifo_holds_whole_lines_whatever_ends_the_run(self):
        # A pipe of one page, not read until the writer sleeps in its write
        # nor until a signal has ended the run: a write of at most PIPE_BUF
        # bytes that ends a line is made whole or not at all.
        cmds = self.write_file("cmds", "clkset1\nclkset1.pll1_x2fdb2=63\n" * 60)
        fifo = os.path.join(self.dir, "fifo")
        os.mkfifo(fifo)
        for stream, sig in itertools.product(("stdout", "stderr", "-o fifo"), (
                signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGKILL)):
            with self.subTest(stream=stream, sig=sig):
                rd, wr = (os.open(fifo, os.O_RDONLY | os.O_NONBLOCK), None) if stream[0] == "-" \
                    else os.pipe()
                fcntl.fcntl(rd, 1031, 4096)  # F_SETPIPE_SZ
                p = self.start("-d" if wr and stream == "stderr" else "-v", "-i", cmds,
                               *stream.split()[:1], *([fifo] if not wr else []), stdin=None,
                               **{stream if wr else "stdout": wr or subprocess.DEVNULL})
                if wr:
                    os.close(wr)
                self.wait_state(p, "pipe_write")
                p.send_signal(sig)
                finish(p)  # before the pipe is read: that would let the write go on
                got = read_upto(rd, 1 << 20)
                os.close(rd)
                self.assertEqual(got[-1:], b"\n", got[-40:])

    def test_stream_left_non_blocking(self):
        # Another program left the pipe non-blocking: the run waits for room
        # and goes on, and leaves the flags as they were.
        cmds = self.write_file("cmds", "clkset1\nclkset2\n" * 200)
        want = self.zorl("-i", cmds).out.encode()
        rd, wr = os.pipe()
        fcntl.fcntl(rd, 1031, 4096)  # F_SETPIPE_SZ
        os.set_blocking(wr, False)
        p = self.start("-i", cmds, stdin=None, stdout=wr)
        self.wait_state(p, "poll")
        self.assertEqual(read_upto(rd, len(want)), want)
        self.assertEqual((finish(p), os.get_blocking(wr)), ((0, None, b""), False))
        os.close(rd)
        os.close(wr)

    def wait_state(self, p, wchan):
        """Until the program sleeps in the kernel function named so, or ends."""
        deadline = time.monotonic() + TIMEOUT
        while p.poll() is None and time.monotonic() < deadline and wchan not in open(
                "/proc/%d/wchan" % p.pid).read():
            time.sleep(0.002)

    # ---- the command source (-i) -----------------------------------------

    def test_input_file_missing(self):
        missing = os.path.join(self.dir, "nofile")
        self.assertFault(self.zorl("-w", "-i", missing),
                         errline(errno.ENOENT, missing), 2)

    def test_input_is_a_directory(self):
        err = errline(errno.EISDIR, self.dir)
        self.assertFault(self.zorl("-w", "-i", self.dir), err, 21)
        # The read error ends the run: the edit made on the command line is
        # not committed at exit.
        self.assertFault(self.zorl("-w", "-i", self.dir, "clkset1.hclkdiv=2"), err, 21,
                         CLKSET1_LOAD + lines("# Hclk = fout/4", "clkset1.hclkdiv=2"))

    def test_input_with_a_nul_byte(self):
        # The lines before it run; the line and everything after it do not.
        path = self.write_file("nul", b"clkset1.hclkdiv=2\nus\0b=off\nirda=on\n")
        self.assertFault(self.zorl("-w", "-i", path),
                         errline(errno.EINVAL, LINE_NUL),
                         22, CLKSET1_LOAD + lines("# Hclk = fout/4", "clkset1.hclkdiv=2"))

    def test_input_that_is_not_utf8(self):
        for text, status in ((b"usb=\xff\xfe", 22), (b"\xc3\x28", 38),
                             (b"clkset1.hclkdiv=\xe2\x82", 22), (b"\x80usb=off", 38)):
            with self.subTest(text):
                path = self.write_file("bytes", text + b"\nirda=on\n")
                msg = strerror(status).encode()
                err = b"[zorl-sim] %s : %s\n" % (msg, text) * 3
                if text.startswith(b"clkset1"):
                    err = b'"\xe2\x82" number expected\n' + err
                r = self.zorl("-w", "-i", path)
                # A switch shows its state even when the value is refused.
                out = {b"u": "USB=on\n", b"c": CLKSET1_LOAD}.get(text[:1], "")
                self.assertFault(r, err.decode("utf-8", "replace"), status, out)

    def test_control_characters_in_messages(self):
        # Bytes below 0x20 and 0x7F reach the terminal escaped, so a command
        # file cannot retitle or clear it; the report is not touched.
        for text, status, shown in (
                (b"\x1b]0;pwned\x07", 38, "\\033]0;pwned\\007"),
                (b"usb=\x1b[2J", 22, "usb=\\033[2J"),
                (b"clkset1.hclkdiv=\x7f\x01", 22, "clkset1.hclkdiv=\\177\\001")):
            with self.subTest(text):
                path = self.write_file("ctl", text + b"\nirda=on\n")
                err = errline(status, shown) * 3
                if text.startswith(b"clkset1"):
                    err = '"\\177\\001" number expected\n' + err
                out = {b"u": "USB=on\n", b"c": CLKSET1_LOAD}.get(text[:1], "")
                self.assertFault(self.zorl("-w", "-i", path), err, status, out)

    def test_input_with_100kb_lines(self):
        long_line = "usb=off " * 12800  # 102400 bytes
        err = errline(errno.EINVAL, LINE_TOO_LONG)
        cases = [
            ("one line", "usb\n" + long_line + "\nirda=on\n"),
            ("without a newline", "usb\n" + long_line),
            ("continued", "usb\n" + long_line + "\\\nirda=on\nirda=on\n"),
            ("continued at the end", "usb\n" + long_line + "\\\n"),
        ]
        for name, text in cases:
            with self.subTest(name):
                path = self.write_file("long", text)
                self.assertFault(self.zorl("-w", "-i", path), err, 22, "USB=on\n")
                # The same from a pipe.
                self.assertFault(self.zorl("-w", "-i", "-", input=text), err, 22, "USB=on\n")

    def test_input_ending_in_a_continued_line(self):
        # The last line was to go on: it is not run, and the run fails, so
        # that neither it nor the exit commit of the edits before it happen.
        err = errline(errno.EINVAL, LINE_CUT_OFF)
        edit = CLKSET1_LOAD + lines("# Hclk = fout/4", "clkset1.hclkdiv=2")
        for name, text in (("with a newline", "usb \\\nirda=on \\\n"),
                           ("without a newline", "usb \\\nirda=on \\"),
                           ("an empty line", "usb=off\\\n")):
            with self.subTest(name):
                path = self.write_file("cont", text)
                self.assertFault(self.zorl("-w", "-i", path, "clkset1.hclkdiv=2"), err, 22, edit)
                self.assertFault(self.zorl("-w", "-i", "-", "clkset1.hclkdiv=2", input=text),
                                 err, 22, edit)

    def test_endless_input(self):
        # A source whose line never ends: the run ends, without the exit
        # commit, as soon as the line cannot be run, never waiting for a
        # newline.  The time limits stop a run that would read for ever.
        nul = errline(errno.EINVAL, LINE_NUL)
        long = errline(errno.EINVAL, LINE_TOO_LONG)
        edit = CLKSET1_LOAD + lines("# Hclk = fout/4", "clkset1.hclkdiv=2")
        self.assertFault(self.zorl("-w", "-i", "/dev/zero", "clkset1.hclkdiv=2"), nul, 22, edit)
        with open("/dev/zero", "rb") as zero:
            self.assertFault(self.zorl("-w", "-i", "-", input=None, stdin=zero), nul, 22)
        # A writer that starts a line, then neither ends it nor goes away.
        for text, err in ((b"usb\n" + b"x" * 3000, long), (b"usb\nus\0b=off", nul)):
            with self.subTest(text[:8]):
                p = self.start("-w", "-i", "-")
                p.stdin.write(text)
                p.stdin.flush()
                # It ends by itself, its input still open: the deadline
                # runs before finish closes that input.
                status = p.wait(timeout=TIMEOUT)
                _, out, errtext = finish(p)
                self.assertFault(Result(out.decode(), errtext.decode(), status), err, 22,
                                 "USB=on\n")

    # ---- the board image -------------------------------------------------

    def test_invalid_images_are_refused_and_kept(self):
        self.sim_only()
        good = power_on_image()
        cases = [
            ("truncated", good[:100], "not a board image: 100 bytes, an image has 24576"),
            ("one page short", good[:-PAGE], "not a board image: 20480 bytes, an image has 24576"),
            ("too long", good + b"\0", "not a board image: 24577 bytes, an image has 24576"),
            ("empty", b"", "not a board image: 0 bytes, an image has 24576"),
            ("bad magic", b"X" + good[1:], "not a board image: wrong header"),
            ("other version", good.replace(b"v1\n", b"v2\n", 1), "not a board image: wrong header"),
        ]
        for name, data, why in cases:
            with self.subTest(name):
                self.write_image(data)
                self.assertRun(self.zorl("-w", "-o", "new.txt", "usb=off"), "",
                               errline(errno.EINVAL, "%s: %s" % (self.image, why))
                               + errline(errno.EINVAL, GPIO_FAILED), 22)
                self.assertImage(bytearray(data))
                self.assertFalse(os.path.exists(os.path.join(self.dir, "new.txt")))

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

    def test_image_that_is_not_a_file(self):
        self.sim_only()
        os.remove(self.image)
        os.mkfifo(self.image)
        self.assertRun(self.zorl("-w", "usb=off"), "",
                       errline(errno.EINVAL, self.image + ": not a board image: not a regular file")
                       + errline(errno.EINVAL, GPIO_FAILED), 22)
        self.assertRun(self.zorl("chipid", env={"ZR6410_IMAGE": self.dir}), "",
                       errline(errno.EINVAL, self.dir + ": not a board image: not a regular file")
                       + errline(errno.EINVAL, GPIO_FAILED), 22)
        # One the user may only read is opened to read, and never waited on.
        nobody = self.as_nobody()
        os.chmod(self.image, 0o444)
        for prog in ("zorl-sim", "zr6410-devmem"):
            r = self.run_program(prog, "0x80930004" if prog != "zorl-sim" else "usb", before=nobody)
            self.assertEqual((r.out, r.status), ("", 22 if prog == "zorl-sim" else 1))
            self.assertIn(self.image + ": not a board image: not a regular file", r.err)

    def test_image_in_a_missing_directory(self):
        self.sim_only()
        missing = os.path.join(self.dir, "nodir", "x.img")
        self.assertFault(self.zorl("-w", "usb=off", env={"ZR6410_IMAGE": missing}),
                         errline(errno.ENOENT, missing + ": cannot create the board image")
                         + errline(errno.ENOENT, GPIO_FAILED), 2)
        self.assertFalse(os.path.exists(os.path.dirname(missing)))

    def test_unreadable_image(self):
        self.sim_only()
        nobody = self.as_nobody()
        os.chmod(self.image, 0o000)
        r = self.zorl("-w", "usb=off", before=nobody)
        os.chmod(self.image, 0o644)
        self.assertFault(r, errline(errno.EACCES, self.image + ": cannot open the board image")
                         + errline(errno.EACCES, GPIO_FAILED), 13)

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
        edit = (CLKSET1_LOAD + lines("# Hclk = fout/4", "clkset1.hclkdiv=2", "#",
                                     "# new clkset1=0x02a49907", "#  ....has NOT been actioned.",
                                     "# pll1 Fout=331785KHz   Fclk=165892KHz   (processor clock)",
                                     "#      Hclk=82946KHz   Pclk=41473KHz"))
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

    def test_a_privilege_that_is_not_the_users(self):
        # Installed set-user-ID root, set-group-ID root or with a file
        # capability, and run by nobody, the programs open every file the
        # user names with the user's own rights only: 13, nothing made,
        # nothing of the file shown.  Each privilege is first seen to be live
        # (a nosuid mount, no_new_privs or a user namespace would hide it).
        self.sim_only()
        if os.geteuid() or PREFIX:
            self.skipTest("a privileged copy runs as such only as itself, made by root")
        nobody = self.as_nobody()
        root = os.path.join(self.dir, "root")
        os.mkdir(root)
        os.chmod(root, 0o775)  # root:root: only root and its group may write
        secret = self.write_file("root/secret", "usb=off\nbogus SECRET\n")
        os.chmod(secret, 0o640)
        img = {"ZR6410_IMAGE": os.path.join(root, "x.img")}
        denied = errline(errno.EACCES, img["ZR6410_IMAGE"] + ": cannot create the board image")
        rows = [  # program, arguments, environment, closed stream, stderr, status
            ("zorl-sim", ["-w", "-i", secret], {}, (), errline(errno.EACCES, secret), 13),
            ("zorl-sim", ["-o", root + "/r.txt", "usb"], {}, (),
             errline(errno.EACCES, root + "/r.txt"), 13),
            ("zorl-sim", ["usb"], img, (), denied + errline(errno.EACCES, GPIO_FAILED), 13),
            ("zr6410-devmem", ["0x80930020"], img, (), denied.replace("zorl-sim", "zr6410-devmem"), 1),
            ("zorl-sim", ["-o", "/dev/stdout", "usb"], {}, (1,), errline(errno.EBADF, "/dev/stdout"), 9),
        ]
        for kind, mode, cap in (("set-user-ID", 0o4755, 0), ("set-group-ID", 0o2755, 0),
                                ("capability", 0o755, 1 << 1)):  # CAP_DAC_OVERRIDE
            bindir = os.path.join(self.dir, kind)
            os.mkdir(bindir)
            for prog in ("cat", "zorl-sim", "zr6410-devmem"):
                copy = os.path.join(bindir, prog)
                shutil.copy(shutil.which(prog) or os.path.join(BIN_DIR, prog), copy)
                os.chmod(copy, mode)
                if cap:  # effective and permitted, as setcap cap_dac_override+ep
                    os.setxattr(copy, "security.capability", struct.pack("<5I", 0x02000001, cap, 0, 0, 0))
            live = subprocess.run(nobody + [os.path.join(bindir, "cat"), secret], capture_output=True)
            for prog, args, env, closed, err, status in rows:
                with self.subTest(kind=kind, prog=prog, args=args, closed=closed):
                    if b"SECRET" not in live.stdout:
                        self.skipTest("%s is not live here: %s" % (kind, live.stderr))
                    r = subprocess.run(nobody + [os.path.join(bindir, prog)] + args, env=self.env(env),
                                       capture_output=True, preexec_fn=closing(*closed))
                    self.assertFault(Result(r.stdout.decode(), r.stderr.decode(), r.returncode),
                                     err, status)
                    self.assertEqual(os.listdir(root), ["secret"])

    def test_board_program_with_a_privilege(self):
        # As root, setpriv makes the board program privileged (the real user
        # nobody) under the emulator: /dev/mem, which only root may open, is
        # opened with the privilege, a report or source that only root may
        # reach is not, and the system calls show the order.
        if not self.standin or os.geteuid():
            self.skipTest("the board program under the emulator, as root")
        self.standin.fill()
        os.chmod(self.dir, 0o755)
        os.chmod(self.standin.mem, 0o600)
        root = os.path.join(self.dir, "root")
        os.mkdir(root, 0o700)
        inner = ["setpriv", "--ruid=65534", "--euid=0", "--"]
        r = self.zorl("usb", inner=inner, env={"QEMU_STRACE": "1"})
        self.assertEqual((r.out, r.status), ("USB=on\n", 0))
        order = ["setfsuid32(65534", "setfsuid32(0", 'open("/proc/cpuinfo"', 'open("/dev/mem",O_RDWR',
                 "setfsuid32(65534", "mmap2", "setresuid32(65534,65534,65534)", "prctl(38,1"]
        calls = iter(r.err.splitlines())
        self.assertTrue(all(any(c in l for l in calls) for c in order), r.err)
        for args in (["-o", root + "/r.txt", "usb"], ["-i", root + "/x"]):
            with self.subTest(args=args):
                self.assertFault(self.zorl(*args, inner=inner), errline(errno.EACCES, args[1]), 13)
        self.assertEqual(os.listdir(root), [])

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
                not os.path.exists("/dev/fuse"):
            self.skipTest("FAT needs /dev/fuse, fusefat and mkfs.fat (dosfstools)")
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

    def test_image_that_cannot_be_created(self):
        self.sim_only()
        nobody = self.as_nobody()
        os.remove(self.image)
        os.chmod(self.dir, 0o555)
        r = self.zorl("chipid", before=nobody)
        os.chmod(self.dir, 0o755)
        self.assertRun(r, "", errline(errno.EACCES, self.image + ": cannot create the board image")
                       + errline(errno.EACCES, GPIO_FAILED), 13)
        self.assertEqual(os.listdir(self.dir), [])

    # ---- runs side by side, and the image changing underneath ------------

    def test_runs_side_by_side(self):
        # Many runs at once, each switching a different bit of PwrCnt or
        # editing a different field of ClkSet1: no bit may be lost.  A
        # switch waits for the others; a ClkSet1 commit that would undo
        # another run's commit is refused with a message, never made.
        if self.standin:
            # The harness fills the stand-in from the image before every run
            # of the board program and copies it back after, so runs at once
            # would overwrite each other's stand-in; the lock itself is the
            # same code in the ARM zorl-sim (e2e_faults of build-arm).
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
        p.send_signal(signal.SIGBUS)
        status, out, err = finish(p)  # an emulator may say it died so
        self.assertEqual((status, out), (-signal.SIGBUS, b""))
        self.assertNotIn(b"image", err)

    def test_report_stopped_halfway_ends_in_a_whole_line(self):
        # The image cut short under a long replay stops it at its next load,
        # wherever the report was: what it handed the system is whole lines
        # only, since a torn last line would replay as another value.
        self.sim_only()
        cmds = self.write_file("cmds", "usb\nclkset1.pll1_x2fdb2=63\n" * 200000)
        out = self.write_file("out.txt", "")
        p = self.start("-i", cmds, "-o", out, stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + TIMEOUT
        while os.path.getsize(out) < 100000 and p.poll() is None and time.monotonic() < deadline:
            time.sleep(0.001)
        os.truncate(self.image, 0)
        self.assertIn(finish(p)[0], (0, errno.ESTALE))
        with open(out, "rb") as f:
            report = f.read()
        self.assertGreater(len(report), 0)
        self.assertEqual(report[-1:], b"\n", report[-40:])

    # ---- closed standard streams -----------------------------------------

    def test_standard_output_closed(self):
        # The report is lost, and the run says so; it never lands in the
        # image, which would otherwise have been given descriptor 1.
        lost = errline(errno.EBADF, "stdout")
        self.assertFault(self.zorl(preexec_fn=closing(1)), lost, 9)
        self.assertFault(self.zorl("chipid", preexec_fn=closing(1)), lost, 9)
        self.assertFault(self.zorl("chipid", "foo", preexec_fn=closing(1)),
                         errline(errno.ENOSYS, "foo") + lost, 38)
        self.assertFault(self.zorl("chipid", preexec_fn=closing(0, 1)), lost, 9)
        # Nor by a name of standard output: test_closed_streams_by_name.
        # A report that goes to a file is not lost.
        out = os.path.join(self.dir, "r.txt")
        self.assertFault(self.zorl("-o", out, "chipid", preexec_fn=closing(1)), "", 0)
        with open(out) as f:
            self.assertEqual(f.read(), CHIPID_OUT)

    def test_standard_input_closed(self):
        # As the command source it is lost, not empty: the run fails, and
        # the edit made on the command line before it is not committed.
        lost = errline(errno.EBADF, "stdin")
        self.assertFault(self.zorl("-w", "-i", "-", preexec_fn=closing(0)), lost, 9)
        self.assertFault(self.zorl("-w", "-i", "-", "clkset1.hclkdiv=2", preexec_fn=closing(0)),
                         lost, 9, CLKSET1_LOAD + lines("# Hclk = fout/4", "clkset1.hclkdiv=2"))
        # By any other name that reaches it, the same (test_closed_streams_by_name).
        # Links that never end are followed a bounded number of times.
        loop = os.path.join(self.dir, "loop")
        os.symlink("loop", loop)
        self.assertFault(self.zorl("-i", loop, preexec_fn=closing(0)),
                         errline(errno.ELOOP, loop), errno.ELOOP)
        # Not the command source: nothing is missing.
        self.assertFault(self.zorl("chipid", preexec_fn=closing(0)), "", 0, CHIPID_OUT)
        self.assertFault(self.zorl(preexec_fn=closing(0, 1, 2)), "", 9)

    def test_closed_streams_by_name(self):
        # A closed standard stream, as the command source or the report, is
        # lost by a name that reaches it, never opened, never empty: by
        # /dev/fd, /proc/self/fd and a link (/dev/stdin), each taken by the
        # kernel.  Every other spelling: the unit tests (ClosedStream).
        edit = CLKSET1_LOAD + lines("# Hclk = fout/4", "clkset1.hclkdiv=2")
        valgrind = PREFIX and os.path.basename(PREFIX[0]) == "valgrind"  # needs standard error
        rows = itertools.product((0, 1) if valgrind else (0, 1, 2),
                                 (("-i", "clkset1.hclkdiv=2"), ("-o", "usb")))
        for (fd, (opt, cmd)), name in zip(rows, itertools.cycle(
                ("/dev/fd/{0}", "/proc/self/fd/{0}", "/dev/{1}"))):
            name = name.format(fd, ("stdin", "stdout", "stderr")[fd])
            with self.subTest(fd=fd, name=name, opt=opt):
                err = "" if fd == 2 else errline(errno.EBADF, name)
                if fd == 1 and opt == "-i":
                    err += errline(errno.EBADF, "stdout")
                out = edit if opt == "-i" and fd != 1 else ""
                self.assertFault(self.zorl("-w", opt, name, cmd, preexec_fn=closing(fd)), err, 9, out)

    def test_devmem_with_standard_output_closed(self):
        # A read cannot answer: it fails, and the image, which would
        # otherwise have been given descriptor 1, gets no text.
        self.assertFault(self.devmem("0x80930020", preexec_fn=closing(1)),
                         errline(errno.EBADF, "stdout: nowhere to print the value, nothing read",
                                 "zr6410-devmem"), 1)
        with open("/dev/full", "wb") as full:
            self.assertFault(self.devmem("0x80930020", stdout=full),
                             errline(errno.ENOSPC, "stdout: the value could not be printed",
                                     "zr6410-devmem"), 1, None)
        # Standard input is not needed to answer.
        self.assertRun(self.devmem("0x80930020", preexec_fn=closing(0)), "0x02B49907\n")
        # A write has nothing to print: it goes ahead.
        want = self.expect_image([(CLKSET1, 0x02A49907)])
        self.assertRun(self.devmem("0x80930020", "32", "0x02A49907", preexec_fn=closing(1)), "")
        self.assertImage(want)

    def test_standard_error_closed(self):
        if PREFIX and os.path.basename(PREFIX[0]) == "valgrind":
            self.skipTest("valgrind does not start with standard error closed")
        # The messages are lost; the status still tells.
        self.assertFault(self.zorl("foo", preexec_fn=closing(2)), "", 38)
        self.assertFault(self.zorl("-w", "-i", self.dir, preexec_fn=closing(2)), "", 21)


if __name__ == "__main__":
    main()
