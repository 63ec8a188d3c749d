"""The examples of the README and of the man page's EXAMPLES, run as a user
types them, each block on a fresh board image, with zorl-sim as zorl.  What
the text says beside a command (a comment, or the sentence that introduces
the example) is checked: every NAME=VALUE it shows is in what the program
printed, "nothing written" leaves the board alone, and "as it was" puts
back a board on which everything the commands can set was changed."""

import os
import re
import shlex
import subprocess
import tempfile
import unittest

from pkgtest import BUILD, MANPAGE, MANPAGES, SOURCE

README = os.path.join(SOURCE, "README.md")
# What an example may run; anything else (a build, scp, tar) is left out.
RUN = {"zorl", "zr6410-devmem", "echo", "printf", "sed", "cat", "rm", "cp"}
TOKEN = re.compile(r"(?<![\w.])([A-Za-z][\w.]*=\w+)")
NOTHING_WRITTEN = re.compile(r"nothing written|writes nothing")
AS_IT_WAS = re.compile(r"as (it|they) w(as|ere)")
REGISTERS = ("0x80930004", "0x80840040 8", "0x80930020", "0x80930024")  # PwrCnt, port H, ClkSets


def readme_blocks():
    """Each sh block: (command, its comment) per line."""
    with open(README) as f:
        for block in re.findall(r"^```sh\n(.*?)^```", f.read(), re.M | re.S):
            yield [tuple(s.strip() for s in l.partition(" #")[::2]) for l in block.splitlines()]


def roff(line):
    line = re.sub(r"^\.[BIR]+ ", "", line)
    for escape, char in (("\\-", "-"), ("\\(aq", "'"), ("\\e", "\\"), ("\\&", "")):
        line = line.replace(escape, char)
    return line


def manpage_blocks(page):
    """Each example: its commands, the last with the sentence before them."""
    with open(page) as f:
        section = re.search(r"^\.SH EXAMPLES\n(.*?)^\.SH ", f.read(), re.M | re.S).group(1)
    for example in section.split(".PP\n"):
        said, _, cmds = example.partition(".IP\n")
        cmds = [roff(l) for l in cmds.splitlines() if l != ".br"]
        yield [(c, "") for c in cmds[:-1]] + [(cmds[-1], " ".join(map(roff, said.splitlines())))]


class Examples(unittest.TestCase):
    def run_block(self, block):
        with tempfile.TemporaryDirectory(prefix="zorl-doc-") as tmp:
            os.mkdir(os.path.join(tmp, "bin"))
            os.symlink(os.path.join(BUILD, "zorl-sim"), os.path.join(tmp, "bin", "zorl"))
            os.symlink(os.path.join(BUILD, "zr6410-devmem"), os.path.join(tmp, "bin", "zr6410-devmem"))
            env = dict(os.environ, PATH=os.path.join(tmp, "bin") + os.pathsep + os.environ["PATH"],
                       ZR6410_IMAGE=os.path.join(tmp, "zr6410.img"), LC_ALL="C")

            def sh(cmd):  # standard input a pipe, at its end
                return subprocess.run(["bash", "-c", cmd], cwd=tmp, env=env, input="",
                                      capture_output=True, text=True, timeout=30)

            def registers():
                return [sh("zr6410-devmem " + r).stdout for r in REGISTERS]

            def image():
                with open(env["ZR6410_IMAGE"], "rb") as f:
                    return f.read()

            sh("zr6410-devmem " + REGISTERS[0])  # makes the powered-on image
            start = before = image()
            was = registers()
            out = ""
            for cmd, said in block:
                words = shlex.split(cmd) or [""]
                if words[0] == "vi":  # the edit that the comment says
                    path = os.path.join(tmp, words[1])
                    with open(path) as f:
                        text = f.read()
                    for token in TOKEN.findall(said):
                        key = re.escape(token.split("=")[0])
                        text, n = re.subn(r"(?m)^%s=.*$" % key, token, text)
                        self.assertTrue(n, "%s: no line of %s to edit" % (token, words[1]))
                    with open(path, "w") as f:
                        f.write(text)
                    continue
                if words[0] not in RUN:
                    continue
                if AS_IT_WAS.search(said):
                    self.change_everything(sh)
                    changed = registers()
                    self.assertTrue(all(a != b for a, b in zip(was, changed)), changed)
                r = sh(cmd)
                self.assertEqual(r.returncode, 0, "%s: %s" % (cmd, r.stderr))
                out += r.stdout
                if not said:
                    continue
                for token in TOKEN.findall(said):
                    self.assertIn(token, out, "%s  # %s" % (cmd, said))
                if NOTHING_WRITTEN.search(said):
                    self.assertTrue(image() == before, "%s wrote: %s" % (cmd, said))
                if AS_IT_WAS.search(said):
                    self.assertEqual(registers(), was, cmd)
                    self.assertTrue(image() == start, cmd)
                out, before = "", image()

    def change_everything(self, sh):
        """Every switch turned over, every field of ClkSet1 and ClkSet2
        moved, all written."""
        report = sh("zorl").stdout
        cmds = ["%s=%s" % (k, "off" if v == "on" else "on")
                for k, v in re.findall(r"^(\w+)=(on|off)$", report, re.M)]
        cmds += ["%s=%d" % (f, v == "0") for f, v in re.findall(r"^(clkset\d\.\w+)=(\d+)$", report, re.M)]
        self.assertEqual(sh("zorl -w %s clkset2.write" % " ".join(cmds)).returncode, 0)

    def test_readme(self):
        self.check(list(readme_blocks()))

    def test_manpage(self):
        self.check(list(manpage_blocks(MANPAGE)))
        for page in MANPAGES[1:]:
            self.check(list(manpage_blocks(page)), way_back=False)

    def check(self, blocks, way_back=True):
        if way_back:
            self.assertTrue(any(AS_IT_WAS.search(said) for b in blocks for _, said in b), "no way back")
        for block in blocks:
            with self.subTest(block[0][0]):
                self.run_block(block)


if __name__ == "__main__":
    unittest.main(verbosity=1)
