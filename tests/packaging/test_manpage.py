"""The man page: renders without a warning and documents the whole
command language as the program has it."""

import os
import re
import shutil
import subprocess
import unittest

from pkgtest import KEYWORDS, MANPAGE, MANPAGES, OPTIONS, accepts, bits, fields


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, text=True, **kw)


class ManPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        env = dict(os.environ, MANWIDTH="80", MAN_KEEP_FORMATTING="0", LC_ALL="C.UTF-8")
        r = run(["man", "-l", MANPAGE], env=env)
        cls.status, cls.stderr = r.returncode, r.stderr
        # Plain text: drop overstriking (bold, underline).
        cls.text = re.sub(r".\x08", "", r.stdout)

    def test_renders_without_warnings(self):
        self.assertEqual(self.status, 0, self.stderr)
        self.assertEqual(self.stderr, "")
        long = [l for l in self.text.splitlines() if len(l) > 80]
        self.assertEqual(long, [], "lines wider than the terminal")

    def test_groff_finds_nothing_to_warn_about(self):
        for page in MANPAGES:
            r = run(["groff", "-man", "-t", "-ww", "-z", page])
            self.assertEqual((r.returncode, r.stderr), (0, ""), page)

    @unittest.skipUnless(shutil.which("mandoc"), "mandoc is not installed")
    def test_mandoc_lint(self):
        for page in MANPAGES:
            r = run(["mandoc", "-Tlint", "-Wwarning", page])
            self.assertEqual((r.returncode, r.stdout + r.stderr), (0, ""), page)

    def test_sections(self):
        for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "COMMANDS",
                        "CLOCK-SET FIELDS", "COMMAND FILES AND INTERACTIVE USE", "SAVED REPORTS",
                        "EXIT STATUS", "DIAGNOSTICS", "SIMULATED BOARD", "DANGER", "EXAMPLES"):
            self.assertRegex(self.text, r"(?m)^%s$" % section)

    def test_every_option_and_keyword(self):
        for opt in OPTIONS:
            self.assertRegex(self.text, r"(?m)^\s+%s\b" % opt, "option " + opt)
        for kw in KEYWORDS:
            self.assertRegex(self.text, r"(?m)^\s+%s\b" % kw, "keyword " + kw)

    def test_every_field_with_its_bits_and_range(self):
        # The field table's rows, "name  bits  0-max", against the program.
        for reg in ("clkset1", "clkset2"):
            owned = bits(reg)
            for f in fields(reg):
                m = re.search(r"(?m)^\s+%s\s+([\d-]+)\s+0-(\d+)\s" % f, self.text)
                self.assertTrue(m, "%s.%s is not in the field table" % (reg, f))
                self.assertEqual(m.group(1), owned[f], "%s.%s: its bits" % (reg, f))
                top = int(m.group(2))
                self.assertTrue(accepts(reg, f, top), "%s.%s=%d refused" % (reg, f, top))
                self.assertFalse(accepts(reg, f, top + 1), "%s.%s=%d taken" % (reg, f, top + 1))

    def test_exit_statuses(self):
        for status in ("0", "5", "6", "22", "38", "255"):
            self.assertRegex(self.text, r"(?m)^\s+%s\s" % status)


if __name__ == "__main__":
    unittest.main(verbosity=1)
