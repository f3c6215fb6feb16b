// The HTTPS checks against real servers: the oldest protocol we speak, and what a "continue"
// to a certificate problem lets pass (that check, for that server, nothing else).
#include "NetTestSupport.h"

#include "core/HttpClient.h"
#include "core/TlsExceptions.h"
#include "platform/LastError.h"
#include "platform/OpenSslPtr.h"

#include "testlib/ScriptedPrompts.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace nettest;

namespace {

// A TLS server on 127.0.0.1 that speaks TLS 1.0 and 1.1 only (at OpenSSL's lowest security
// level, as such old servers need), with a throwaway self-signed certificate. It takes
// connections until it is destroyed and counts the handshakes that succeeded.
class OldTlsServer {
public:
    OldTlsServer() : m_ctx(SSL_CTX_new(TLS_server_method())) {
        const OpenSslPtr<EVP_PKEY, EVP_PKEY_free> key(EVP_EC_gen("P-256"));
        const OpenSslPtr<X509, X509_free> cert(X509_new());
        if (!key || !cert || !m_ctx)
            return;
        X509* c = cert.get();
        ASN1_INTEGER_set(X509_get_serialNumber(c), 1);
        X509_gmtime_adj(X509_getm_notBefore(c), -3600);
        X509_gmtime_adj(X509_getm_notAfter(c), 3600);
        X509_NAME_add_entry_by_txt(X509_get_subject_name(c), "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
        X509_set_issuer_name(c, X509_get_subject_name(c));
        X509_set_pubkey(c, key.get());
        X509_sign(c, key.get(), EVP_sha256());
        SSL_CTX* ctx = m_ctx.get();
        SSL_CTX_set_security_level(ctx, 0);
        SSL_CTX_set_min_proto_version(ctx, TLS1_VERSION);
        SSL_CTX_set_max_proto_version(ctx, TLS1_1_VERSION);
        SSL_CTX_set_cipher_list(ctx, "DEFAULT@SECLEVEL=0");
        const bool ready =
            SSL_CTX_use_certificate(ctx, c) == 1 && SSL_CTX_use_PrivateKey(ctx, key.get()) == 1;
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (!ready || m_fd < 0 ||
            bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_fd, 4) != 0 ||
            getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~OldTlsServer() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            close(m_fd);
    }
    OldTlsServer(const OldTlsServer&) = delete;
    OldTlsServer& operator=(const OldTlsServer&) = delete;

    uint16_t Port() const { return m_port; }
    int Connections() const { return m_connections; }
    int Handshakes() const { return m_handshakes; }

private:
    void Serve() {
        while (!m_stop) {
            pollfd wait{m_fd, POLLIN, 0};
            if (poll(&wait, 1, 100) != 1)
                continue;
            const int client = accept(m_fd, nullptr, nullptr);
            if (client < 0)
                continue;
            ++m_connections;
            const OpenSslPtr<SSL, SSL_free> ssl(SSL_new(m_ctx.get()));
            if (ssl && SSL_set_fd(ssl.get(), client) == 1 && SSL_accept(ssl.get()) == 1)
                ++m_handshakes;
            close(client);
        }
    }

    OpenSslPtr<SSL_CTX, SSL_CTX_free> m_ctx;
    int m_fd = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::atomic<int> m_handshakes{0};
};

std::vector<uint32_t> Errors(const ScriptedPrompts& prompts) {
    std::vector<uint32_t> errors;
    for (const auto& question : prompts.certificateQuestions)
        errors.push_back(question.error);
    return errors;
}

} // namespace

TEST(TlsChecks, AServerThatSpeaksOnlyTls11IsRefused) {
    OldTlsServer server;
    ASSERT_NE(server.Port(), 0);
    ScriptedPrompts prompts;
    TsaClient client;
    const Outcome outcome = Exchange(
        client, Direct("https://127.0.0.1:" + std::to_string(server.Port()) + "/tsa"), Bytes{1});
    EXPECT_EQ(outcome.code, HTTP_E_SEND);
    EXPECT_EQ(outcome.lastError, ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
    // Refused for the protocol we offered, not for anything found later in the handshake.
    EXPECT_NE(outcome.lastErrorDetail.find("protocol version"), std::string::npos)
        << outcome.lastErrorDetail;
    EXPECT_GE(server.Connections(), 1);
    EXPECT_EQ(server.Handshakes(), 0);
    EXPECT_TRUE(prompts.certificateQuestions.empty());
}

TEST(TlsChecks, ServersAreKnownByLowerCaseHostAndPort) {
    EXPECT_EQ(ServerOf("HTTPS://Tsa.Example.NET/tsa"), "tsa.example.net:443");
    EXPECT_EQ(ServerOf("http://tsa.example.net/"), "tsa.example.net:80");
    EXPECT_EQ(ServerOf("https://127.0.0.1:8443/x?y"), "127.0.0.1:8443");
    EXPECT_EQ(ServerOf("https://[::1]:8443/"), "::1:8443");
    EXPECT_EQ(ServerOf("not a url"), "");
}

TEST(TlsChecks, AnAcceptedProblemPassesOnlyThatCheckForOnlyThatServer) {
    ScopedEnv noCa(kCaFileVariable, nullptr);
    // Without the test CA, this server's certificate has two problems: an unknown issuer
    // and a name that is not 127.0.0.1.
    TestTsa::Options twoProblems;
    twoProblems.https = true;
    twoProblems.certificate = TestTsa::Certificate::WrongName;
    TestTsa server(twoProblems);
    TestTsa::Options goodName;
    goodName.https = true;
    TestTsa other(goodName); // unknown issuer only

    ScriptedPrompts prompts;
    {
        // The issuer is let pass; the name is still checked, and the user declines that.
        prompts.AnswerCertificate(true);
        TsaClient client;
        const Outcome outcome = Exchange(client, Direct(server.Url()), Bytes{1});
        EXPECT_EQ(outcome.code, HTTP_E_SEND);
        EXPECT_EQ(outcome.lastError, ERROR_INTERNET_SEC_CERT_CN_INVALID) << outcome.lastErrorDetail;
        EXPECT_EQ(Errors(prompts), (std::vector<uint32_t>{ERROR_INTERNET_INVALID_CA,
                                                          ERROR_INTERNET_SEC_CERT_CN_INVALID}));
        EXPECT_EQ(server.RequestCount(), 0U);
    }
    prompts.certificateQuestions.clear();
    {
        // Another server on the same host: its unknown issuer is asked about again.
        TsaClient client;
        const Outcome outcome = Exchange(client, Direct(other.Url()), Bytes{1});
        EXPECT_EQ(outcome.lastError, ERROR_INTERNET_INVALID_CA) << outcome.lastErrorDetail;
        EXPECT_EQ(Errors(prompts), std::vector<uint32_t>{ERROR_INTERNET_INVALID_CA});
        EXPECT_EQ(other.RequestCount(), 0U);
    }
    prompts.certificateQuestions.clear();
    {
        // Back to the first server: the issuer passes without a question, the name is asked
        // about, and once that is let pass too the request goes through.
        prompts.AnswerCertificate(true);
        TsaClient client;
        const Outcome outcome = Exchange(client, Direct(server.Url()), MakeEncodedRequest().der);
        EXPECT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
        EXPECT_EQ(Errors(prompts), std::vector<uint32_t>{ERROR_INTERNET_SEC_CERT_CN_INVALID});
        EXPECT_EQ(server.RequestCount(), 1U);
    }
    prompts.certificateQuestions.clear();
    {
        // From now on that server needs no question; the other one still does.
        TsaClient first;
        EXPECT_EQ(Exchange(first, Direct(server.Url()), Bytes{1}).code, HTTP_OK);
        TsaClient second;
        EXPECT_EQ(Exchange(second, Direct(other.Url()), Bytes{1}).code, HTTP_E_SEND);
        EXPECT_EQ(Errors(prompts), std::vector<uint32_t>{ERROR_INTERNET_INVALID_CA});
    }
}
