#include "core/GenTime.h"

#include <algorithm>
#include <cstddef>

namespace {

// The decimal number of text[pos, pos + count), which must be digits.
bool Digits(std::string_view text, std::size_t pos, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

bool ParseGenTime(std::string_view text, SystemTime& time) {
    SystemTime t;
    if (!Digits(text, 0, 4, t.year) || !Digits(text, 4, 2, t.month) || !Digits(text, 6, 2, t.day) ||
        !Digits(text, 8, 2, t.hour) || !Digits(text, 10, 2, t.minute) ||
        !Digits(text, 12, 2, t.second))
        return false;
    std::size_t pos = 14;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        std::size_t digits = 0;
        while (pos + digits < text.size() && text[pos + digits] >= '0' && text[pos + digits] <= '9')
            ++digits;
        if (digits == 0)
            return false;
        // Milliseconds are what the clock check needs: finer digits are dropped, not rounded,
        // so a time never moves into the next second.
        const std::size_t used = std::min<std::size_t>(digits, 3);
        int fraction = 0;
        if (!Digits(text, pos, used, fraction))
            return false;
        static constexpr int kScale[] = {0, 100, 10, 1};
        t.milliseconds = fraction * kScale[used];
        pos += digits;
    }
    if (pos + 1 != text.size() || text[pos] != 'Z')
        return false;
    time = t;
    return true;
}

bool GenTimeToFileTime(std::string_view text, uint64_t& fileTime) {
    SystemTime time;
    return ParseGenTime(text, time) && SystemTimeToFileTime(time, fileTime);
}

bool WithinClockSkew(uint64_t tokenTime, uint64_t now) {
    const uint64_t distance = now >= tokenTime ? now - tokenTime : tokenTime - now;
    return distance <= kMaxClockSkew;
}
