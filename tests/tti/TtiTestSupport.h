// Helpers of the time-stamp library's tests: files, hex, and the library's calls with
// records and buffers of the program's sizes.
#ifndef MIVO_TESTS_TTI_TTITESTSUPPORT_H
#define MIVO_TESTS_TTI_TTITESTSUPPORT_H

#include "core/tti/tti.h"
#include "tools/TokenFactory.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace mivo::test {

// Test names and failure messages show key kinds by name.
inline void PrintTo(KeyKind key, std::ostream* os) {
    *os << (key == KeyKind::Rsa ? "Rsa" : key == KeyKind::Ecdsa ? "Ecdsa" : "RsaPss");
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string RealPath(const std::string& name) {
    return std::string(MIVO_TEST_DATA_DIR) + "/real-tokens/" + name;
}

inline Bytes Real(const std::string& name) {
    return ReadFile(RealPath(name));
}

inline std::string Hex(const unsigned char* p, int n) {
    static const char kHex[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < n; ++i) {
        s += kHex[p[i] >> 4];
        s += kHex[p[i] & 15];
    }
    return s;
}

inline std::string Hex(const Bytes& b) {
    return Hex(b.data(), static_cast<int>(b.size()));
}

// Hex digits to bytes; an odd count gets a leading zero.
inline Bytes FromHex(std::string hex) {
    if (hex.size() % 2)
        hex.insert(hex.begin(), '0');
    Bytes out;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

inline int Len(const Bytes& b) {
    return static_cast<int>(b.size());
}

struct TstResult {
    int rc;
    TTI_TSTINFO info;
};

inline TstResult DecodeTst(const Bytes& token) {
    TstResult r{};
    r.info.nSize = TTI_TSTINFO_SIZE;
    r.rc = TTI_GetTST_TSTInfo(&r.info, token.data(), Len(token));
    return r;
}

struct StatusResult {
    int rc;
    TTI_STATUS status;
};

inline StatusResult DecodeStatus(const Bytes& reply) {
    StatusResult r{};
    r.rc = TTI_GetTSR_Status(&r.status, reply.data(), Len(reply));
    return r;
}

// The token of a reply (or the bytes themselves when they are no reply), as the stamp
// reader takes it.
inline Bytes TokenOf(const Bytes& bytes) {
    TTI_STATUS status{};
    if (TTI_GetTSR_Status(&status, bytes.data(), Len(bytes)) != TTI_OK)
        return bytes;
    Bytes token(bytes.size());
    int len = Len(token);
    if (TTI_GetTSR_EncodedToken(token.data(), &len, bytes.data(), Len(bytes)) != TTI_OK)
        return {};
    token.resize(static_cast<std::size_t>(len));
    return token;
}

// The TAC of a token through a buffer of the program's 4096 bytes.
inline int ExtractTac(const Bytes& token, Bytes& tac) {
    tac.assign(4096, 0);
    int len = Len(tac);
    const int rc = TTI_GetTST_TimeAttributeCert(tac.data(), &len, token.data(), Len(token));
    tac.resize(rc == TTI_OK ? static_cast<std::size_t>(len) : 0);
    return rc;
}

inline int DecodeCertInfo(const Bytes& tac, TTI_CERT_INFO& info) {
    std::memset(&info, 0, sizeof info);
    info.nSize = TTI_CERTINFO_SIZE;
    return TTI_GetTAC_CertInfo(&info, tac.data(), Len(tac));
}

// A NUL inside the field: every text field of a record must end within it.
template <std::size_t N> bool Terminated(const char (&field)[N]) {
    return std::memchr(field, 0, N) != nullptr;
}

} // namespace mivo::test

#endif
