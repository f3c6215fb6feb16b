// The proxies the desktop names for a URL (access type 0), asked of libproxy: it reads the
// GNOME and KDE settings, PAC files, WPAD and the environment. libproxy is loaded at run
// time, so the program starts and works without it; then libcurl's own reading of the
// environment (http_proxy, https_proxy, all_proxy, no_proxy) decides, as before.
//
// A PAC answer can name several proxies ("PROXY a:8080; PROXY b:8080; DIRECT"): a request
// tries them in that order and goes on to the next one only when it could not reach the
// proxy (refused, name not found, handshake with a SOCKS proxy failed). A time-out is not
// passed on, as it is not retried elsewhere: two dead proxies must not double the wait.
#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The soname looked for at run time.
inline constexpr char kLibproxySoname[] = "libproxy.so.1";

// One proxy of libproxy's answer as libcurl takes it: "" for "direct://", the URL itself for
// http, https, socks4, socks4a, socks5 and socks5h, "socks5://" for libproxy's plain
// "socks://" (a PAC "SOCKS" line); nullopt for anything libcurl cannot use.
[[nodiscard]] std::optional<std::string> CurlProxyOf(const std::string& answer);

class CSystemProxy {
public:
    // Loads `library` (a soname or a path); a library that is missing or lacks libproxy's
    // functions leaves the object unavailable.
    explicit CSystemProxy(const char* library = kLibproxySoname);
    ~CSystemProxy();
    CSystemProxy(const CSystemProxy&) = delete;
    CSystemProxy& operator=(const CSystemProxy&) = delete;

    bool Available() const;

    // The proxies for `url` in the order to try them, each as libcurl takes it ("" for a
    // direct connection); answers libcurl cannot use are left out, and when none is left
    // the request goes direct. nullopt when libproxy is unavailable or gives no answer: the
    // environment decides then.
    [[nodiscard]] std::optional<std::vector<std::string>> ProxiesFor(const std::string& url);

    struct Library;

private:
    std::unique_ptr<Library> m_library;
};

// The process-wide one, loaded on first use.
CSystemProxy& SystemProxy();
// Puts `proxy` in place of the process-wide one (nullptr: back to it); answers the previous
// one installed. For tests that want the program as it runs without libproxy.
CSystemProxy* InstallSystemProxy(CSystemProxy* proxy);

// The proxies of one request, tried in order.
class CProxyChain {
public:
    // Asks the process-wide libproxy for `url` and sets the first proxy on `easy` (with no
    // answer it leaves `easy` alone: libcurl reads the environment). Answers libcurl's
    // result of setting the option.
    [[nodiscard]] CURLcode Start(CURL* easy, const std::string& url);
    // Same, with the list given.
    [[nodiscard]] CURLcode Start(CURL* easy, std::vector<std::string> proxies);

    // One transfer on `easy`: when the proxy cannot be reached, the next one of the list is
    // set and the transfer done again. A proxy that worked is the first one the next call
    // tries.
    [[nodiscard]] CURLcode Perform(CURL* easy);

    // The proxy in use ("" for a direct connection or when the environment decides).
    const std::string& Current() const;

private:
    // Whether `result` of a transfer through `m_nCurrent` says the proxy was not reached.
    bool ProxyUnreachable(CURL* easy, CURLcode result) const;
    [[nodiscard]] CURLcode Use(CURL* easy, std::size_t index);

    std::vector<std::string> m_proxies;
    std::size_t m_nCurrent = 0;
    std::size_t m_nFirst = 0; // where the next transfer starts
};
