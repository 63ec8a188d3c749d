"""Every example of the README and of the man pages' EXAMPLES and SAVED
REPORTS, run with zorl-sim as zorl, each block on a fresh board image, and what
the text says beside it checked: the NAME=VALUE figures are printed, "nothing
written" writes nothing, "as it was" (the one way back) puts back a board on
which everything was changed, and a zorl that writes says "without -w"."""

import os
import pathlib
import re
import shlex
import subprocess
import tempfile
import unittest

from pkgtest import BUILD, MANPAGE, MANPAGES, SOURCE

README = os.path.join(SOURCE, "README.md")
# What an example may run; anything else (a build, scp, tar) is left out.
RUN = {"zorl", "zorl-sim", "zr6410-devmem", "echo", "printf", "sed", "cat", "rm", "cp"}
TOKEN = re.compile(r"(?<![\w.])([A-Za-z][\w.]*=\w+)")
NOTHING_WRITTEN = re.compile(r"nothing written|writes nothing")
AS_IT_WAS = re.compile(r"as (it|they) w(as|ere)")
REGISTERS = ("0x80930004", "0x80840040 8", "0x80930020", "0x80930024")  # PwrCnt, port H, ClkSets


def readme_blocks():
    """Each sh block: (command, its comment) per line."""
    for block in re.findall(r"^```sh\n(.*?)^```", pathlib.Path(README).read_text(), re.M | re.S):
        yield [tuple(s.strip() for s in l.partition(" #")[::2]) for l in block.splitlines()]


def roff(line):
    line = re.sub(r"^\.[BIR]+ ", "", line)
    for escape, char in (("\\-", "-"), ("\\(aq", "'"), ("\\e", "\\"), ("\\&", "")):
        line = line.replace(escape, char)
    return line


def manpage_blocks(page, sections="EXAMPLES|SAVED REPORTS"):
    """Each example: its commands, the last with the sentence before them."""
    text = pathlib.Path(page).read_text()
    for section in re.findall(r"(?ms)^\.SH (?:%s)\n(.*?)^\.SH " % sections, text):
        for said, _, cmds in (e.partition(".IP\n") for e in section.split(".PP\n") if ".IP\n" in e):
            cmds = [roff(l) for l in cmds.splitlines() if l != ".br"]
            yield [(c, "") for c in cmds[:-1]] + [(cmds[-1], " ".join(map(roff, said.splitlines())))]


class Examples(unittest.TestCase):
    def run_block(self, block):
        with tempfile.TemporaryDirectory(prefix="zorl-doc-") as tmp:
            os.mkdir(os.path.join(tmp, "bin"))
            for prog, name in (("zorl-sim", "zorl"), ("zorl-sim",) * 2, ("zr6410-devmem",) * 2):
                os.symlink(os.path.join(BUILD, prog), os.path.join(tmp, "bin", name))
            env = dict(os.environ, PATH=os.path.join(tmp, "bin") + os.pathsep + os.environ["PATH"],
                       ZR6410_IMAGE=os.path.join(tmp, "zr6410.img"), LC_ALL="C")

            def sh(cmd):  # standard input a pipe, at its end
                return subprocess.run(["bash", "-c", cmd], cwd=tmp, env=env, input="",
                                      capture_output=True, text=True, timeout=30)

            def registers():
                return [sh("zr6410-devmem " + r).stdout for r in REGISTERS]

            image = pathlib.Path(env["ZR6410_IMAGE"]).read_bytes
            was, out = registers(), ""  # which makes a powered-on image
            start = before = image()
            # What the text says of each command: its comment, or the next one.
            notes = [next((s for _, s in block[i:] if s), "") for i in range(len(block))]
            for (cmd, said), note in zip(block, notes):
                words = shlex.split(cmd) or [""]
                if words[0] == "vi":  # the edit that the comment says
                    text = (path := pathlib.Path(tmp, words[1])).read_text()
                    for token in TOKEN.findall(said):
                        text, n = re.subn(r"(?m)^%s=.*$" % re.escape(token.split("=")[0]), token, text)
                        self.assertTrue(n, "%s: no line of %s to edit" % (token, words[1]))
                    path.write_text(text)
                if words[0] not in RUN:
                    continue
                if AS_IT_WAS.search(said):
                    self.change_everything(sh)
                    self.assertTrue(all(a != b for a, b in zip(was, registers())), registers())
                pre, r = image(), sh(cmd)
                if words[0].startswith("zorl") and "-w" not in words and "without -w" not in note:
                    self.assertTrue(image() == pre, "%s: writes without -w, unsaid" % cmd)
                self.assertEqual(r.returncode, 0, "%s: %s" % (cmd, r.stderr))
                out += r.stdout
                for token in TOKEN.findall(said):
                    self.assertIn(token, out, "%s  # %s" % (cmd, said))
                if NOTHING_WRITTEN.search(said):
                    self.assertTrue(image() == before, "%s wrote: %s" % (cmd, said))
                if AS_IT_WAS.search(said):
                    self.assertTrue(image() == start, "%s: not as it was" % cmd)
                if said:
                    out, before = "", image()

    def change_everything(self, sh):
        """Every switch turned over, every field of ClkSet1 and ClkSet2 moved, all written."""
        report = sh("zorl").stdout
        cmds = ["%s=%s" % (k, {"on": "off", "off": "on"}.get(v, int(v == "0")))
                for k, v in re.findall(r"^(\w+|clkset\d\.\w+)=(on|off|\d+)$", report, re.M)]
        self.assertEqual(sh("zorl -w %s clkset2.write" % " ".join(cmds)).returncode, 0)

    def test_examples(self):
        blocks = [*readme_blocks(), *(b for page in MANPAGES for b in manpage_blocks(page))]
        ways = [b for b in blocks if any(AS_IT_WAS.search(s) for _, s in b)]
        self.assertEqual((ways, bool(ways)), (list(manpage_blocks(MANPAGE, "SAVED REPORTS")), True))
        for block in blocks:
            with self.subTest(block[-1][0]):
                self.run_block(block)


if __name__ == "__main__":
    unittest.main(verbosity=1)
