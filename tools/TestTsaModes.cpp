// Basic and Digest (MD5, qop "auth") checked the way a real server checks them, so that a
// client that answers the wrong scheme or computes the response wrongly is turned away.
#include "tools/TestTsaModes.h"

#include <openssl/evp.h>

#include <cctype>
#include <map>

namespace mivo::test::tsa_modes {

namespace {

// One nonce for the server's life is enough for tests: nothing here is secret.
constexpr const char* kNonce = "6d69766f2d746573742d6e6f6e6365";

std::string Base64(const std::string& text) {
    std::string out(4 * ((text.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string Md5Hex(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
    }
    return hex;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// The name=value pairs of a Digest answer (values quoted or not).
std::map<std::string, std::string> DigestFields(const std::string& text) {
    std::map<std::string, std::string> fields;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == ' ' || text[at] == ','))
            ++at;
        const std::size_t equals = text.find('=', at);
        if (equals == std::string::npos)
            break;
        const std::string name = text.substr(at, equals - at);
        std::string value;
        at = equals + 1;
        if (at < text.size() && text[at] == '"') {
            const std::size_t close = text.find('"', at + 1);
            value = text.substr(at + 1, close - at - 1);
            at = close == std::string::npos ? text.size() : close + 1;
        } else {
            const std::size_t comma = text.find(',', at);
            value = text.substr(at, comma - at);
            at = comma == std::string::npos ? text.size() : comma;
        }
        fields[name] = value;
    }
    return fields;
}

bool DigestAnswerIsRight(const TsaBehaviour& b, const RecordedRequest& request,
                         const std::string& answer) {
    auto f = DigestFields(answer);
    const std::string method = request.requestLine.substr(0, request.requestLine.find(' '));
    if (f["username"] != b.digestAuth->first || f["realm"] != b.realm || f["nonce"] != kNonce ||
        f["qop"] != "auth" || f["nc"].empty() || f["cnonce"].empty())
        return false;
    const std::string ha1 =
        Md5Hex(b.digestAuth->first + ":" + b.realm + ":" + b.digestAuth->second);
    const std::string ha2 = Md5Hex(method + ":" + f["uri"]);
    return f["response"] ==
           Md5Hex(ha1 + ":" + kNonce + ":" + f["nc"] + ":" + f["cnonce"] + ":auth:" + ha2);
}

const char* RedirectPhrase(int status) {
    switch (status) {
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    default:
        return "Redirect";
    }
}

} // namespace

bool Authorised(const TsaBehaviour& b, const RecordedRequest& request) {
    const auto authorization = request.Header("Authorization");
    if (b.basicAuth)
        return authorization &&
               *authorization == "Basic " + Base64(b.basicAuth->first + ":" + b.basicAuth->second);
    if (!b.digestAuth)
        return true;
    if (!authorization)
        return false;
    if (StartsWithNoCase(*authorization, "Digest "))
        return DigestAnswerIsRight(b, request, authorization->substr(7));
    return b.alsoOfferBasic &&
           *authorization == "Basic " + Base64(b.digestAuth->first + ":" + b.digestAuth->second);
}

std::string Challenge(const TsaBehaviour& b) {
    std::string challenges;
    if (b.digestAuth) {
        challenges += "WWW-Authenticate: Digest realm=\"" + b.realm + "\", nonce=\"" + kNonce +
                      "\", qop=\"auth\", algorithm=MD5\r\n";
    }
    if (b.basicAuth || b.alsoOfferBasic)
        challenges += "WWW-Authenticate: Basic realm=\"" + b.realm + "\"\r\n";
    const std::string text = "401 Unauthorized\n";
    return "HTTP/1.0 401 Unauthorized\r\n" + challenges +
           "Content-Type: text/plain\r\nContent-Length: " + std::to_string(text.size()) +
           "\r\nConnection: close\r\n\r\n" + text;
}

std::optional<std::string> RedirectAnswer(const TsaBehaviour& b, const RecordedRequest& request) {
    const std::size_t start = request.requestLine.find(' ');
    const std::size_t end = request.requestLine.rfind(' ');
    if (start == std::string::npos || end <= start)
        return std::nullopt;
    const std::string target = request.requestLine.substr(start + 1, end - start - 1);
    for (const auto& redirect : b.redirects) {
        if (redirect.from != target)
            continue;
        const std::string text = std::to_string(redirect.status) + " moved\n";
        return "HTTP/1.0 " + std::to_string(redirect.status) + " " +
               RedirectPhrase(redirect.status) + "\r\nLocation: " + redirect.to +
               "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(text.size()) +
               "\r\nConnection: close\r\n\r\n" + text;
    }
    return std::nullopt;
}

} // namespace mivo::test::tsa_modes
