// The three access types through a real proxy (tinyproxy on 127.0.0.1), with and without
// Basic authentication; the system's proxies of access type 0 from a PAC file. The TSA sees the
// proxy's Via header when a request came through it; a tunnelled HTTPS request shows in the proxy's
// log.
#include "NetTestSupport.h"

#include "core/HttpClient.h"
#include "core/SystemProxy.h"
#include "platform/LastError.h"

#include "testlib/ScriptedPrompts.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace nettest;

namespace {

constexpr char kTinyproxy[] = "/usr/bin/tinyproxy";
constexpr char kViaName[] = "mivo-test-proxy";

uint16_t FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// A port on 127.0.0.1 that refuses connections: a socket is bound to it and never listens.
// Held for the object's life, the port cannot go to a proxy of a test running beside ours.
class RefusingPort {
public:
    RefusingPort() : m_fd(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~RefusingPort() {
        if (m_fd >= 0)
            close(m_fd);
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    uint16_t Port() const { return m_port; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    int m_fd;
    uint16_t m_port = 0;
};

bool Accepts(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// tinyproxy on 127.0.0.1 with a generated configuration, run under `timeout` so that it
// ends by itself even if the test dies; stopped by its process id.
class Tinyproxy {
public:
    explicit Tinyproxy(bool basicAuth) {
        m_port = FreePort();
        m_log = m_dir.File("tinyproxy.log");
        std::string config = "Port " + std::to_string(m_port) +
                             "\n"
                             "Listen 127.0.0.1\n"
                             "Timeout 30\n"
                             "MaxClients 20\n"
                             "Allow 127.0.0.1\n"
                             "LogLevel Connect\n"
                             "LogFile \"" +
                             m_log + "\"\nViaProxyName \"" + kViaName + "\"\n";
        if (basicAuth)
            config += "BasicAuth user pass\n";
        const std::string path = m_dir.Write("tinyproxy.conf", config);
        const char* argv[] = {"timeout", "120", kTinyproxy, "-d", "-c", path.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&m_pid, "timeout", &actions, nullptr, const_cast<char**>(argv), environ) !=
            0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        for (int i = 0; i < 100 && m_pid > 0 && !Accepts(m_port); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~Tinyproxy() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }
    Tinyproxy(const Tinyproxy&) = delete;
    Tinyproxy& operator=(const Tinyproxy&) = delete;

    bool Running() const { return m_pid > 0 && Accepts(m_port); }
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }
    std::string Log() const { return TempDir::Read(m_log); }

private:
    TempDir m_dir;
    uint16_t m_port = 0;
    std::string m_log;
    pid_t m_pid = -1;
};

bool CameThroughProxy(const TestTsa& tsa) {
    const auto requests = tsa.Requests();
    if (requests.empty())
        return false;
    const auto via = requests.back().Header("Via");
    return via && via->find(kViaName) != std::string::npos;
}

CConnectionParams ThroughProxy(const std::string& url, const std::string& proxy,
                               const std::string& user = {}, const std::string& password = {}) {
    CConnectionParams params = Direct(url);
    params.m_nProxyType = ACCESS_TYPE_PROXY;
    params.m_strProxyServer = proxy;
    params.m_strProxyUser = user;
    params.m_strProxyPassword = password;
    return params;
}

// The environment's proxy variables, all cleared but those given.
class ProxyEnvironment {
public:
    ProxyEnvironment(const char* httpProxy, const char* noProxy)
        : m_http("http_proxy", httpProxy), m_https("https_proxy", httpProxy),
          m_httpsUpper("HTTPS_PROXY", nullptr), m_all("all_proxy", nullptr),
          m_allUpper("ALL_PROXY", nullptr), m_no("no_proxy", noProxy),
          m_noUpper("NO_PROXY", nullptr) {}

private:
    ScopedEnv m_http, m_https, m_httpsUpper, m_all, m_allUpper, m_no, m_noUpper;
};

class ProxyTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(kTinyproxy, X_OK) != 0)
            GTEST_SKIP() << "tinyproxy is not installed (scripts/setup-debian.sh)";
    }
};

} // namespace

TEST_F(ProxyTest, AccessType3GoesThroughTheNamedProxyWithTheStoredCredentials) {
    TestTsa tsa;
    {
        Tinyproxy proxy(false);
        ASSERT_TRUE(proxy.Running());
        TsaClient client;
        const Outcome outcome =
            Exchange(client, ThroughProxy(tsa.Url(), proxy.Address()), MakeEncodedRequest().der);
        EXPECT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
        EXPECT_TRUE(CameThroughProxy(tsa));
    }
    Tinyproxy proxy(true);
    ASSERT_TRUE(proxy.Running());
    {
        ScriptedPrompts prompts;
        TsaClient client;
        const Outcome outcome =
            Exchange(client, ThroughProxy(tsa.Url(), proxy.Address(), "user", "pass"), Bytes{1});
        EXPECT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
        EXPECT_TRUE(CameThroughProxy(tsa));
        EXPECT_TRUE(prompts.credentialQuestions.empty());
        // The proxy's credentials are for the proxy only.
        EXPECT_EQ(tsa.Requests().back().Header("Proxy-Authorization"), std::nullopt);
    }
    {
        // No stored credentials: the 407 asks, and the answer gets the request through.
        // (tinyproxy answers wrong credentials with 401, not 407, so none are stored here.)
        ScriptedPrompts prompts;
        prompts.AnswerCredentials("user", "pass");
        tsa.ClearRequests();
        TsaClient client;
        const Outcome outcome =
            Exchange(client, ThroughProxy(tsa.Url(), proxy.Address()), Bytes{1});
        EXPECT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
        ASSERT_EQ(prompts.credentialQuestions.size(), 1U);
        EXPECT_EQ(prompts.credentialQuestions[0].target, AuthTarget::Proxy);
        EXPECT_EQ(prompts.credentialQuestions[0].host, proxy.Address());
        EXPECT_EQ(tsa.RequestCount(), 1U);
        EXPECT_TRUE(CameThroughProxy(tsa));
        EXPECT_EQ(client.m_strProxyUser, "user");
        EXPECT_EQ(client.m_strProxyPassword, "pass");
    }
    {
        // Cancelled: -6 at once.
        ScriptedPrompts prompts;
        prompts.CancelCredentials();
        tsa.ClearRequests();
        TsaClient client;
        const Outcome outcome =
            Exchange(client, ThroughProxy(tsa.Url(), proxy.Address()), Bytes{1});
        EXPECT_EQ(outcome.code, HTTP_E_SEND);
        EXPECT_EQ(prompts.credentialQuestions.size(), 1U);
        EXPECT_EQ(tsa.RequestCount(), 0U);
    }
}

TEST_F(ProxyTest, HttpsIsTunnelledThroughTheProxy) {
    TestTsa::Options options;
    options.https = true;
    TestTsa tsa(options);
    TrustedServerCa trusted;
    Tinyproxy proxy(true);
    ASSERT_TRUE(proxy.Running());
    ScriptedPrompts prompts;
    prompts.AnswerCredentials("user", "pass");
    TsaClient client;
    const Outcome outcome =
        Exchange(client, ThroughProxy(tsa.Url(), proxy.Address()), MakeEncodedRequest().der);
    EXPECT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
    EXPECT_EQ(prompts.credentialQuestions.size(), 1U); // the tunnel asked for them
    EXPECT_EQ(tsa.RequestCount(), 1U);
    EXPECT_NE(proxy.Log().find("CONNECT 127.0.0.1:" + std::to_string(tsa.Port())),
              std::string::npos)
        << proxy.Log();
}

TEST_F(ProxyTest, AccessType0FollowsTheEnvironmentAndType1IgnoresIt) {
    TestTsa tsa;
    Tinyproxy proxy(false);
    ASSERT_TRUE(proxy.Running());
    const std::string proxyUrl = "http://" + proxy.Address();
    {
        // libcurl has no built-in exception for loopback: without no_proxy even 127.0.0.1
        // goes through the proxy.
        ProxyEnvironment environment(proxyUrl.c_str(), nullptr);
        CConnectionParams params = Direct(tsa.Url());
        params.m_nProxyType = ACCESS_TYPE_PRECONFIG;
        TsaClient client;
        ASSERT_EQ(Exchange(client, params, Bytes{1}).code, HTTP_OK);
        EXPECT_TRUE(CameThroughProxy(tsa));

        TsaClient direct;
        ASSERT_EQ(Exchange(direct, Direct(tsa.Url()), Bytes{1}).code, HTTP_OK);
        EXPECT_FALSE(CameThroughProxy(tsa));
    }
    {
        ProxyEnvironment environment(proxyUrl.c_str(), "127.0.0.1");
        CConnectionParams params = Direct(tsa.Url());
        params.m_nProxyType = ACCESS_TYPE_PRECONFIG;
        TsaClient client;
        ASSERT_EQ(Exchange(client, params, Bytes{1}).code, HTTP_OK);
        EXPECT_FALSE(CameThroughProxy(tsa));

        // The named proxy of type 3 is used for every host, no_proxy or not.
        TsaClient named;
        ASSERT_EQ(Exchange(named, ThroughProxy(tsa.Url(), proxy.Address()), Bytes{1}).code,
                  HTTP_OK);
        EXPECT_TRUE(CameThroughProxy(tsa));
    }
    {
        // A value the settings page never writes (2) is taken like 0.
        ProxyEnvironment environment(proxyUrl.c_str(), nullptr);
        CConnectionParams params = Direct(tsa.Url());
        params.m_nProxyType = 2;
        TsaClient client;
        ASSERT_EQ(Exchange(client, params, Bytes{1}).code, HTTP_OK);
        EXPECT_TRUE(CameThroughProxy(tsa));
    }
}

TEST_F(ProxyTest, AnUnreachableProxyFailsTheSendNotTheConnect) {
    TestTsa tsa;
    TsaClient client;
    // A proxy address where nobody listens.
    const RefusingPort gone;
    ASSERT_NE(gone.Port(), 0);
    const Outcome outcome = Exchange(client, ThroughProxy(tsa.Url(), gone.Address()), Bytes{1});
    EXPECT_EQ(outcome.connect, 1);
    EXPECT_EQ(outcome.code, HTTP_E_SEND);
    EXPECT_EQ(outcome.lastError, ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_EQ(tsa.RequestCount(), 0U);

    CHttpClient noProxyNamed;
    EXPECT_EQ(noProxyNamed.Connect(ThroughProxy(tsa.Url(), "")), 0);
}

namespace {

// The environment libproxy reads, all proxy variables cleared but http_proxy, which names
// `pacFile` as the proxy configuration; only the environment is consulted, whatever the
// desktop of the machine says.
class PacEnvironment {
public:
    explicit PacEnvironment(const std::string& pacFile)
        : m_value("pac+file://" + pacFile), m_order("PX_CONFIG_ORDER", "envvar"),
          m_proxy(m_value.c_str(), nullptr), m_httpUpper("HTTP_PROXY", nullptr) {}

private:
    std::string m_value;
    ScopedEnv m_order;
    ProxyEnvironment m_proxy;
    ScopedEnv m_httpUpper;
};

class SystemProxyTest : public ProxyTest {
protected:
    void SetUp() override {
        ProxyTest::SetUp();
        if (!IsSkipped() && !SystemProxy().Available())
            GTEST_SKIP() << "libproxy is not installed (scripts/setup-debian.sh)";
    }
};

} // namespace

TEST(SystemProxyAnswers, AreTakenAsLibcurlNamesThem) {
    EXPECT_EQ(CurlProxyOf("direct://"), "");
    EXPECT_EQ(CurlProxyOf("http://proxy.example:3128"), "http://proxy.example:3128");
    EXPECT_EQ(CurlProxyOf("https://user:pw@proxy.example"), "https://user:pw@proxy.example");
    EXPECT_EQ(CurlProxyOf("socks5://127.0.0.1:1080"), "socks5://127.0.0.1:1080");
    // A PAC "SOCKS" line comes as "socks://", which libcurl does not know.
    EXPECT_EQ(CurlProxyOf("socks://127.0.0.1:1080"), "socks5://127.0.0.1:1080");
    EXPECT_EQ(CurlProxyOf("ftp://proxy.example"), std::nullopt);
    EXPECT_EQ(CurlProxyOf("http://"), std::nullopt);
    EXPECT_EQ(CurlProxyOf(""), std::nullopt);

    CSystemProxy missing("libproxy-that-is-not-there.so.0");
    EXPECT_FALSE(missing.Available());
    EXPECT_EQ(missing.ProxiesFor("http://127.0.0.1/"), std::nullopt);
}

TEST_F(SystemProxyTest, APacFileIsFollowedProxyAfterProxyAndDirectBypassesThem) {
    TestTsa tsa;
    Tinyproxy proxy(false);
    ASSERT_TRUE(proxy.Running());
    const RefusingPort gone;
    ASSERT_NE(gone.Port(), 0);
    TempDir dir;
    const std::string pac = dir.Write(
        "proxy.pac", "function FindProxyForURL(url, host) {\n"
                     "  if (shExpMatch(url, \"*/direct*\")) return \"DIRECT\";\n"
                     "  if (shExpMatch(url, \"*/fallback*\")) return \"PROXY " +
                         gone.Address() + "; DIRECT\";\n  return \"PROXY " + gone.Address() +
                         "; PROXY " + proxy.Address() + "; DIRECT\";\n}\n");
    PacEnvironment environment(pac);
    CConnectionParams params = Direct(tsa.Url());
    params.m_nProxyType = ACCESS_TYPE_PRECONFIG;

    // The first proxy refuses; the second one carries the request, once.
    TsaClient client;
    Outcome outcome = Exchange(client, params, MakeEncodedRequest().der);
    ASSERT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
    EXPECT_TRUE(CameThroughProxy(tsa));
    EXPECT_EQ(tsa.RequestCount(), 1U);

    params.m_strServerUrl = tsa.Url("/direct");
    TsaClient direct;
    outcome = Exchange(direct, params, Bytes{1});
    ASSERT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
    EXPECT_EQ(tsa.RequestCount(), 2U);
    EXPECT_FALSE(CameThroughProxy(tsa));

    // DIRECT as the last resort after a proxy that cannot be reached.
    params.m_strServerUrl = tsa.Url("/fallback");
    TsaClient fallback;
    outcome = Exchange(fallback, params, Bytes{1});
    ASSERT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
    EXPECT_EQ(tsa.RequestCount(), 3U);
    EXPECT_FALSE(CameThroughProxy(tsa));

    // Access type 1 asks nobody.
    TsaClient none;
    ASSERT_EQ(Exchange(none, Direct(tsa.Url()), Bytes{1}).code, HTTP_OK);
    EXPECT_FALSE(CameThroughProxy(tsa));
    EXPECT_EQ(proxy.Log().find("/direct"), std::string::npos) << proxy.Log();

    // HTTPS goes through the tunnel of the proxy that answers. (One PAC file for the whole
    // test: libproxy's PAC runner leaks a little each time the script changes.)
    TestTsa::Options options;
    options.https = true;
    TestTsa secure(options);
    TrustedServerCa trusted;
    params.m_strServerUrl = secure.Url();
    TsaClient tunnelled;
    outcome = Exchange(tunnelled, params, MakeEncodedRequest().der);
    ASSERT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
    EXPECT_EQ(secure.RequestCount(), 1U);
    EXPECT_NE(proxy.Log().find("CONNECT 127.0.0.1:" + std::to_string(secure.Port())),
              std::string::npos)
        << proxy.Log();
}

TEST_F(SystemProxyTest, WithoutLibproxyTheEnvironmentDecidesAsLibcurlReadsIt) {
    TestTsa tsa;
    Tinyproxy proxy(false);
    ASSERT_TRUE(proxy.Running());
    // libproxy reads the upper-case HTTP_PROXY, libcurl does not: this tells them apart.
    const std::string proxyUrl = "http://" + proxy.Address();
    ProxyEnvironment cleared(nullptr, nullptr);
    ScopedEnv order("PX_CONFIG_ORDER", "envvar");
    ScopedEnv upper("HTTP_PROXY", proxyUrl.c_str());
    CConnectionParams params = Direct(tsa.Url());
    params.m_nProxyType = ACCESS_TYPE_PRECONFIG;

    TsaClient withLibproxy;
    ASSERT_EQ(Exchange(withLibproxy, params, Bytes{1}).code, HTTP_OK);
    EXPECT_TRUE(CameThroughProxy(tsa));

    CSystemProxy missing("libproxy-that-is-not-there.so.0");
    CSystemProxy* previous = InstallSystemProxy(&missing);
    TsaClient withoutLibproxy;
    const Outcome outcome = Exchange(withoutLibproxy, params, Bytes{1});
    InstallSystemProxy(previous);
    ASSERT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
    EXPECT_FALSE(CameThroughProxy(tsa));
}
