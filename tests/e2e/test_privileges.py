"""Privileges and closed standard streams: a program installed with a
privilege opens what the user names with the user's rights only, and a
standard stream closed at start is lost, by whatever name, never opened.
"""

import itertools

from zorltest import *


class Privileges(SimTest):
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
                         lost, 9, HCLK_EDIT)
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
                out = HCLK_EDIT if opt == "-i" and fd != 1 else ""
                self.assertFault(self.zorl("-w", opt, name, cmd, preexec_fn=closing(fd)), err, 9,
                                 out)

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
