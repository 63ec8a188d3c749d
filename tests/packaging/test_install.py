"""cmake --install: where each file goes, the components, DESTDIR."""

import os
import subprocess
import tempfile
import unittest

from pkgtest import BUILD, COMPLETION, LICENSE, MANPAGE


def install(prefix, *args, destdir=None):
    env = dict(os.environ)
    env.pop("DESTDIR", None)
    if destdir:
        env["DESTDIR"] = destdir
    subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix] + list(args), env=env,
                   check=True, capture_output=True)


def tree(root):
    return sorted(os.path.relpath(os.path.join(d, f), root)
                  for d, _, files in os.walk(root) for f in files)


BOARD = ["bin/zorl", "share/bash-completion/completions/zorl", "share/doc/zorl/LICENSE",
         "share/doc/zorl/README.md", "share/man/man1/zorl.1"]
DEVELOPMENT = ["bin/zorl-sim", "bin/zr6410-devmem", "share/bash-completion/completions/zorl-sim",
               "share/man/man1/zorl-sim.1", "share/man/man1/zr6410-devmem.1"]


class Install(unittest.TestCase):
    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="zorl-install-")
        self.tmp = self._tmp.name

    def tearDown(self):
        self._tmp.cleanup()

    def test_plain_install_is_the_board_program_its_man_page_and_completion(self):
        install(self.tmp)
        self.assertEqual(tree(self.tmp), BOARD)
        self.assertTrue(os.access(os.path.join(self.tmp, "bin/zorl"), os.X_OK))

    def test_development_component(self):
        install(self.tmp, "--component", "development")
        self.assertEqual(tree(self.tmp), DEVELOPMENT)
        for prog in ("bin/zorl-sim", "bin/zr6410-devmem"):
            self.assertTrue(os.access(os.path.join(self.tmp, prog), os.X_OK), prog)

    def test_destdir_stages_under_the_prefix(self):
        install("/usr", destdir=self.tmp)
        self.assertEqual(tree(self.tmp), ["usr/" + f for f in BOARD])

    def test_installed_files_are_the_sources(self):
        install(self.tmp)
        for installed, source in (("share/man/man1/zorl.1", MANPAGE),
                                  ("share/doc/zorl/LICENSE", LICENSE),
                                  ("share/bash-completion/completions/zorl", COMPLETION)):
            with open(os.path.join(self.tmp, installed), "rb") as a, open(source, "rb") as b:
                self.assertEqual(a.read(), b.read(), installed)


if __name__ == "__main__":
    unittest.main(verbosity=1)
