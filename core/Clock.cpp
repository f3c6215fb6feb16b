#include "core/IClock.h"

#include "platform/FileTime.h"

#include <atomic>

namespace {

class SystemClock final : public IClock {
public:
    uint64_t NowFileTime() const override { return GetSystemTimeAsFileTime(); }
};

const SystemClock g_systemClock;
std::atomic<IClock*> g_clock{nullptr};

} // namespace

IClock* SetClock(IClock* clock) {
    return g_clock.exchange(clock);
}

const IClock& Clock() {
    const IClock* clock = g_clock.load();
    return clock != nullptr ? *clock : g_systemClock;
}
