// The generic bit accessors, on ordinary memory.
#include "scsubs.h"

#include <gtest/gtest.h>

TEST(BitAccess, ByteGetter) {
    volatile uint8_t reg = 0x84;
    EXPECT_EQ(getbiobit(&reg, 7), 1);
    EXPECT_EQ(getbiobit(&reg, 2), 1);
    EXPECT_EQ(getbiobit(&reg, 0), 0);
    EXPECT_EQ(getbiobit(&reg, 8), -1);
    EXPECT_EQ(getbiobit(&reg, -1), -1);
}

TEST(BitAccess, WordGetter) {
    volatile uint32_t reg = 0x80000001;
    EXPECT_EQ(getwiobit(&reg, 31), 1); // the sign bit reads as 1, not negative
    EXPECT_EQ(getwiobit(&reg, 0), 1);
    EXPECT_EQ(getwiobit(&reg, 30), 0);
    EXPECT_EQ(getwiobit(&reg, 32), -1);
    EXPECT_EQ(getwiobit(&reg, -1), -1);
}

// Every bit, both values, from patterns that hold both: exactly that one
// bit may change, and the value comes back.
TEST(BitAccess, SetChangesOnlyThatBit) {
    for (uint8_t start : {0x00, 0xFF, 0xA5, 0x5A}) {
        for (int bit = 0; bit < 8; bit++) {
            for (int value = 0; value <= 1; value++) {
                volatile uint8_t reg = start;
                EXPECT_EQ(setbiobit(&reg, bit, value), value);
                uint8_t want = (uint8_t)((start & ~(1u << bit)) | ((unsigned)value << bit));
                EXPECT_EQ(reg, want) << "byte " << int(start) << " bit " << bit;
            }
        }
    }
    for (uint32_t start : {0x00000000u, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x10030000u}) {
        for (int bit = 0; bit < 32; bit++) {
            for (int value = 0; value <= 1; value++) {
                volatile uint32_t reg = start;
                EXPECT_EQ(setwiobit(&reg, bit, value), value);
                uint32_t want = (start & ~(1u << bit)) | ((uint32_t)value << bit);
                EXPECT_EQ(reg, want) << "word " << start << " bit " << bit;
            }
        }
    }
}

TEST(BitAccess, RefusedSetsTouchNothing) {
    struct {
        int bit, value;
    } refused[] = {{2, 2}, {2, -1}, {8, 1}, {-1, 0}, {0, 256}};
    for (auto r : refused) {
        volatile uint8_t reg = 0x5A;
        EXPECT_EQ(setbiobit(&reg, r.bit, r.value), -1);
        EXPECT_EQ(reg, 0x5A);
        volatile uint32_t word = 0x5A5A5A5A;
        EXPECT_EQ(setwiobit(&word, r.bit == 8 ? 32 : r.bit, r.value), -1);
        EXPECT_EQ(word, 0x5A5A5A5Au);
    }
}
