// Helpers of the transport and exchange tests: connection parameters for the local test
// TSA, one exchange in a call, a valid encoded request.
#pragma once

#include "core/ConnectionParams.h"
#include "core/HttpClient.h"
#include "core/TimeStampRequest.h"
#include "core/tti/tti.h"
#include "platform/LastError.h"
#include "tools/TestTsa.h"

#include "testlib/TempDir.h"

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace nettest {

using mivo::test::Bytes;
using mivo::test::TestTsa;
using mivo::test::TsaBehaviour;

// Straight to `url`, whatever proxy the environment names.
inline CConnectionParams Direct(const std::string& url, int timeoutSec = 20) {
    CConnectionParams params;
    params.m_strServerUrl = url;
    params.m_nProxyType = ACCESS_TYPE_DIRECT;
    params.m_nTimeoutSec = timeoutSec;
    return params;
}

// A DER time-stamp request for a small file, and the record it came from.
struct EncodedRequest {
    TTI_REQUEST record{};
    Bytes der;
};

inline EncodedRequest MakeEncodedRequest(const std::string& policy = "1.2.3.4.1", int hash = 2) {
    TempDir dir;
    const std::string file = dir.Write("data.txt", "time-stamp me");
    EncodedRequest result;
    if (BuildTimeStampRequest(policy, hash, file, result.record) != 0)
        return result;
    unsigned char buffer[1024];
    int length = sizeof buffer;
    if (TTI_EncodeTimestampRequest(&result.record, buffer, &length, 0) == TTI_OK)
        result.der.assign(buffer, buffer + length);
    return result;
}

// One exchange on `client` (construct, Connect, SendRequest, Close), as the exchange
// does it; `capacity` is the size of the reply buffer.
struct Outcome {
    int connect = 0;
    int code = 1; // 1: not sent
    Bytes reply;  // what the buffer holds afterwards (capacity bytes)
    int length = 0;
    uint32_t lastError = 0;
    std::string lastErrorDetail;
    double seconds = 0;
};

inline Outcome Exchange(CHttpClient& client, const CConnectionParams& params, const Bytes& body,
                        int capacity = 8192, unsigned char fill = 0xEE) {
    Outcome outcome;
    outcome.reply.assign(static_cast<std::size_t>(capacity), fill);
    outcome.length = capacity;
    SetLastError(0);
    const auto start = std::chrono::steady_clock::now();
    outcome.connect = client.Connect(params);
    if (outcome.connect == 1)
        outcome.code = client.SendRequest(body.data(), static_cast<int>(body.size()),
                                          outcome.reply.data(), outcome.length);
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.lastError = GetLastError();
    outcome.lastErrorDetail = LastErrorDetail();
    client.Close();
    return outcome;
}

// A client with the content types of the time-stamp protocol.
class TsaClient : public CHttpClient {
public:
    TsaClient() {
        SetRequestContentType("application/timestamp-query");
        SetExpectedContentType("application/timestamp-reply");
    }
};

// The CA of the test TSA's HTTPS certificates in a file, trusted through
// MIVOKLIENT_CA_FILE while the object lives.
class TrustedServerCa {
public:
    TrustedServerCa()
        : m_path(m_dir.Write("server-ca.pem", TestTsa::ServerCaPem())),
          m_env(kCaFileVariable, m_path.c_str()) {}
    const std::string& Path() const { return m_path; }

private:
    TempDir m_dir;
    std::string m_path;
    ScopedEnv m_env;
};

inline bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace nettest
