// Splitting a URL into its parts (the transport's connection target, the view's page path).
#pragma once

#include <cstdint>
#include <string>

struct UrlParts {
    std::string scheme; // lower case, e.g. "https"
    std::string host;
    std::string user;
    std::string password;
    uint16_t port = 0;    // 0 when the URL names no port
    std::string path;     // from the first "/" after the authority; "/" at least
    std::string query;    // without the "?"
    std::string fragment; // without the "#"

    // The object path: the path with "?" query and "#" fragment as the URL carries them.
    std::string ObjectPath() const;
};

// Parses an absolute URL. Schemes unknown to the transport are accepted (the program's own
// page URLs use one); nothing is decoded and the path is taken as written, dot segments
// included. False, with the last error ERROR_INTERNET_INVALID_URL or
// ERROR_INTERNET_UNRECOGNIZED_SCHEME, when the text is not a URL.
[[nodiscard]] bool CrackUrl(const std::string& url, UrlParts& parts);
