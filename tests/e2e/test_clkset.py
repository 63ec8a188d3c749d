"""The clock-set commands end to end: listings, edits, commits, the exit summary,
and what reaches the image."""

import errno

from zorltest import *


def summary1(value, actioned=None, hclk=66357, pclk=33178, fout=331785, fclk=165892):
    """The ClkSet1 summary: unchanged when actioned is None."""
    if actioned is None:
        head = lines("#", "# clkset1=0x%08x and is unchanged" % value)
    else:
        head = lines("#", "# new clkset1=0x%08x" % value,
                     "#  ....has %sbeen actioned." % ("" if actioned else "NOT "))
    return head + lines("# pll1 Fout=%dKHz   Fclk=%dKHz   (processor clock)" % (fout, fclk),
                        "#      Hclk=%dKHz   Pclk=%dKHz" % (hclk, pclk))


NEW_HCLK = dict(hclk=82946, pclk=41473)


class ClkSet(SimTest):
    def test_listing_of_a_fresh_board(self):
        # The 18 lines of the listing, then the exit summary once more.
        self.assertRun(self.zorl("clkset1"),
                       CLKSET1_LOAD + CLKSET1_FIELDS + CLKSET1_UNCHANGED + CLKSET1_UNCHANGED)
        self.assertRun(self.zorl("clkset1="), None)
        self.assertRun(self.zorl("clkset2"), CLKSET2_LOAD + CLKSET2_FIELDS + CLKSET2_UNCHANGED)
        self.assertImage(self.before)

    def test_field_edit_committed_at_exit_only_with_writing_enabled(self):
        self.assertRun(self.zorl("clkset1.hclkdiv=2"),
                       HCLK_EDIT + summary1(0x02A49907, False, **NEW_HCLK))
        self.assertImage(self.before)
        self.assertRun(self.zorl("-w", "clkset1.hclkdiv=2"),
                       HCLK_EDIT + summary1(0x02A49907, True, **NEW_HCLK))
        self.assertImage(changed(self.before, (CLKSET1, 0x02A49907)))

    def test_the_last_write_command_decides_the_exit_commit(self):
        r = self.zorl("-w", "clkset1.hclkdiv=2", "write=off")
        self.assertTrue(r.out.endswith(summary1(0x02A49907, False, **NEW_HCLK)), r.out)
        self.assertImage(self.before)
        r = self.zorl("clkset1.hclkdiv=2", "write=on")
        self.assertTrue(r.out.endswith(summary1(0x02A49907, True, **NEW_HCLK)), r.out)
        self.assertImage(changed(self.before, (CLKSET1, 0x02A49907)))

    def test_field_lines_and_their_names(self):
        for cmd, out in (("clkset1.pll1_ps", lines("clkset1.pll1_ps=0")),
                         ("CLKSET1.PLL1_PS=2", lines("clkset1.pll1_ps=2")),
                         ("clkset1.Pll1_Ps=0b11", lines("clkset1.pll1_ps=3")),
                         ("clkset1.fclkdiv=0", lines("# Fclk = fout/1", "clkset1.fclkdiv=0")),
                         ("clkset1.pclkdiv=3", lines("# Pclk = Hclk/8", "clkset1.pclkdiv=3")),
                         ("clkset1.nbyp1=off", lines("clkset1.nbyp1=0"))):
            with self.subTest(cmd):
                r = self.zorl(cmd)
                self.assertEqual(r.out[: len(CLKSET1_LOAD + out)], CLKSET1_LOAD + out)
                self.assertEqual(r.status, 0)
        self.assertRun(self.zorl("clkset2.usbdiv=14"),
                       CLKSET2_LOAD + lines("# USBCLK = Fout/15 Hz", "clkset2.usbdiv=14"))

    def test_parameters_that_match_no_field_only_load(self):
        for cmd in ("clkset1.pll1_x2fbd2=3", "clkset1.foo", "clkset1.write=1", "clkset1.writ"):
            with self.subTest(cmd):
                self.assertRun(self.zorl("-w", cmd), CLKSET1_LOAD + CLKSET1_UNCHANGED)
        self.assertRun(self.zorl("-w", "clkset2.write=1"), CLKSET2_LOAD)
        self.assertImage(self.before)

    def test_refused_values_change_nothing_and_print_no_field_line(self):
        for cmd, msg in (("clkset1.pll1_x2ipd=32", ""), ("clkset1.pll1_x2fdb2=64", ""),
                         ("clkset1.pll1_ps=4", ""), ("clkset1.hclkdiv=8", ""),
                         ("clkset1.nbyp1=2", ""), ("clkset1.smcrom=0x-1", ""),
                         ("clkset2.usbdiv=15", ""),  # which texts are numbers: NumbersRefused
                         ("clkset1.pll1_ps=abc", '"abc" number expected\n')):
            with self.subTest(cmd):
                load = CLKSET1_LOAD if cmd.startswith("clkset1") else CLKSET2_LOAD
                self.assertRun(self.zorl("-w", cmd), load,
                               msg + errline(errno.EINVAL, cmd), 22)
        # A whole-register value that is not a number fails before any load.
        self.assertRun(self.zorl("-w", "clkset1=0x2B4990Z"), "",
                       '"0x2B4990Z" number expected\n'
                       + errline(errno.EINVAL, "clkset1=0x2B4990Z"), 22)
        self.assertImage(self.before)

    def test_usbdiv_15_from_the_chip_is_shown_and_used(self):
        self.setreg(CLKSET2, 0xF00DC317)
        r = self.zorl("clkset2")
        self.assertIn(lines("# USBCLK = Fout/16 Hz", "clkset2.usbdiv=15"), r.out)
        self.assertIn("USBclk=12000KHz", r.out)

    def test_whole_register_value_as_first_command(self):
        fields = CLKSET1_FIELDS.replace("Hclk = fout/5", "Hclk = fout/4").replace(
            "hclkdiv=3", "hclkdiv=2")
        self.assertRun(self.zorl("clkset1=0x02A49907"),
                       fields + summary1(0x02A49907, False, **NEW_HCLK) * 2)
        self.assertImage(self.before)
        self.assertRun(self.zorl("-w", "clkset1=0x02A49907"),
                       fields + summary1(0x02A49907, False, **NEW_HCLK)
                       + summary1(0x02A49907, True, **NEW_HCLK))
        self.assertImage(changed(self.before, (CLKSET1, 0x02A49907)))

    def test_whole_register_value_keeps_every_bit(self):
        # Bits 28 to 31 belong to no field, and a value above 2^31 is kept as typed.
        r = self.zorl("-w", "clkset1=0x82B49907")
        self.assertIn("# new clkset1=0x82b49907\n#  ....has been actioned.\n", r.out)
        self.assertEqual(r.status, 0)
        self.assertImage(changed(self.before, (CLKSET1, 0x82B49907)))
        self.assertRun(self.devmem("0x80930020"), "0x82B49907\n")
        # Field edits leave those bits alone.
        self.assertRun(self.zorl("-w", "clkset1.pll1_ps=1"), None)
        self.assertRun(self.devmem("0x80930020"), "0x82B59907\n")

    def test_zero_as_first_value_equals_the_unread_old_value(self):
        r = self.zorl("-w", "clkset1=0")
        self.assertIn("# clkset1=0x00000000 and is unchanged\n", r.out)
        self.assertImage(self.before)

    def test_clkset2_whole_value_reads_the_chip_first(self):
        r = self.zorl("clkset2=0x300DC317")
        self.assertRun(r, CLKSET2_LOAD + CLKSET2_FIELDS + CLKSET2_UNCHANGED)
        r = self.zorl("clkset2=0x200DC317")
        self.assertTrue(r.out.startswith(CLKSET2_LOAD), r.out)
        self.assertIn("# new clkset2=0x200dc317\n#  ....has NOT been actioned.\n"
                      "# pll2 Fout=192005KHz   USBclk=64001KHz\n", r.out)

    def test_clkset2_edits_reach_the_chip_only_through_clkset2_write(self):
        self.assertRun(self.zorl("-w", "clkset2.usbdiv=1"),
                       CLKSET2_LOAD + lines("# USBCLK = Fout/2 Hz", "clkset2.usbdiv=1"))
        self.assertImage(self.before)
        r = self.zorl("clkset2.usbdiv=1", "clkset2.write")
        self.assertEqual(r.out, CLKSET2_LOAD + lines("# USBCLK = Fout/2 Hz", "clkset2.usbdiv=1",
                                                     "#", "# new clkset2=0x100dc317",
                                                     "#  ....has been actioned.",
                                                     "# pll2 Fout=192005KHz   USBclk=96002KHz"))
        self.assertImage(changed(self.before, (CLKSET2, 0x100DC317)))

    def test_explicit_commit_ignores_the_write_flag(self):
        r = self.zorl("clkset1.hclkdiv=2", "clkset1.write")
        self.assertRun(r, HCLK_EDIT + summary1(0x02A49907, True, **NEW_HCLK)
                       + summary1(0x02A49907, False, **NEW_HCLK))
        self.assertImage(changed(self.before, (CLKSET1, 0x02A49907)))
        # Unchanged: nothing to write, even when asked.
        self.write_image(self.before)
        self.assertRun(self.zorl("CLKSET1.WRITE"),
                       CLKSET1_LOAD + CLKSET1_UNCHANGED + CLKSET1_UNCHANGED)

    def test_commit_over_another_programs_change(self):
        # A -w session edits ClkSet1 and commits it, or only edits it; then,
        # while it waits for its next line, something else happens to the
        # board; then the session ends with its exit commit.  The exit commit
        # writes the working copy again, unless the register no longer holds
        # what the session last read or wrote there: that would undo another
        # program's change unseen, so it is refused (16), naming ClkSet1,
        # and the other change stays.
        other = 0x02B89907  # the power-on value with pclkdiv=2
        refused = errline(errno.EBUSY, "clkset1: changed by another program since this run "
                          "read it, nothing written")
        cases = [  # first line, what happens meanwhile, ClkSet1 after, status, stderr
            ("clkset1.hclkdiv=2 clkset1.write", None, 0x02A49907, 0, ""),
            ("clkset1.hclkdiv=2 clkset1.write", (PWRCNT, 0x00030000), 0x02A49907, 0, ""),
            ("clkset1.hclkdiv=2 clkset1.write", (CLKSET1, 0x11111111), 0x11111111, 16, refused),
            ("clkset1.hclkdiv=2", ("zorl-sim", "-w", "clkset1.pclkdiv=2"), other, 16, refused),
            # A whole-register value first: nothing was read, so nothing is undone.
            ("clkset1=0x02A49907", ("zorl-sim", "-w", "clkset1.pclkdiv=2"), 0x02A49907, 0, ""),
        ]
        for first, meanwhile, after, status, err in cases:
            with self.subTest(first=first, meanwhile=meanwhile):
                self.write_image(power_on_image())
                p = self.start("-w", "-i", "-")
                p.stdin.write(first.encode() + b"\n")
                p.stdin.flush()
                # The report of the first line, up to its last field line.
                ends = b"=2\n" if first == "clkset1.hclkdiv=2" else b"KHz\n"
                got = read_upto(p.stdout, 1 << 16, until=ends)
                self.assertTrue(got.endswith(ends), "no report of the first line: %r" % got)
                if meanwhile and isinstance(meanwhile[0], str):
                    self.assertEqual(self.run_program(*meanwhile).status, 0)
                elif meanwhile:
                    self.setreg(*meanwhile)
                code, _, errtext = finish(p)
                self.assertEqual((errtext.decode(), code), (err, status))
                self.assertEqual(self.reg(CLKSET1), after)

    def test_refused_edit_leaves_the_exit_summary_alone(self):
        # A failing command-line edit, then a command file that succeeds: the
        # run ends with status 0 and summarises the unchanged working copy.
        path = self.write_file("cmds", "clkset1.pclkdiv\n")
        r = self.zorl("-i", path, "clkset1.hclkdiv=8")
        self.assertRun(r, CLKSET1_LOAD + lines("# Pclk = Hclk/2", "clkset1.pclkdiv=1")
                       + CLKSET1_UNCHANGED,
                       errline(errno.EINVAL, "clkset1.hclkdiv=8"))

    def test_no_exit_summary_after_a_failing_run(self):
        self.assertFault(self.zorl("-w", "clkset1.hclkdiv=2", "clkset1.hclkdiv=9"),
                         errline(errno.EINVAL, "clkset1.hclkdiv=9"), 22, HCLK_EDIT)


if __name__ == "__main__":
    main()
