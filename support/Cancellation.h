// Work the user may stop: the thread that runs it carries a stop flag, which the long steps
// below it (hashing a file block by block, waiting for a server) look at between steps. The
// flag belongs to the thread, so no layer in between has to pass it on.
#pragma once

#include <atomic>

// True when the calling thread runs under a ScopedCancellation whose flag is set.
[[nodiscard]] bool CancellationRequested();

// True when the calling thread runs under a ScopedCancellation at all (its work can be
// stopped, so waits should look at the flag often).
[[nodiscard]] bool CancellationPossible();

// Makes `flag` the calling thread's stop flag while it exists; the previous one comes back
// after it. The flag must outlive the scope.
class ScopedCancellation {
public:
    explicit ScopedCancellation(const std::atomic<bool>& flag);
    ~ScopedCancellation();
    ScopedCancellation(const ScopedCancellation&) = delete;
    ScopedCancellation& operator=(const ScopedCancellation&) = delete;

private:
    const std::atomic<bool>* m_previous;
};
