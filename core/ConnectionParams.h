// The connection parameters of an exchange with the TSA: server URL, user agent, the way to
// the internet (access type, proxy and its credentials), the server credentials and the
// time-out. The settings object loads and stores them; every exchange copies them when it
// connects.
#pragma once

#include <cstdint>
#include <string>

// Access types (m_nProxyType), the values the settings store.
enum : int32_t {
    ACCESS_TYPE_PRECONFIG = 0, // the environment's proxy variables (http_proxy, no_proxy, ...)
    ACCESS_TYPE_DIRECT = 1,    // no proxy at all, whatever the environment says
    ACCESS_TYPE_PROXY = 3,     // m_strProxyServer with m_strProxyUser / m_strProxyPassword
};

inline constexpr char kDefaultUserAgent[] = "Mozilla/4.0 (compatible; )";
inline constexpr int32_t kDefaultTimeoutSec = 180;

class CConnectionParams {
public:
    std::string m_strServerUrl;
    std::string m_strUserAgent = kDefaultUserAgent;
    std::string m_strProxyServer;
    std::string m_strProxyUser;
    std::string m_strProxyPassword;
    std::string m_strAuthUser;
    std::string m_strAuthPassword;
    int32_t m_nProxyType = ACCESS_TYPE_PRECONFIG;
    int32_t m_nTimeoutSec = kDefaultTimeoutSec;

    // The nine members above, copied from `other`.
    void CopyConnectionParams(const CConnectionParams& other) { *this = other; }
};
