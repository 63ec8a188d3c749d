"""The report stream and its writers under faults: report files that cannot
be opened or written, a report that would be read back as commands or land
in the register store, pipes and readers that stop or go away.
"""

import fcntl
import itertools
import signal
import socket

from zorltest import *


class Output(SimTest):
    def test_output_that_cannot_be_opened_and_through_a_link(self):
        # As fopen "a" or the shell's >> would: a link to a file not yet
        # made creates that file; a link into a missing folder fails, and so
        # do a folder and a missing one, making nothing.  The time limit
        # stops a run that would retry for ever.
        link = os.path.join(self.dir, "report.txt")
        cases = [  # the name, where it links to, the errno, the file that results
            (self.dir, None, errno.EISDIR, None),
            (os.path.join(self.dir, "missing", "r.txt"), None, errno.ENOENT, None),
            (link, "missing.txt", 0, "missing.txt"),
            (link, os.path.join(self.dir, "abs.txt"), 0, "abs.txt"),
            (link, "nodir/r.txt", errno.ENOENT, None),
        ]
        for name, target, code, made in cases:
            with self.subTest(name=name, target=target):
                if target:
                    os.symlink(target, link)
                r = self.zorl("-w", "-o", name, "usb=off" if code else "usb", timeout=30)
                self.assertFault(r, errline(code, name) if code else "", code)
                if made:
                    with open(os.path.join(self.dir, made)) as f:
                        self.assertEqual(f.read(), "USB=on\n")
                    os.remove(os.path.join(self.dir, made))
                self.assertFalse({"missing", "nodir"} & set(os.listdir(self.dir)))
                if target:
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
        loop = subprocess.run(["sh", "-c", 'exec losetup -f --show "$0"', path], capture_output=True,
                              text=True)  # where losetup is missing too, the cases below skip
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
        # A pipe of one page (a socket of a small buffer), not read until
        # the writer sleeps in its write nor until a signal has ended the
        # run: a write that fits the pipe's atomic size (the socket's
        # buffer) and ends a line is made whole or not at all.
        cmds = self.write_file("cmds", "clkset1\nclkset1.pll1_x2fdb2=63\n" * 60)
        fifo = os.path.join(self.dir, "fifo")
        os.mkfifo(fifo)
        for stream, sig in itertools.product(("stdout", "stderr", "fifo", "socket"), (
                signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGKILL)):
            with self.subTest(stream=stream, sig=sig):
                if stream == "socket":
                    ours, theirs = socket.socketpair()
                    theirs.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 4000)
                    rd, wr = ours.detach(), theirs.detach()
                else:
                    rd, wr = (os.open(fifo, os.O_RDONLY | os.O_NONBLOCK), None) \
                        if stream == "fifo" else os.pipe()
                    fcntl.fcntl(rd, 1031, 4096)  # F_SETPIPE_SZ
                p = self.start("-d" if stream == "stderr" else "-v", "-i", cmds, stdin=None,
                               *([] if wr else ["-o", fifo]),
                               **{"stderr" if stream == "stderr" else "stdout": wr or subprocess.DEVNULL})
                if wr:
                    os.close(wr)
                wait_state(p, "sock_alloc" if stream == "socket" else "pipe_write")
                p.send_signal(sig)
                finish(p)  # before the pipe is read: that would let the write go on
                got = read_upto(rd, 1 << 20)
                os.close(rd)
                self.assertEqual(got[-1:], b"\n", got[-40:])

    def test_stream_left_non_blocking(self):
        # Another program left the pipe of the report, or of the commands,
        # non-blocking: the run waits for room or for input and goes on, and
        # leaves the flags as they were.
        cmds = self.write_file("cmds", "clkset1\nclkset2\n" * 200)
        want = self.zorl("-i", cmds).out.encode()
        rd, wr = os.pipe()
        fcntl.fcntl(rd, 1031, 4096)  # F_SETPIPE_SZ
        os.set_blocking(wr, False)
        p = self.start("-i", cmds, stdin=None, stdout=wr)
        wait_state(p, "poll")
        self.assertEqual(read_upto(rd, len(want)), want)
        self.assertEqual((finish(p), os.get_blocking(wr)), ((0, None, b""), False))
        os.close(rd)
        os.close(wr)
        rd, wr = os.pipe()
        os.set_blocking(rd, False)
        p = self.start("-i", "-", stdin=rd)
        wait_state(p, "poll")
        os.write(wr, b"usb\n")
        os.close(wr)
        self.assertEqual((finish(p), os.get_blocking(rd)), ((0, b"USB=on\n", b""), False))
        os.close(rd)

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


if __name__ == "__main__":
    main()
