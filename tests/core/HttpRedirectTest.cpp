// Redirects of the time-stamp POST against the local test TSA: which are followed, how
// often, where to, and what the user reads about the ones that are not.
#include "NetTestSupport.h"

#include "core/HttpClient.h"
#include "platform/LastError.h"

#include "testlib/RecordingMessageBoxes.h"
#include "testlib/ScriptedPrompts.h"

#include <gtest/gtest.h>

using namespace nettest;

namespace {

using Redirect = TsaBehaviour::Redirect;

std::string ReportedText(CHttpClient& client, int code) {
    RecordingMessageBoxes boxes;
    client.ReportError(code, "M");
    return boxes.shown.empty() ? std::string("<no box>") : boxes.shown[0].text;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(HttpRedirect, TheSamePostFollowsUpToThreeRedirectsOfEveryRepeatingKind) {
    TestTsa tsa;
    const EncodedRequest request = MakeEncodedRequest();
    TsaBehaviour behaviour;
    // Relative, absolute-path and absolute locations alike.
    behaviour.redirects = {{"/a", 302, "b?x=1"},
                           {"/b?x=1", 307, "/c"},
                           {"/c", 308, tsa.Url("/tsa")},
                           {"/d", 301, "/a"}};
    tsa.SetBehaviour(behaviour);

    TsaClient client;
    Outcome outcome = Exchange(client, Direct(tsa.Url("/a")), request.der);
    ASSERT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
    EXPECT_GT(outcome.length, 0);
    const auto requests = tsa.Requests();
    ASSERT_EQ(requests.size(), 4U);
    const char* const lines[] = {"POST /a HTTP/1.0", "POST /b?x=1 HTTP/1.0", "POST /c HTTP/1.0",
                                 "POST /tsa HTTP/1.0"};
    for (std::size_t i = 0; i < requests.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(requests[i].requestLine, lines[i]);
        EXPECT_EQ(requests[i].body, request.der);
        EXPECT_EQ(requests[i].Header("Content-Type"), "application/timestamp-query");
    }

    // A fourth one is not followed, and the address it names is in the report.
    tsa.ClearRequests();
    TsaClient tooFar;
    outcome = Exchange(tooFar, Direct(tsa.Url("/d")), request.der);
    EXPECT_EQ(outcome.code, HTTP_E_SEND);
    EXPECT_EQ(outcome.lastError, ERROR_HTTP_REDIRECT_FAILED);
    EXPECT_EQ(tsa.RequestCount(), 4U);
    EXPECT_TRUE(Contains(outcome.lastErrorDetail, tsa.Url("/tsa"))) << outcome.lastErrorDetail;
    const std::string text = ReportedText(tooFar, outcome.code);
    EXPECT_TRUE(Contains(text, "nová adresa: " + tsa.Url("/tsa"))) << text;
}

TEST(HttpRedirect, OtherRedirectsAreNotFollowedAndNameTheNewAddress) {
    TestTsa tsa;
    struct {
        int status;
        std::string location;
        std::string shown; // the address the message must name
    } const cases[] = {
        {303, "/elsewhere", tsa.Url("/elsewhere")},
        {300, "choice", tsa.Url("/choice")},
        {305, "http://127.0.0.1:1/proxy", "http://127.0.0.1:1/proxy"},
        {307, "ftp://127.0.0.1/tsa", "ftp://127.0.0.1/tsa"},
        // What the network sent is shown harmless.
        {308, "/n\x1b[31mew", "/n?[31mew"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        TsaBehaviour behaviour;
        behaviour.redirects = {{"/tsa", c.status, c.location}};
        tsa.SetBehaviour(behaviour);
        tsa.ClearRequests();
        TsaClient client;
        const Outcome outcome = Exchange(client, Direct(tsa.Url()), Bytes{1, 2, 3});
        EXPECT_EQ(outcome.code, HTTP_E_SEND);
        EXPECT_EQ(outcome.lastError, ERROR_HTTP_REDIRECT_FAILED);
        EXPECT_EQ(tsa.RequestCount(), 1U);
        const std::string text = ReportedText(client, outcome.code);
        EXPECT_TRUE(Contains(text, "nová adresa: " + c.shown)) << text;
        EXPECT_FALSE(Contains(text, "\x1b")) << text;
    }
}

TEST(HttpRedirect, NeverFromHttpsToHttpButTheOtherWayRound) {
    TrustedServerCa trusted;
    TestTsa::Options secure;
    secure.https = true;
    TestTsa https(secure);
    TestTsa http;
    const EncodedRequest request = MakeEncodedRequest();

    TsaBehaviour down;
    down.redirects = {{"/tsa", 308, http.Url("/tsa")}};
    https.SetBehaviour(down);
    TsaClient refused;
    Outcome outcome = Exchange(refused, Direct(https.Url()), request.der);
    EXPECT_EQ(outcome.code, HTTP_E_SEND);
    EXPECT_EQ(outcome.lastError, ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
    EXPECT_EQ(http.RequestCount(), 0U);
    const std::string text = ReportedText(refused, outcome.code);
    EXPECT_TRUE(Contains(text, "nová adresa: " + http.Url("/tsa"))) << text;

    // Up to https the certificate is checked in full: a trusted one goes through.
    TsaBehaviour up;
    up.redirects = {{"/tsa", 301, https.Url("/tsa")}};
    http.SetBehaviour(up);
    https.SetBehaviour(TsaBehaviour{});
    https.ClearRequests();
    ScriptedPrompts prompts;
    TsaClient client;
    outcome = Exchange(client, Direct(http.Url()), request.der);
    ASSERT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
    EXPECT_TRUE(prompts.certificateQuestions.empty());
    ASSERT_EQ(https.RequestCount(), 1U);
    EXPECT_EQ(https.Requests()[0].body, request.der);
}

TEST(HttpRedirect, CredentialsOfOneServerDoNotTravelToAnother) {
    TestTsa first;
    TestTsa second;
    TsaBehaviour login;
    login.basicAuth = std::make_pair("alice", "s3cret");
    login.redirects = {{"/tsa", 307, second.Url("/tsa")}};
    first.SetBehaviour(login);

    ScriptedPrompts prompts;
    prompts.AnswerCredentials("alice", "s3cret");
    TsaClient client;
    const Outcome outcome = Exchange(client, Direct(first.Url()), Bytes{1});
    ASSERT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
    ASSERT_EQ(second.RequestCount(), 1U);
    EXPECT_EQ(second.Requests()[0].Header("Authorization"), std::nullopt);
}
