// Stamps of the local test TSA judged end to end (request, HTTP, reply file, stamp checks,
// verdict), and the TAC's own verification.
#include "TrustTestSupport.h"

#include "core/TimeStampExchange.h"
#include "core/TimeStampRequest.h"
#include "core/tti/tti.h"
#include "tools/TestTsa.h"

using namespace trusttest;
using mivo::test::TacSpec;

namespace {

class TrustEndToEndTest : public TrustTest {
protected:
    // A stamp of the test TSA for a small file, as the program requests and saves it.
    std::string Stamp(const mivo::test::TsaBehaviour& behaviour = {}) {
        m_tsa.SetBehaviour(behaviour);
        const std::string source = m_dir.Write("smlouva.txt", "Kupní smlouva č. 7");
        TTI_REQUEST request{};
        EXPECT_EQ(BuildTimeStampRequest("1.2.3.4.1", 2, source, request), 0);
        unsigned char der[kEncodedRequestLimit];
        int derLength = sizeof der;
        EXPECT_EQ(TTI_EncodeTimestampRequest(&request, der, &derLength, 0), TTI_OK);
        CConnectionParams params;
        params.m_strServerUrl = m_tsa.Url();
        params.m_nProxyType = ACCESS_TYPE_DIRECT;
        params.m_nTimeoutSec = 20;
        Bytes reply(8192);
        int length = static_cast<int>(reply.size());
        EXPECT_EQ(PostTimeStampRequest(der, derLength, params, reply.data(), length), 1);
        reply.resize(static_cast<std::size_t>(std::max(length, 0)));
        return m_dir.Write("smlouva.txt.tsr", std::string(reply.begin(), reply.end()));
    }

    TrustResult Judge(const std::string& stampPath, const std::string& source) {
        CTimeStampPart part;
        EXPECT_EQ(part.VerifySourceFile(stampPath, source), 1) << part.ErrorText();
        EXPECT_TRUE(part.EvaluateSignerTrust({}));
        return part.SignerTrust().value_or(MakeTrustResult(TrustVerdict::Untrusted));
    }

    mivo::test::TestTsa m_tsa;
};

TEST_F(TrustEndToEndTest, TheTestTsaIsTrustedExactlyWhenItsCaIsAnAnchor) {
    const std::string stamp = Stamp();
    const std::string source = m_dir.File("smlouva.txt");
    const TrustResult without = Judge(stamp, source);
    EXPECT_EQ(without.verdict, TrustVerdict::Untrusted) << without.message;

    WriteInto(TrustDir(), "mivo-test-ca.pem", TokenFactory::CaCertPem());
    trust::RebuildTrustAnchors();
    const TrustResult with = Judge(stamp, source);
    EXPECT_EQ(with.verdict, TrustVerdict::Trusted) << with.message;
    EXPECT_EQ(with.anchorSubject, "C = CZ, O = Mivo Test, CN = Mivo Test CA");
    EXPECT_EQ(with.tac, TacVerification::NoTac);
}

TEST_F(TrustEndToEndTest, TheTacIsVerifiedAgainstAnAnchoredIssuer) {
    WriteInto(TrustDir(), "mivo-test-ca.pem", TokenFactory::CaCertPem());
    trust::RebuildTrustAnchors();
    mivo::test::TsaBehaviour withTac;
    withTac.tac = true;
    const std::string stamp = Stamp(withTac);
    const std::string source = m_dir.File("smlouva.txt");

    // The TAC issuer's certificate is neither in the stamp nor in the address book.
    const TrustResult unknownIssuer = Judge(stamp, source);
    EXPECT_EQ(unknownIssuer.verdict, TrustVerdict::Trusted); // the TAC does not change it
    EXPECT_EQ(unknownIssuer.tac, TacVerification::NotVerified);
    EXPECT_EQ(unknownIssuer.tacNote, "TAC neověřen");

    InAddressBook(TokenFactory::TacIssuerCertPem());
    const TrustResult known = Judge(stamp, source);
    EXPECT_EQ(known.tac, TacVerification::Verified);
    EXPECT_TRUE(known.tacNote.empty());
}

TEST_F(TrustEndToEndTest, ATacThatIsNotTheIssuersOrOutsideItsValidityIsNotVerified) {
    WriteInto(TrustDir(), "mivo-test-ca.pem", TokenFactory::CaCertPem());
    trust::RebuildTrustAnchors();
    TokenSpec spec;
    spec.genTime = TokenFactory::GenTimeNow();
    spec.includeTacIssuerCert = true;
    spec.tac = TacSpec{};
    EXPECT_EQ(Evaluate(spec).tac, TacVerification::Verified);

    TokenSpec forged = spec;
    forged.tac->signatureBytes = Bytes(72, 0x30);
    EXPECT_EQ(Evaluate(forged).tac, TacVerification::NotVerified);

    TokenSpec lapsed = spec;
    lapsed.tac->validTo = "20250102000000Z"; // before the stamp
    EXPECT_EQ(Evaluate(lapsed).tac, TacVerification::NotVerified);

    TokenSpec otherIssuer = spec;
    otherIssuer.tac->issuerName = mivo::test::DirName{{"CN", "Someone Else"}};
    EXPECT_EQ(Evaluate(otherIssuer).tac, TacVerification::NotVerified);

    // An issuer whose certificate leads to no anchor of ours.
    std::filesystem::remove(TrustDir() + "/mivo-test-ca.pem");
    trust::RebuildTrustAnchors();
    const TrustResult unanchored = Evaluate(spec);
    EXPECT_EQ(unanchored.verdict, TrustVerdict::Untrusted);
    EXPECT_EQ(unanchored.tac, TacVerification::NotVerified);
}

} // namespace
