// Logins to a server with Digest against the local test TSA, and the choice of the
// schemes a challenge allows.
#include "NetTestSupport.h"

#include "core/CurlTransfer.h"
#include "core/HttpClient.h"
#include "platform/LastError.h"

#include "testlib/ScriptedPrompts.h"

#include <gtest/gtest.h>

using namespace nettest;

TEST(HttpAuth, DigestIsAnsweredAndBasicNeverGoesInTheClearBesideIt) {
    TestTsa tsa;
    TsaBehaviour behaviour;
    behaviour.digestAuth = std::make_pair("alice", "s3cret");
    behaviour.alsoOfferBasic = true;
    behaviour.realm = "Razítka";
    tsa.SetBehaviour(behaviour);
    const EncodedRequest request = MakeEncodedRequest();
    {
        ScriptedPrompts prompts;
        prompts.AnswerCredentials("alice", "s3cret");
        TsaClient client;
        const Outcome outcome = Exchange(client, Direct(tsa.Url()), request.der);
        ASSERT_EQ(outcome.code, HTTP_OK) << outcome.lastErrorDetail;
        ASSERT_EQ(prompts.credentialQuestions.size(), 1U);
        EXPECT_EQ(prompts.credentialQuestions[0].realm, "Razítka");
        const auto requests = tsa.Requests();
        ASSERT_GE(requests.size(), 2U);
        EXPECT_EQ(requests.back().Header("Authorization")->rfind("Digest ", 0), 0U);
        EXPECT_EQ(requests.back().body, request.der);
        for (const auto& sent : requests) {
            if (const auto answer = sent.Header("Authorization")) {
                EXPECT_NE(answer->rfind("Basic", 0), 0U) << *answer;
            }
        }
    }
    tsa.ClearRequests();
    {
        // A wrong password is refused like a wrong Basic one: asked once, then -6.
        ScriptedPrompts prompts;
        prompts.AnswerCredentials("alice", "wrong");
        TsaClient client;
        const Outcome outcome = Exchange(client, Direct(tsa.Url()), request.der);
        EXPECT_EQ(outcome.code, HTTP_E_SEND);
        EXPECT_EQ(outcome.lastError, ERROR_INTERNET_INCORRECT_PASSWORD);
        EXPECT_EQ(prompts.credentialQuestions.size(), 1U);
    }
}

TEST(HttpAuth, BasicIsDroppedOnPlainConnectionsWhenSomethingStrongerIsOffered) {
    using http_detail::AuthSchemesFor;
    constexpr unsigned long kBasic = CURLAUTH_BASIC;
    constexpr unsigned long kDigest = CURLAUTH_DIGEST;
    constexpr unsigned long kNegotiate = CURLAUTH_NEGOTIATE;
    EXPECT_EQ(AuthSchemesFor(kBasic | kDigest, true), kDigest);
    EXPECT_EQ(AuthSchemesFor(kBasic | kNegotiate, true), kNegotiate);
    EXPECT_EQ(AuthSchemesFor(kBasic, true), kBasic);
    EXPECT_EQ(AuthSchemesFor(kBasic | kDigest, false), kBasic | kDigest);
    // Nothing recognisable offered: libcurl asks, and picks among all we answer.
    EXPECT_EQ(AuthSchemesFor(0, true), http_detail::kAuthSchemes);
}
