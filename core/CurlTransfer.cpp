#include "core/CurlTransfer.h"

#include "core/InternetErrorCodes.h"
#include "platform/LastError.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

namespace http_detail {

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

namespace {

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

bool IsTokenChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// The CURLAUTH_ bits of the schemes a WWW-Authenticate or Proxy-Authenticate value offers.
// One value may carry several challenges, separated by commas like their parameters: a
// piece that starts with a token not followed by "=" starts a challenge.
unsigned long SchemesOf(std::string_view value) {
    static constexpr std::pair<std::string_view, unsigned long> kNames[] = {
        {"basic", CURLAUTH_BASIC},
        {"digest", CURLAUTH_DIGEST},
        {"ntlm", CURLAUTH_NTLM},
        {"negotiate", CURLAUTH_NEGOTIATE},
    };
    unsigned long schemes = 0;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        if (i < value.size() && value[i] == '"' && (i == 0 || value[i - 1] != '\\'))
            quoted = !quoted;
        if (i < value.size() && (quoted || value[i] != ','))
            continue;
        const std::string_view piece = Trim(value.substr(start, i - start));
        start = i + 1;
        std::size_t end = 0;
        while (end < piece.size() && IsTokenChar(piece[end]))
            ++end;
        if (end == 0 || (end < piece.size() && piece[end] != ' ' && piece[end] != '\t'))
            continue; // a parameter ("name=value") or nothing
        for (const auto& [name, bit] : kNames)
            if (EqualsNoCase(piece.substr(0, end), name))
                schemes |= bit;
    }
    return schemes;
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
        r.serverSchemes = 0;
        r.proxySchemes = 0;
        r.location.clear();
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
    } else if (EqualsNoCase(name, "WWW-Authenticate")) {
        if (r.serverRealm.empty())
            r.serverRealm = RealmOf(value);
        r.serverSchemes |= SchemesOf(value);
    } else if (EqualsNoCase(name, "Proxy-Authenticate")) {
        if (r.proxyRealm.empty())
            r.proxyRealm = RealmOf(value);
        r.proxySchemes |= SchemesOf(value);
    } else if (EqualsNoCase(name, "Location") && r.location.empty()) {
        r.location = std::string(value);
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
    const std::size_t first = std::min(n, sizeof r.firstBytes - r.firstCount);
    std::memcpy(r.firstBytes + r.firstCount, data, first);
    r.firstCount += first;
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

// Keeps the first failure of a series of curl_easy_setopt calls.
class FirstFailure {
public:
    void operator()(CURLcode result) {
        if (m_rc == CURLE_OK)
            m_rc = result;
    }
    CURLcode Result() const { return m_rc; }

private:
    CURLcode m_rc = CURLE_OK;
};

void SetTransferOptions(Request& r, const Session& session, const ConnectionTarget& target,
                        const std::string& verb, FirstFailure& set) {
    // A user agent is one header line: line breaks in it would start others.
    std::string userAgent = session.userAgent;
    for (char& c : userAgent)
        if (c == '\r' || c == '\n')
            c = ' ';

    CURL* e = r.easy;
    set(curl_easy_setopt(e, CURLOPT_URL, target.url.c_str()));
    set(curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0)));
    r.get = verb == "GET";
    set(curl_easy_setopt(e, r.get ? CURLOPT_HTTPGET : CURLOPT_POST, 1L));
    if (verb != "POST" && !r.get)
        set(curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb.c_str()));
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
}

void SetProxyOptions(CURL* e, const Session& session, const ConnectionTarget& target,
                     FirstFailure& set) {
    if (session.accessType == ACCESS_TYPE_DIRECT) {
        set(curl_easy_setopt(e, CURLOPT_PROXY, ""));
    } else if (session.accessType == ACCESS_TYPE_PROXY) {
        set(curl_easy_setopt(e, CURLOPT_PROXY, session.proxy.c_str()));
        set(curl_easy_setopt(e, CURLOPT_NOPROXY, ""));
        if (target.proxyCredentials && !target.proxyUser.empty()) {
            // Nothing was offered yet: libcurl asks the proxy first and answers with the
            // strongest scheme it offers.
            set(curl_easy_setopt(e, CURLOPT_PROXYAUTH, static_cast<long>(kAuthSchemes)));
            set(curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, target.proxyUser.c_str()));
            set(curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, target.proxyPassword.c_str()));
        }
    }
}

bool HasHeader(const std::vector<std::string>& lines, std::string_view name) {
    for (const auto& line : lines) {
        const std::size_t end = line.find_first_of(":;");
        if (EqualsNoCase(Trim(std::string_view(line).substr(0, end)), name))
            return true;
    }
    return false;
}

} // namespace

Request::~Request() {
    if (easy != nullptr)
        curl_easy_cleanup(easy);
}

void Request::ResetReply() {
    status = 0;
    headersDone = false;
    contentTypeFound = false;
    contentType.clear();
    serverRealm.clear();
    proxyRealm.clear();
    serverSchemes = 0;
    proxySchemes = 0;
    location.clear();
    copied = 0;
    received = 0;
    overflow = false;
    firstCount = 0;
    cut = false;
    readError = 0;
    readErrorDetail.clear();
    armed = false;
    stalled = false;
    lastUploaded = 0;
    errorBuffer[0] = '\0';
    serverCheck.caError.clear();
}

bool Request::IsRedirect() const {
    return status >= 300 && status < 400 && !location.empty();
}

bool Request::BodyWanted() const {
    return buffer != nullptr && status < 400 && !IsRedirect() &&
           (expectedContentType.empty() ||
            (contentTypeFound && contentType.find(expectedContentType) != std::string::npos));
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::unique_ptr<Request> OpenCurlRequest(const Session& session, const ConnectionTarget& target,
                                         const std::string& verb) {
    auto request = std::make_unique<Request>();
    Request& r = *request;
    r.easy = curl_easy_init();
    if (r.easy == nullptr) {
        SetLastError(ERROR_INTERNET_INTERNAL_ERROR, "curl_easy_init");
        return nullptr;
    }
    r.stallLimitMs = session.timeoutMs;
    FirstFailure set;
    SetTransferOptions(r, session, target, verb, set);
    SetProxyOptions(r.easy, session, target, set);
    if (session.accessType != ACCESS_TYPE_DIRECT && session.accessType != ACCESS_TYPE_PROXY)
        set(r.proxyChain.Start(r.easy, target.url));
    if (target.secure)
        set(SetUpServerCheck(r.easy, target.url, r.serverCheck));
    if (set.Result() != CURLE_OK) {
        SetLastError(ERROR_INTERNET_INTERNAL_ERROR, curl_easy_strerror(set.Result()));
        return nullptr;
    }
    return request;
}

void PutHeader(Request& r, const std::string& name, const std::string& value) {
    // libcurl reads "Name:" with nothing after it as "drop this header", "Name;" as an
    // empty one. A header added again replaces the earlier value in its place, so that a
    // second send on the same request does not repeat its headers.
    std::string line = value.empty() ? name + ";" : name + ": " + value;
    for (auto& existing : r.headers) {
        const std::size_t end = existing.find_first_of(":;");
        if (EqualsNoCase(std::string_view(existing).substr(0, end), name)) {
            existing = std::move(line);
            return;
        }
    }
    r.headers.push_back(std::move(line));
}

uint32_t SendOnce(Request& r, const unsigned char* body, int bodyLength, std::string& detail) {
    static const unsigned char kNoBody[1] = {0};
    r.ResetReply();

    std::vector<std::string> lines = r.headers;
    // libcurl's own defaults would add a form Content-Type and an Expect header.
    if (!HasHeader(lines, "Content-Type"))
        lines.emplace_back("Content-Type:");
    lines.emplace_back("Expect:");
    std::unique_ptr<curl_slist, SlistDeleter> list;
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

    const CURLcode result = r.proxyChain.Perform(r.easy);
    if (result == CURLE_OK || (r.cut && result == CURLE_WRITE_ERROR)) {
        if (r.headersDone)
            return 0;
        detail = "no complete reply";
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    }

    uint32_t error = InternetErrorOf(result, r.easy);
    detail = r.errorBuffer[0] != '\0' ? r.errorBuffer : curl_easy_strerror(result);
    if (r.stalled) {
        error = ERROR_INTERNET_TIMEOUT;
        detail = "no data for " + std::to_string(r.stallLimitMs) + " ms";
    } else if (!r.serverCheck.caError.empty()) {
        detail = r.serverCheck.caError;
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

unsigned long AuthSchemesFor(unsigned long offered, bool plain) {
    unsigned long schemes = offered & kAuthSchemes;
    if (schemes == 0)
        return kAuthSchemes; // libcurl learns the offer itself (a tunnel's challenge is hidden)
    if (plain && (schemes & ~CURLAUTH_BASIC) != 0)
        schemes &= ~CURLAUTH_BASIC;
    return schemes;
}

void SetCredentials(Request& r, AuthTarget target, const std::string& user,
                    const std::string& password, bool plain) {
    const char* name = user.empty() ? nullptr : user.c_str();
    const char* secret = user.empty() ? nullptr : password.c_str();
    if (target == AuthTarget::Server) {
        const long schemes = static_cast<long>(AuthSchemesFor(r.serverSchemes, plain));
        curl_easy_setopt(r.easy, CURLOPT_HTTPAUTH, schemes);
        curl_easy_setopt(r.easy, CURLOPT_USERNAME, name);
        curl_easy_setopt(r.easy, CURLOPT_PASSWORD, secret);
    } else {
        const long schemes = static_cast<long>(AuthSchemesFor(r.proxySchemes, plain));
        curl_easy_setopt(r.easy, CURLOPT_PROXYAUTH, schemes);
        curl_easy_setopt(r.easy, CURLOPT_PROXYUSERNAME, name);
        curl_easy_setopt(r.easy, CURLOPT_PROXYPASSWORD, secret);
    }
}

bool RetargetRequest(Request& r, const ConnectionTarget& target, bool sameOrigin) {
    FirstFailure set;
    set(curl_easy_setopt(r.easy, CURLOPT_URL, target.url.c_str()));
    if (!sameOrigin) {
        set(curl_easy_setopt(r.easy, CURLOPT_USERNAME, nullptr));
        set(curl_easy_setopt(r.easy, CURLOPT_PASSWORD, nullptr));
        set(curl_easy_setopt(r.easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC)));
        if (target.secure)
            set(SetUpServerCheck(r.easy, target.url, r.serverCheck));
    }
    if (set.Result() != CURLE_OK) {
        SetLastError(ERROR_INTERNET_INTERNAL_ERROR, curl_easy_strerror(set.Result()));
        return false;
    }
    return true;
}

bool ResolveLocation(const std::string& base, const std::string& location, std::string& absolute) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
    if (!url || curl_url_set(url.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK)
        return false;
    // A relative location is taken relative to the base; CURLU_NON_SUPPORT_SCHEME keeps a
    // scheme libcurl does not know, so that the caller can name it in its refusal.
    if (curl_url_set(url.get(), CURLUPART_URL, location.c_str(), CURLU_NON_SUPPORT_SCHEME) !=
        CURLUE_OK)
        return false;
    char* text = nullptr;
    if (curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK || text == nullptr)
        return false;
    absolute = text;
    curl_free(text);
    return true;
}

std::string ProxyName(const Session& session, const Request& r, bool secure) {
    if (session.accessType == ACCESS_TYPE_PROXY)
        return session.proxy;
    if (!r.proxyChain.Current().empty())
        return r.proxyChain.Current();
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

} // namespace http_detail
