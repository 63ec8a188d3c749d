"""The bash completion, driven as bash drives it."""

import os
import pty
import re
import select
import shlex
import subprocess
import tempfile
import time
import unittest

from pkgtest import COMPLETION, KEYWORDS, OPTIONS, accepts, fields


def complete(line):
    """What the completion offers for a command line typed up to its end.

    Only the completion script runs: the line is text handed to its bash
    function, and no program named in it is ever started."""
    # bash hands the function the line, the cursor and the line's words,
    # split at white space and at "=".
    words = line.replace("=", " = ").split()
    if line.endswith((" ", "=")):
        words.append("")
    script = """
source %s
COMP_LINE=%s
COMP_POINT=${#COMP_LINE}
COMP_WORDS=(%s)
COMP_CWORD=%d
_zorl
printf '%%s\\n' "${COMPREPLY[@]}"
""" % (shlex.quote(COMPLETION), shlex.quote(line), " ".join(shlex.quote(w) for w in words),
       len(words) - 1)
    out = subprocess.run(["bash", "--norc", "-c", script], check=True, capture_output=True,
                         text=True, timeout=30).stdout
    return [w for w in out.split("\n") if w]


def typed(keys):
    """The words an interactive bash runs for a line typed with a Tab in it
    and "@" after the Tab, each in <>, in a folder holding "my board.txt"."""
    with tempfile.TemporaryDirectory(prefix="zorl-tab-") as tmp:
        open(os.path.join(tmp, "my board.txt"), "w").close()
        pid, fd = pty.fork()
        if pid == 0:
            os.chdir(tmp)
            os.execvpe("bash", ["bash", "--norc", "--noprofile", "-i"],
                       dict(os.environ, INPUTRC="/dev/null", TERM="dumb", PS1="$ "))
        # Ctrl-A puts a printf in front of the line that the Tab made.
        os.write(fd, b"source %s\n%s\t@\x01printf '<%%s>' \n"
                 % (COMPLETION.encode(), keys.encode()))
        got, deadline = b"", time.monotonic() + 10
        try:
            while not (m := re.search(rb"((<[^>\n]*>)+)\$ ", got)) and time.monotonic() < deadline:
                if select.select([fd], [], [], 0.2)[0]:
                    try:
                        chunk = os.read(fd, 4096)
                    except OSError:  # the terminal's other side has gone: its end
                        chunk = b""
                    if not chunk:
                        break
                    got += chunk
        finally:
            os.kill(pid, 9)
            os.waitpid(pid, 0)
            os.close(fd)
        return m and m.group(1).decode()


class Completion(unittest.TestCase):
    def test_at_a_real_prompt(self):
        for keys, words in (("zorl -i my\\ b", "<zorl><-i><my board.txt><@>"),
                            ("zorl clkset1.hclkd", "<zorl><clkset1.hclkdiv@>"),
                            ("zorl dm", "<zorl><dma><@>")):
            self.assertEqual(typed(keys), words, keys)

    def test_options(self):
        self.assertEqual(sorted(complete("zorl -")), sorted(OPTIONS))

    def test_keywords(self):
        self.assertEqual(sorted(complete("zorl ")), sorted(KEYWORDS))
        self.assertEqual(sorted(complete("zorl-sim u")), ["uart", "usb"])

    def test_options_end_at_the_first_command(self):
        self.assertEqual(complete("zorl usb -"), [])

    def test_switch_values(self):
        for line in ("zorl usb=", "zorl -w uart=o", "zorl ether=", "zorl write="):
            with self.subTest(line):
                self.assertEqual(sorted(complete(line)), ["off", "on"])

    def test_files_after_o_and_i(self):
        self.assertIn("/etc/passwd", complete("zorl -o /etc/pass"))
        self.assertIn("/etc/passwd", complete("zorl -w -i /etc/pass"))

    def test_every_field_of_both_registers(self):
        for reg in ("clkset1", "clkset2"):
            with self.subTest(reg):
                want = ["%s.%s" % (reg, f) for f in fields(reg) + ["write"]]
                self.assertEqual(sorted(complete("zorl %s." % reg)), sorted(want))

    def test_field_values_are_what_the_program_accepts(self):
        for reg in ("clkset1", "clkset2"):
            for f in fields(reg):
                with self.subTest(field=f):
                    values = complete("zorl %s.%s=" % (reg, f))
                    numbers = sorted(int(v) for v in values if v.isdigit())
                    self.assertEqual(numbers, list(range(numbers[-1] + 1)))
                    self.assertTrue(accepts(reg, f, numbers[-1]))
                    self.assertFalse(accepts(reg, f, numbers[-1] + 1))
                    self.assertEqual("on" in values, numbers[-1] == 1)

    def test_case_of_the_typed_keyword_is_kept(self):
        for line, want in (("zorl CLKSET2.usb", ["CLKSET2.usbdiv"]), ("zorl US", ["USB"]),
                           ("zorl us", ["usb"]), ("zorl usb=O", ["OFF", "ON"])):
            self.assertEqual(sorted(complete(line)), want, line)

    def test_nothing_after_an_option_the_program_refuses(self):
        for line in ("zorl -wi ", "zorl -x u", "zorl -iw -o /etc/pass"):
            self.assertEqual(complete(line), [], line)


if __name__ == "__main__":
    unittest.main(verbosity=1)
