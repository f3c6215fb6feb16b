// Helpers of the stamp part's tests: a clock to set, requests that match factory tokens,
// the real TSA samples.
#pragma once

#include "core/IClock.h"
#include "core/tti/tti.h"
#include "platform/FileTime.h"
#include "tools/TokenFactory.h"

#include "testlib/TempDir.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace stamp_test {

using mivo::test::Bytes;

// A clock that stands still at the time it is given, installed while it lives.
class FixedClock final : public IClock {
public:
    explicit FixedClock(uint64_t now) : m_now(now), m_previous(SetClock(this)) {}
    ~FixedClock() override { SetClock(m_previous); }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;

    uint64_t NowFileTime() const override { return m_now; }
    void Set(uint64_t now) { m_now = now; }

private:
    uint64_t m_now;
    IClock* m_previous;
};

// The system's clock, while it lives, whatever clock was installed before.
class SystemClockScope {
public:
    SystemClockScope() : m_previous(SetClock(nullptr)) {}
    ~SystemClockScope() { SetClock(m_previous); }
    SystemClockScope(const SystemClockScope&) = delete;
    SystemClockScope& operator=(const SystemClockScope&) = delete;

private:
    IClock* m_previous;
};

// File-time ticks of a UTC calendar time (test values only: throws when out of range).
inline uint64_t Ticks(int year, int month, int day, int hour, int minute, int second,
                      int millis = 0) {
    uint64_t ticks = 0;
    if (!SystemTimeToFileTime({year, month, day, hour, minute, second, millis}, ticks))
        throw std::invalid_argument("time out of range");
    return ticks;
}
inline constexpr uint64_t kSecond = kFileTimeTicksPerSecond;

// The factory's default generation time, 20250509115855Z.
inline uint64_t FactoryGenTime() {
    return Ticks(2025, 5, 9, 11, 58, 55);
}

// The request that a token made from `spec` answers: its hash OID, imprint, policy and
// nonce.
inline TTI_REQUEST RequestFor(const mivo::test::TokenSpec& spec) {
    TTI_REQUEST request{};
    request.nSize = TTI_REQUEST_SIZE;
    std::memcpy(request.szHashOid, spec.imprintOid.c_str(), spec.imprintOid.size() + 1);
    std::memcpy(request.digest, spec.imprint.data(), spec.imprint.size());
    request.nDigestLen = static_cast<int32_t>(spec.imprint.size());
    std::memcpy(request.szPolicyOid, spec.policyOid.c_str(), spec.policyOid.size() + 1);
    if (spec.nonce) {
        std::memcpy(request.nonce, spec.nonce->data(), spec.nonce->size());
        request.nNonceLen = static_cast<int32_t>(spec.nonce->size());
    }
    request.bCertReq = 1;
    return request;
}

// A token spec with a nonce, as every request of ours carries one.
inline mivo::test::TokenSpec SpecWithNonce() {
    mivo::test::TokenSpec spec;
    spec.nonce = Bytes{0x5A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    return spec;
}

inline std::string RealTokens() {
    return std::string(MIVO_TEST_DATA_DIR) + "/real-tokens";
}

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string WriteBytes(const TempDir& dir, const std::string& name, const Bytes& bytes) {
    return dir.Write(name, std::string(bytes.begin(), bytes.end()));
}

inline std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

} // namespace stamp_test
