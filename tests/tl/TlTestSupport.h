// Shared helpers of the trusted-list tests: the real lists and tokens of tests/data, a clock
// set to a chosen day, and a throwaway list folder.
#pragma once

#include "core/IClock.h"
#include "core/TrustedListPins.h"
#include "core/TrustedListXml.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace tl_test {

inline std::string TlData(const std::string& relative) {
    return std::string(MIVO_TEST_DATA_DIR) + "/trusted-lists/" + relative;
}

inline std::string TokenPath(const std::string& name) {
    return std::string(MIVO_TEST_DATA_DIR) + "/real-tokens/" + name;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline uint64_t Utc(const char* xsdDateTime) {
    uint64_t time = 0;
    if (!tl::ParseXsdDateTime(xsdDateTime, time))
        throw std::runtime_error(std::string("bad time ") + xsdDateTime);
    return time;
}

// The certificates of the Official Journal that pin the EU list of the lists.
inline std::vector<tl::Blob> OjPins() {
    return tl::ReadCertificatesIn(TlData("oj-2019-c276"));
}

// The certificate that signed a real file (signers/NAME.signer.der).
inline tl::Blob SignerOf(const std::string& name) {
    return ReadFile(TlData("signers/" + name + ".signer.der"));
}

// Installs a clock that answers a fixed time while it exists.
class ScopedClock final : public IClock {
public:
    explicit ScopedClock(uint64_t now) : m_now(now), m_previous(SetClock(this)) {}
    ~ScopedClock() override { SetClock(m_previous); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

    uint64_t NowFileTime() const override { return m_now; }
    void Set(uint64_t now) { m_now = now; }

private:
    uint64_t m_now;
    IClock* m_previous;
};

// A day on which every real list of tests/data is within its validity.
inline uint64_t DayOfTheRealLists() {
    return Utc("2023-11-01T12:00:00Z");
}

} // namespace tl_test
