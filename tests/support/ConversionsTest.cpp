#include "support/Conversions.h"

#include <gtest/gtest.h>

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

std::string Utf8(std::string_view text) {
    std::string result = "previous";
    Utf8ToAnsi(text, result);
    return result;
}

TEST(ConversionsTest, Utf8ToAnsiPassesValidTextThrough) {
    EXPECT_EQ(Utf8("Příliš žluťoučký kůň úpěl ďábelské ódy"),
              "Příliš žluťoučký kůň úpěl ďábelské ódy");
    EXPECT_EQ(Utf8("I.CA \xF0\x9F\x94\x92 TSA"), "I.CA \xF0\x9F\x94\x92 TSA");
    EXPECT_EQ(Utf8(""), "");
    EXPECT_EQ(Utf8(std::string_view("TSA\0garbage", 11)), "TSA");
}

TEST(ConversionsTest, Utf8ToAnsiReplacesEachIllFormedSequence) {
    EXPECT_EQ(Utf8("a\xFF"
                   "b"),
              "a" + kFffd + "b");
    EXPECT_EQ(Utf8("cp1250 \xE8\x61s"), "cp1250 " + kFffd + "as"); // a single-byte "č"
    // A truncated character is one replacement, and the next character survives.
    EXPECT_EQ(Utf8("\xE2\x82"
                   "A"),
              kFffd + "A");
    EXPECT_EQ(Utf8("end\xC5"), "end" + kFffd);
    // Overlong forms, surrogates and code points above U+10FFFF: each byte on its own.
    EXPECT_EQ(Utf8("\xC0\xAF"), kFffd + kFffd);
    EXPECT_EQ(Utf8("\xE0\x80\xAF"), kFffd + kFffd + kFffd);
    EXPECT_EQ(Utf8("\xED\xA0\x80"), kFffd + kFffd + kFffd);
    EXPECT_EQ(Utf8("\xF4\x90\x80\x80"), kFffd + kFffd + kFffd + kFffd);
    EXPECT_EQ(Utf8("\x80"), kFffd);
}

TEST(ConversionsTest, Utf8ToAnsiKeepsAtMost511Utf16Units) {
    EXPECT_EQ(Utf8(std::string(600, 'x')), std::string(511, 'x'));
    EXPECT_EQ(Utf8(std::string(511, 'x')), std::string(511, 'x'));
    std::string czech;
    for (int i = 0; i < 600; ++i) {
        czech += "č";
    }
    EXPECT_EQ(Utf8(czech).size(), 511U * 2);
    // A character outside the BMP takes two units and is never split.
    const std::string lock = "\xF0\x9F\x94\x92";
    EXPECT_EQ(Utf8(std::string(509, 'x') + lock), std::string(509, 'x') + lock);
    EXPECT_EQ(Utf8(std::string(510, 'x') + lock + "y"), std::string(510, 'x'));
}

TEST(ConversionsTest, WideToAnsi) {
    const char16_t czech[] = u"Uložit nastavení";
    EXPECT_EQ(WideToAnsi(czech, 16), "Uložit nastavení");
    EXPECT_EQ(WideToAnsi(czech, 6), "Uložit");
    EXPECT_EQ(WideToAnsi(nullptr, 5), "");
    EXPECT_EQ(WideToAnsi(czech, 0), "");
    // Only the low 16 bits of the length count.
    EXPECT_EQ(WideToAnsi(czech, 0x10000), "");
    EXPECT_EQ(WideToAnsi(czech, 0x10000 + 3), "Ulo");

    const char16_t pair[] = {0xD83D, 0xDD12, 0};
    EXPECT_EQ(WideToAnsi(pair, 2), "\xF0\x9F\x94\x92");
    const char16_t loneHigh[] = {u'a', 0xD83D, u'b'};
    EXPECT_EQ(WideToAnsi(loneHigh, 3), "a" + kFffd + "b");
    EXPECT_EQ(WideToAnsi(loneHigh, 2), "a" + kFffd);
    const char16_t loneLow[] = {0xDD12, 0xD83D};
    EXPECT_EQ(WideToAnsi(loneLow, 2), kFffd + kFffd);
    const char16_t withNul[] = {u'a', 0, u'b'};
    EXPECT_EQ(WideToAnsi(withNul, 3), std::string("a\0b", 3));
}

TEST(ConversionsTest, FormatGenTime) {
    EXPECT_EQ(FormatGenTime("20100215123456Z"), "2010/02/15  12:34:56");
    EXPECT_EQ(FormatGenTime("20100215123456.125Z"), "2010/02/15  12:34:56.125");
    EXPECT_EQ(FormatGenTime("20100215093012.5Z"), "2010/02/15  09:30:12.5");
    EXPECT_EQ(FormatGenTime("20100215093012.1234Z"), "2010/02/15  09:30:12.123");
    EXPECT_EQ(FormatGenTime("20100215093012.123456789Z"), "2010/02/15  09:30:12.123");
    // Short or empty texts: the pieces that are there, never a read past the end.
    EXPECT_EQ(FormatGenTime("20100215"), "2010/02/15  :");
    EXPECT_EQ(FormatGenTime("2010"), "2010//  :");
    EXPECT_EQ(FormatGenTime(""), "//  :");
    EXPECT_EQ(FormatGenTime(std::string_view("201002\0"
                                             "15123456Z",
                                             16)),
              "2010/02/  :");
}

} // namespace
