"""zr6410-devmem: reading and writing single registers of the image."""

import os

from zorltest import *


class Devmem(SimTest):
    def test_reads_in_each_width(self):
        for args, out in ((["0x80930020"], "0x02B49907\n"),
                          (["0x80930020", "32"], "0x02B49907\n"),
                          (["2157117472"], "0x02B49907\n"),  # decimal address
                          (["0X80930020"], "0x02B49907\n"),
                          (["0x80930020", "16"], "0x9907\n"),
                          (["0x80930022", "16"], "0x02B4\n"),
                          (["0x80930023", "8"], "0x02\n"),
                          (["0x80840044", "8"], "0x04\n"),
                          (["0x10800ffc"], "0x00000000\n")):
            with self.subTest(args):
                self.assertRun(self.devmem(*args), out)

    def test_writes_one_access_of_the_width(self):
        # Hexadecimal digits in either case, in the address and the value.
        for addr, width, value in (("0x80930020", 32, "0x82B49907"), ("0x80840044", 8, "0"),
                                   ("0x10C00002", 16, "0xbeef"), ("0x80930095", 8, "0xFF"),
                                   ("0x80930024", 32, "4294967295"), ("0x8093000C", 32, "0xF")):
            with self.subTest(addr):
                want = self.expect_image([(int(addr, 16), int(value, 0), width)])
                self.assertRun(self.devmem(addr, str(width), value), "")
                self.assertImage(want)
                self.assertRun(self.devmem(addr, str(width)),
                               "0x%0*X\n" % (width // 4, int(value, 0)))

    def test_refusals_touch_nothing(self):
        cases = [
            (["0x80930021"], "0x80930021: address not aligned to the width"),
            (["0x80930022", "32"], "0x80930022: address not aligned to the width"),
            (["0x80930021", "16"], "0x80930021: address not aligned to the width"),
            (["0x12345678"], "0x12345678: address outside the simulated pages"),
            (["0x80931000"], "0x80931000: address outside the simulated pages"),
            (["0x8092fffc"], "0x8092fffc: address outside the simulated pages"),
            (["0x80930020", "12"], "12: width expected (8, 16 or 32)"),
            (["0x80930020", "64"], "64: width expected (8, 16 or 32)"),
            (["0x80930020", "w"], "w: width expected (8, 16 or 32)"),
            (["0x80930020", "8", "0x100"], "0x100: value does not fit the width"),
            (["0x80930020", "16", "65536"], "65536: value does not fit the width"),
            (["0x80930020", "32", "0x100000000"], "0x100000000: value expected"),
            (["0x80930020", "32", "-1"], "-1: value expected"),
            (["0x80930020", "32", "0x"], "0x: value expected"),
            (["0x80930020", "32", "12abc"], "12abc: value expected"),
            (["zz"], "zz: address expected"),
            ([""], ": address expected"),
            (["0x80930020", "32", "1", "2"], "2: too many arguments"),
        ]
        for args, why in cases:
            with self.subTest(args):
                before = self.read_image()
                err = errline(errno.EINVAL, why, "zr6410-devmem")
                if why.endswith("too many arguments"):
                    err += "usage: zr6410-devmem ADDRESS [WIDTH [VALUE]]\n"
                self.assertRun(self.devmem(*args), "", err, 1)
                self.assertImage(before)
        # A refused call does not even create a missing image.
        os.remove(self.image)
        self.assertRun(self.devmem("0x80930021"), "", None, 1)
        self.assertFalse(os.path.exists(self.image))

    def test_usage(self):
        self.assertRun(self.devmem(), "", "usage: zr6410-devmem ADDRESS [WIDTH [VALUE]]\n", 1)

    def test_creates_a_missing_image(self):
        os.remove(self.image)
        self.assertRun(self.devmem("0x80930094"), "0x70009213\n")
        self.assertImage(power_on_image())

    def test_refuses_an_invalid_image(self):
        self.write_image(b"hello")
        self.assertRun(self.devmem("0x80930020", "32", "0"), "",
                       errline(errno.EINVAL,
                               self.image + ": not a board image: 5 bytes, an image has 24576",
                               "zr6410-devmem"), 1)
        self.assertImage(bytearray(b"hello"))

    def test_state_carries_between_runs(self):
        self.assertRun(self.devmem("0x80930004", "32", "0"), "")
        self.assertRun(self.zorl("usb"), "USB=off\n" + "")
        self.assertRun(self.zorl("-w", "usb=on"), "USB=on\n")
        self.assertRun(self.devmem("0x80930004"), "0x10000000\n")


if __name__ == "__main__":
    main()
