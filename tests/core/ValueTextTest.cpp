#include "core/ValueText.h"

#include <gtest/gtest.h>

TEST(ValueText, SerialToDecimalReadsUnsignedBigEndian) {
    std::string text = "untouched";
    const unsigned char twoFiftySix[] = {0x01, 0x00};
    SerialToDecimal(twoFiftySix, 2, text);
    EXPECT_EQ(text, "256");
    const unsigned char highBit[] = {0xFF, 0xFF}; // never read as negative
    SerialToDecimal(highBit, 2, text);
    EXPECT_EQ(text, "65535");
    const unsigned char zero[] = {0x00};
    SerialToDecimal(zero, 1, text);
    EXPECT_EQ(text, "0");
    SerialToDecimal(nullptr, 0, text);
    EXPECT_EQ(text, "0");
    // A 20-byte serial as real TSAs issue them.
    const unsigned char big[] = {0x78, 0x4b, 0x4c, 0x5e, 0x57, 0xaa, 0xa6, 0x3b, 0x57, 0x0f,
                                 0x15, 0xcb, 0xa4, 0xdf, 0x95, 0x25, 0x16, 0x68, 0xae, 0x9e};
    SerialToDecimal(big, sizeof big, text);
    EXPECT_EQ(text, "686758101025552741671190982006166081499178774174");
    // A conversion that cannot be made leaves the text alone.
    text = "kept";
    SerialToDecimal(big, -1, text);
    EXPECT_EQ(text, "kept");
}

TEST(ValueText, BytesToHexWithAndWithoutSeparator) {
    const unsigned char bytes[] = {0x0A, 0x1B, 0xFF};
    std::string text = "old";
    BytesToHex(bytes, 3, true, text);
    EXPECT_EQ(text, "0A 1B FF");
    BytesToHex(bytes, 3, false, text);
    EXPECT_EQ(text, "0A1BFF");
    BytesToHex(bytes, 0, true, text);
    EXPECT_EQ(text, "");
}
