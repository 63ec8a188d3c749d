"""The hardware switches and write enable, bit-exact in the image."""

from zorltest import *

UART_COMMENT = "# UART=on enables max baud of 460K, =off for max of 230K\n"

# keyword, state-line label, register, bit, width, comment line before the state line
SWITCHES = [
    ("ethernet", "ethernet", PORTH, 2, 8, ""),
    ("usb", "USB", PWRCNT, 28, 32, ""),
    ("irda", "IRDA", PWRCNT, 31, 32, ""),
    ("uart", "UART", PWRCNT, 29, 32, UART_COMMENT),
]



def state(label, comment, on):
    return comment + "%s=%s\n" % (label, "on" if on else "off")


class Switches(SimTest):
    def each(self):
        for sw in SWITCHES:
            for start in (0, 1):
                with self.subTest(switch=sw[0], start=start):
                    yield sw, start

    def set_start(self, reg, bit, width, start, fill):
        """Every other bit of the register set to fill, the switch bit to start."""
        value = ((1 << width) - 1) * fill
        value = (value & ~(1 << bit)) | (start << bit)
        self.setreg(reg, value, width)
        return self.read_image()

    def test_show(self):
        for (kw, label, reg, bit, width, comment), start in self.each():
            before = self.set_start(reg, bit, width, start, 1 - start)
            for cmd in (kw, kw + "="):
                self.assertRun(self.zorl("-w", cmd), state(label, comment, start))
            self.assertImage(before)

    def test_set_with_writing_enabled_changes_exactly_one_bit(self):
        for (kw, label, reg, bit, width, comment), start in self.each():
            for fill in (0, 1):
                for want in (0, 1):
                    before = self.set_start(reg, bit, width, start, fill)
                    cmd = "%s=%s" % (kw, "on" if want else "off")
                    self.assertRun(self.zorl("-w", cmd), state(label, comment, want))
                    expect = bytearray(before)
                    value = get(expect, reg, width)
                    put(expect, reg, (value & ~(1 << bit)) | (want << bit), width)
                    self.assertImage(expect)

    def test_without_writing_enabled_only_shows(self):
        for (kw, label, reg, bit, width, comment), start in self.each():
            before = self.set_start(reg, bit, width, start, 0)
            want = 1 - start
            cmd = "%s=%s" % (kw, "on" if want else "off")
            self.assertRun(self.zorl(cmd), state(label, comment, want))
            self.assertImage(before)

    def test_values_any_case(self):
        self.assertRun(self.zorl("-w", "USB=OFF"), "USB=off\n")
        self.assertEqual(self.reg(PWRCNT), 0x00030000)
        self.assertRun(self.zorl("-w", "usb=On", "ETHER=off", "Irda=ON"),
                       "USB=on\nethernet=off\nIRDA=on\n")
        self.assertEqual(self.reg(PWRCNT), 0x90030000)
        self.assertEqual(self.reg(PORTH, 8), 0x00)

    def test_invalid_values_show_the_present_state(self):
        # One value each: which words are values, Values.OnOff.
        for (kw, label, reg, bit, width, comment), value in zip(SWITCHES,
                                                                ("1", "true", "on ", "0x1")):
            cmd = "%s=%s" % (kw, value)
            with self.subTest(cmd=cmd):
                self.assertFault(self.zorl("-w", cmd), errline(errno.EINVAL, cmd), 22,
                                 state(label, comment, get(self.before, reg, width) >> bit & 1))

    def test_ethernet_refused_while_the_power_line_is_an_input(self):
        self.setreg(PORTH_DDR, 0xFB, 8)
        before = self.read_image()
        for value in ("on", "off"):
            cmd = "ethernet=" + value
            self.assertRun(self.zorl("-w", cmd), "ethernet=%s\n" % value,
                           errline(errno.EIO, cmd), 5)
            # Without writing enabled nothing is attempted, so nothing fails.
            self.assertRun(self.zorl(cmd), "ethernet=%s\n" % value)
        self.assertImage(before)

    def test_ethernet_after_devmem_makes_the_line_an_input(self):
        self.assertRun(self.devmem("0x80840044", "8", "0"), "")
        self.assertRun(self.zorl("-w", "ethernet=off"), "ethernet=off\n",
                       errline(errno.EIO, "ethernet=off"), 5)
        self.assertImage(changed(self.before, (PORTH_DDR, 0, 8)))

    def test_write(self):
        self.assertRun(self.zorl("write"), BANNER_OFF)
        self.assertRun(self.zorl("write="), BANNER_OFF)
        self.assertRun(self.zorl("-w", "write"), BANNER_ON)
        self.assertRun(self.zorl("write=on"), BANNER_ON)
        self.assertRun(self.zorl("-w", "Write=OFF"), BANNER_OFF)
        self.assertRun(self.zorl("write=yes"), BANNER_OFF,
                       errline(errno.EINVAL, "write=yes"), 22)
        self.assertRun(self.zorl("-w", "write=yes"), BANNER_ON,
                       errline(errno.EINVAL, "write=yes"), 22)

    def test_write_governs_the_commands_after_it(self):
        out = BANNER_ON + "USB=off\n" + BANNER_OFF + "IRDA=on\n"
        self.assertRun(self.zorl("write=on", "usb=off", "write=off", "irda=on"), out)
        self.assertImage(changed(self.before, (PWRCNT, 0x00030000)))
        # ... on one line of a command file as well.
        self.write_image(self.before)
        path = self.write_file("cmds", "write=on usb=off write=off irda=off\n")
        self.assertRun(self.zorl("-i", path), BANNER_ON + "USB=off\n" + BANNER_OFF + "IRDA=off\n")
        self.assertImage(changed(self.before, (PWRCNT, 0x00030000)))

    def test_full_status_report_order(self):
        self.setreg(PWRCNT, 0xB0030000)
        self.setreg(PORTH, 0x00, 8)
        r = self.zorl()
        self.assertTrue(r.out.startswith("ethernet=off\nUSB=on\nIRDA=on\n" + UART_COMMENT
                                         + "UART=on\n#\n# PwrCnt=0xb0030000\n"), r.out)
        self.assertNotIn("write", r.out)


if __name__ == "__main__":
    main()
