// The generation time as the time check reads it.
#include "core/GenTime.h"

#include "StampTestSupport.h"

#include <gtest/gtest.h>

using stamp_test::kSecond;
using stamp_test::Ticks;

TEST(GenTime, FractionsBecomeMilliseconds) {
    const struct {
        const char* text;
        int millis;
    } cases[] = {
        {"20100215103000Z", 0},
        {"20100215103000.5Z", 500},
        {"20100215103000.25Z", 250},
        {"20100215103000.125Z", 125},
        {"20100215103000.05Z", 50},
        {"20100215103000.999Z", 999},
        {"20100215103000.000Z", 0},
        // Finer fractions, as public TSAs send them: the first three digits count, the
        // rest is dropped (never rounded up into the next second).
        {"20100215103000.1234Z", 123},
        {"20100215103000.539178Z", 539},
        {"20100215103000.5391789Z", 539},
        {"20100215103000.9999999Z", 999},
        {"20100215103000.000000000000001Z", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        SystemTime time;
        ASSERT_TRUE(ParseGenTime(c.text, time));
        EXPECT_EQ(time.year, 2010);
        EXPECT_EQ(time.month, 2);
        EXPECT_EQ(time.day, 15);
        EXPECT_EQ(time.hour, 10);
        EXPECT_EQ(time.minute, 30);
        EXPECT_EQ(time.second, 0);
        EXPECT_EQ(time.milliseconds, c.millis);
        uint64_t ticks = 0;
        ASSERT_TRUE(GenTimeToFileTime(c.text, ticks));
        EXPECT_EQ(ticks, Ticks(2010, 2, 15, 10, 30, 0, c.millis));
    }
}

TEST(GenTime, TimesThatCannotBeConvertedAreRefused) {
    for (const char* text : {
             "",                     // empty
             "20100215103000",       // no Z
             "20100215103000.12a4Z", // a letter among the fraction digits
             "20100215103000.Z",     // a point without digits
             "20100215103000,5Z",    // a comma
             "2010021510300Z",       // a digit short
             "201002151030000Z",     // a digit more
             "20100215103000Z ",     // something after the Z
             "20100215103000z",      // lower-case z
             "20100215103000+0100",  // an offset
             "2010-02-15T10:30:00Z", // another format
             " 0100215103000Z",      // a blank where a digit belongs
             "+0100215103000Z",      // a sign
             "20101315103000Z",      // month 13
             "20100230103000Z",      // 30 February
             "20100229103000Z",      // 29 February of a common year
             "20100215243000Z",      // hour 24
             "20100215106000Z",      // minute 60
             "20100215103060Z",      // a leap second
             "16001231235959Z",      // before 1601
             "00000215103000Z",      // year 0
             "garbage-garbage",
         }) {
        SCOPED_TRACE(text);
        uint64_t ticks = 12345;
        EXPECT_FALSE(GenTimeToFileTime(text, ticks));
        EXPECT_EQ(ticks, 12345U);
    }
    uint64_t ticks = 0;
    EXPECT_TRUE(GenTimeToFileTime("20080229235959Z", ticks)); // a leap day
    EXPECT_TRUE(GenTimeToFileTime("16010101000000Z", ticks));
    EXPECT_EQ(ticks, 0U);
}

TEST(GenTime, FiveMinutesEitherWayBoundsIncluded) {
    const uint64_t now = Ticks(2025, 5, 9, 12, 0, 0);
    EXPECT_TRUE(WithinClockSkew(now, now));
    for (const int64_t seconds : {299, 300, -299, -300}) {
        SCOPED_TRACE(seconds);
        EXPECT_TRUE(WithinClockSkew(now + static_cast<uint64_t>(seconds * int64_t{kSecond}), now));
    }
    for (const int64_t seconds : {301, -301}) {
        SCOPED_TRACE(seconds);
        EXPECT_FALSE(WithinClockSkew(now + static_cast<uint64_t>(seconds * int64_t{kSecond}), now));
    }
    EXPECT_FALSE(WithinClockSkew(now + kMaxClockSkew + 1, now));
    EXPECT_FALSE(WithinClockSkew(now - kMaxClockSkew - 1, now));
    // The far ends of the scale do not wrap around.
    EXPECT_FALSE(WithinClockSkew(0, UINT64_MAX));
    EXPECT_FALSE(WithinClockSkew(UINT64_MAX, 0));
}
