#include "platform/Url.h"

#include "platform/LastError.h"

#include <curl/curl.h>
#include <memory>
#include <utility>

namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlStringDeleter {
    void operator()(char* text) const { curl_free(text); }
};

// One part of the parsed URL; empty when the URL does not carry it.
std::string UrlPart(CURLU* url, CURLUPart part) {
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, 0) != CURLUE_OK || raw == nullptr) {
        return {};
    }
    std::unique_ptr<char, CurlStringDeleter> text(raw);
    return std::string(text.get());
}

} // namespace

std::string UrlParts::ObjectPath() const {
    std::string result = path;
    if (!query.empty()) {
        result += "?" + query;
    }
    if (!fragment.empty()) {
        result += "#" + fragment;
    }
    return result;
}

bool CrackUrl(const std::string& url, UrlParts& parts) {
    std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
    if (!handle) {
        SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
        return false;
    }
    const unsigned int flags = CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS | CURLU_ALLOW_SPACE;
    const CURLUcode parsed = curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), flags);
    if (parsed != CURLUE_OK) {
        SetLastError(parsed == CURLUE_BAD_SCHEME || parsed == CURLUE_UNSUPPORTED_SCHEME
                         ? ERROR_INTERNET_UNRECOGNIZED_SCHEME
                         : ERROR_INTERNET_INVALID_URL,
                     curl_url_strerror(parsed));
        return false;
    }
    UrlParts result;
    result.scheme = UrlPart(handle.get(), CURLUPART_SCHEME);
    result.host = UrlPart(handle.get(), CURLUPART_HOST);
    result.user = UrlPart(handle.get(), CURLUPART_USER);
    result.password = UrlPart(handle.get(), CURLUPART_PASSWORD);
    result.path = UrlPart(handle.get(), CURLUPART_PATH);
    result.query = UrlPart(handle.get(), CURLUPART_QUERY);
    result.fragment = UrlPart(handle.get(), CURLUPART_FRAGMENT);
    const std::string port = UrlPart(handle.get(), CURLUPART_PORT);
    if (!port.empty()) {
        unsigned long value = 0;
        for (char c : port) {
            if (c < '0' || c > '9' || value > 6553) {
                SetLastError(ERROR_INTERNET_INVALID_URL);
                return false;
            }
            value = value * 10 + static_cast<unsigned long>(c - '0');
        }
        if (value > 65535) {
            SetLastError(ERROR_INTERNET_INVALID_URL);
            return false;
        }
        result.port = static_cast<uint16_t>(value);
    }
    parts = std::move(result);
    return true;
}
