#include "platform/LastError.h"

#include <utility>

namespace {
thread_local uint32_t t_lastError = 0;
thread_local std::string t_lastErrorDetail;
} // namespace

uint32_t GetLastError() {
    return t_lastError;
}

void SetLastError(uint32_t code) {
    t_lastError = code;
    t_lastErrorDetail.clear();
}

void SetLastError(uint32_t code, std::string detail) {
    t_lastError = code;
    t_lastErrorDetail = std::move(detail);
}

const std::string& LastErrorDetail() {
    return t_lastErrorDetail;
}

LastErrorKeeper::LastErrorKeeper() : m_nCode(t_lastError), m_strDetail(t_lastErrorDetail) {}

LastErrorKeeper::~LastErrorKeeper() {
    t_lastError = m_nCode;
    t_lastErrorDetail = std::move(m_strDetail);
}
