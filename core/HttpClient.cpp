#include "core/HttpClient.h"

#include "platform/LastError.h"
#include "platform/Url.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

namespace http_detail {

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
    ~Request() {
        if (easy != nullptr)
            curl_easy_cleanup(easy);
    }

    CURL* easy = nullptr;
    std::vector<std::string> headers; // "Name: value" lines in the order added
    std::unique_ptr<curl_slist, SlistDeleter> headerList;
    std::string caFile;
    std::string caError;
    std::string expectedContentType;
    uint32_t stallLimitMs = kHttpMinTimeoutMs;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    // The reply of the last send.
    int status = 0; // 0: no status line yet
    bool headersDone = false;
    bool contentTypeFound = false;
    std::string contentType;
    std::string serverRealm;
    std::string proxyRealm;

    // Its body, placed into the caller's buffer as far as it fits.
    unsigned char* buffer = nullptr;
    std::size_t capacity = 0;
    std::size_t copied = 0;
    std::size_t received = 0;
    bool overflow = false;
    bool cut = false; // we stopped reading at the discard limit
    bool get = false; // a download (verb GET): no body goes out, redirects are followed
    uint32_t readError = 0;
    std::string readErrorDetail;

    // Stall watch: armed once the request is on its way.
    bool armed = false;
    bool stalled = false;
    Clock::time_point lastActivity;
    curl_off_t lastUploaded = 0;

    void ResetReply() {
        status = 0;
        headersDone = false;
        contentTypeFound = false;
        contentType.clear();
        serverRealm.clear();
        proxyRealm.clear();
        copied = 0;
        received = 0;
        overflow = false;
        cut = false;
        readError = 0;
        readErrorDetail.clear();
        armed = false;
        stalled = false;
        lastUploaded = 0;
        errorBuffer[0] = '\0';
        caError.clear();
    }

    bool BodyWanted() const {
        return buffer != nullptr && status < 400 &&
               (expectedContentType.empty() ||
                (contentTypeFound && contentType.find(expectedContentType) != std::string::npos));
    }
};

} // namespace http_detail

using http_detail::Clock;
using http_detail::ConnectionTarget;
using http_detail::Request;
using http_detail::Session;

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

// The realm="..." of an authentication challenge, or "".
std::string RealmOf(std::string_view challenge) {
    const std::size_t at = challenge.find("realm=\"");
    if (at == std::string_view::npos)
        return {};
    const std::string_view rest = challenge.substr(at + 7);
    return std::string(rest.substr(0, rest.find('"')));
}

// The status of a status line "HTTP/x.y NNN reason"; 0 when it has none.
int StatusOf(std::string_view line) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4)
        return 0;
    int status = 0;
    for (std::size_t i = space + 1; i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return 0;
        status = status * 10 + (line[i] - '0');
    }
    return status;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    Request& r = *static_cast<Request*>(user);
    const std::size_t n = size * count;
    r.lastActivity = Clock::now();
    const std::string_view line = Trim(std::string_view(data, n));
    if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
        // A new response (after a 100 Continue, say): only the last one counts.
        r.status = StatusOf(line);
        r.headersDone = false;
        r.contentTypeFound = false;
        r.contentType.clear();
        r.serverRealm.clear();
        r.proxyRealm.clear();
        return n;
    }
    if (line.empty()) {
        r.headersDone = r.status != 0;
        return n;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return n;
    const std::string_view name = Trim(line.substr(0, colon));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (EqualsNoCase(name, "Content-Type") && !r.contentTypeFound) {
        r.contentTypeFound = true;
        r.contentType = std::string(value);
    } else if (EqualsNoCase(name, "WWW-Authenticate") && r.serverRealm.empty()) {
        r.serverRealm = RealmOf(value);
    } else if (EqualsNoCase(name, "Proxy-Authenticate") && r.proxyRealm.empty()) {
        r.proxyRealm = RealmOf(value);
    }
    return n;
}

// The body goes into the caller's buffer while it fits; a body that is not wanted (status
// 400 or above, wrong Content-Type) is read and dropped. Either way the reading stops at
// kHttpDiscardLimit bytes past what the buffer can take.
std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    Request& r = *static_cast<Request*>(user);
    const std::size_t n = size * count;
    r.lastActivity = Clock::now();
    const bool wanted = r.BodyWanted();
    r.received += n;
    if (wanted && !r.overflow) {
        if (n <= r.capacity - r.copied) {
            std::memcpy(r.buffer + r.copied, data, n);
            r.copied += n;
        } else {
            r.overflow = true;
        }
    }
    const std::size_t limit = (wanted ? r.capacity : 0) + kHttpDiscardLimit;
    if (r.received > limit) {
        r.cut = true;
        return 0; // ends the transfer with CURLE_WRITE_ERROR
    }
    return n;
}

int OnProgress(void* user, curl_off_t /*dltotal*/, curl_off_t /*dlnow*/, curl_off_t /*ultotal*/,
               curl_off_t ulnow) {
    Request& r = *static_cast<Request*>(user);
    const auto now = Clock::now();
    if (!r.armed) {
        // The connection set-up has its own time-out; the stall watch starts with the
        // request.
        curl_off_t pretransfer = 0;
        if ((curl_easy_getinfo(r.easy, CURLINFO_PRETRANSFER_TIME_T, &pretransfer) == CURLE_OK &&
             pretransfer > 0) ||
            ulnow > 0) {
            r.armed = true;
            r.lastActivity = now;
            r.lastUploaded = ulnow;
        }
        return 0;
    }
    if (ulnow != r.lastUploaded) {
        r.lastUploaded = ulnow;
        r.lastActivity = now;
    }
    if (now - r.lastActivity >= std::chrono::milliseconds(r.stallLimitMs)) {
        r.stalled = true;
        return 1;
    }
    return 0;
}

// Adds the certificates of MIVOKLIENT_CA_FILE to those the TLS library trusts.
CURLcode OnSslContext(CURL* /*easy*/, void* context, void* user) {
    Request& r = *static_cast<Request*>(user);
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(context));
    if (store == nullptr || X509_STORE_load_file(store, r.caFile.c_str()) != 1) {
        ERR_clear_error();
        r.caError =
            std::string("cannot load the certificates of ") + kCaFileVariable + "=" + r.caFile;
        return CURLE_SSL_CACERT_BADFILE;
    }
    return CURLE_OK;
}

uint32_t CertificateError(long verifyResult) {
    switch (verifyResult) {
    case X509_V_OK:
    case X509_V_ERR_UNSPECIFIED:
        // The chain passed without a specific error: the name check, which libcurl does
        // itself after the handshake, failed.
        return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
        return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case X509_V_ERR_UNABLE_TO_GET_CRL:
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_CRL_HAS_EXPIRED:
    case X509_V_ERR_CRL_SIGNATURE_FAILURE:
        return ERROR_INTERNET_SEC_CERT_REV_FAILED;
    default:
        return ERROR_INTERNET_INVALID_CA;
    }
}

// The internet error code of a failed transfer.
uint32_t InternetError(CURLcode result, CURL* easy) {
    switch (result) {
    case CURLE_OPERATION_TIMEDOUT:
        return ERROR_INTERNET_TIMEOUT;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_UNSUPPORTED_PROTOCOL: {
        // After a connection this is a reply libcurl will not take (HTTP/0.9); before one,
        // a proxy scheme it does not know.
        long connects = 0;
        curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &connects);
        return connects > 0 ? ERROR_HTTP_INVALID_SERVER_RESPONSE
                            : ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    }
    case CURLE_URL_MALFORMAT:
        return ERROR_INTERNET_INVALID_URL;
    case CURLE_COULDNT_CONNECT:
        return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
        return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_RECV_ERROR:
        return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_PEER_FAILED_VERIFICATION: {
        long verifyResult = X509_V_OK;
        curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
        return CertificateError(verifyResult);
    }
    case CURLE_SSL_CLIENTCERT:
        return ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED;
    case CURLE_SSL_ISSUER_ERROR:
        return ERROR_INTERNET_INVALID_CA;
    case CURLE_SSL_INVALIDCERTSTATUS:
        return ERROR_INTERNET_SEC_CERT_REV_FAILED;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_USE_SSL_FAILED:
        return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_ABORTED_BY_CALLBACK:
        return ERROR_INTERNET_OPERATION_CANCELLED;
    default:
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

bool IsRetried(uint32_t error) {
    return error == ERROR_INTERNET_CANNOT_CONNECT || error == ERROR_INTERNET_CONNECTION_ABORTED ||
           error == ERROR_INTERNET_CONNECTION_RESET || error == ERROR_HTTP_INVALID_SERVER_RESPONSE;
}

bool IsCertificateProblem(uint32_t error) {
    return error == ERROR_INTERNET_SEC_CERT_DATE_INVALID ||
           error == ERROR_INTERNET_SEC_CERT_CN_INVALID ||
           error == ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED || error == ERROR_INTERNET_INVALID_CA ||
           error == ERROR_INTERNET_SEC_CERT_REV_FAILED;
}

bool HasHeader(const std::vector<std::string>& lines, std::string_view name) {
    for (const auto& line : lines) {
        const std::size_t end = line.find_first_of(":;");
        if (EqualsNoCase(Trim(std::string_view(line).substr(0, end)), name))
            return true;
    }
    return false;
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The proxy that a 407 comes from, for the question to the user.
std::string ProxyName(const Session& session, bool secure) {
    if (session.accessType == ACCESS_TYPE_PROXY)
        return session.proxy;
    static const char* const kSecure[] = {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"};
    static const char* const kPlain[] = {"http_proxy", "all_proxy", "ALL_PROXY"};
    const auto first = [](const auto& names) -> std::string {
        for (const char* name : names) {
            const char* value = std::getenv(name);
            if (value != nullptr && *value != '\0')
                return value;
        }
        return {};
    };
    return secure ? first(kSecure) : first(kPlain);
}

// One send: the request goes out and the reply comes back. 0 when a complete status line
// and headers came back (the body may still have failed: readError), else the internet
// error code, with its detail in `detail`.
uint32_t Send(Request& r, const unsigned char* body, int bodyLength, std::string& detail) {
    static const unsigned char kNoBody[1] = {0};
    r.ResetReply();

    std::vector<std::string> lines = r.headers;
    // libcurl's own defaults would add a form Content-Type and an Expect header.
    if (!HasHeader(lines, "Content-Type"))
        lines.emplace_back("Content-Type:");
    lines.emplace_back("Expect:");
    std::unique_ptr<curl_slist, http_detail::SlistDeleter> list;
    for (const auto& line : lines) {
        curl_slist* extended = curl_slist_append(list.get(), line.c_str());
        if (extended == nullptr) {
            detail = "out of memory";
            return ERROR_INTERNET_INTERNAL_ERROR;
        }
        list.release();
        list.reset(extended);
    }
    r.headerList = std::move(list);
    curl_easy_setopt(r.easy, CURLOPT_HTTPHEADER, r.headerList.get());
    if (!r.get) {
        curl_easy_setopt(r.easy, CURLOPT_POSTFIELDS, body != nullptr ? body : kNoBody);
        curl_easy_setopt(r.easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodyLength));
    }

    const CURLcode result = curl_easy_perform(r.easy);
    if (result == CURLE_OK || (r.cut && result == CURLE_WRITE_ERROR)) {
        if (r.headersDone)
            return 0;
        detail = "no complete reply";
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    }

    uint32_t error = InternetError(result, r.easy);
    detail = r.errorBuffer[0] != '\0' ? r.errorBuffer : curl_easy_strerror(result);
    if (r.stalled) {
        error = ERROR_INTERNET_TIMEOUT;
        detail = "no data for " + std::to_string(r.stallLimitMs) + " ms";
    } else if (!r.caError.empty()) {
        detail = r.caError;
    }
    if (r.headersDone) {
        // The status and headers arrived; the body did not.
        r.readError = error;
        r.readErrorDetail = detail;
        return 0;
    }
    long connectCode = 0;
    if (curl_easy_getinfo(r.easy, CURLINFO_HTTP_CONNECTCODE, &connectCode) == CURLE_OK &&
        connectCode == 407) {
        // The proxy asked for credentials before it would open the tunnel.
        r.status = 407;
        r.headersDone = true;
        return 0;
    }
    return error;
}

} // namespace

CHttpClient::CHttpClient() = default;

CHttpClient::~CHttpClient() {
    Close();
}

bool CHttpClient::CanConnect() {
    return true;
}

void CHttpClient::Close() {
    m_hRequest.reset();
    m_hConnect.reset();
    m_hInternet.reset();
}

int CHttpClient::Connect(const CConnectionParams& settings) {
    if (m_hInternet || m_hConnect)
        return 0;
    CopyConnectionParams(settings);
    if (m_strServerUrl.empty()) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return 0;
    }
    UrlParts parts;
    if (!CrackUrl(m_strServerUrl, parts))
        return 0;
    if (parts.scheme == "http") {
        m_bSecure = 0;
    } else if (parts.scheme == "https") {
        m_bSecure = 1;
    } else {
        SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME, parts.scheme);
        return 0;
    }
    if (parts.host.empty()) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return 0;
    }
    m_strHost = parts.host;
    m_strUrlPath = parts.path + (parts.query.empty() ? "" : "?" + parts.query);
    m_nPort = parts.port != 0 ? parts.port : (m_bSecure != 0 ? 443 : 80);
    if (!CanConnect()) {
        SetLastError(ERROR_INTERNET_CANNOT_CONNECT);
        return 0;
    }

    if (m_nProxyType == ACCESS_TYPE_PROXY && m_strProxyServer.empty()) {
        SetLastError(EINVAL, "proxy_type 3 without proxy_server");
        return 0;
    }
    InitCurlOnce();
    auto session = std::make_unique<Session>();
    session->userAgent = m_strUserAgent;
    session->accessType = m_nProxyType;
    if (m_nProxyType == ACCESS_TYPE_PROXY)
        session->proxy = m_strProxyServer;
    // Every setting below one second, zero and negative ones included, gives the minimum;
    // the product is taken in 64 bits so that a huge setting cannot wrap to a short one.
    const int64_t timeoutMs = int64_t{m_nTimeoutSec} * 1000;
    session->timeoutMs = timeoutMs < int64_t{kHttpMinTimeoutMs} ? kHttpMinTimeoutMs
                         : timeoutMs > int64_t{UINT32_MAX}      ? UINT32_MAX
                                                                : static_cast<uint32_t>(timeoutMs);
    m_hInternet = std::move(session);

    auto target = std::make_unique<ConnectionTarget>();
    target->host = m_strHost;
    target->secure = m_bSecure != 0;
    target->url = parts.scheme + "://" + m_strHost + ":" + std::to_string(m_nPort) + m_strUrlPath;
    m_hConnect = std::move(target);

    if (!CanConnect()) {
        SetLastError(ERROR_INTERNET_CANNOT_CONNECT);
        return 0;
    }
    if (m_nProxyType == ACCESS_TYPE_PROXY) {
        m_hConnect->proxyCredentials = true;
        m_hConnect->proxyUser = m_strProxyUser;
        m_hConnect->proxyPassword = m_strProxyPassword;
    }
    return 1;
}

uint32_t CHttpClient::TimeoutMilliseconds() const {
    return m_hInternet ? m_hInternet->timeoutMs : 0;
}

bool CHttpClient::OpenRequest() {
    auto request = std::make_unique<Request>();
    Request& r = *request;
    r.easy = curl_easy_init();
    if (r.easy == nullptr) {
        SetLastError(ERROR_INTERNET_INTERNAL_ERROR, "curl_easy_init");
        return false;
    }
    const Session& session = *m_hInternet;
    const ConnectionTarget& target = *m_hConnect;
    r.stallLimitMs = session.timeoutMs;

    // A user agent is one header line: line breaks in it would start others.
    std::string userAgent = session.userAgent;
    for (char& c : userAgent)
        if (c == '\r' || c == '\n')
            c = ' ';

    CURL* e = r.easy;
    CURLcode rc = CURLE_OK;
    const auto set = [&rc](CURLcode result) {
        if (rc == CURLE_OK)
            rc = result;
    };
    set(curl_easy_setopt(e, CURLOPT_URL, target.url.c_str()));
    set(curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0)));
    r.get = m_strVerb == "GET";
    set(curl_easy_setopt(e, r.get ? CURLOPT_HTTPGET : CURLOPT_POST, 1L));
    if (m_strVerb != "POST" && !r.get)
        set(curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, m_strVerb.c_str()));
    set(curl_easy_setopt(e, CURLOPT_USERAGENT, userAgent.c_str()));
    set(curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L));
    // A download follows a document that moved (a few times, http and https only).
    set(curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, r.get ? 1L : 0L));
    if (r.get) {
        set(curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L));
        set(curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    }
    set(curl_easy_setopt(e, CURLOPT_ERRORBUFFER, r.errorBuffer));
    set(curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader));
    set(curl_easy_setopt(e, CURLOPT_HEADERDATA, &r));
    set(curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody));
    set(curl_easy_setopt(e, CURLOPT_WRITEDATA, &r));
    set(curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, OnProgress));
    set(curl_easy_setopt(e, CURLOPT_XFERINFODATA, &r));
    set(curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L));
    set(curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(session.timeoutMs)));
    set(curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L));

    if (session.accessType == ACCESS_TYPE_DIRECT) {
        set(curl_easy_setopt(e, CURLOPT_PROXY, ""));
    } else if (session.accessType == ACCESS_TYPE_PROXY) {
        set(curl_easy_setopt(e, CURLOPT_PROXY, session.proxy.c_str()));
        set(curl_easy_setopt(e, CURLOPT_NOPROXY, ""));
        if (target.proxyCredentials && !target.proxyUser.empty()) {
            set(curl_easy_setopt(e, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC)));
            set(curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, target.proxyUser.c_str()));
            set(curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, target.proxyPassword.c_str()));
        }
    }

    if (target.secure) {
        set(curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L));
        set(curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L));
        const char* caFile = std::getenv(kCaFileVariable);
        if (caFile != nullptr && *caFile != '\0') {
            r.caFile = caFile;
            // A store kept between transfers would outlive the file's certificates.
            set(curl_easy_setopt(e, CURLOPT_CA_CACHE_TIMEOUT, 0L));
            set(curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, OnSslContext));
            set(curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, &r));
        }
    }
    if (rc != CURLE_OK) {
        SetLastError(ERROR_INTERNET_INTERNAL_ERROR, curl_easy_strerror(rc));
        return false;
    }
    m_hRequest = std::move(request);
    return true;
}

int CHttpClient::AddHeader(const std::string& name, int value) {
    return AddHeader(name, std::to_string(value));
}

int CHttpClient::AddHeader(const std::string& name, const std::string& value) {
    if (!m_hRequest)
        return 0;
    const auto unsafe = [](const std::string& text) {
        return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos;
    };
    if (name.empty() || name.find(':') != std::string::npos || unsafe(name) || unsafe(value))
        return 0;
    // libcurl reads "Name:" with nothing after it as "drop this header", "Name;" as an
    // empty one. A header added again replaces the earlier value in its place, so that a
    // second send on the same request does not repeat its headers.
    std::string line = value.empty() ? name + ";" : name + ": " + value;
    for (auto& existing : m_hRequest->headers) {
        const std::size_t end = existing.find_first_of(":;");
        if (EqualsNoCase(std::string_view(existing).substr(0, end), name)) {
            existing = std::move(line);
            return 1;
        }
    }
    m_hRequest->headers.push_back(std::move(line));
    return 1;
}

void CHttpClient::SetRequestContentType(const std::string& text) {
    m_strRequestContentType = text;
}

void CHttpClient::SetExpectedContentType(const std::string& text) {
    m_strExpectedContentType = text;
}

int CHttpClient::SendRequest(const unsigned char* body, int bodyLength, unsigned char* replyBuffer,
                             int& replyLength) {
    if (!m_hConnect)
        return HTTP_E_NO_CONNECTION;
    if (!m_hRequest && !OpenRequest())
        return HTTP_E_OPEN_REQUEST;
    m_nStatusCode = 400;
    bool serverFlag = false;
    bool proxyFlag = false;

    AddHeader("Accept", "*/*");
    if (!m_hRequest->get)
        AddHeader("Content-Length", bodyLength);
    if (!m_strRequestContentType.empty())
        AddHeader("Content-Type", m_strRequestContentType);

    if (bodyLength < 0 || (body == nullptr && bodyLength > 0)) {
        SetLastError(EINVAL, "request body");
        return HTTP_E_SEND;
    }
    m_hRequest->buffer = replyBuffer;
    m_hRequest->capacity = replyBuffer != nullptr && replyLength > 0 ? replyLength : 0;
    m_hRequest->expectedContentType = m_strExpectedContentType;

    bool sent = false;
    int lastChallenge = 0;
    for (int attempt = 0; attempt < kHttpMaxSends && !sent; ++attempt) {
        std::string detail;
        const uint32_t error = Send(*m_hRequest, body, bodyLength, detail);
        lastChallenge = 0;
        if (error != 0) {
            SetLastError(error, detail);
            if (IsRetried(error) || HandleSendError(error))
                continue;
            m_hRequest.reset();
            SetLastError(error, detail);
            return HTTP_E_SEND;
        }
        const int status = m_hRequest->status;
        if (status == 401) {
            lastChallenge = status;
            if (!HandleServerAuth(serverFlag))
                return HTTP_E_SEND;
        } else if (status == 407) {
            lastChallenge = status;
            if (!HandleProxyAuth(proxyFlag))
                return HTTP_E_SEND;
        } else if (status >= 400) {
            m_nStatusCode = status;
            return HTTP_E_STATUS;
        } else {
            sent = true;
        }
    }
    if (!sent) {
        if (lastChallenge != 0)
            SetLastError(ERROR_INTERNET_INCORRECT_PASSWORD,
                         "HTTP " + std::to_string(lastChallenge));
        return HTTP_E_SEND;
    }

    const Request& r = *m_hRequest;
    if (!m_strExpectedContentType.empty()) {
        if (!r.contentTypeFound) {
            SetLastError(ERROR_HTTP_HEADER_NOT_FOUND, "Content-Type");
            return HTTP_E_SEND;
        }
        if (r.contentType.find(m_strExpectedContentType) == std::string::npos)
            return HTTP_E_CONTENT_TYPE;
    }
    int length = 0;
    if (!ReadBody(length)) {
        if (r.readError != 0)
            SetLastError(r.readError, r.readErrorDetail);
        return HTTP_E_READ_BODY;
    }
    replyLength = length;
    return HTTP_OK;
}

bool CHttpClient::ReadBody(int& length) const {
    if (!m_hRequest)
        return false;
    const Request& r = *m_hRequest;
    length = static_cast<int>(r.copied);
    return r.received > 0 && !r.overflow && r.readError == 0;
}

bool CHttpClient::HandleSendError(uint32_t error) {
    if (!m_hRequest)
        return false;
    if (error == ERROR_INTERNET_INCORRECT_PASSWORD) {
        bool flag = false;
        return HandleAuth(AuthTarget::Server, flag);
    }
    if (!IsCertificateProblem(error))
        return false;
    const std::string detail = LastErrorDetail();
    if (!ConnectionPrompts().ContinueDespiteCertificateProblem(error, m_strHost, detail))
        return false;
    // As the platform's dialog would: this request goes on without the certificate checks.
    curl_easy_setopt(m_hRequest->easy, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(m_hRequest->easy, CURLOPT_SSL_VERIFYHOST, 0L);
    return true;
}

bool CHttpClient::HandleServerAuth(bool& flag) {
    return HandleAuth(AuthTarget::Server, flag);
}

bool CHttpClient::HandleProxyAuth(bool& flag) {
    return HandleAuth(AuthTarget::Proxy, flag);
}

// The body of the challenge has been read and dropped already. With the flag set the
// credentials of this client go on the request again; otherwise the user is asked, and the
// answer goes on the request and replaces this client's credentials (never the settings').
bool CHttpClient::HandleAuth(AuthTarget target, bool& flag) {
    if (!m_hRequest)
        return false;
    Request& r = *m_hRequest;
    const bool server = target == AuthTarget::Server;
    std::string& user = server ? m_strAuthUser : m_strProxyUser;
    std::string& password = server ? m_strAuthPassword : m_strProxyPassword;
    const auto apply = [&r, server](const std::string& u, const std::string& p) {
        const char* name = u.empty() ? nullptr : u.c_str();
        const char* secret = u.empty() ? nullptr : p.c_str();
        if (server) {
            curl_easy_setopt(r.easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
            curl_easy_setopt(r.easy, CURLOPT_USERNAME, name);
            curl_easy_setopt(r.easy, CURLOPT_PASSWORD, secret);
        } else {
            curl_easy_setopt(r.easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
            curl_easy_setopt(r.easy, CURLOPT_PROXYUSERNAME, name);
            curl_easy_setopt(r.easy, CURLOPT_PROXYPASSWORD, secret);
        }
    };
    if (flag) {
        apply(user, password);
        return true;
    }
    std::string answerUser = user;
    std::string answerPassword = password;
    const std::string host = server ? m_strHost : ProxyName(*m_hInternet, m_bSecure != 0);
    const std::string& realm = server ? r.serverRealm : r.proxyRealm;
    if (!ConnectionPrompts().AskCredentials(target, host, realm, answerUser, answerPassword)) {
        SetLastError(ERROR_INTERNET_OPERATION_CANCELLED, server ? "HTTP 401" : "HTTP 407");
        return false;
    }
    apply(answerUser, answerPassword);
    user = answerUser;
    password = answerPassword;
    if (!user.empty())
        flag = true;
    return true;
}

void CHttpClient::ReportError(int code, const std::string& message) {
    std::string text = message;
    switch (code) {
    case HTTP_E_CONTENT_TYPE:
        text += "\n\n" + LoadResString(IDS_WRONG_CONTENT_TYPE);
        break;
    case HTTP_E_STATUS:
        if (m_nStatusCode < 999) {
            text += FormatText("\n\n%d: ", m_nStatusCode);
            if (m_nStatusCode >= 0)
                text += LoadResString(IDS_HTTP_STATUS_BASE + static_cast<uint32_t>(m_nStatusCode));
        }
        break;
    case HTTP_E_CONNECT:
    case HTTP_E_OPEN_REQUEST:
    case HTTP_E_SEND:
        ErrorBoxWithSystemError(text);
        return;
    default:
        break;
    }
    ErrorBox(text);
}
