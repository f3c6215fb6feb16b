// Untrusted bytes: every decoder, on input that is empty, garbage, cut short or huge,
// answers with a code and leaves the records it could not fill alone.
#include "TtiTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace mivo::test {
namespace {

// What every decoder answered for one input: its code, and whether each text field of the
// records it filled ends within the field.
struct DecodeReport {
    std::vector<std::pair<std::string, int>> codes;
    std::vector<std::pair<std::string, bool>> texts;
    int successes = 0;
};

template <std::size_t N> void Text(DecodeReport& report, const char* name, const char (&field)[N]) {
    report.texts.emplace_back(name, Terminated(field));
}

// Runs every decoder over the bytes.
DecodeReport DecodeEverything(const Bytes& in) {
    const int n = Len(in);
    const unsigned char* p = in.empty() ? nullptr : in.data();
    DecodeReport report;
    auto code = [&](const char* name, int rc) {
        report.codes.emplace_back(name, rc);
        report.successes += rc == TTI_OK;
    };

    Bytes buffer = in;
    int len = n;
    int type = 0;
    const int checked = TTI_CheckReply(buffer.data(), &len, &type, 0);
    report.codes.emplace_back("check reply", checked);
    // The framing check is given a real buffer and length: it must never call them invalid.
    report.codes.emplace_back("check reply arguments", checked == TTI_E_INVALID_PARAMETER ? 1 : 0);
    report.codes.emplace_back("check reply length", checked == TTI_OK && len > n ? 1 : 0);

    StatusResult status = DecodeStatus(in);
    code("status", status.rc);
    Text(report, "status text", status.status.szStatusText);
    if (status.rc != TTI_OK)
        report.codes.emplace_back("refused status left alone",
                                  status.status.nStatus != 0 || status.status.szStatusText[0] != 0);

    Bytes out(8192);
    len = Len(out);
    code("encoded token", TTI_GetTSR_EncodedToken(out.data(), &len, p, n));
    report.codes.emplace_back("encoded token length", len > 8192 ? 1 : 0);

    TstResult tst = DecodeTst(in);
    code("tstinfo", tst.rc);
    Text(report, "policy", tst.info.szPolicyOid);
    Text(report, "hash oid", tst.info.szHashOid);
    Text(report, "gen time", tst.info.szGenTime);
    Text(report, "tsa name", tst.info.szTsaName);
    if (tst.rc != TTI_OK) {
        report.codes.emplace_back("refused tstinfo left alone", tst.info.nVersion != 0);
    } else {
        report.codes.emplace_back("tstinfo lengths", tst.info.nDigestLen > 128 ||
                                                         tst.info.nSerialLen > 40 ||
                                                         tst.info.nNonceLen > 40);
    }

    code("signature", TTI_VerifyTST_Signature(p, n, 0, 0));
    len = Len(out);
    code("tsa cert", TTI_GetTST_TSACert(out.data(), &len, p, n));
    len = 4096;
    code("tac", TTI_GetTST_TimeAttributeCert(out.data(), &len, p, n));
    len = Len(out);
    // Its code is not used by the program; only that it answers.
    (void)TTI_PrepareSignedMessage(p, n, out.data(), &len);

    TTI_TIMING_METRICS m{};
    code("metrics", TTI_GetTAC_TimingMetrics(&m, p, n));
    Text(report, "ntp time", m.szNtpTime);
    Text(report, "expiration", m.szExpiration);
    TTI_TIMING_POLICY pol{};
    code("timing policy", TTI_GetTAC_TimingPolicy(&pol, p, n));
    Text(report, "timing policy oid", pol.szPolicyOid);
    TTI_CERT_INFO info;
    code("cert info", DecodeCertInfo(in, info));
    Text(report, "holder", info.szHolder);
    Text(report, "issuer", info.szIssuer);
    Text(report, "valid from", info.szValidFrom);
    Text(report, "valid to", info.szValidTo);
    Text(report, "signature oid", info.szSignatureAlgOid);
    return report;
}

// Every code is 0 or one of the library's codes (a few checks above report 0 for "as it
// must be" and 1 for a fault), and every text ends within its field.
void ExpectSound(const DecodeReport& report, const std::string& what) {
    for (const auto& [name, rc] : report.codes) {
        EXPECT_LE(rc, 0) << name << " of " << what;
        EXPECT_GE(rc, TTI_E_TAC_NO_POLICY) << name << " of " << what;
    }
    for (const auto& [name, terminated] : report.texts)
        EXPECT_TRUE(terminated) << name << " of " << what;
}

// The decoders that succeeded on sound input.
int Successes(const Bytes& in, const std::string& what) {
    const DecodeReport report = DecodeEverything(in);
    ExpectSound(report, what);
    return report.successes;
}

TEST(MalformedInput, EmptyGarbageAndZeros) {
    EXPECT_EQ(Successes({}, "empty"), 0);
    EXPECT_EQ(Successes({0x30}, "30"), 0);
    EXPECT_EQ(Successes({0x30, 0x00}, "30 00"), 0);
    EXPECT_EQ(Successes({0x30, 0x80, 0x00, 0x00}, "30 80 00 00"), 0);
    const std::string text = "<html><body>502 Bad Gateway</body></html>";
    EXPECT_EQ(Successes(Bytes(text.begin(), text.end()), "html"), 0);
    EXPECT_EQ(Successes(Bytes(100 * 1024, 0), "zeros"), 0);
    EXPECT_EQ(Successes(Bytes(100 * 1024, 0xFF), "ones"), 0);

    std::mt19937 random(1234);
    for (int i = 0; i < 50; ++i) {
        Bytes noise(static_cast<std::size_t>(random() % 600));
        for (unsigned char& b : noise)
            b = static_cast<unsigned char>(random());
        if (!noise.empty())
            noise[0] = 0x30;
        EXPECT_EQ(Successes(noise, "noise"), 0);
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
        EXPECT_GT(Successes(sample, "sample"), 0);
        for (std::size_t cut = 0; cut < sample.size(); ++cut) {
            const Bytes part(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(cut));
            ASSERT_EQ(Successes(part, "cut at " + std::to_string(cut)), 0)
                << "of " << sample.size();
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
    // A flip somewhere in 2 KiB of DER either still decodes (a bit in a text or a number) or
    // is refused; both must happen over 400 flips, and neither may leave a record unsound.
    int decoded = 0;
    int refused = 0;
    for (int i = 0; i < 400; ++i) {
        Bytes changed = reply;
        const std::size_t at = random() % changed.size();
        changed[at] ^= static_cast<unsigned char>(1u << (random() % 8));
        for (const Bytes& input : {changed, TokenOf(changed)}) {
            const DecodeReport report = DecodeEverything(input);
            ExpectSound(report, "flip at " + std::to_string(at));
            (report.successes > 0 ? decoded : refused) += 1;
        }
    }
    EXPECT_GT(decoded, 0);
    EXPECT_GT(refused, 0);
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
