// The computer's clock as the time check sees it. Tests install a clock of their own.
#pragma once

#include <cstdint>

class IClock {
public:
    virtual ~IClock() = default;
    // The current UTC time in file-time ticks (100 ns since 1601-01-01).
    virtual uint64_t NowFileTime() const = 0;
};

// Installs the process-wide clock; nullptr restores the system's. Answers the previous one
// (null when it was the system's).
IClock* SetClock(IClock* clock);
// The installed clock, or the system's real-time clock.
const IClock& Clock();
