// Our requests read by `openssl ts`, and `openssl ts` replies read by us: an
// implementation nobody here wrote is the judge of the encoding.
#include "NetTestSupport.h"

#include "core/TimeStampExchange.h"
#include "core/TimeStampRequest.h"
#include "core/tti/tti.h"

#include "testlib/OpensslTs.h"
#include "testlib/RecordingMessageBoxes.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using mivo::test::Bytes;
using mivo::test::NonceHex;
using mivo::test::OpensslTs;
using mivo::test::QueryFields;

namespace {

std::string LowerHex(const unsigned char* bytes, int length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (int i = 0; i < length; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0x0F];
    }
    return hex;
}

Bytes Encode(const TTI_REQUEST& request) {
    unsigned char buffer[1024];
    int length = sizeof buffer;
    if (TTI_EncodeTimestampRequest(&request, buffer, &length, 0) != TTI_OK)
        return {};
    return Bytes(buffer, buffer + length);
}

} // namespace

TEST(OpensslInterop, OpensslReadsEveryFieldOfOurRequests) {
    TempDir dir;
    const std::string file = dir.Write("data.bin", std::string(5000, 'x') + "tail");
    OpensslTs ts;
    struct {
        int hashCode;
        const char* opensslName;
        const char* policy;
    } const cases[] = {
        {0, "sha1", "1.2.3.4.1"},   {1, "md5", "2.25.147632841029645311856013379428416652545.10.1"},
        {2, "sha256", ""},          {3, "sha384", "1.3.6.1.4.1.99999.1"},
        {4, "sha512", "1.2.3.4.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opensslName);
        TTI_REQUEST request;
        ASSERT_EQ(BuildTimeStampRequest(c.policy, c.hashCode, file, request), 0);
        const Bytes der = Encode(request);
        ASSERT_FALSE(der.empty());
        QueryFields fields;
        ASSERT_TRUE(ts.Query(der, fields)) << ts.QueryText(der).err;
        EXPECT_EQ(fields.version, "1");
        EXPECT_EQ(fields.hashAlgorithm, c.opensslName);
        EXPECT_EQ(fields.imprintHex, LowerHex(request.digest, request.nDigestLen));
        EXPECT_EQ(fields.policy, *c.policy != '\0' ? c.policy : "unspecified");
        EXPECT_EQ(fields.nonceHex, NonceHex(request.nonce, 8));
        EXPECT_EQ(fields.certReq, "yes");
    }
}

// The nonce is an INTEGER: a first byte with the high bit set must still read as a
// positive number, and leading zero bytes must not turn into another value.
TEST(OpensslInterop, NonceIsReadAsThePositiveNumberOfItsBytes) {
    TempDir dir;
    const std::string file = dir.Write("a.txt", "abc");
    OpensslTs ts;
    const unsigned char nonces[][8] = {
        {0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07},
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
        {0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC},
        {0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01},
    };
    for (const auto& nonce : nonces) {
        TTI_REQUEST request;
        ASSERT_EQ(BuildTimeStampRequest("1.2.3.4.1", 2, file, request), 0);
        std::memcpy(request.nonce, nonce, 8);
        const Bytes der = Encode(request);
        ASSERT_FALSE(der.empty());
        QueryFields fields;
        ASSERT_TRUE(ts.Query(der, fields));
        EXPECT_EQ(fields.nonceHex, NonceHex(nonce, 8));
    }
}

TEST(OpensslInterop, OpensslAnswersOurRequestAndWeReadTheReply) {
    TempDir dir;
    const std::string file = dir.Write("a.txt", "hello");
    for (auto key : {mivo::test::KeyKind::Rsa, mivo::test::KeyKind::Ecdsa}) {
        OpensslTs::Options options;
        options.key = key;
        OpensslTs ts(options);
        TTI_REQUEST request;
        ASSERT_EQ(BuildTimeStampRequest("1.2.3.4.1", 2, file, request), 0);
        const Bytes der = Encode(request);
        Bytes reply;
        mivo::test::CommandResult run;
        ASSERT_TRUE(ts.Reply(der, reply, &run)) << run.err;
        EXPECT_TRUE(ts.VerifyWithQuery(der, reply).Ok());

        int length = static_cast<int>(reply.size());
        int type = -1;
        ASSERT_EQ(TTI_CheckReply(reply.data(), &length, &type, 0), TTI_OK);
        TTI_STATUS status{};
        ASSERT_EQ(TTI_GetTSR_Status(&status, reply.data(), length), TTI_OK);
        EXPECT_EQ(status.nStatus, 0);
        unsigned char token[8192];
        int tokenLength = sizeof token;
        ASSERT_EQ(TTI_GetTSR_EncodedToken(token, &tokenLength, reply.data(), length), TTI_OK);
        TTI_TSTINFO info{};
        info.nSize = TTI_TSTINFO_SIZE;
        ASSERT_EQ(TTI_GetTST_TSTInfo(&info, token, tokenLength), TTI_OK);
        EXPECT_STREQ(info.szPolicyOid, "1.2.3.4.1");
        EXPECT_STREQ(info.szHashOid, request.szHashOid);
        ASSERT_EQ(info.nDigestLen, request.nDigestLen);
        EXPECT_EQ(std::memcmp(info.digest, request.digest, 32), 0);
        // The same number: a nonce that starts with a zero byte comes back shorter.
        EXPECT_EQ(NonceHex(info.nonce, static_cast<std::size_t>(info.nNonceLen)),
                  NonceHex(request.nonce, 8));
        EXPECT_EQ(TTI_VerifyTST_Signature(token, tokenLength, 0, 0), TTI_OK);
    }
}

// openssl's reply to our request, served over HTTP by the test TSA in pass-through mode,
// read by the exchange; and the test TSA's own reply to the same kind of request accepted
// by `openssl ts -verify`.
TEST(OpensslInterop, TheExchangeTakesOpensslsReplyOverHttp) {
    OpensslTs ts;
    nettest::TestTsa tsa;
    nettest::TsaBehaviour behaviour;
    behaviour.responder = [&ts](const Bytes& request) {
        Bytes reply;
        return ts.Reply(request, reply) ? reply : Bytes{};
    };
    tsa.SetBehaviour(behaviour);
    RecordingMessageBoxes boxes;

    const nettest::EncodedRequest request = nettest::MakeEncodedRequest("1.2.3.4.1", 0);
    Bytes reply(8192);
    int length = static_cast<int>(reply.size());
    ASSERT_EQ(PostTimeStampRequest(request.der.data(), static_cast<int>(request.der.size()),
                                   nettest::Direct(tsa.Url()), reply.data(), length),
              1)
        << (boxes.shown.empty() ? "" : boxes.shown[0].text);
    reply.resize(static_cast<std::size_t>(length));
    EXPECT_TRUE(ts.VerifyWithQuery(request.der, reply).Ok());
    unsigned char token[8192];
    int tokenLength = sizeof token;
    ASSERT_EQ(TTI_GetTSR_EncodedToken(token, &tokenLength, reply.data(), length), TTI_OK);
    TTI_TSTINFO info{};
    info.nSize = TTI_TSTINFO_SIZE;
    ASSERT_EQ(TTI_GetTST_TSTInfo(&info, token, tokenLength), TTI_OK);
    EXPECT_STREQ(info.szHashOid, "1.3.14.3.2.26");
    EXPECT_EQ(NonceHex(info.nonce, static_cast<std::size_t>(info.nNonceLen)),
              NonceHex(request.record.nonce, 8));

    tsa.SetBehaviour(nettest::TsaBehaviour{});
    Bytes ours(8192);
    length = static_cast<int>(ours.size());
    ASSERT_EQ(PostTimeStampRequest(request.der.data(), static_cast<int>(request.der.size()),
                                   nettest::Direct(tsa.Url()), ours.data(), length),
              1);
    ours.resize(static_cast<std::size_t>(length));
    const mivo::test::CommandResult verified = ts.VerifyWithQuery(request.der, ours);
    EXPECT_TRUE(verified.Ok()) << verified.out << verified.err;
}
