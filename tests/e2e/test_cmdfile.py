"""Command files and standard input from a pipe: lines, tokens, the stop
rule, over-long lines and replaying a saved report."""

import os

from zorltest import *


def triple(token, line, code=errno.EINVAL):
    """A failing command in a file: by the command, its token, its line."""
    return errline(code, token) * 2 + errline(code, line)


class CommandFiles(SimTest):
    def run_file(self, text, *args, **kw):
        path = self.write_file("cmds", text)
        return self.zorl(*args, "-i", path, **kw)

    def test_comments_and_empty_lines_are_skipped(self):
        text = "# a comment\n\n   \n\t# indented comment\nusb\n  irda  \n#usb=bad\n"
        self.assertRun(self.run_file(text), "USB=on\nIRDA=off\n")

    def test_a_hash_after_a_command_is_a_command(self):
        r = self.run_file("usb=off #note\nirda\n")
        self.assertRun(r, "USB=off\n", triple("#note", "usb=off #note", errno.ENOSYS),
                       38)

    def test_quotes_and_parentheses(self):
        for line in ("'usb=off'", '"usb=off"', "(usb=off)", "  'usb=off'  (irda)"):
            with self.subTest(line):
                r = self.run_file(line + "\n")
                self.assertEqual(r.out.split("\n")[0], "USB=off")
                self.assertEqual((r.err, r.status), ("", 0))
        # Quotes and parentheses keep separators together; each is one command.
        self.assertRun(self.run_file("'usb =off'\n"), "",
                       triple("usb =off", "'usb =off'", errno.ENOSYS), 38)

    def test_a_failing_command_ends_its_line_and_the_file(self):
        before = self.read_image()
        r = self.run_file("ethernet=on usb=bad irda=on\nusb=off\n", "-w")
        self.assertRun(r, "ethernet=on\nUSB=on\n",
                       triple("usb=bad", "ethernet=on usb=bad irda=on"), 22)
        self.assertImage(before)

    def test_continuation_lines(self):
        before = self.read_image()
        r = self.run_file("usb=off \\\nirda=on\\\n\n", "-w", "-d")
        self.assertRun(r, "USB=off\nIRDA=on\n", None)
        self.assertIn("cmdline:usb=off  irda=on :\n", r.err)
        self.assertImage(changed(before, (PWRCNT, 0x80030000)))

    def test_last_line_without_a_newline(self):
        self.assertRun(self.run_file("usb\nirda"), "USB=on\nIRDA=off\n")

    def test_continued_last_line_is_refused(self):
        # What was to follow may be what a truncated file lost: not run, and
        # the run does not end in success.
        before = self.read_image()
        for text in ("usb\nusb=off \\", "usb\nusb=off \\\n"):
            with self.subTest(text):
                self.assertRun(self.run_file(text, "-w"), "USB=on\n",
                               errline(errno.EINVAL, LINE_CUT_OFF), 22)
        self.assertImage(before)

    def test_missing_file(self):
        path = os.path.join(self.dir, "none")
        self.assertRun(self.zorl("-i", path), "",
                       errline(errno.ENOENT, path), 2)

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

    def test_over_long_lines_are_not_run_at_all(self):
        # Valid commands, but the line does not fit: none of it runs, and the
        # file stops there.
        long = " ".join(["usb=off"] * 700)  # 5599 characters
        before = self.read_image()
        r = self.run_file("irda\n" + long + "\nuart\n", "-w")
        self.assertRun(r, "IRDA=off\n",
                       errline(errno.EINVAL, LINE_TOO_LONG), 22)
        self.assertImage(before)

    def test_a_line_made_too_long_by_its_continuations(self):
        part = " ".join(["usb=off"] * 100)  # 799 characters a line
        before = self.read_image()
        r = self.run_file("%s \\\n%s \\\n%s\nirda\n" % (part, part, part), "-w")
        self.assertRun(r, "", errline(errno.EINVAL, LINE_TOO_LONG), 22)
        self.assertImage(before)

    def test_longest_line_that_fits(self):
        line = "usb" + " " * 2043 + "x"  # 2047 characters: runs
        r = self.run_file(line + "\n")
        self.assertRun(r, "USB=on\n", triple("x", line, errno.ENOSYS), 38)


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
