"""Start-up: options, run modes, the report stream, the board image."""

import os
import subprocess

from zorltest import *


class Startup(SimTest):
    def test_no_arguments_prints_the_full_status_report(self):
        self.assertRun(self.zorl(), STATUS_RUN)
        self.assertImage(self.before)

    def test_missing_image_is_created_powered_on(self):
        self.sim_only()
        os.remove(self.image)
        self.assertRun(self.zorl("chipid"), CHIPID_OUT)
        self.assertImage(power_on_image())

    def test_default_image_is_in_the_current_directory(self):
        self.sim_only()
        os.remove(self.image)
        r = self.zorl("chipid", env={"ZR6410_IMAGE": ""})
        self.assertRun(r, CHIPID_OUT)
        self.assertImage(power_on_image())

    def test_any_page_size_of_the_host(self):
        # An image made here reads and writes the same on a host whose
        # kernel has 16 or 64 KiB pages and maps only at their multiples.
        lib = os.environ.get("ZORL_HOST_LIB")
        if not lib:
            self.skipTest("no page-size interposer in a static, emulated or sanitizer build")
        for size in (16384, 65536):
            with self.subTest(size=size):
                env = {"LD_PRELOAD": lib, "ZORL_PAGE_SIZE": str(size)}
                self.write_image(power_on_image())
                self.assertRun(self.zorl(env=env), STATUS_RUN)
                self.assertRun(self.zorl("-w", "usb=off", env=env), "USB=off\n")
                self.assertRun(self.devmem("0x80930020", "32", "0x02A49907", env=env), "")
                self.assertRun(self.devmem("0x80930004", env=env), "0x00030000\n")
                self.assertImage(changed(power_on_image(), (PWRCNT, 0x00030000),
                                         (CLKSET1, 0x02A49907)))

    def test_help(self):
        for opt in ("-h", "-vh", "-hx"):
            with self.subTest(opt):
                self.assertRun(self.zorl(opt), USAGE, VERSION, 255)

    def test_invalid_option_letters(self):
        for args, letter in ((["-x"], "x"), (["-vx"], "x"), (["-ov", "f"], "o"),
                             (["--"], "-"), (["-wq"], "q")):
            with self.subTest(args):
                err = errline(errno.EINVAL, "-" + letter) + VERSION
                self.assertRun(self.zorl(*args), USAGE, err, 22)

    def test_a_lone_dash_is_skipped(self):
        self.assertRun(self.zorl("-", "chipid"), CHIPID_OUT)

    def test_verbose(self):
        err = ("# zorl-sim version 0.1beta\n# Output File is \"stdout\"\n"
               "# GPIO pointers initialised \n# SysCon pointers initialised \n")
        self.assertRun(self.zorl("-v", "chipid"), CHIPID_OUT, err)
        out = os.path.join(self.dir, "r.txt")
        err = err.replace('"stdout"', '"%s"' % out)
        self.assertRun(self.zorl("-v", "-o", out, "chipid"), "", err)

    def test_debug_trace(self):
        self.assertRun(self.zorl("-d", "usb", "clkset1.pll1_ps"), None,
                       "cmd:usb  n=3  p=usb  p2=  s=\n"
                       "cmd:clkset1  n=7  p=clkset1  p2=pll1_ps  s=\n")

    def test_output_file_is_appended(self):
        out = os.path.join(self.dir, "report.txt")
        self.write_file("report.txt", "earlier\n")
        for prefix in ("-o", "-output", "-outp"):
            self.assertRun(self.zorl(prefix, out, "chipid"), "")
        with open(out) as f:
            self.assertEqual(f.read(), "earlier\n" + CHIPID_OUT * 3)

    def test_output_as_last_argument_is_ignored(self):
        self.assertRun(self.zorl("-o"), STATUS_RUN)
        # ... and ends option parsing there.
        self.assertRun(self.zorl("-w", "-o"), STATUS_RUN)

    def test_commands_end_option_parsing(self):
        self.assertRun(self.zorl("chipid", "-w"), CHIPID_OUT,
                       errline(errno.ENOSYS, "-w"), 38)

    def test_exit_status_is_the_last_status(self):
        # The first failing command ends the run; no exit summary follows.
        self.assertRun(self.zorl("clkset1.hclkdiv=2", "foo", "chipid"), HCLK_EDIT,
                       errline(errno.ENOSYS, "foo"), 38)
        self.assertRun(self.zorl("-w", "clkset1.hclkdiv=2", "foo"), None, None, 38)
        self.assertImage(self.before)

    def test_input_file_runs_after_the_commands(self):
        path = self.write_file("cmds", "usb\n")
        self.assertRun(self.zorl("-i", path, "chipid"), CHIPID_OUT + "USB=on\n")
        # The file's status is the run's, even after a failing command ...
        self.assertRun(self.zorl("-i", path, "foo"), "USB=on\n",
                       errline(errno.ENOSYS, "foo"), 0)
        # ... and a failing file fails a run whose commands succeeded.
        bad = self.write_file("bad", "foo\n")
        self.assertRun(self.zorl("-input", bad, "chipid"), CHIPID_OUT, None, 38)

    def test_input_as_last_argument_reads_standard_input(self):
        self.assertRun(self.zorl("-i", input="chipid\n"), CHIPID_OUT)
        self.assertRun(self.zorl("-in", "-", input="chipid\n"), CHIPID_OUT)

    def test_input_path_may_begin_with_a_dash(self):
        self.write_file("-w", "chipid\n")
        self.assertRun(self.zorl("-i", "-w"), CHIPID_OUT)

    def test_program_name_in_messages(self):
        # argv[0] after its last slash, escaped as any text; the program's
        # own name when that is empty.
        link = os.path.join(self.dir, "myzorl")
        os.symlink(os.path.join(os.path.abspath(BIN_DIR), "zorl-sim"), link)
        self.assertRun(self.run_program(link, "foo"), "", errline(errno.ENOSYS, "foo", "myzorl"), 38)
        if PREFIX:
            self.skipTest("argv[0] is given only to a program run by itself")
        for prog, argv0, shown in (("zorl-sim", "", "zorl-sim"), ("zorl-sim", "///", "zorl-sim"),
                                   ("zr6410-devmem", "", "zr6410-devmem"),
                                   ("zorl-sim", "z\x1b]0;x\x07\n", "z\\033]0;x\\007\\012")):
            with self.subTest(prog=prog, argv0=argv0):
                r = subprocess.run([argv0, "foo"], executable=os.path.join(BIN_DIR, prog),
                                   capture_output=True, text=True, env=self.env(), cwd=self.dir)
                self.assertEqual(r.stderr.splitlines()[0][:len(shown) + 2], "[%s]" % shown)


if __name__ == "__main__":
    main()
