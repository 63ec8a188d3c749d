"""What the packaging tests share: the build directory, the programs, and the
command keywords, options and clock-set fields as the program itself has
them, so that the man page and the completion are checked against the
program and not against a copy."""

import os
import pathlib
import re
import subprocess
import tempfile

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.abspath(os.environ.get("ZORL_BIN_DIR", os.path.join(SOURCE, "build")))
MANPAGE = os.path.join(SOURCE, "doc", "zorl.1")
MANPAGES = [os.path.join(SOURCE, "doc", p) for p in ("zorl.1", "zorl-sim.1", "zr6410-devmem.1")]
COMPLETION = os.path.join(SOURCE, "completion", "zorl.bash")
LICENSE = os.path.join(SOURCE, "LICENSE")


# The dispatcher's keyword table ({"name", shortest, ...} rows); the option
# letters of the option loop, and the words of -o and -i.
_CMDLANG, _RUN = (pathlib.Path(SOURCE, "src", "front", f).read_text()
                  for f in ("cmdlang.cpp", "run.cpp"))
KEYWORDS = re.findall(r'\{"(\w+)", \d+,',
                      re.search(r"kwdef keywords\[\] = \{(.*?)\n\};", _CMDLANG, re.S)[1])
OPTIONS = ["-" + o for o in
           re.findall(r"case '(\w)':", _RUN) + re.findall(r'isprefix\(opt, "(\w)\w*"\)', _RUN)]
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


def accepts(reg, field, value):
    return zorl_sim("%s.%s=%d" % (reg, field, value))[0] == 0
