// Online revocation look-ups through the program's HTTP transport.
#include "core/HttpClient.h"
#include "core/TrustRevocation.h"

namespace trust {

namespace {

constexpr int kOcspReplyLimit = 64 * 1024;

} // namespace

RevocationFetch HttpRevocationFetch(const CConnectionParams& connection) {
    CConnectionParams params = connection;
    params.m_strAuthUser.clear();
    params.m_strAuthPassword.clear();
    params.m_nTimeoutSec = kRevocationTimeoutSec;
    return [params](const std::string& url, const std::string& contentType,
                    std::span<const unsigned char> body, std::vector<unsigned char>& reply) {
        CConnectionParams target = params;
        target.m_strServerUrl = url;
        CHttpClient client;
        // A CRL is fetched with a plain GET; an OCSP request is posted.
        client.m_strVerb = body.empty() ? "GET" : "POST";
        client.SetRequestContentType(contentType);
        client.SetExpectedContentType(body.empty() ? "" : "application/ocsp-response");
        if (client.Connect(target) != 1) {
            client.Close();
            return false;
        }
        int length = body.empty() ? kRevocationReplyLimit : kOcspReplyLimit;
        reply.assign(static_cast<std::size_t>(length), 0);
        const int rc =
            client.SendRequest(body.data(), static_cast<int>(body.size()), reply.data(), length);
        client.Close();
        if (rc != HTTP_OK || length <= 0) {
            reply.clear();
            return false;
        }
        reply.resize(static_cast<std::size_t>(length));
        return true;
    };
}

} // namespace trust
