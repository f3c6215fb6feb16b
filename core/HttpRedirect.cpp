// CHttpClient's redirects: a TSA that moved answers a POST with 301, 302, 307 or 308 and a
// Location, and the same request (method, headers, body) goes there. A redirect we do not
// follow ends the request with a refusal that names the new address.
#include "core/HttpClient.h"

#include "core/CurlTransfer.h"
#include "platform/LastError.h"
#include "platform/Url.h"
#include "support/Conversions.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <string_view>

namespace {

// The longest address a refusal shows: a Location can be as long as a header line.
constexpr std::size_t kShownAddressLimit = 300;

// A redirect that asks for the same request at the new address. 303 asks for a GET of
// another document instead, 300 for a choice, 305 and the rest for nothing we can do.
bool RepeatsTheRequest(int status) {
    return status == 301 || status == 302 || status == 307 || status == 308;
}

// The address as the user is shown it: it comes from the network, so ill-formed UTF-8 is
// replaced, control characters become "?" and a very long one is cut.
std::string ShownAddress(std::string_view address) {
    std::string text;
    Utf8ToAnsi(address.substr(0, kShownAddressLimit), text);
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '?';
    }
    if (address.size() > kShownAddressLimit)
        text += "…";
    return text;
}

} // namespace

bool CHttpClient::FollowRedirect(int& redirects) {
    const int status = m_hRequest->status;
    const std::string location = m_hRequest->location;
    std::string target;
    UrlParts parts;
    const bool usable = http_detail::ResolveLocation(m_hConnect->url, location, target) &&
                        CrackUrl(target, parts) &&
                        (parts.scheme == "http" || parts.scheme == "https") && !parts.host.empty();
    const std::string shown = ShownAddress(usable ? target : location);
    if (!usable) {
        SetLastError(ERROR_HTTP_REDIRECT_FAILED, FormatRes(IDS_REDIRECT_UNUSABLE, shown));
        return false;
    }
    if (!RepeatsTheRequest(status)) {
        SetLastError(ERROR_HTTP_REDIRECT_FAILED, FormatRes(IDS_REDIRECT_STATUS, shown, status));
        return false;
    }
    const bool secure = parts.scheme == "https";
    if (m_bSecure != 0 && !secure) {
        // What went encrypted so far would go in the clear, credentials included.
        SetLastError(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR,
                     FormatRes(IDS_REDIRECT_NEW_ADDRESS, shown));
        return false;
    }
    if (++redirects > kHttpMaxRedirects) {
        SetLastError(ERROR_HTTP_REDIRECT_FAILED,
                     FormatRes(IDS_REDIRECT_TOO_MANY, shown, kHttpMaxRedirects));
        return false;
    }

    const uint16_t port = parts.port != 0 ? parts.port : (secure ? 443 : 80);
    const bool sameOrigin = (m_bSecure != 0) == secure &&
                            http_detail::EqualsNoCase(parts.host, m_strHost) && port == m_nPort;
    m_bSecure = secure ? 1 : 0;
    m_strHost = parts.host;
    m_nPort = port;
    m_strUrlPath = parts.path + (parts.query.empty() ? "" : "?" + parts.query);
    m_hConnect->url = target;
    m_hConnect->host = parts.host;
    m_hConnect->secure = secure;
    return http_detail::RetargetRequest(*m_hRequest, *m_hConnect, sameOrigin);
}
