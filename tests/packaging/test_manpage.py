"""The man pages: render cleanly, and give the command language and every
message as the programs have them."""

import ast
import os
import pathlib
import re
import shutil
import subprocess
import unittest

from pkgtest import BUILD, KEYWORDS, MANPAGES, OPTIONS, SOURCE

# Each page, and the rooms or files whose messages it gives (a file not there is skipped).
ROOMS = {"zorl.1": "base front regs board plat prog/main.cpp prog/zorl.cpp",
         "zorl-sim.1": "sim prog/zorl-sim.cpp", "zr6410-devmem.1": "prog/zr6410-devmem.cpp"}
# A message: each literal of a statement that gives it to a message function, makes it in a
# message buffer or hands it on (bad, return, badline[]); what errstore writes; a switch's guard.
STRING = r'"(?:[^"\\]|\\.)*"'
STATEMENT = r"(?:%s|'(?:[^'\\]|\\.)*'|[^;\"'])+" % STRING
MESSAGE = re.compile(r"\b(?:err_rpt|errline|errpath|fail|failstart|diag|putmsg|refuse|trace"
                     r'|samefile)\(|\bsnprintf\((?:why|text)\b|\bbad =|\breturn "|\bbadline\[\]')
ALSO = r"(?ms)^void errstore\(.*?^\}|swdef \w+ = \{\w+, \w+, (%s)" % STRING
NOISE = re.compile(r"//[^\n]*|/\*.*?\*/|^#[^\n]*", re.S | re.M)  # comments, preprocessor lines
RUN = dict(capture_output=True, text=True, timeout=30)


def messages(room):
    """Each line of a message that a room's sources print."""
    found = set()
    for part in room.split():
        path = os.path.join(SOURCE, "src", part)
        for name in [path] * os.path.isfile(path) or pathlib.Path(path).glob("*.cpp"):
            code = NOISE.sub("", pathlib.Path(name).read_text())
            code = re.sub(r'"\s*ZORL_STR\(\w+\)\s*"', "%d", code)  # the number it makes
            code = ";".join([s for s in re.findall(STATEMENT, code) if MESSAGE.search(s)] +
                            [m[0] for m in re.finditer(ALSO, code)])
            for adjacent in re.findall(r"(?:%s\s*)+" % STRING, code):
                text = "".join(map(ast.literal_eval, re.findall(STRING, adjacent)))
                found |= {l.strip() for l in text.split("\n") if re.search("[a-z]", l)}
    return found


def undocumented(section, wanted):
    """The messages in no row of a rendered DIAGNOSTICS whose text gives a cause and a status."""
    said = {" ".join(r.split()): " ".join(re.findall(r"(?m)^ {14}(\S.*)", r))
            for r in section.split("\n\n")}
    rows = [r for r, s in said.items() if len(s.split()) > 3 and re.search(r"\bstatus\b[^.]*\d", s)]
    pattern = {m: ".+?".join(map(re.escape, re.split(r"%[-#0-9.*]*[a-z]+", m))) for m in wanted}
    return [m for m in wanted if not any(re.search(pattern[m], r) for r in rows)]  # %s: any text


class ManPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        env = dict(os.environ, MANWIDTH="80", MAN_KEEP_FORMATTING="0", LC_ALL="C.UTF-8")
        cls.rendered = {os.path.basename(p): subprocess.run(["man", "-l", p], env=env, **RUN)
                        for p in MANPAGES}
        cls.text = {p: re.sub(r".\x08", "", r.stdout) for p, r in cls.rendered.items()}  # no bold
        r = subprocess.run([os.path.join(BUILD, "zorl-sim"), "-h"], env={}, **RUN)
        cls.version = re.fullmatch(r"# zorl-sim version (\S+)\n", r.stderr)[1]

    def test_renders_without_warnings_with_the_programs_version(self):
        lint = [c for c in (["groff", "-man", "-t", "-ww", "-z"], ["mandoc", "-Tlint", "-Wwarning"])
                if shutil.which(c[0])]
        for page, r in zip(MANPAGES, self.rendered.values()):
            long = [l for l in self.text[os.path.basename(page)].splitlines() if len(l) > 80]
            self.assertEqual((r.returncode, r.stderr, long), (0, "", []), page)  # none over 80
            th = pathlib.Path(page).read_text().split("\n")[1]
            self.assertRegex(th, r'^\.TH \S+ 1 \S+ "zorl %s" ' % self.version)
            for cmd in lint:
                r = subprocess.run(cmd + [page], **RUN)
                self.assertEqual((r.returncode, r.stdout + r.stderr), (0, ""), (cmd[0], page))

    def test_sections_options_keywords_and_statuses(self):
        self.assertEqual(re.findall(r"(?m)^[A-Z][A-Z -]+$", self.text["zorl.1"]), [
            "NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "COMMANDS", "CLOCK-SET FIELDS",
            "COMMAND FILES AND INTERACTIVE USE", "SAVED REPORTS", "EXIT STATUS", "DIAGNOSTICS",
            "OTHER USERS", "FILES", "LIMITS", "DANGER", "EXAMPLES", "SEE ALSO"])
        for word in OPTIONS + KEYWORDS + ["0", "5", "6", "22", "38", "255"]:
            self.assertRegex(self.text["zorl.1"], r"(?m)^\s+%s\b" % re.escape(word))

    def test_every_field_with_its_bits_and_range(self):
        # The rows "name  bits  0-max" against the program's tables (unit test FieldBoundsAndBits).
        code = pathlib.Path(SOURCE, "src", "front", "clkset.cpp").read_text()
        for table in re.findall(r"clkset\dfields\[\] = \{(.*?)\n\};", code, re.S):
            for f, low, width, top in re.findall(r'\{"(\w+)", (\d+), (\d+), (\d+),', table):
                m = re.search(r"(?m)^\s+%s\s+([\d-]+)\s+0-(\d+)\s" % f, self.text["zorl.1"])
                high = "-%d" % (int(low) + int(width) - 1) * (width != "1")
                self.assertEqual(m and m.groups(), (low + high, top), f)

    def test_every_message_on_its_programs_page(self):
        for name, room in ROOMS.items():
            section = re.search(r"(?ms)^DIAGNOSTICS\n(.*?)^\S", self.text[name])[1]
            wanted = messages(room)
            self.assertEqual((bool(wanted), undocumented(section, wanted)), (True, []), name)
            row = section.rstrip().split("\n\n")[-1]  # the canary: this row cut, or left bare
            for cut in ("", "\n".join(re.findall(r"(?m)^ {7}\S.*", row))):
                self.assertTrue(undocumented(section.replace(row, cut), wanted), name + ": blind")


if __name__ == "__main__":
    unittest.main(verbosity=1)
