"""Interactive use: standard input is a terminal (a pseudo-terminal here)."""

import os
import subprocess
import termios

from zorltest import *

PROMPT = "\nzorl> "
EOF = b"\x04"  # end of input at the start of a line of a terminal


class Interactive(SimTest):
    def session(self, typed, *args, stdout=subprocess.PIPE):
        """Run zorl-sim -i - at a terminal, type the lines, then end the input."""
        master, slave = os.openpty()
        attrs = termios.tcgetattr(slave)
        attrs[3] &= ~termios.ECHO  # keep what is typed out of the way
        termios.tcsetattr(slave, termios.TCSANOW, attrs)
        p = self.start(*args, "-i", "-", stdin=slave, stdout=stdout)
        os.close(slave)
        try:
            os.write(master, typed.encode() + EOF)
            status, out, err = finish(p)
        finally:
            os.close(master)
        return Result(out and out.decode(), err.decode(), status)

    def test_banner_prompt_and_commands(self):
        r = self.session("usb\nirda\n")
        self.assertRun(r, BANNER_OFF + PROMPT + "USB=on\n" + PROMPT + "IRDA=off\n" + PROMPT)

    def test_goes_on_after_a_failing_line(self):
        r = self.session("usb=bad\nfoo\nusb=off\n", "-w")
        self.assertRun(r, BANNER_ON + PROMPT + "USB=on\n" + PROMPT + PROMPT + "USB=off\n" + PROMPT,
                       errline(errno.EINVAL, "usb=bad") * 3
                       + errline(errno.ENOSYS, "foo") * 3)
        self.assertImage(changed(self.before, (PWRCNT, 0x00030000)))

    def test_exit_summary_after_an_interactive_run(self):
        r = self.session("clkset1.hclkdiv=9\nclkset1.pclkdiv\n")
        self.assertRun(r, BANNER_OFF + PROMPT + CLKSET1_LOAD + PROMPT
                       + lines("# Pclk = Hclk/2", "clkset1.pclkdiv=1") + PROMPT + CLKSET1_UNCHANGED,
                       errline(errno.EINVAL, "clkset1.hclkdiv=9") * 3)

    def test_over_long_line_at_the_prompt(self):
        r = self.session("x" * 3000 + "\nusb\n")
        self.assertRun(r, BANNER_OFF + PROMPT + PROMPT + "USB=on\n" + PROMPT,
                       errline(errno.EINVAL, LINE_TOO_LONG))

    def test_reader_gone(self):
        # Whoever read the report has gone: the session still takes every
        # line typed until the input ends, then says the report was lost.
        # With the report in a -o file, only prompts are lost: no failure.
        out = os.path.join(self.dir, "out.txt")
        for opts, err, status, kept in (([], errline(errno.EPIPE, "stdout"), errno.EPIPE, ""),
                                        (["-o", out], "", 0, BANNER_ON + "USB=off\nIRDA=on\n")):
            with self.subTest(opts):
                self.write_image(power_on_image())
                rd, wr = os.pipe()
                os.close(rd)
                try:
                    r = self.session("usb=off\nirda=on\n", "-w", *opts, stdout=wr)
                finally:
                    os.close(wr)
                self.assertRun(r, None, err, status)
                self.assertImage(changed(power_on_image(), (PWRCNT, 0x80030000)))
        with open(out) as f:
            self.assertEqual(f.read(), kept)

    def test_end_of_input_right_away(self):
        self.assertRun(self.session(""), BANNER_OFF + PROMPT)


if __name__ == "__main__":
    main()
