#include "platform/FileTime.h"

#include <ctime>

namespace {

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1601-01-01 to the given date of the proleptic Gregorian calendar. 1601 starts a
// 400-year cycle, which keeps the arithmetic in non-negative numbers.
int64_t DaysSince1601(int year, int month, int day) {
    const int64_t y = year - 1601;
    int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < month; ++m) {
        days += DaysInMonth(year, m);
    }
    return days + (day - 1);
}

} // namespace

bool SystemTimeToFileTime(const SystemTime& time, uint64_t& fileTime) {
    if (time.year < 1601 || time.year > 30827 || time.month < 1 || time.month > 12 ||
        time.day < 1 || time.day > DaysInMonth(time.year, time.month) || time.hour < 0 ||
        time.hour > 23 || time.minute < 0 || time.minute > 59 || time.second < 0 ||
        time.second > 59 || time.milliseconds < 0 || time.milliseconds > 999) {
        return false;
    }
    const int64_t seconds = DaysSince1601(time.year, time.month, time.day) * 86400 +
                            time.hour * 3600 + time.minute * 60 + time.second;
    fileTime = static_cast<uint64_t>(seconds * 1000 + time.milliseconds) * 10'000;
    return true;
}

uint64_t GetSystemTimeAsFileTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return kFileTimeUnixEpoch + static_cast<uint64_t>(now.tv_sec) * kFileTimeTicksPerSecond +
           static_cast<uint64_t>(now.tv_nsec) / 100;
}
