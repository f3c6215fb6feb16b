// The verdict on each stamp of a public TSA (tests/data/real-tokens), with the anchors of
// tests/data/trust-anchors, and the system's CA store when no anchor folder is named.
//
// Each expectation was worked out without this program, with the openssl tool on the
// token's certificates (cms -verify -noverify -signer/-certsout), at the generation time:
//   openssl verify -attime T -purpose timestampsign -CAfile ANCHORS -untrusted CERTS SIGNER
//   openssl ts -verify -token_in -in TOKEN -digest IMPRINT -CAfile ANCHORS -untrusted CERTS
//       -attime T            (chain, critical timeStamping-only usage, ESS binding)
//   openssl cms -cmsout -print   (SignerInfo digest and signature algorithms, attributes)
//   openssl x509 -text           (validity, key sizes, signature algorithms)
// and the TSA name compared byte for byte with the signer's subject.
#include "TrustTestSupport.h"

using namespace trusttest;

namespace {

const std::string kRealTokens = std::string(MIVO_TEST_DATA_DIR) + "/real-tokens";
const std::string kAnchors = std::string(MIVO_TEST_DATA_DIR) + "/trust-anchors";

struct Expected {
    const char* file;
    TrustVerdict verdict;
    const char* anchor; // part of the anchor's subject, for Trusted
};

constexpr Expected kExpected[] = {
    // Chain to Apple Root CA (anchored on purpose), valid on 2026-07-10, ts -verify OK; but
    // the SignerInfo's digest is SHA-1, in a stamp of 2026.
    {"apple-rsa-sha256-reply.tsr", TrustVerdict::WeakAlgorithm, nullptr},
    // Chain through Cybertrust Global Root to Baltimore CyberTrust Root, valid on
    // 2018-04-22, ts -verify OK, TSA name = subject; SignerInfo digest SHA-1 in 2018.
    {"belgium-rsa-sha256-token.tst", TrustVerdict::WeakAlgorithm, nullptr},
    // DigiCert SHA2 Assured ID Timestamping CA -> DigiCert Assured ID Root CA, valid on
    // 2018-05-09, ts -verify OK, SHA-256 and RSA-2048 throughout, no TSA name.
    {"digicert-rsa-sha256-reply-2018.tsr", TrustVerdict::Trusted, "DigiCert Assured ID Root CA"},
    // G4 TimeStamping CA -> DigiCert Trusted Root G4 (the self-signed anchor is taken before
    // the cross-certificate in the token), valid on 2023-03-16, ts -verify OK (ESS v1 and v2),
    // SHA-512 digest, RSA-4096.
    {"digicert-rsa-sha512-reply-2023.tsr", TrustVerdict::Trusted, "DigiCert Trusted Root G4"},
    // Issuer CA Disig QCA3 is in neither the token nor the anchors: "unable to get local
    // issuer certificate".
    {"disig-rsa-sha256-token.tst", TrustVerdict::Untrusted, nullptr},
    // exceet TSA 04 -> exceet trustcenter CA2 (anchored on purpose), valid on 2017-02-10,
    // critical timeStamping-only usage, ESS v1 hash = SHA-1 of the signer (3e26b955...),
    // TSA name = subject, SHA-256 (RSASSA-PSS certificates), RSA-2048/3072; its OCSP answer
    // (delegated responder exceet trustcenter OCSP2, openssl ocsp -attime: verify OK) says
    // good.
    {"exceet-rsa-sha256-token-der.tst", TrustVerdict::Trusted, "exceet trustcenter CA2"},
    // Free TSA root anchored on purpose, valid on 2018-10-14, ts -verify OK, TSA name =
    // subject; SignerInfo digest SHA-1 in 2018.
    {"freetsa-rsa-sha256-reply-2018-microsec.tsr", TrustVerdict::WeakAlgorithm, nullptr},
    // The same TSA in 2023 with SHA-512; its certificate expired in March 2026, after the stamp.
    {"freetsa-rsa-sha512-reply-2023.tsr", TrustVerdict::Trusted,
     "OU = Root CA, CN = www.freetsa.org"},
    // GlobalSign Primary SHA256 CA for Adobe is issued by Adobe Root CA, which is nowhere.
    {"globalsign-adobecds-rsa-sha256-reply-nonce.tsr", TrustVerdict::Untrusted, nullptr},
    {"globalsign-adobecds-rsa-sha256-reply-nononce.tsr", TrustVerdict::Untrusted, nullptr},
    // TrustID Timestamping CA 3 -> IdenTrust Commercial Root CA 1, valid on 2025-03-11 (the
    // TSA certificate expired in January 2026, after the stamp), ts -verify OK, SHA-256 digest.
    {"identrust-rsa-sha512-reply.tsr", TrustVerdict::Trusted, "IdenTrust Commercial Root CA 1"},
    // The issuer "InfoCert Time Stamping Authority" is nowhere (its RSA-1024 key of 2011 would
    // still have been strong enough).
    {"infocert-rsa-sha256-token.tst", TrustVerdict::Untrusted, nullptr},
    // sigstore-tsa -> sigstore-tsa-selfsigned (anchored on purpose), valid on 2025-05-09,
    // ts -verify OK, ESS v2, TSA name = subject, ECDSA P-384 with SHA-256.
    {"sigstage-ecdsa-sha256-reply.tsr", TrustVerdict::Trusted, "sigstore-tsa-selfsigned"},
    {"sigstage-ecdsa-sha384-reply.tsr", TrustVerdict::Trusted, "sigstore-tsa-selfsigned"},
    // The same TSA without certificates in the reply: signer and root from the address book.
    {"sigstage-ecdsa-sha256-reply-nocerts.tsr", TrustVerdict::Trusted, "sigstore-tsa-selfsigned"},
    // SSL.com Timestamping Issuing RSA CA R1 -> SSL.com Root Certification Authority RSA,
    // valid on 2024-10-28, ts -verify OK, ESS v2, ECDSA P-256 signer, RSA-4096 CA, SHA-256.
    {"sslcom-ecdsa-sha256-token-authenticode.tst", TrustVerdict::Trusted,
     "SSL.com Root Certification Authority RSA"},
};

class RealTokensTrustTest : public TrustTest {
protected:
    RealTokensTrustTest() {
        InAddressBook(TempDir::Read(kRealTokens + "/certs/sigstage-tsa-chain.pem"));
    }

    TrustResult Judge(const std::string& file, const TrustOptions& options = {}) {
        CTimeStampPart part;
        EXPECT_EQ(part.ProcessStampFile(kRealTokens + "/" + file), 1)
            << file << ": " << part.ErrorText();
        EXPECT_TRUE(part.EvaluateSignerTrust(options)) << file;
        return part.SignerTrust().value_or(MakeTrustResult(TrustVerdict::Untrusted));
    }
};

TEST_F(RealTokensTrustTest, EachPublicStampGetsItsVerdict) {
    ScopedEnv anchors(kTrustDirVariable, kAnchors.c_str());
    for (const Expected& expected : kExpected) {
        const TrustResult result = Judge(expected.file);
        EXPECT_EQ(Key(result.verdict), std::string(Key(expected.verdict)))
            << expected.file << ": " << result.message;
        if (expected.anchor != nullptr)
            EXPECT_NE(result.anchorSubject.find(expected.anchor), std::string::npos)
                << expected.file << ": " << result.anchorSubject;
        else
            EXPECT_TRUE(result.anchorSubject.empty()) << expected.file;
        EXPECT_EQ(result.tac, TacVerification::NoTac);
    }
}

TEST_F(RealTokensTrustTest, AnOcspAnswerInTheStampSparesTheOnlineLookUp) {
    ScopedEnv anchors(kTrustDirVariable, kAnchors.c_str());
    int fetches = 0;
    TrustOptions online;
    online.checkRevocation = true;
    online.fetch = [&fetches](const std::string&, const std::string&,
                              std::span<const unsigned char>, Bytes&) {
        ++fetches;
        return false;
    };
    EXPECT_EQ(Judge("exceet-rsa-sha256-token-der.tst", online).verdict, TrustVerdict::Trusted);
    EXPECT_EQ(fetches, 0);
    // A stamp that carries none must be looked up, and cannot be here.
    EXPECT_EQ(Judge("digicert-rsa-sha256-reply-2018.tsr", online).verdict,
              TrustVerdict::RevocationUnknown);
    EXPECT_GT(fetches, 0);
}

// Without MIVOKLIENT_TRUST_DIR the system's CA store is one of the sources (here Debian's,
// which carries DigiCert Assured ID Root CA); with it, only its folder is.
TEST_F(RealTokensTrustTest, TheSystemStoreIsConsultedWithoutAnAnchorFolder) {
    if (!std::filesystem::exists("/etc/ssl/certs/DigiCert_Assured_ID_Root_CA.pem"))
        GTEST_SKIP() << "the system's CA store does not carry DigiCert Assured ID Root CA";
    EXPECT_EQ(Judge("digicert-rsa-sha256-reply-2018.tsr").verdict, TrustVerdict::Untrusted);
    ScopedEnv unset(kTrustDirVariable, nullptr);
    const TrustResult result = Judge("digicert-rsa-sha256-reply-2018.tsr");
    EXPECT_EQ(result.verdict, TrustVerdict::Trusted) << result.message;
    EXPECT_NE(result.anchorSubject.find("DigiCert Assured ID Root CA"), std::string::npos);
}

} // namespace
