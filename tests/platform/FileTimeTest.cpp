#include "platform/FileTime.h"

#include <ctime>
#include <gtest/gtest.h>
#include <random>

namespace {

uint64_t Convert(const SystemTime& time) {
    uint64_t ticks = 0xDEADBEEF;
    EXPECT_TRUE(SystemTimeToFileTime(time, ticks));
    return ticks;
}

bool Converts(const SystemTime& time) {
    uint64_t ticks = 0xDEADBEEF;
    const bool ok = SystemTimeToFileTime(time, ticks);
    if (!ok) {
        EXPECT_EQ(ticks, 0xDEADBEEFU) << "a failed conversion must leave the output alone";
    }
    return ok;
}

TEST(FileTimeTest, KnownInstants) {
    EXPECT_EQ(Convert({1601, 1, 1, 0, 0, 0, 0}), 0U);
    EXPECT_EQ(Convert({1970, 1, 1, 0, 0, 0, 0}), kFileTimeUnixEpoch);
    // 2010-02-15 10:30:00.125 UTC is Unix time 1266229800.
    EXPECT_EQ(Convert({2010, 2, 15, 10, 30, 0, 125}),
              kFileTimeUnixEpoch + 1266229800ULL * kFileTimeTicksPerSecond + 1'250'000);
    EXPECT_EQ(Convert({30827, 12, 31, 23, 59, 59, 999}), 0x7FFF35F4F06C58F0ULL);
}

TEST(FileTimeTest, AgreesWithTheCLibraryOnRandomTimes) {
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        const time_t unix = static_cast<time_t>(random() % 8'000'000'000ULL) - 2'000'000'000LL;
        tm fields{};
        ASSERT_NE(gmtime_r(&unix, &fields), nullptr);
        const SystemTime time{fields.tm_year + 1900,
                              fields.tm_mon + 1,
                              fields.tm_mday,
                              fields.tm_hour,
                              fields.tm_min,
                              fields.tm_sec,
                              0};
        ASSERT_EQ(Convert(time), static_cast<uint64_t>(unix * 10'000'000LL +
                                                       static_cast<long long>(kFileTimeUnixEpoch)))
            << "at Unix time " << unix;
    }
}

TEST(FileTimeTest, LeapYearsFollowTheGregorianRules) {
    EXPECT_TRUE(Converts({2000, 2, 29, 0, 0, 0, 0}));
    EXPECT_TRUE(Converts({2024, 2, 29, 0, 0, 0, 0}));
    EXPECT_TRUE(Converts({1604, 2, 29, 0, 0, 0, 0}));
    EXPECT_FALSE(Converts({1900, 2, 29, 0, 0, 0, 0}));
    EXPECT_FALSE(Converts({2100, 2, 29, 0, 0, 0, 0}));
    EXPECT_FALSE(Converts({2023, 2, 29, 0, 0, 0, 0}));
    EXPECT_EQ(Convert({2024, 3, 1, 0, 0, 0, 0}) - Convert({2024, 2, 28, 0, 0, 0, 0}),
              2ULL * 86400 * kFileTimeTicksPerSecond);
}

TEST(FileTimeTest, FieldsOutOfRangeFailInsteadOfBeingGuessed) {
    const SystemTime good{2010, 2, 15, 10, 30, 0, 0};
    EXPECT_TRUE(Converts(good));
    auto with = [&good](auto member, int value) {
        SystemTime time = good;
        time.*member = value;
        return Converts(time);
    };
    EXPECT_FALSE(with(&SystemTime::year, 1600));
    EXPECT_FALSE(with(&SystemTime::year, 30828));
    EXPECT_FALSE(with(&SystemTime::month, 0));
    EXPECT_FALSE(with(&SystemTime::month, 13));
    EXPECT_FALSE(with(&SystemTime::day, 0));
    EXPECT_FALSE(with(&SystemTime::day, 29));
    EXPECT_FALSE(with(&SystemTime::hour, 24));
    EXPECT_FALSE(with(&SystemTime::hour, -1));
    EXPECT_FALSE(with(&SystemTime::minute, 60));
    EXPECT_FALSE(with(&SystemTime::second, 60)); // no leap seconds
    EXPECT_FALSE(with(&SystemTime::second, -1));
    EXPECT_FALSE(with(&SystemTime::milliseconds, 1000));
    EXPECT_FALSE(with(&SystemTime::milliseconds, -1));
    EXPECT_FALSE(Converts({2010, 4, 31, 0, 0, 0, 0}));
    EXPECT_TRUE(Converts({2010, 12, 31, 23, 59, 59, 999}));
}

TEST(FileTimeTest, CurrentTimeIsTheSystemClock) {
    // The precise real-time clock: time() reads a coarse copy of it that may lag behind
    // across a second boundary.
    auto seconds_now = [] {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        return static_cast<long long>(ts.tv_sec);
    };
    const long long before = seconds_now();
    const uint64_t now = GetSystemTimeAsFileTime();
    const long long after = seconds_now();
    const long long seconds =
        static_cast<long long>((now - kFileTimeUnixEpoch) / kFileTimeTicksPerSecond);
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
}

} // namespace
