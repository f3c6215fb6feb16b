// The test TSA's token faults do what they say: later checks rely on each one changing
// exactly its own field of an otherwise good reply.
#include "NetTestSupport.h"

#include "testlib/OpensslTs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

using namespace nettest;
using mivo::test::KeyKind;
using mivo::test::NonceHex;

namespace {

struct Decoded {
    int status = -1;
    TTI_TSTINFO info{};
    Bytes token;
};

Decoded Decode(const Bytes& reply) {
    Decoded d;
    TTI_STATUS status{};
    if (TTI_GetTSR_Status(&status, reply.data(), static_cast<int>(reply.size())) != TTI_OK)
        return d;
    d.status = status.nStatus;
    d.token.resize(16384);
    int length = static_cast<int>(d.token.size());
    if (TTI_GetTSR_EncodedToken(d.token.data(), &length, reply.data(),
                                static_cast<int>(reply.size())) != TTI_OK) {
        d.token.clear();
        return d;
    }
    d.token.resize(static_cast<std::size_t>(length));
    d.info.nSize = TTI_TSTINFO_SIZE;
    if (TTI_GetTST_TSTInfo(&d.info, d.token.data(), length) != TTI_OK)
        d.info.nSize = 0;
    return d;
}

int Verify(const Decoded& d) {
    return TTI_VerifyTST_Signature(d.token.data(), static_cast<int>(d.token.size()), 0, 0);
}

// Seconds between the token's genTime and now.
long Skew(const TTI_TSTINFO& info) {
    std::tm tm{};
    if (strptime(info.szGenTime, "%Y%m%d%H%M%S", &tm) == nullptr)
        return 1 << 30;
    return static_cast<long>(timegm(&tm) - std::time(nullptr));
}

} // namespace

TEST(TestTsaReplies, EachFaultChangesOnlyItsOwnPart) {
    const EncodedRequest request = MakeEncodedRequest("1.2.3.4.5");
    const std::string nonce = NonceHex(request.record.nonce, 8);

    const Decoded good = Decode(TestTsa::MakeReply(request.der, {}, "1.2.3.4.9"));
    ASSERT_EQ(good.status, 0);
    EXPECT_STREQ(good.info.szPolicyOid, "1.2.3.4.5");
    EXPECT_EQ(std::memcmp(good.info.digest, request.record.digest, 32), 0);
    EXPECT_EQ(NonceHex(good.info.nonce, static_cast<std::size_t>(good.info.nNonceLen)), nonce);
    // Within a minute of now: a loaded machine may take seconds to make the first keys, and
    // the skewed reply below is an hour away.
    EXPECT_LE(std::labs(Skew(good.info)), 60);
    EXPECT_EQ(Verify(good), TTI_OK);

    TsaBehaviour b;
    b.policy = "1.2.3.4.6";
    EXPECT_STREQ(Decode(TestTsa::MakeReply(request.der, b, "1.2.3.4.9")).info.szPolicyOid,
                 "1.2.3.4.6");

    b = {};
    b.otherNonce = true;
    Decoded d = Decode(TestTsa::MakeReply(request.der, b, "1.2.3.4.9"));
    EXPECT_NE(NonceHex(d.info.nonce, static_cast<std::size_t>(d.info.nNonceLen)), nonce);
    EXPECT_EQ(Verify(d), TTI_OK);

    b = {};
    b.otherImprint = true;
    d = Decode(TestTsa::MakeReply(request.der, b, "1.2.3.4.9"));
    EXPECT_NE(std::memcmp(d.info.digest, request.record.digest, 32), 0);

    b = {};
    b.timeSkewSeconds = -3600;
    d = Decode(TestTsa::MakeReply(request.der, b, "1.2.3.4.9"));
    EXPECT_NEAR(static_cast<double>(Skew(d.info)), -3600.0, 60.0);

    b = {};
    b.badSignature = true;
    EXPECT_EQ(Verify(Decode(TestTsa::MakeReply(request.der, b, "1.2.3.4.9"))), TTI_E_SIGNATURE);

    b = {};
    b.noCertificate = true;
    EXPECT_EQ(Verify(Decode(TestTsa::MakeReply(request.der, b, "1.2.3.4.9"))),
              TTI_E_NO_SIGNER_CERT);

    b = {};
    b.tac = true;
    d = Decode(TestTsa::MakeReply(request.der, b, "1.2.3.4.9"));
    unsigned char tac[8192];
    int tacLength = sizeof tac;
    EXPECT_EQ(TTI_GetTST_TimeAttributeCert(tac, &tacLength, d.token.data(),
                                           static_cast<int>(d.token.size())),
              TTI_OK);
    tacLength = sizeof tac;
    EXPECT_EQ(TTI_GetTST_TimeAttributeCert(tac, &tacLength, good.token.data(),
                                           static_cast<int>(good.token.size())),
              TTI_E_NO_TAC);

    for (KeyKind key : {KeyKind::Ecdsa, KeyKind::RsaPss}) {
        b = {};
        b.key = key;
        EXPECT_EQ(Verify(Decode(TestTsa::MakeReply(request.der, b, "1.2.3.4.9"))), TTI_OK);
    }

    // No policy asked: the TSA's default; bytes that are no request: a rejection.
    const EncodedRequest noPolicy = MakeEncodedRequest("");
    EXPECT_STREQ(Decode(TestTsa::MakeReply(noPolicy.der, {}, "1.2.3.4.9")).info.szPolicyOid,
                 "1.2.3.4.9");
    EXPECT_EQ(Decode(TestTsa::MakeReply(Bytes{1, 2, 3}, {}, "1.2.3.4.9")).status, 2);
}
