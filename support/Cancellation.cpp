#include "support/Cancellation.h"

namespace {

thread_local const std::atomic<bool>* t_flag = nullptr;

} // namespace

bool CancellationRequested() {
    return t_flag != nullptr && t_flag->load(std::memory_order_relaxed);
}

bool CancellationPossible() {
    return t_flag != nullptr;
}

ScopedCancellation::ScopedCancellation(const std::atomic<bool>& flag) : m_previous(t_flag) {
    t_flag = &flag;
}

ScopedCancellation::~ScopedCancellation() {
    t_flag = m_previous;
}
