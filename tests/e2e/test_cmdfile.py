"""Command files and standard input from a pipe: lines, tokens, the stop
rule, over-long lines, sources that cannot be read or hold what no
command file should, and replaying a saved report."""

import os

from zorltest import *


def triple(token, line, code=errno.EINVAL):
    """A failing command in a file: by the command, its token, its line."""
    return errline(code, token) * 2 + errline(code, line)


class CommandFiles(SimTest):
    def run_file(self, text, *args, **kw):
        path = self.write_file("cmds", text)
        return self.zorl(*args, "-i", path, **kw)

    def test_a_failing_command_ends_its_line_and_the_file(self):
        r = self.run_file("ethernet=on usb=bad irda=on\nusb=off\n", "-w")
        self.assertFault(r, triple("usb=bad", "ethernet=on usb=bad irda=on"), 22,
                         "ethernet=on\nUSB=on\n")

    def test_debug_trace(self):
        path = self.write_file("cmds", "usb\n")
        r = self.zorl("-d", "-i", path)
        self.assertRun(r, "USB=on\n", "processing cmd file: %s\ncmdline:usb:\n"
                                      "cmd:usb  n=3  p=usb  p2=  s=\n" % path)

    def test_standard_input_from_a_pipe(self):
        # No banner, no prompt, and the first failing line ends the input.
        self.assertRun(self.zorl("-i", "-", input="usb\nfoo\nirda\n"), "USB=on\n",
                       triple("foo", "foo", errno.ENOSYS), 38)
        self.assertRun(self.zorl("-i", input="usb\n\nirda"), "USB=on\nIRDA=off\n")

    def test_longest_line_that_fits(self):
        line = "usb" + " " * 2043 + "x"  # 2047 characters: runs
        r = self.run_file(line + "\n")
        self.assertRun(r, "USB=on\n", triple("x", line, errno.ENOSYS), 38)

    # ---- sources that cannot be read, or hold what no command file should --

    def test_sources_that_cannot_be_read(self):
        # The read error ends the run: an edit made on the command line
        # before it is not committed at exit.
        for name, code in ((os.path.join(self.dir, "nofile"), errno.ENOENT),
                           (self.dir, errno.EISDIR)):
            for edit in ((), ("clkset1.hclkdiv=2",)):
                with self.subTest(name=name, edit=edit):
                    self.assertFault(self.zorl("-w", "-i", name, *edit), errline(code, name), code,
                                     HCLK_EDIT if edit else "")

    def test_input_with_a_nul_byte(self):
        # The lines before it run; the line and everything after it do not.
        path = self.write_file("nul", b"clkset1.hclkdiv=2\nus\0b=off\nirda=on\n")
        self.assertFault(self.zorl("-w", "-i", path), errline(errno.EINVAL, LINE_NUL), 22,
                         HCLK_EDIT)

    def test_bytes_in_messages(self):
        # Bytes that are not UTF-8 reach standard error as they are; those
        # below 0x20 and 0x7F escaped, so that a command file cannot retitle
        # or clear the terminal.  The report is not touched, but a switch
        # shows its state even when the value is refused.
        for text, status, shown in (
                (b"usb=\xff\xfe", 22, None), (b"\xc3\x28", 38, None),
                (b"clkset1.hclkdiv=\xe2\x82", 22, None), (b"\x80usb=off", 38, None),
                (b"\x1b]0;pwned\x07", 38, b"\\033]0;pwned\\007"),
                (b"usb=\x1b[2J", 22, b"usb=\\033[2J"),
                (b"clkset1.hclkdiv=\x7f\x01", 22, b"clkset1.hclkdiv=\\177\\001")):
            with self.subTest(text):
                path = self.write_file("bytes", text + b"\nirda=on\n")
                shown = shown or text
                err = b"[zorl-sim] %s : %s\n" % (strerror(status).encode(), shown) * 3
                if text.startswith(b"clkset1"):
                    err = b'"%s" number expected\n' % shown[16:] + err
                out = {b"u": "USB=on\n", b"c": CLKSET1_LOAD}.get(text[:1], "")
                self.assertFault(self.zorl("-w", "-i", path), err.decode("utf-8", "replace"),
                                 status, out)

    def test_input_with_100kb_lines(self):
        # Valid commands, but the line does not fit: none of it runs, and the
        # source stops there (the length itself: LogicalLines).
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
        # The last line was to go on, and what was to follow may be what a
        # truncated file lost: it is not run, and the run fails, so that
        # neither it nor the exit commit of the edits before it happen.
        err = errline(errno.EINVAL, LINE_CUT_OFF)
        for text, out in (("usb\nusb=off \\", "USB=on\n"), ("usb\nusb=off \\\n", "USB=on\n"),
                          ("usb \\\nirda=on \\\n", ""), ("usb \\\nirda=on \\", ""),
                          ("usb=off\\\n", "")):
            with self.subTest(text):
                path = self.write_file("cont", text)
                self.assertFault(self.zorl("-w", "-i", path, "clkset1.hclkdiv=2"), err, 22,
                                 HCLK_EDIT + out)
                self.assertFault(self.zorl("-w", "-i", "-", "clkset1.hclkdiv=2", input=text),
                                 err, 22, HCLK_EDIT + out)

    def test_endless_input(self):
        # A source whose line never ends: the run ends, without the exit
        # commit, as soon as the line cannot be run, never waiting for a
        # newline.  The time limits stop a run that would read for ever.
        nul = errline(errno.EINVAL, LINE_NUL)
        long = errline(errno.EINVAL, LINE_TOO_LONG)
        self.assertFault(self.zorl("-w", "-i", "/dev/zero", "clkset1.hclkdiv=2"), nul, 22,
                         HCLK_EDIT)
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


class Replay(SimTest):
    def test_a_saved_report_replays_without_errors(self):
        report = os.path.join(self.dir, "report.txt")
        self.assertRun(self.zorl("-o", report), "")
        before = self.read_image()
        r = self.zorl("-i", report)
        self.assertRun(r, None)
        self.assertImage(before)
        # Replaying sets the same states and fields: the output lists them.
        with open(report) as f:
            saved = f.read()
        self.assertEqual(saved, STATUS_RUN)
        for line in saved.splitlines():
            if line and not line.startswith("#"):
                self.assertIn(line.lower(), r.out.lower())

    def test_save_edit_and_apply_with_writing_enabled(self):
        report = os.path.join(self.dir, "report.txt")
        self.assertRun(self.zorl("-o", report), "")
        with open(report) as f:
            text = f.read()
        text = text.replace("USB=on", "USB=off").replace("IRDA=off", "IRDA=on")
        text = text.replace("clkset1.hclkdiv=3", "clkset1.hclkdiv=2")
        text = text.replace("clkset2.usbdiv=3", "clkset2.usbdiv=1\nclkset2.write")
        self.write_file("report.txt", text)
        before = self.read_image()

        r = self.zorl("-i", report)  # without -w only ClkSet2's explicit commit writes
        self.assertRun(r, None)
        self.assertIn("# new clkset1=0x02a49907\n#  ....has NOT been actioned.\n", r.out)
        self.assertImage(changed(before, (CLKSET2, 0x100DC317)))

        self.write_image(before)
        r = self.zorl("-w", "-i", report)
        self.assertRun(r, None)
        self.assertIn("# new clkset1=0x02a49907\n#  ....has been actioned.\n", r.out)
        self.assertImage(changed(before, (PWRCNT, 0x80030000), (CLKSET1, 0x02A49907),
                                 (CLKSET2, 0x100DC317)))

    def test_a_board_state_saved_then_restored(self):
        # Change the board, save its state, power it on again, apply the save.
        self.assertRun(self.zorl("-w", "usb=off", "uart=on", "ethernet=off",
                                 "clkset1.pll1_ps=1", "clkset1.fclkdiv=2"), None)
        changed_state = self.read_image()
        report = os.path.join(self.dir, "report.txt")
        self.assertRun(self.zorl("-o", report), "")
        self.write_image(power_on_image())
        self.assertRun(self.zorl("-w", "-i", report), None)
        self.assertImage(changed_state)


if __name__ == "__main__":
    main()
