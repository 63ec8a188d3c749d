"""What the packaging tests share: the build directory, the programs, and the
command keywords, options and clock-set fields as the program itself has
them, so that the man page and the completion are checked against the
program and not against a copy."""

import os
import re
import subprocess
import tempfile

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.abspath(os.environ.get("ZORL_BIN_DIR", os.path.join(SOURCE, "build")))
MANPAGE = os.path.join(SOURCE, "doc", "zorl.1")
MANPAGES = [MANPAGE, os.path.join(SOURCE, "doc", "zr6410-devmem.1")]
COMPLETION = os.path.join(SOURCE, "completion", "zorl.bash")
LICENSE = os.path.join(SOURCE, "LICENSE")



def _source(name):
    with open(os.path.join(SOURCE, "src", "front", name)) as f:
        return f.read()


def _keywords():
    """The dispatcher's keyword table: {"name", shortest, ...} rows."""
    table = re.search(r"kwdef keywords\[\] = \{(.*?)\n\};", _source("cmdlang.cpp"), re.S)
    return re.findall(r'\{"(\w+)", \d+,', table.group(1))


def _options():
    """The option letters of the option loop, and the words of -o and -i."""
    run = _source("run.cpp")
    words = re.findall(r'isprefix\(opt, "(\w)\w*"\)', run)
    letters = re.findall(r"case '(\w)':", run)
    return ["-" + o for o in letters + words]


KEYWORDS = _keywords()
OPTIONS = _options()
assert KEYWORDS and OPTIONS, "the keyword table or the option loop has moved"


def zorl_sim(*args):
    """Run zorl-sim on a fresh board image: (status, standard output)."""
    with tempfile.TemporaryDirectory(prefix="zorl-pkg-") as tmp:
        env = dict(os.environ, ZR6410_IMAGE=os.path.join(tmp, "zr6410.img"))
        p = subprocess.run([os.path.join(BUILD, "zorl-sim")] + list(args), env=env,
                           capture_output=True, text=True, timeout=30)
        return p.returncode, p.stdout


def fields(reg):
    """The field names of clkset1 or clkset2, in the program's order."""
    status, out = zorl_sim(reg)
    assert status == 0, out
    return re.findall(r"^%s\.(\w+)=" % reg, out, re.M)


def bits(reg):
    """Each field's bits, "lo-hi" (or one bit), as the program decodes the
    register with one bit set at a time."""
    status, out = zorl_sim(*["%s=%d" % (reg, 1 << b) for b in range(32)])
    names = fields(reg)
    owned = {}
    for i, (f, v) in enumerate(re.findall(r"^%s\.(\w+)=(\d+)$" % reg, out, re.M)[:32 * len(names)]):
        if int(v):
            owned.setdefault(f, []).append(i // len(names))
    return {f: "-".join(sorted({str(b[0]), str(b[-1])}, key=int)) for f, b in owned.items()}


def accepts(reg, field, value):
    return zorl_sim("%s.%s=%d" % (reg, field, value))[0] == 0
