// The libcurl side of the HTTP client: the records it keeps between Connect and Close (the
// session and the connection target), the request with its curl easy handle and the
// callbacks that collect the reply, and one send of a request. Only the HTTP client uses
// it; nothing here shows anything or asks the user.
#pragma once

#include "core/HttpClient.h"
#include "core/SystemProxy.h"
#include "core/TlsExceptions.h"

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace http_detail {

// ASCII letters compared without case (header names, host names).
bool EqualsNoCase(std::string_view a, std::string_view b);

using Clock = std::chrono::steady_clock;

struct Session {
    std::string userAgent;
    int32_t accessType = ACCESS_TYPE_PRECONFIG;
    std::string proxy; // access type 3 only
    uint32_t timeoutMs = kHttpMinTimeoutMs;
};

struct ConnectionTarget {
    std::string url; // scheme://host:port/path?query, what the request goes to
    std::string host;
    bool secure = false;
    bool proxyCredentials = false; // access type 3: the stored proxy credentials
    std::string proxyUser;
    std::string proxyPassword;
};

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct Request {
    Request() = default;
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
    ~Request();

    CURL* easy = nullptr;
    std::vector<std::string> headers; // "Name: value" lines in the order added
    std::unique_ptr<curl_slist, SlistDeleter> headerList;
    ServerCheck serverCheck; // HTTPS: the CA file, the checks let pass for the server
    std::string expectedContentType;
    uint32_t stallLimitMs = kHttpMinTimeoutMs;
    CProxyChain proxyChain; // access type 0: the proxies libproxy named for the URL
    char errorBuffer[CURL_ERROR_SIZE] = {};

    // The reply of the last send.
    int status = 0; // 0: no status line yet
    bool headersDone = false;
    bool contentTypeFound = false;
    std::string contentType;
    std::string serverRealm;
    std::string proxyRealm;
    // The authentication schemes the challenges offered (CURLAUTH_ bits of kAuthSchemes).
    unsigned long serverSchemes = 0;
    unsigned long proxySchemes = 0;
    std::string location; // the Location header, as sent (control characters and all)

    // Its body, placed into the caller's buffer as far as it fits.
    unsigned char* buffer = nullptr;
    std::size_t capacity = 0;
    std::size_t copied = 0;
    std::size_t received = 0;
    bool overflow = false;
    // The first bytes of the body, wanted or not, for a report of what arrived.
    unsigned char firstBytes[16] = {};
    std::size_t firstCount = 0;
    bool cut = false; // we stopped reading at the discard limit
    bool get = false; // a download (verb GET): no body goes out, redirects are followed
    uint32_t readError = 0;
    std::string readErrorDetail;

    // Stall watch: armed once the request is on its way.
    bool armed = false;
    bool stalled = false;
    Clock::time_point lastActivity;
    curl_off_t lastUploaded = 0;

    // Forgets the reply of an earlier send.
    void ResetReply();
    // A status of 300 to 399 with a Location: the reply sends us elsewhere.
    bool IsRedirect() const;
    // Whether the body of the reply goes into the buffer: there is a buffer, the status is
    // below 400 and no redirect, and the Content-Type holds the expected text (when one is
    // expected).
    bool BodyWanted() const;
};

// The authentication schemes we answer: libcurl picks the strongest the challenge offers.
inline constexpr unsigned long kAuthSchemes =
    CURLAUTH_BASIC | CURLAUTH_DIGEST | CURLAUTH_NTLM | CURLAUTH_NEGOTIATE;

// The schemes to allow for credentials that travel over a connection that is `plain` (no
// TLS) to a party whose challenges offered `offered`: those offered that we answer, and
// never Basic over a plain connection when something stronger is on offer. Nothing
// recognisable offered: every scheme we answer, and libcurl asks the server first.
unsigned long AuthSchemesFor(unsigned long offered, bool plain);

// Sets libcurl up once per process; later calls do nothing.
void InitCurlOnce();

// A request to `target` through `session` with the method `verb`, its easy handle set up
// (HTTP/1.0, no redirects, time-outs, proxy, certificate checks: TlsExceptions.h) and no headers
// yet. Null, with ERROR_INTERNET_INTERNAL_ERROR as the last error, when libcurl cannot make or set
// up the handle.
[[nodiscard]] std::unique_ptr<Request>
OpenCurlRequest(const Session& session, const ConnectionTarget& target, const std::string& verb);

// Puts "name: value" on the request's headers, in place of an earlier header of that name
// (compared without regard to case). The caller has checked name and value.
void PutHeader(Request& r, const std::string& name, const std::string& value);

// One send: the request goes out with `body` and the reply comes back. 0 when a complete
// status line and headers came back (the body may still have failed: readError), else the
// internet error code, with its detail in `detail`.
[[nodiscard]] uint32_t SendOnce(Request& r, const unsigned char* body, int bodyLength,
                                std::string& detail);

// Puts credentials for the server or the proxy on the request, for the schemes that
// AuthSchemesFor allows after the last challenge; `plain` says whether they would travel
// without TLS. An empty user takes them off.
void SetCredentials(Request& r, AuthTarget target, const std::string& user,
                    const std::string& password, bool plain);

// Points the request at `target` (a redirect): the same method, headers and body go there.
// A target on another origin (scheme, host or port) gets no server credentials of the old
// one, and the certificate checks again in full.
[[nodiscard]] bool RetargetRequest(Request& r, const ConnectionTarget& target, bool sameOrigin);

// `location` resolved against `base` (both URLs; the location may be relative). False when
// it does not make an absolute URL.
[[nodiscard]] bool ResolveLocation(const std::string& base, const std::string& location,
                                   std::string& absolute);

// The proxy that a 407 comes from, for the question to the user: the named proxy of access
// type 3, the one of the system's proxies in use, otherwise the first proxy variable set
// for the scheme; "" when none is.
std::string ProxyName(const Session& session, const Request& r, bool secure);

} // namespace http_detail
