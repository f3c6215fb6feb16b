// The HTTP transport against the local test TSA over real HTTP and HTTPS: bytes on the
// wire, every result code with its message, retries, prompts, time-outs.
#include "NetTestSupport.h"

#include "core/HttpClient.h"
#include "platform/LastError.h"
#include "support/Cancellation.h"

#include "testlib/RecordingMessageBoxes.h"
#include "testlib/ScriptedPrompts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace nettest;

namespace {

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// A port on 127.0.0.1 where nobody listens.
uint16_t ClosedPort() {
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

std::string ReportedText(CHttpClient& client, int code, const std::string& message) {
    RecordingMessageBoxes boxes;
    client.ReportError(code, message);
    return boxes.shown.empty() ? std::string("<no box>") : boxes.shown[0].text;
}

} // namespace

TEST(HttpClient, SendsOnePostInHttp10WithTheHeadersInOrderAndTheBodyUnchanged) {
    TestTsa tsa;
    const EncodedRequest request = MakeEncodedRequest();
    ASSERT_FALSE(request.der.empty());
    TsaClient client;
    const Outcome outcome =
        Exchange(client, Direct(tsa.Url("/cgi-bin/razitko.cgi?x=1")), request.der);
    ASSERT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;

    const auto requests = tsa.Requests();
    ASSERT_EQ(requests.size(), 1U);
    const auto& sent = requests[0];
    EXPECT_EQ(sent.requestLine, "POST /cgi-bin/razitko.cgi?x=1 HTTP/1.0");
    EXPECT_EQ(sent.body, request.der);
    EXPECT_EQ(sent.Header("User-Agent"), std::string(kDefaultUserAgent));
    EXPECT_EQ(sent.Header("Host"), "127.0.0.1:" + std::to_string(tsa.Port()));
    // Our three headers, in this order, each once; nothing of libcurl's own defaults.
    std::vector<std::string> names;
    for (const auto& [name, value] : sent.headers)
        names.push_back(name);
    const auto at = [&names](const std::string& name) {
        return std::count(names.begin(), names.end(), name) == 1
                   ? std::find(names.begin(), names.end(), name) - names.begin()
                   : -1;
    };
    ASSERT_GE(at("Accept"), 0);
    EXPECT_EQ(at("Content-Length"), at("Accept") + 1);
    EXPECT_EQ(at("Content-Type"), at("Accept") + 2);
    EXPECT_EQ(sent.Header("Accept"), "*/*");
    EXPECT_EQ(sent.Header("Content-Length"), std::to_string(request.der.size()));
    EXPECT_EQ(sent.Header("Content-Type"), "application/timestamp-query");
    EXPECT_EQ(sent.Header("Expect"), std::nullopt);
    EXPECT_EQ(sent.Header("Cookie"), std::nullopt);
    // The header block ends once, at its end: no empty line inside it.
    EXPECT_EQ(sent.head.find("\r\n\r\n"), sent.head.size() - 4);
}

TEST(HttpClient, ReadsTheReplyIntoTheBufferAndReportsItsLength) {
    TestTsa tsa;
    TsaBehaviour behaviour;
    behaviour.rawBody = Bytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    behaviour.contentType = "application/timestamp-reply; charset=binary";
    tsa.SetBehaviour(behaviour);
    TsaClient client;
    // A body exactly as long as the buffer fits; so does one without Content-Length.
    Outcome outcome = Exchange(client, Direct(tsa.Url()), Bytes{1, 2, 3}, 10);
    ASSERT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
    EXPECT_EQ(outcome.length, 10);
    EXPECT_EQ(Text(outcome.reply), "0123456789");

    behaviour.sendContentLength = false;
    tsa.SetBehaviour(behaviour);
    TsaClient second;
    outcome = Exchange(second, Direct(tsa.Url()), Bytes{1, 2, 3}, 64);
    ASSERT_EQ(outcome.code, HTTP_OK);
    EXPECT_EQ(outcome.length, 10);
}

TEST(HttpClient, StatusesOf400AndAboveGiveMinus3WithTheStatusText) {
    TestTsa tsa;
    struct {
        int status;
        const char* tail;
    } const cases[] = {
        {404, "\n\n404: Server nenašel zadanou adresu URL"},
        {418, "\n\n418: "},
        {400, "\n\n400: Server nerozumí požadavku, klient jej musí opravit a poslat znovu"},
        {503, "\n\n503: Server dočasně nemůže nebo nechce zpracovat požadavek. Většinou když je "
              "přetížený nebo se provádí údržba"},
        {505, "\n\n505: Server nepodporuje verzi HTTP v daném požadavku"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        TsaBehaviour behaviour;
        behaviour.httpStatus = c.status;
        tsa.SetBehaviour(behaviour);
        TsaClient client;
        const Outcome outcome = Exchange(client, Direct(tsa.Url()), Bytes{1}, 64, 0xEE);
        EXPECT_EQ(outcome.code, HTTP_E_STATUS);
        EXPECT_EQ(client.m_nStatusCode, c.status);
        // The error page never reaches the caller's buffer.
        EXPECT_EQ(outcome.reply, Bytes(64, 0xEE));
        EXPECT_EQ(ReportedText(client, outcome.code, "Zpráva"), std::string("Zpráva") + c.tail);
    }
}

TEST(HttpClient, ReplyContentTypeMustContainTheExpectedTextExactly) {
    TestTsa tsa;
    struct {
        std::optional<std::string> contentType;
        int code;
    } const cases[] = {
        {"application/timestamp-reply", HTTP_OK},
        {"application/timestamp-reply; charset=binary", HTTP_OK},
        {"text/html", HTTP_E_CONTENT_TYPE},
        {"Application/Timestamp-Reply", HTTP_E_CONTENT_TYPE}, // the check is case-sensitive
        {std::nullopt, HTTP_E_SEND},                          // no header to query
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contentType.value_or("(none)"));
        TsaBehaviour behaviour;
        behaviour.rawBody = Bytes{'x'};
        behaviour.contentType = c.contentType;
        tsa.SetBehaviour(behaviour);
        TsaClient client;
        const Outcome outcome = Exchange(client, Direct(tsa.Url()), Bytes{1}, 16);
        EXPECT_EQ(outcome.code, c.code);
    }
    TsaClient client;
    EXPECT_EQ(ReportedText(client, HTTP_E_CONTENT_TYPE, "Chyba při připojení k serveru "),
              "Chyba při připojení k serveru \n\nChybný typ dokumentu Content-Type v http "
              "odpovědi, kterou klient přijal od serveru");

    // Without an expected type any reply is taken.
    TsaBehaviour behaviour;
    behaviour.rawBody = Bytes{'x'};
    behaviour.contentType = "text/html";
    tsa.SetBehaviour(behaviour);
    CHttpClient plain;
    EXPECT_EQ(Exchange(plain, Direct(tsa.Url()), Bytes{1}, 16).code, HTTP_OK);
}

TEST(HttpClient, EmptyBodyAndBodyLongerThanTheBufferGiveMinus7) {
    TestTsa tsa;
    TsaBehaviour behaviour;
    behaviour.emptyBody = true;
    tsa.SetBehaviour(behaviour);
    TsaClient empty;
    Outcome outcome = Exchange(empty, Direct(tsa.Url()), Bytes{1}, 64);
    EXPECT_EQ(outcome.code, HTTP_E_READ_BODY);
    EXPECT_EQ(ReportedText(empty, outcome.code, "M"),
              "M\n\nServer poslal odpověď bez dat (0 bajtů).");

    // The report says how much came and how it began.
    behaviour.emptyBody = false;
    behaviour.rawBody = Bytes(65, 'x');
    behaviour.rawBody->at(0) = 0x30;
    behaviour.rawBody->at(1) = 0x82;
    tsa.SetBehaviour(behaviour);
    TsaClient longer;
    outcome = Exchange(longer, Direct(tsa.Url()), Bytes{1}, 64);
    EXPECT_EQ(outcome.code, HTTP_E_READ_BODY);
    EXPECT_EQ(outcome.length, 64); // replyLength is left alone on failure
    EXPECT_EQ(ReportedText(longer, outcome.code, "M"),
              "M\n\nOdpověď serveru je delší, než klient přijme: 65 bajtů, nejvýše 64. Začátek "
              "odpovědi (hex): 30 82 78 78 78 78 78 78 78 78 78 78 78 78 78 78");
    behaviour.rawBody.reset();

    // A body without end is cut after a bounded amount, with the same result.
    behaviour.oversizedBody = 0;
    behaviour.endlessBody = true;
    tsa.SetBehaviour(behaviour);
    TsaClient endless;
    outcome = Exchange(endless, Direct(tsa.Url()), Bytes{1}, 8192);
    EXPECT_EQ(outcome.code, HTTP_E_READ_BODY);
    EXPECT_LT(outcome.seconds, 20.0);
}

TEST(HttpClient, ServerAuthenticationAsksOnceAndUsesTheAnswer) {
    TestTsa tsa;
    TsaBehaviour behaviour;
    behaviour.basicAuth = std::make_pair("alice", "s3cret");
    behaviour.realm = "Razítka";
    tsa.SetBehaviour(behaviour);

    {
        // Nobody to ask (the command line): -6 at once, after one send.
        TsaClient client;
        const Outcome outcome = Exchange(client, Direct(tsa.Url()), Bytes{1});
        EXPECT_EQ(outcome.code, HTTP_E_SEND);
        EXPECT_EQ(tsa.RequestCount(), 1U);
    }
    tsa.ClearRequests();
    {
        ScriptedPrompts prompts;
        prompts.CancelCredentials();
        TsaClient client;
        const Outcome outcome = Exchange(client, Direct(tsa.Url()), Bytes{1});
        EXPECT_EQ(outcome.code, HTTP_E_SEND);
        EXPECT_EQ(tsa.RequestCount(), 1U);
        ASSERT_EQ(prompts.credentialQuestions.size(), 1U);
        EXPECT_EQ(prompts.credentialQuestions[0].target, AuthTarget::Server);
        EXPECT_EQ(prompts.credentialQuestions[0].host, "127.0.0.1");
        EXPECT_EQ(prompts.credentialQuestions[0].realm, "Razítka");
    }
    tsa.ClearRequests();
    {
        // The stored credentials are proposed; the answer is sent and kept by this client only.
        ScriptedPrompts prompts;
        prompts.AnswerCredentials("alice", "s3cret");
        CConnectionParams params = Direct(tsa.Url());
        params.m_strAuthUser = "stored";
        params.m_strAuthPassword = "old";
        TsaClient client;
        const Outcome outcome = Exchange(client, params, Bytes{1});
        EXPECT_EQ(outcome.code, HTTP_OK);
        ASSERT_EQ(prompts.credentialQuestions.size(), 1U);
        EXPECT_EQ(prompts.credentialQuestions[0].proposedUser, "stored");
        EXPECT_EQ(prompts.credentialQuestions[0].proposedPassword, "old");
        const auto requests = tsa.Requests();
        ASSERT_EQ(requests.size(), 2U);
        EXPECT_EQ(requests[0].Header("Authorization"), std::nullopt);
        EXPECT_EQ(requests[1].Header("Authorization"), "Basic YWxpY2U6czNjcmV0");
        EXPECT_EQ(client.m_strAuthUser, "alice");
        EXPECT_EQ(params.m_strAuthUser, "stored");
    }
    tsa.ClearRequests();
    {
        // Wrong credentials: three sends, one question, then -6.
        ScriptedPrompts prompts;
        prompts.AnswerCredentials("alice", "wrong");
        prompts.AnswerCredentials("alice", "s3cret"); // never asked for
        TsaClient client;
        const Outcome outcome = Exchange(client, Direct(tsa.Url()), Bytes{1});
        EXPECT_EQ(outcome.code, HTTP_E_SEND);
        EXPECT_EQ(outcome.lastError, ERROR_INTERNET_INCORRECT_PASSWORD);
        EXPECT_EQ(tsa.RequestCount(), 3U);
        EXPECT_EQ(prompts.credentialQuestions.size(), 1U);
        for (const auto& request : tsa.Requests()) {
            if (request.Header("Authorization")) {
                EXPECT_EQ(*request.Header("Authorization"), "Basic YWxpY2U6d3Jvbmc=");
            }
        }
    }
}

TEST(HttpClient, ServerThatIsDownResetsOrAnswersNonsenseIsTriedThreeTimes) {
    TestTsa tsa;
    struct {
        const char* name;
        void (*setup)(TsaBehaviour&);
        uint32_t error;
    } const cases[] = {
        {"reset", [](TsaBehaviour& b) { b.resetAfter = 0; }, ERROR_INTERNET_CONNECTION_RESET},
        {"closed", [](TsaBehaviour& b) { b.closeSilently = true; },
         ERROR_HTTP_INVALID_SERVER_RESPONSE},
        {"garbage", [](TsaBehaviour& b) { b.garbageInsteadOfHttp = true; },
         ERROR_HTTP_INVALID_SERVER_RESPONSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TsaBehaviour behaviour;
        c.setup(behaviour);
        tsa.SetBehaviour(behaviour);
        tsa.ClearRequests();
        TsaClient client;
        const Outcome outcome = Exchange(client, Direct(tsa.Url()), Bytes{1});
        EXPECT_EQ(outcome.code, HTTP_E_SEND);
        EXPECT_EQ(outcome.lastError, c.error) << outcome.lastErrorDetail;
        EXPECT_EQ(tsa.RequestCount(), 3U);
    }

    TsaClient client;
    const Outcome down = Exchange(
        client, Direct("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/tsa"), Bytes{1});
    EXPECT_EQ(down.connect, 1);
    EXPECT_EQ(down.code, HTTP_E_SEND);
    EXPECT_EQ(down.lastError, ERROR_INTERNET_CANNOT_CONNECT);
    const std::string text = ReportedText(client, down.code, "Chyba při připojení k serveru ");
    EXPECT_EQ(text.rfind("Chyba při připojení k serveru \n\n0x00002EFD (12029):  Nelze navázat "
                         "spojení se serverem",
                         0),
              0U)
        << text;

    // A reset in the middle of the body is a failed read, not a failed send.
    TsaBehaviour behaviour;
    behaviour.oversizedBody = 4000;
    behaviour.resetAfter = 2000;
    tsa.SetBehaviour(behaviour);
    tsa.ClearRequests();
    TsaClient cut;
    const Outcome outcome = Exchange(cut, Direct(tsa.Url()), Bytes{1});
    EXPECT_EQ(outcome.code, HTTP_E_READ_BODY);
    EXPECT_EQ(tsa.RequestCount(), 1U);
}

TEST(HttpClient, TimeOutsAreRaisedToOneSecondAndAStallEndsWithinTheTimeOut) {
    TestTsa tsa;
    for (const auto& [seconds, expected] : {std::pair{0, 1000U}, std::pair{-5, 1000U},
                                            std::pair{1, 1000U}, std::pair{180, 180000U}}) {
        CHttpClient client;
        CConnectionParams params = Direct(tsa.Url(), seconds);
        ASSERT_EQ(client.Connect(params), 1);
        EXPECT_EQ(client.TimeoutMilliseconds(), expected) << seconds;
    }

    TsaBehaviour behaviour;
    behaviour.stall = TsaBehaviour::Stall::NeverAnswer;
    tsa.SetBehaviour(behaviour);
    TsaClient client;
    const Outcome outcome = Exchange(client, Direct(tsa.Url(), 0), Bytes{1});
    EXPECT_EQ(outcome.code, HTTP_E_SEND);
    EXPECT_EQ(outcome.lastError, ERROR_INTERNET_TIMEOUT);
    EXPECT_EQ(tsa.RequestCount(), 1U); // a time-out is not retried
    EXPECT_GE(outcome.seconds, 0.9);
    EXPECT_LT(outcome.seconds, 5.0);
}

TEST(HttpClient, AStopEndsTheWaitForAServerThatNeverAnswersAndWorkOnGoesOn) {
    TestTsa tsa;
    TsaBehaviour behaviour;
    behaviour.stall = TsaBehaviour::Stall::NeverAnswer;
    tsa.SetBehaviour(behaviour);
    std::atomic<bool> stop{false};
    Outcome outcome;
    std::thread worker([&] {
        const ScopedCancellation cancellation(stop);
        TsaClient client;
        outcome = Exchange(client, Direct(tsa.Url(), 180), Bytes{1});
    });
    for (int i = 0; i < 500 && tsa.RequestCount() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(tsa.RequestCount(), 1U);
    stop = true;
    worker.join();
    // Stopped long before the 180 s time-out; nothing was taken for a reply.
    EXPECT_NE(outcome.code, HTTP_OK);
    EXPECT_LT(outcome.seconds, 5.0);

    // A stoppable thread whose flag stays clear gets its reply as any other.
    tsa.SetBehaviour({});
    std::atomic<bool> never{false};
    const ScopedCancellation cancellation(never);
    TsaClient client;
    const Outcome answered = Exchange(client, Direct(tsa.Url(), 5), Bytes{1});
    EXPECT_EQ(answered.code, HTTP_OK) << answered.lastErrorDetail;
}

TEST(HttpClient, ASlowReplyThatKeepsComingIsNotCut) {
    TestTsa tsa;
    TsaBehaviour behaviour;
    behaviour.rawBody = Bytes(600, 'r');
    behaviour.stall = TsaBehaviour::Stall::Slowly;
    behaviour.slowPieceBytes = 40;
    behaviour.slowPause = std::chrono::milliseconds(150);
    tsa.SetBehaviour(behaviour);
    TsaClient client;
    // About 2.7 s in all, never more than 0.15 s without a byte, with a 1 s time-out.
    const Outcome outcome = Exchange(client, Direct(tsa.Url(), 1), Bytes{1});
    EXPECT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
    EXPECT_EQ(outcome.length, 600);
    EXPECT_GT(outcome.seconds, 1.5);
}

TEST(HttpClient, ConnectTakesOnlyHttpAndHttpsWithTheirDefaultPorts) {
    {
        CHttpClient client;
        SetLastError(0);
        EXPECT_EQ(client.Connect(Direct("ftp://127.0.0.1/tsa")), 0);
        EXPECT_EQ(GetLastError(), ERROR_INTERNET_UNRECOGNIZED_SCHEME);
        EXPECT_EQ(ReportedText(client, HTTP_E_CONNECT, "Chyba při připojení k serveru "),
                  "Chyba při připojení k serveru \n\n0x00002EE6 (12006):  Protokol v adrese URL "
                  "nebyl rozpoznán nebo není podporován (ftp)");
    }
    for (const char* bad : {"", "no url at all", "http://"}) {
        CHttpClient client;
        EXPECT_EQ(client.Connect(Direct(bad)), 0) << bad;
        EXPECT_NE(GetLastError(), 0U);
    }
    {
        CHttpClient client;
        ASSERT_EQ(client.Connect(Direct("http://tsa.example.net/cgi-bin/razitko.cgi")), 1);
        EXPECT_EQ(client.m_nPort, 80);
        EXPECT_EQ(client.m_bSecure, 0);
        EXPECT_EQ(client.m_strHost, "tsa.example.net");
        EXPECT_EQ(client.m_strUrlPath, "/cgi-bin/razitko.cgi");
        // A client that is connected does not connect again.
        EXPECT_EQ(client.Connect(Direct("http://other.example.net/")), 0);
        EXPECT_EQ(client.m_strHost, "tsa.example.net");
    }
    {
        CHttpClient client;
        ASSERT_EQ(client.Connect(Direct("HTTPS://tsa.example.net")), 1);
        EXPECT_EQ(client.m_nPort, 443);
        EXPECT_EQ(client.m_bSecure, 1);
        EXPECT_EQ(client.m_strUrlPath, "/");
    }
    {
        CHttpClient client;
        ASSERT_EQ(client.Connect(Direct("https://tsa.example.net:8443/x")), 1);
        EXPECT_EQ(client.m_nPort, 8443);
    }
    {
        CHttpClient client;
        unsigned char buffer[8];
        int length = sizeof buffer;
        EXPECT_EQ(client.SendRequest(buffer, 1, buffer, length), HTTP_E_NO_CONNECTION);
    }
}

TEST(HttpClient, AddHeaderRefusesLineBreaksAndWorksOnlyOnARequest) {
    TestTsa tsa;
    CHttpClient client;
    ASSERT_EQ(client.Connect(Direct(tsa.Url())), 1);
    EXPECT_EQ(client.AddHeader("X-Test", "1"), 0); // no request handle yet
    unsigned char reply[4096];
    int length = sizeof reply;
    ASSERT_EQ(client.SendRequest(reply, 1, reply, length), HTTP_OK);

    EXPECT_EQ(client.AddHeader("X-Evil", "a\r\nX-Injected: 1"), 0);
    EXPECT_EQ(client.AddHeader("X-Evil\nX-Injected", "1"), 0);
    EXPECT_EQ(client.AddHeader("X-Evil", std::string("a\0b", 3)), 0);
    EXPECT_EQ(client.AddHeader("X-Evil: x", "1"), 0);
    EXPECT_EQ(client.AddHeader("", "1"), 0);
    EXPECT_EQ(client.AddHeader("X-Number", 42), 1);
    EXPECT_EQ(client.AddHeader("X-Empty", ""), 1);
    length = sizeof reply;
    ASSERT_EQ(client.SendRequest(reply, 1, reply, length), HTTP_OK);
    const auto requests = tsa.Requests();
    ASSERT_EQ(requests.size(), 2U);
    const auto& second = requests[1];
    EXPECT_EQ(second.Header("X-Number"), "42");
    EXPECT_EQ(second.Header("X-Empty"), "");
    EXPECT_EQ(second.Header("X-Injected"), std::nullopt);
    EXPECT_EQ(second.Header("X-Evil"), std::nullopt);
    // A second send does not repeat the standard headers.
    EXPECT_EQ(std::count_if(second.headers.begin(), second.headers.end(),
                            [](const auto& h) { return h.first == "Content-Length"; }),
              1);
}

TEST(HttpClient, HttpsWithATrustedCertificateWorksLikeHttp) {
    TestTsa::Options options;
    options.https = true;
    TestTsa tsa(options);
    TrustedServerCa trusted;
    const EncodedRequest request = MakeEncodedRequest();
    ScriptedPrompts prompts;
    TsaClient client;
    const Outcome outcome = Exchange(client, Direct(tsa.Url()), request.der);
    ASSERT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
    EXPECT_TRUE(prompts.certificateQuestions.empty());
    ASSERT_EQ(tsa.RequestCount(), 1U);
    EXPECT_EQ(tsa.Requests()[0].body, request.der);
    EXPECT_EQ(tsa.Requests()[0].requestLine, "POST /tsa HTTP/1.0");
}

TEST(HttpClient, CertificateProblemsAreAskedAboutAndContinueWithoutTheCheck) {
    struct {
        TestTsa::Certificate certificate;
        uint32_t error;
    } const cases[] = {
        {TestTsa::Certificate::UnknownCa, ERROR_INTERNET_INVALID_CA},
        {TestTsa::Certificate::Expired, ERROR_INTERNET_SEC_CERT_DATE_INVALID},
        {TestTsa::Certificate::WrongName, ERROR_INTERNET_SEC_CERT_CN_INVALID},
    };
    TrustedServerCa trusted;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        TestTsa::Options options;
        options.https = true;
        options.certificate = c.certificate;
        TestTsa tsa(options);
        {
            ScriptedPrompts prompts; // cancels
            TsaClient client;
            const Outcome outcome = Exchange(client, Direct(tsa.Url()), Bytes{1});
            EXPECT_EQ(outcome.code, HTTP_E_SEND);
            EXPECT_EQ(outcome.lastError, c.error) << outcome.lastErrorDetail;
            ASSERT_EQ(prompts.certificateQuestions.size(), 1U);
            EXPECT_EQ(prompts.certificateQuestions[0].error, c.error);
            EXPECT_EQ(prompts.certificateQuestions[0].host, "127.0.0.1");
            EXPECT_EQ(tsa.RequestCount(), 0U);
        }
        {
            ScriptedPrompts prompts;
            prompts.AnswerCertificate(true);
            TsaClient client;
            const Outcome outcome = Exchange(client, Direct(tsa.Url()), Bytes{1});
            EXPECT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
            EXPECT_EQ(prompts.certificateQuestions.size(), 1U);
            EXPECT_EQ(tsa.RequestCount(), 1U);
        }
    }

    // Without the hook the test CA is unknown; an unreadable CA file is a channel error.
    TestTsa::Options options;
    options.https = true;
    TestTsa tsa(options);
    {
        ScopedEnv noCa(kCaFileVariable, nullptr);
        TsaClient client;
        EXPECT_EQ(Exchange(client, Direct(tsa.Url()), Bytes{1}).lastError,
                  ERROR_INTERNET_INVALID_CA);
    }
    {
        ScopedEnv badCa(kCaFileVariable, "/nonexistent/ca.pem");
        TsaClient client;
        const Outcome outcome = Exchange(client, Direct(tsa.Url()), Bytes{1});
        EXPECT_EQ(outcome.code, HTTP_E_SEND);
        EXPECT_EQ(outcome.lastError, ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
        EXPECT_NE(outcome.lastErrorDetail.find("/nonexistent/ca.pem"), std::string::npos);
    }
}
