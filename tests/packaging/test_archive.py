"""cpack -G TGZ in the board flavour: the one archive a board owner takes."""

import os
import subprocess
import sys
import tarfile
import tempfile
import unittest

from pkgtest import BUILD, LICENSE

READELF = os.environ.get("ZORL_READELF", "readelf")
NAME = "zorl-0.1-Linux-armv4t"
MEMBERS = ["bin/zorl", "share/bash-completion/completions/zorl", "share/doc/zorl/LICENSE",
           "share/doc/zorl/README.md",
           "share/man/man1/zorl.1"]


class Archive(unittest.TestCase):
    def test_archive_holds_the_static_stripped_board_program(self):
        with tempfile.TemporaryDirectory(prefix="zorl-cpack-") as tmp:
            subprocess.run(["cpack", "-G", "TGZ", "-B", tmp, "--config",
                            os.path.join(BUILD, "CPackConfig.cmake")],
                           check=True, capture_output=True)
            path = os.path.join(tmp, NAME + ".tar.gz")
            with tarfile.open(path) as tar:
                files = sorted(m.name for m in tar.getmembers() if m.isfile())
                self.assertEqual(files, [NAME + "/" + m for m in MEMBERS])
                tar.extractall(tmp)
            zorl = os.path.join(tmp, NAME, "bin", "zorl")
            self.assertTrue(os.access(zorl, os.X_OK))
            headers = subprocess.run([READELF, "-lSW", zorl], check=True, capture_output=True,
                                     text=True).stdout
            self.assertNotIn("INTERP", headers)
            self.assertNotIn(".symtab", headers)
            with open(os.path.join(tmp, NAME, "share/doc/zorl/LICENSE"), "rb") as a, \
                    open(LICENSE, "rb") as b:
                self.assertEqual(a.read(), b.read(), "the licence travels with the program")
            print("%s: bin/zorl %d bytes" % (os.path.basename(path), os.path.getsize(zorl)),
                  file=sys.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=1)
