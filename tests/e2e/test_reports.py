"""The read-only reports: DMA clock gates and chip ID."""

from zorltest import *

DMA_LINES = ["M2P CH1", "M2P CH0", "M2P CH3", "M2P CH2", "M2P CH5", "M2P CH4",
             "M2P CH7", "M2P CH6", "M2P CH9", "M2P CH8", "M2M CH0", "M2M CH1"]


def dma_report(pwrcnt):
    out = lines("#", "# PwrCnt=0x%08x" % pwrcnt, "# DMA clock status.....")
    for i, name in enumerate(DMA_LINES):
        out += "# DMA %s = %s\n" % (name, "ON" if pwrcnt >> (16 + i) & 1 else "OFF")
    return out + "#\n"


class Reports(SimTest):
    def test_dma_decodes_bits_16_to_27_in_order(self):
        for pwrcnt in (1 << 16, 1 << 27, 0xF000FFFF, 0x0FFF0000, 0x00A50000):
            with self.subTest(hex(pwrcnt)):
                self.setreg(PWRCNT, pwrcnt)
                for cmd in ("dma", "dma=", "DMA"):
                    self.assertRun(self.zorl(cmd), dma_report(pwrcnt))
        self.setreg(PWRCNT, 1 << 16)
        self.assertIn("# DMA M2P CH1 = ON\n# DMA M2P CH0 = OFF\n", self.zorl("dma").out)

    def test_chipid_fields(self):
        # The board program uses only an EP93xx: 0x9213 in bits 0-15, any
        # revision; on anything else it says what it read, and does nothing.
        for chipid, out in (
            (0x70009213, CHIPID_OUT),
            (0xF0FF9213, lines("", "# chipid    =0xf0ff9213", "# chipid.ID =0x9213d",
                               "# chipid.REV=15")),
            (0xFFFFFFFF, lines("", "# chipid    =0xffffffff", "# chipid.ID =0xFFFFd",
                               "# chipid.REV=15")),
            (0x0FFF0000, lines("", "# chipid    =0x0fff0000", "# chipid.ID =0x0d",
                               "# chipid.REV=0")),
            (0x000000AB, lines("", "# chipid    =0x000000ab", "# chipid.ID =0xABd",
                               "# chipid.REV=0")),
        ):
            with self.subTest(hex(chipid)):
                self.setreg(CHIPID, chipid)
                if self.standin and chipid & 0xFFFF != 0x9213:
                    before = self.read_image()
                    why = "/dev/mem: not used, ChipID reads 0x%08x, not an EP93xx's 0x9213"
                    self.assertRun(self.zorl("-w", "-o", "r.txt", "usb=off"), "",
                                   errline(errno.ENXIO, why % chipid) + errline(
                                       errno.ENXIO, "Could Not initialise SysCon pointers."), 6)
                    self.assertImage(before)
                    self.assertFalse(os.path.exists(os.path.join(self.dir, "r.txt")))
                    continue
                self.assertRun(self.zorl("chipid"), out)
                self.assertRun(self.zorl("chipid="), out)

    def test_values_are_refused_without_a_read(self):
        for cmd, msg in (("dma=on", "PwrCnt"), ("dma=off", "PwrCnt"), ("dma=0", "PwrCnt"),
                         ("chipid=1", "chipid"), ("CHIPID=x", "chipid")):
            with self.subTest(cmd):
                self.assertRun(self.zorl("-w", cmd), "",
                               "%s: cannot write to this register\n" % msg
                               + errline(errno.EIO, cmd), 5)
        self.assertImage(self.before)


if __name__ == "__main__":
    main()
