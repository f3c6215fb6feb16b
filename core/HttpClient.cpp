#include "core/HttpClient.h"

#include "core/CurlTransfer.h"
#include "core/InternetErrorCodes.h"
#include "core/ValueText.h"
#include "platform/LastError.h"
#include "platform/Url.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <cerrno>
#include <string_view>

using http_detail::ConnectionTarget;
using http_detail::Request;
using http_detail::Session;

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
    http_detail::InitCurlOnce();
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
    m_hRequest = http_detail::OpenCurlRequest(*m_hInternet, *m_hConnect, m_strVerb);
    return m_hRequest != nullptr;
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
    http_detail::PutHeader(*m_hRequest, name, value);
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

    // Accept and Content-Length (a download sends no body, so none) are always taken; a
    // Content-Type with a line break in it is refused, and the request goes without one.
    static_cast<void>(AddHeader("Accept", "*/*"));
    if (!m_hRequest->get)
        static_cast<void>(AddHeader("Content-Length", bodyLength));
    if (!m_strRequestContentType.empty())
        static_cast<void>(AddHeader("Content-Type", m_strRequestContentType));

    if (bodyLength < 0 || (body == nullptr && bodyLength > 0)) {
        SetLastError(EINVAL, "request body");
        return HTTP_E_SEND;
    }
    m_received = ReceivedBody{};
    m_hRequest->buffer = replyBuffer;
    m_hRequest->capacity = replyBuffer != nullptr && replyLength > 0 ? replyLength : 0;
    m_hRequest->expectedContentType = m_strExpectedContentType;

    const int sent = SendUntilAnswered(body, bodyLength);
    if (sent != HTTP_OK)
        return sent;

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
        m_received.length = r.received;
        m_received.cut = r.cut;
        m_received.capacity = r.capacity;
        m_received.firstBytes = HexText(r.firstBytes, static_cast<int>(r.firstCount));
        m_received.readError = r.readError;
        if (r.readError != 0)
            SetLastError(r.readError, r.readErrorDetail);
        return HTTP_E_READ_BODY;
    }
    replyLength = length;
    return HTTP_OK;
}

int CHttpClient::SendUntilAnswered(const unsigned char* body, int bodyLength) {
    int redirects = 0;
    while (true) {
        const int result = SendToTarget(body, bodyLength);
        if (result != kRedirected)
            return result;
        if (!FollowRedirect(redirects))
            return HTTP_E_SEND;
    }
}

int CHttpClient::SendToTarget(const unsigned char* body, int bodyLength) {
    bool serverFlag = false;
    bool proxyFlag = false;
    int lastChallenge = 0;
    for (int attempt = 0; attempt < kHttpMaxSends; ++attempt) {
        std::string detail;
        const uint32_t error = http_detail::SendOnce(*m_hRequest, body, bodyLength, detail);
        lastChallenge = 0;
        if (error != 0) {
            SetLastError(error, detail);
            if (IsRetriedError(error) || HandleSendError(error))
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
            return m_hRequest->IsRedirect() ? kRedirected : HTTP_OK;
        }
    }
    if (lastChallenge != 0)
        SetLastError(ERROR_INTERNET_INCORRECT_PASSWORD, "HTTP " + std::to_string(lastChallenge));
    return HTTP_E_SEND;
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
    // Only the check that failed is let pass, and only for this server, until the program ends.
    AcceptCertificateProblem(m_hRequest->easy, m_hRequest->serverCheck, error);
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
    // Credentials for the server travel in the clear on http; those for a proxy whenever
    // the proxy is not addressed with https.
    const std::string proxy =
        server ? std::string() : http_detail::ProxyName(*m_hInternet, r, m_bSecure != 0);
    const bool plain = server ? m_bSecure == 0 : proxy.rfind("https://", 0) != 0;
    if (flag) {
        http_detail::SetCredentials(r, target, user, password, plain);
        return true;
    }
    std::string answerUser = user;
    std::string answerPassword = password;
    const std::string& host = server ? m_strHost : proxy;
    const std::string& realm = server ? r.serverRealm : r.proxyRealm;
    if (!ConnectionPrompts().AskCredentials(target, host, realm, answerUser, answerPassword)) {
        SetLastError(ERROR_INTERNET_OPERATION_CANCELLED, server ? "HTTP 401" : "HTTP 407");
        return false;
    }
    http_detail::SetCredentials(r, target, answerUser, answerPassword, plain);
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
    case HTTP_E_READ_BODY:
        text += "\n\n" + ReceivedBodyText();
        if (m_received.readError != 0) {
            ErrorBoxWithSystemError(text);
            return;
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

std::string CHttpClient::ReceivedBodyText() const {
    const ReceivedBody& b = m_received;
    const auto length = static_cast<unsigned long long>(b.length);
    if (b.readError != 0)
        return b.length == 0 ? LoadResString(IDS_BODY_READ_FAILED_EMPTY)
                             : FormatRes(IDS_BODY_READ_FAILED, length, b.firstBytes);
    if (b.length == 0)
        return LoadResString(IDS_BODY_EMPTY);
    const auto capacity = static_cast<unsigned long long>(b.capacity);
    return FormatRes(b.cut ? IDS_BODY_TOO_LONG_CUT : IDS_BODY_TOO_LONG, length, capacity,
                     b.firstBytes);
}
