// Time as 64-bit counts of 100-nanosecond ticks since 1601-01-01 00:00:00 UTC, the unit
// in which the token's generation time is compared with the computer's clock.
#pragma once

#include <cstdint>

// A UTC calendar time. Plain ints, so that out-of-range values read from untrusted text
// reach the range check instead of wrapping.
struct SystemTime {
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;    // 1-31, within the month
    int hour = 0;   // 0-23
    int minute = 0; // 0-59
    int second = 0; // 0-59
    int milliseconds = 0;
};

inline constexpr uint64_t kFileTimeTicksPerSecond = 10'000'000;
// 1970-01-01 00:00:00 UTC in file-time ticks.
inline constexpr uint64_t kFileTimeUnixEpoch = 116'444'736'000'000'000;

// Converts a UTC calendar time to file-time ticks. Fails, leaving `fileTime` alone, for any
// field out of range: year 1601-30827, month 1-12, a day that the month (leap years
// included) does not have, hour 0-23, minute 0-59, second 0-59, milliseconds 0-999.
// A leap second (second 60) is refused like any other invalid second: the tick count has no
// place for it, and a time that cannot be converted must never be guessed.
[[nodiscard]] bool SystemTimeToFileTime(const SystemTime& time, uint64_t& fileTime);

// The current UTC time (the system's real-time clock) in file-time ticks.
uint64_t GetSystemTimeAsFileTime();
