"""What the packaging tests share: the build directory, the programs and the
clock-set fields as the program itself lists them."""

import os
import re
import subprocess
import tempfile

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.abspath(os.environ.get("ZORL_BIN_DIR", os.path.join(SOURCE, "build")))
MANPAGE = os.path.join(SOURCE, "doc", "zorl.1")
COMPLETION = os.path.join(SOURCE, "completion", "zorl.bash")
LICENSE = os.path.join(SOURCE, "LICENSE")

KEYWORDS = ["ethernet", "usb", "irda", "uart", "write", "dma", "chipid", "clkset1", "clkset2"]
OPTIONS = ["-v", "-w", "-d", "-h", "-i", "-o"]


def zorl_sim(*args):
    """Run zorl-sim on a fresh board image: (status, standard output)."""
    with tempfile.TemporaryDirectory(prefix="zorl-pkg-") as tmp:
        env = dict(os.environ, ZR6410_IMAGE=os.path.join(tmp, "zr6410.img"))
        p = subprocess.run([os.path.join(BUILD, "zorl-sim")] + list(args), env=env,
                           capture_output=True, text=True)
        return p.returncode, p.stdout


def fields(reg):
    """The field names of clkset1 or clkset2, in the program's order."""
    status, out = zorl_sim(reg)
    assert status == 0, out
    return re.findall(r"^%s\.(\w+)=" % reg, out, re.M)


def accepts(reg, field, value):
    return zorl_sim("%s.%s=%d" % (reg, field, value))[0] == 0
