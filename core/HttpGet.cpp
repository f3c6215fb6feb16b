#include "core/HttpGet.h"

#include "core/HttpClient.h"

#include <climits>
#include <memory>

int HttpGet(const CConnectionParams& settings, const std::string& url, std::size_t limit,
            std::string& body, int& status) {
    status = 0;
    CConnectionParams params = settings;
    params.m_strServerUrl = url;
    CHttpClient client;
    client.m_strVerb = "GET";
    if (client.Connect(params) != 1)
        return HTTP_E_CONNECT;
    if (limit > static_cast<std::size_t>(INT_MAX))
        limit = INT_MAX;
    // Left uninitialised: only the bytes that arrive are touched.
    const std::unique_ptr<unsigned char[]> buffer(new unsigned char[limit]);
    int length = static_cast<int>(limit);
    const int result = client.SendRequest(nullptr, 0, buffer.get(), length);
    status = result == HTTP_E_STATUS ? client.m_nStatusCode : 0;
    client.Close();
    if (result == HTTP_OK)
        body.assign(reinterpret_cast<const char*>(buffer.get()), static_cast<std::size_t>(length));
    return result;
}
