// Untrusted bytes: every decoder, on input that is empty, garbage, cut short or huge,
// answers with a code and leaves the records it could not fill alone.
#include "TtiTestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace mivo::test {
namespace {

// Runs every decoder over the bytes; returns how many of them succeeded.
int DecodeEverything(const Bytes& in) {
    const int n = Len(in);
    const unsigned char* p = in.empty() ? nullptr : in.data();
    int successes = 0;
    auto count = [&](int rc) {
        EXPECT_LE(rc, 0);
        EXPECT_GE(rc, TTI_E_TAC_NO_POLICY);
        successes += rc == TTI_OK;
    };

    Bytes buffer = in;
    int len = n;
    int type = 0;
    const int checked = TTI_CheckReply(buffer.data(), &len, &type, 0);
    EXPECT_NE(checked, TTI_E_INVALID_PARAMETER);
    if (checked == TTI_OK) {
        EXPECT_LE(len, n);
    }

    StatusResult status = DecodeStatus(in);
    count(status.rc);
    EXPECT_TRUE(Terminated(status.status.szStatusText));
    if (status.rc != TTI_OK) {
        EXPECT_EQ(status.status.nStatus, 0);
        EXPECT_EQ(status.status.szStatusText[0], 0);
    }

    Bytes out(8192);
    len = Len(out);
    count(TTI_GetTSR_EncodedToken(out.data(), &len, p, n));
    EXPECT_LE(len, 8192);

    TstResult tst = DecodeTst(in);
    count(tst.rc);
    EXPECT_TRUE(Terminated(tst.info.szPolicyOid));
    EXPECT_TRUE(Terminated(tst.info.szHashOid));
    EXPECT_TRUE(Terminated(tst.info.szGenTime));
    EXPECT_TRUE(Terminated(tst.info.szTsaName));
    if (tst.rc != TTI_OK) {
        EXPECT_EQ(tst.info.nVersion, 0);
    } else {
        EXPECT_LE(tst.info.nDigestLen, 128);
        EXPECT_LE(tst.info.nSerialLen, 40);
        EXPECT_LE(tst.info.nNonceLen, 40);
    }

    count(TTI_VerifyTST_Signature(p, n, 0, 0));
    len = Len(out);
    count(TTI_GetTST_TSACert(out.data(), &len, p, n));
    len = 4096;
    count(TTI_GetTST_TimeAttributeCert(out.data(), &len, p, n));
    len = Len(out);
    TTI_PrepareSignedMessage(p, n, out.data(), &len);

    TTI_TIMING_METRICS m{};
    count(TTI_GetTAC_TimingMetrics(&m, p, n));
    EXPECT_TRUE(Terminated(m.szNtpTime));
    EXPECT_TRUE(Terminated(m.szExpiration));
    TTI_TIMING_POLICY pol{};
    count(TTI_GetTAC_TimingPolicy(&pol, p, n));
    EXPECT_TRUE(Terminated(pol.szPolicyOid));
    TTI_CERT_INFO info;
    count(DecodeCertInfo(in, info));
    EXPECT_TRUE(Terminated(info.szHolder));
    EXPECT_TRUE(Terminated(info.szIssuer));
    EXPECT_TRUE(Terminated(info.szSignatureAlgOid));
    return successes;
}

TEST(MalformedInput, EmptyGarbageAndZeros) {
    EXPECT_EQ(DecodeEverything({}), 0);
    EXPECT_EQ(DecodeEverything({0x30}), 0);
    EXPECT_EQ(DecodeEverything({0x30, 0x00}), 0);
    EXPECT_EQ(DecodeEverything({0x30, 0x80, 0x00, 0x00}), 0);
    const std::string text = "<html><body>502 Bad Gateway</body></html>";
    EXPECT_EQ(DecodeEverything(Bytes(text.begin(), text.end())), 0);
    EXPECT_EQ(DecodeEverything(Bytes(100 * 1024, 0)), 0);
    EXPECT_EQ(DecodeEverything(Bytes(100 * 1024, 0xFF)), 0);

    std::mt19937 random(1234);
    for (int i = 0; i < 50; ++i) {
        Bytes noise(static_cast<std::size_t>(random() % 600));
        for (unsigned char& b : noise)
            b = static_cast<unsigned char>(random());
        if (!noise.empty())
            noise[0] = 0x30;
        EXPECT_EQ(DecodeEverything(noise), 0);
    }
}

TEST(MalformedInput, EveryTruncationFails) {
    TokenSpec spec;
    spec.tac = TacSpec{};
    spec.nonce = Bytes{1, 2, 3, 4};
    const Bytes token = TokenFactory::Token(spec);
    Bytes tac;
    ASSERT_EQ(ExtractTac(token, tac), TTI_OK);
    const Bytes samples[] = {
        Real("sigstage-ecdsa-sha256-reply.tsr"),
        Real("rejection-baddataformat-reply.tsr"),
        Real("infocert-rsa-sha256-token.tst"),
        TokenFactory::ToBer(token),
        tac,
    };
    for (const Bytes& sample : samples) {
        EXPECT_GT(DecodeEverything(sample), 0);
        for (std::size_t cut = 0; cut < sample.size(); ++cut) {
            const Bytes part(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(cut));
            ASSERT_EQ(DecodeEverything(part), 0) << "cut at " << cut << " of " << sample.size();
        }
    }
}

TEST(MalformedInput, FlippedBytesNeverBreakTheRecords) {
    TokenSpec spec;
    spec.tac = TacSpec{};
    spec.tsaName = GeneralNameSpec{};
    spec.tsaName->dirName = {{"CN", "TSA"}};
    const Bytes reply = TokenFactory::Reply(spec);
    std::mt19937 random(99);
    for (int i = 0; i < 400; ++i) {
        Bytes changed = reply;
        changed[random() % changed.size()] ^= static_cast<unsigned char>(1u << (random() % 8));
        DecodeEverything(changed);
        DecodeEverything(TokenOf(changed));
    }
}

TEST(MalformedInput, BadArguments) {
    const Bytes token = TokenFactory::Token();
    int len = 10;
    EXPECT_EQ(TTI_GetTST_TSACert(nullptr, &len, token.data(), Len(token)), TTI_E_INVALID_PARAMETER);
    EXPECT_EQ(TTI_GetTST_TSACert(nullptr, nullptr, token.data(), Len(token)),
              TTI_E_INVALID_PARAMETER);
    len = 0;
    EXPECT_EQ(TTI_GetTST_TSACert(nullptr, &len, token.data(), Len(token)), TTI_E_BUFFER_TOO_SMALL);
    EXPECT_GT(len, 0);
    EXPECT_EQ(TTI_VerifyTST_Signature(token.data(), -1, 0, 0), TTI_E_INVALID_PARAMETER);
    EXPECT_EQ(TTI_VerifyTST_Signature(nullptr, 10, 0, 0), TTI_E_INVALID_PARAMETER);
    len = -1;
    Bytes out(10);
    EXPECT_EQ(TTI_GetTST_TimeAttributeCert(out.data(), &len, token.data(), Len(token)),
              TTI_E_INVALID_PARAMETER);
    EXPECT_EQ(TTI_PrepareSignedMessage(token.data(), Len(token), out.data(), &len),
              TTI_E_INVALID_PARAMETER);
}

} // namespace
} // namespace mivo::test
