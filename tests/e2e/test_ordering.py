"""The report and the diagnostics reach their readers in command order."""

import subprocess

from zorltest import *


class Ordering(SimTest):
    def combined(self, *args, input=b""):
        """Standard output and standard error into one pipe."""
        cmd = self.command("zorl-sim", *args)
        p = subprocess.run(cmd, input=input, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           env=self.env(), cwd=self.dir, timeout=TIMEOUT)
        return p.stdout.decode(), p.returncode

    def test_errors_follow_the_report_lines_before_them(self):
        out, status = self.combined("usb", "dma=1")
        self.assertEqual(out, "USB=on\nPwrCnt: cannot write to this register\n"
                              + errline(errno.EIO, "dma=1"))
        self.assertEqual(status, 5)
        out, status = self.combined("usb", "clkset1=zz")
        self.assertEqual(out, 'USB=on\n"zz" number expected\n' + errline(errno.EINVAL, "clkset1=zz"))
        self.assertEqual(status, 22)
        path = self.write_file("cmds", "usb\nirda=maybe\n")
        out, status = self.combined("-i", path)
        # reported by the command, the line's token and the line
        self.assertEqual(out, "USB=on\nIRDA=off\n" + errline(errno.EINVAL, "irda=maybe") * 3)
        self.assertEqual(status, 22)

    def test_debug_trace_is_in_step_with_the_report(self):
        out, status = self.combined("-d", "usb", "irda")
        self.assertEqual(out, "cmd:usb  n=3  p=usb  p2=  s=\nUSB=on\n"
                              "cmd:irda  n=4  p=irda  p2=  s=\nIRDA=off\n")

    def test_a_program_on_a_pipe_gets_each_answer_before_its_next_question(self):
        p = self.start("-i", "-")
        for question, answer in (("usb\n", "USB=on\n"), ("irda\n", "IRDA=off\n")):
            p.stdin.write(question.encode())
            p.stdin.flush()
            self.assertEqual(read_upto(p.stdout, len(answer)).decode(), answer, question)
        self.assertEqual(finish(p)[0], 0)


if __name__ == "__main__":
    main()
