// Posting one request body to one URL over HTTP or HTTPS and reading the reply body into
// the caller's buffer, with libcurl.
//
// The client keeps three "handles" open between Connect and Close:
// - the session (m_hInternet): user agent, access type and proxy, time-outs;
// - the connection target (m_hConnect): host, port, whether TLS is used, proxy credentials;
// - the request (m_hRequest): one curl easy handle, opened by the first SendRequest and kept
//   for its retries, with the request headers and the credentials answered in prompts.
//
// Calling order for one exchange: construct, SetRequestContentType, SetExpectedContentType,
// Connect, SendRequest (only when Connect answered 1), Close, ReportError on failure,
// destroy. A client serves one exchange.
//
// Time-outs: m_nTimeoutSec * 1000 milliseconds, raised to 1000 when below (so 0 and
// negative settings give 1000 ms) and kept below 2^32 ms. The value bounds
// the connection set-up (name look-up, TCP, proxy tunnel and TLS handshake together) and,
// once the request is under way, the longest time without a single byte moving in either
// direction. There is no limit on the whole exchange, so a slow reply that keeps coming is
// never cut; a stall ends after the time-out, checked about once a second (so at most
// about a second late). A time-out is not retried.
//
// Proxies: access type 0 takes the proxies the system names for the URL (SystemProxy.h:
// desktop settings, PAC, WPAD, environment, through libproxy); without libproxy it follows
// the proxy variables as libcurl reads them (http_proxy in lower case only, https_proxy /
// HTTPS_PROXY, all_proxy, no_proxy). 1 ignores them all; 3 uses m_strProxyServer for every
// host (no_proxy does not apply). Any other value is taken like 0. MIVOKLIENT_CA_FILE, when set,
// names a PEM file of certificates trusted for HTTPS in addition to the system's: a hook for tests
// and for operators with a private CA. HTTPS takes TLS 1.2 or later; the checks and the problems
// let pass: TlsExceptions.h.
//
// The class is in HttpClient.cpp, its redirects in HttpRedirect.cpp; its libcurl plumbing in
// CurlTransfer.{h,cpp}, the mapping of transfer failures to internet error codes in
// InternetErrorCodes.{h,cpp}.
#pragma once

#include "core/ConnectionParams.h"
#include "core/IConnectionPrompts.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Result codes of SendRequest (and HTTP_E_CONNECT for a failed Connect).
enum : int {
    HTTP_OK = 0,         // the reply body is in the buffer
    HTTP_E_CONNECT = -1, // setting up the connection failed
    HTTP_E_STATUS = -3,  // status 400 or above (not 401/407), kept in m_nStatusCode
    HTTP_E_NO_CONNECTION = -4,
    HTTP_E_OPEN_REQUEST = -5, // the request could not be prepared
    HTTP_E_SEND = -6,         // sending failed, authentication abandoned, sends used up, or
                              // the reply has no Content-Type header when one is expected
    HTTP_E_READ_BODY = -7,    // no body, a body larger than the buffer, or reading failed
    HTTP_E_CONTENT_TYPE = -8, // the reply's Content-Type lacks the expected text
};

// Sends of one request to one address, first one and retries together.
inline constexpr int kHttpMaxSends = 3;
// Redirects followed for one request. A POST follows 301, 302, 307 and 308 with the same
// method, headers and body, never from https to http; any other redirect, and one more
// than these, ends the request with the new address named in the last error's detail.
inline constexpr int kHttpMaxRedirects = 3;
// The smallest time-out, in milliseconds.
inline constexpr uint32_t kHttpMinTimeoutMs = 1000;
// A reply body is read on after the buffer is full (and a body that is not wanted is read
// and dropped) up to this many bytes; then the transfer is cut. The outcome is the same as
// reading to the end, but a server that sends without end cannot hold the client.
inline constexpr std::size_t kHttpDiscardLimit = 1024 * 1024;
// Names a PEM file of additional trusted certificates (see above).
inline constexpr char kCaFileVariable[] = "MIVOKLIENT_CA_FILE";

namespace http_detail {
struct Session;
struct ConnectionTarget;
struct Request;
} // namespace http_detail

class CHttpClient : public CConnectionParams {
public:
    CHttpClient();
    virtual ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // True when the computer can go on line; always so here (no dial-up to start).
    [[nodiscard]] virtual bool CanConnect();

    // Closes the request, the connection target and the session, in this order.
    virtual void Close();

    // Copies the connection parameters of `settings`, splits the URL (http or https only)
    // and opens the session and the connection target. 1 when both are open; 0 otherwise,
    // with the reason as the last error. Fails without touching anything when a session or
    // connection target is still open.
    [[nodiscard]] virtual int Connect(const CConnectionParams& settings);

    // Adds "name: value" to the request's headers, the integer written in decimal.
    [[nodiscard]] virtual int AddHeader(const std::string& name, int value);
    // Adds "name: value" to the request's headers (a header of that name already there
    // gets the new value in its place). 0 without a request handle, and 0 for an empty
    // name, a name with ":", or a name or value with CR, LF or NUL (which could smuggle
    // other header lines into the request); 1 when added.
    [[nodiscard]] virtual int AddHeader(const std::string& name, const std::string& value);

    // Posts `bodyLength` bytes of `body`. `replyLength` is the buffer's capacity on entry
    // and the number of bytes placed in it on success. Answers a result code above.
    [[nodiscard]] virtual int SendRequest(const unsigned char* body, int bodyLength,
                                          unsigned char* replyBuffer, int& replyLength);

    virtual void SetRequestContentType(const std::string& text);
    virtual void SetExpectedContentType(const std::string& text);

    // Shows `message` extended for the result code: -8 with the Content-Type text, -3 with
    // the status and its text, -1/-5/-6 with the last error's text, -7 with what arrived
    // (its length and first bytes, and the last error's text when reading broke off).
    virtual void ReportError(int code, const std::string& message);

    // The time-out the session applies, in milliseconds; 0 when no session is open.
    uint32_t TimeoutMilliseconds() const;

    int32_t m_nStatusCode = 0;
    int32_t m_bSecure = 0;
    std::string m_strRequestContentType;
    std::string m_strExpectedContentType;
    std::string m_strHost;
    std::string m_strUrlPath;
    uint16_t m_nPort = 0;
    int32_t m_nService = 3; // HTTP
    std::unique_ptr<http_detail::Session> m_hInternet;
    std::unique_ptr<http_detail::ConnectionTarget> m_hConnect;
    std::unique_ptr<http_detail::Request> m_hRequest;
    std::string m_strVerb = "POST"; // "GET": a download, no body sent, redirects followed

    // What the last send's reply body brought, kept for the report of -7 after Close.
    struct ReceivedBody {
        std::size_t length = 0;   // bytes that arrived (read on up to kHttpDiscardLimit)
        bool cut = false;         // more was coming when we stopped reading
        std::size_t capacity = 0; // what the buffer could take
        std::string firstBytes;   // the first bytes as hexadecimal pairs
        uint32_t readError = 0;   // the error that broke the reading off, or 0
    } m_received;

protected:
    // The outcome of the body of the last send: true when at least one byte arrived and
    // all of it fitted the buffer; `length` is set to the bytes placed in the buffer.
    [[nodiscard]] bool ReadBody(int& length) const;
    // Asks about a certificate problem; true to send again.
    [[nodiscard]] bool HandleSendError(uint32_t error);
    // Status 401 / 407 of the last send; true to send again.
    [[nodiscard]] bool HandleServerAuth(bool& flag);
    [[nodiscard]] bool HandleProxyAuth(bool& flag);

private:
    // SendToTarget's answer for a reply that sends the request elsewhere.
    static constexpr int kRedirected = 1;

    [[nodiscard]] bool HandleAuth(AuthTarget target, bool& flag);
    [[nodiscard]] bool OpenRequest();
    // Sends the request to its address and on to the addresses it is redirected to
    // (kHttpMaxRedirects): HTTP_OK for a final status below 400, else the result code,
    // with the last error set for HTTP_E_SEND.
    [[nodiscard]] int SendUntilAnswered(const unsigned char* body, int bodyLength);
    // Sends the request to the current address until an answer other than a challenge
    // comes back, at most kHttpMaxSends times: a refused, aborted or reset connection and
    // a reply that is not HTTP are sent again; a certificate problem, 401 or 407 after the
    // user's answer (or with the credentials answered before). kRedirected for a redirect.
    [[nodiscard]] int SendToTarget(const unsigned char* body, int bodyLength);
    // Points the request at the address of the redirect just received (HttpRedirect.cpp),
    // `redirects` counting the ones followed. False, with the refusal as the last error,
    // when it is not to be followed.
    [[nodiscard]] bool FollowRedirect(int& redirects);
    // The sentence of ReportError for -7.
    std::string ReceivedBodyText() const;
};
