// The TAC: extraction from the token with the holder check, and its three records.
#include "TtiTestSupport.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

namespace mivo::test {
namespace {

constexpr const char* kDefaultPolicy = "2.25.147632841029645311856013379428416652545.10.1";

Bytes TacOf(const TokenSpec& spec) {
    Bytes tac;
    EXPECT_EQ(ExtractTac(TokenFactory::Token(spec), tac), TTI_OK);
    return tac;
}

TokenSpec WithTac(TacSpec tac = {}, KeyKind key = KeyKind::Rsa) {
    TokenSpec spec;
    spec.key = key;
    spec.tac = std::move(tac);
    return spec;
}

TEST(TacExtraction, GivesTheAttributeCertificateOfTheToken) {
    for (KeyKind key : {KeyKind::Rsa, KeyKind::Ecdsa, KeyKind::RsaPss}) {
        TacSpec tac;
        tac.serial = {0x07};
        const Bytes token = TokenFactory::Token(WithTac(tac, key));
        Bytes out;
        ASSERT_EQ(ExtractTac(token, out), TTI_OK);
        // The factory signs anew each time (ECDSA): compare everything but the signature.
        TTI_CERT_INFO info;
        ASSERT_EQ(DecodeCertInfo(out, info), TTI_OK);
        EXPECT_EQ(Hex(info.serial, info.nSerialLen), "07");
        // The token's signature does not cover the TAC and still verifies.
        EXPECT_EQ(TTI_VerifyTST_Signature(token.data(), Len(token), 0, 0), TTI_OK);
    }
}

TEST(TacExtraction, MissingTacWrongHolderAndSmallBuffer) {
    Bytes tac;
    EXPECT_EQ(ExtractTac(TokenFactory::Token(), tac), TTI_E_NO_TAC);

    TacSpec wrong;
    wrong.thumbprint = TacSpec::Thumbprint::OtherCertificate;
    EXPECT_EQ(ExtractTac(TokenFactory::Token(WithTac(wrong)), tac), TTI_E_TAC_IMPRINT);
    TacSpec raw;
    raw.thumbprintBytes = Bytes(32, 0x11);
    EXPECT_EQ(ExtractTac(TokenFactory::Token(WithTac(raw)), tac), TTI_E_TAC_IMPRINT);
    TacSpec unknownAlg;
    unknownAlg.thumbprintAlgOid = "1.2.3.4";
    EXPECT_EQ(ExtractTac(TokenFactory::Token(WithTac(unknownAlg)), tac), TTI_E_TAC_IMPRINT);

    // The thumbprint of the public key, and by SHA-1, match as well.
    TacSpec publicKey;
    publicKey.thumbprint = TacSpec::Thumbprint::PublicKey;
    publicKey.thumbprintAlgOid = "1.3.14.3.2.26";
    EXPECT_EQ(ExtractTac(TokenFactory::Token(WithTac(publicKey)), tac), TTI_OK);

    // Without a signer certificate in the token there is nothing to compare.
    TokenSpec noCert = WithTac(wrong);
    noCert.includeSignerCert = false;
    EXPECT_EQ(ExtractTac(TokenFactory::Token(noCert), tac), TTI_OK);
    // Without a thumbprint there is nothing to compare either.
    TacSpec none;
    none.thumbprint = TacSpec::Thumbprint::None;
    EXPECT_EQ(ExtractTac(TokenFactory::Token(WithTac(none)), tac), TTI_OK);

    const Bytes token = TokenFactory::Token(WithTac());
    ASSERT_EQ(ExtractTac(token, tac), TTI_OK);
    Bytes small(tac.size() - 1);
    int len = Len(small);
    EXPECT_EQ(TTI_GetTST_TimeAttributeCert(small.data(), &len, token.data(), Len(token)),
              TTI_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, Len(tac));
}

TEST(TacExtraction, TacOverTheProgramsBufferIsTooSmall) {
    TacSpec big;
    big.signatureBytes = Bytes(4200, 0x42);
    Bytes tac;
    EXPECT_EQ(ExtractTac(TokenFactory::Token(WithTac(big)), tac), TTI_E_BUFFER_TOO_SMALL);
}

TEST(TimingMetrics, RoundTrip) {
    TacSpec spec;
    spec.ntpTime = "20250509115800.25Z";
    spec.offsetMicros = 1500;
    spec.delayMicros = -250;
    spec.expiration = "20250509125800Z";
    const Bytes tac = TacOf(WithTac(spec));
    TTI_TIMING_METRICS m{};
    ASSERT_EQ(TTI_GetTAC_TimingMetrics(&m, tac.data(), Len(tac)), TTI_OK);
    EXPECT_STREQ(m.szNtpTime, "20250509115800.25Z");
    EXPECT_FLOAT_EQ(m.fOffset, 0.0015f);
    EXPECT_FLOAT_EQ(m.fDelay, -0.00025f);
    EXPECT_STREQ(m.szExpiration, "20250509125800Z");
}

TEST(TimingMetrics, MissingOrOversized) {
    TacSpec spec;
    spec.withMetrics = false;
    Bytes tac = TokenFactory::Tac(spec);
    TTI_TIMING_METRICS m{};
    EXPECT_EQ(TTI_GetTAC_TimingMetrics(&m, tac.data(), Len(tac)), TTI_E_ASN_FORMAT);

    spec = {};
    spec.ntpTime = std::string(32, '2');
    tac = TokenFactory::Tac(spec);
    EXPECT_EQ(TTI_GetTAC_TimingMetrics(&m, tac.data(), Len(tac)), TTI_E_INTERNAL_BUFFER);
    EXPECT_EQ(TTI_GetTAC_TimingMetrics(nullptr, tac.data(), Len(tac)), TTI_E_INVALID_PARAMETER);
}

TEST(TimingPolicy, RoundTripAndMissingPolicy) {
    TacSpec spec;
    spec.maxOffsetMicros = 500000;
    spec.maxDelayMicros = 20000000;
    Bytes tac = TacOf(WithTac(spec));
    TTI_TIMING_POLICY p{};
    ASSERT_EQ(TTI_GetTAC_TimingPolicy(&p, tac.data(), Len(tac)), TTI_OK);
    EXPECT_STREQ(p.szPolicyOid, kDefaultPolicy);
    EXPECT_FLOAT_EQ(p.fMaxOffset, 0.5f);
    EXPECT_FLOAT_EQ(p.fMaxDelay, 20.0f);

    spec.withPolicy = false;
    tac = TacOf(WithTac(spec));
    p = {};
    EXPECT_EQ(TTI_GetTAC_TimingPolicy(&p, tac.data(), Len(tac)), TTI_E_TAC_NO_POLICY);
    TTI_TIMING_METRICS m{};
    EXPECT_EQ(TTI_GetTAC_TimingMetrics(&m, tac.data(), Len(tac)), TTI_OK);

    spec = {};
    spec.policyOid = "1.2";
    while (spec.policyOid.size() < 127)
        spec.policyOid += ".9";
    tac = TokenFactory::Tac(spec);
    EXPECT_EQ(TTI_GetTAC_TimingPolicy(&p, tac.data(), Len(tac)), TTI_OK);
    // One character more: its start is kept and marked as cut.
    const std::string fits = spec.policyOid;
    spec.policyOid += "9";
    tac = TokenFactory::Tac(spec);
    ASSERT_EQ(TTI_GetTAC_TimingPolicy(&p, tac.data(), Len(tac)), TTI_OK);
    EXPECT_EQ(std::string(p.szPolicyOid), fits.substr(0, 124) + TTI_CUT_MARK);
}

TEST(CertInfo, EveryFieldOfTheRecord) {
    TacSpec spec;
    spec.serial = FromHex("0102030405");
    spec.validFrom = "20250101000000Z";
    spec.validTo = "20351231235959Z";
    const Bytes tac = TacOf(WithTac(spec, KeyKind::Ecdsa));
    TTI_CERT_INFO info;
    ASSERT_EQ(DecodeCertInfo(tac, info), TTI_OK);
    EXPECT_EQ(info.nSize, TTI_CERTINFO_SIZE);
    EXPECT_EQ(info.nVersion, 2);
    EXPECT_STREQ(info.szHolder, "CN=Mivo Test TSA ECDSA,O=Mivo Test,C=CZ");
    const Bytes cert = TokenFactory::TsaCertDer(KeyKind::Ecdsa);
    unsigned char digest[32];
    ASSERT_EQ(EVP_Digest(cert.data(), cert.size(), digest, nullptr, EVP_sha256(), nullptr), 1);
    EXPECT_EQ(Hex(info.holderThumb, info.nHolderThumbLen), Hex(digest, 32));
    EXPECT_STREQ(info.szIssuer, "CN=Mivo Test TAC Issuer,O=Mivo Test,C=CZ");
    EXPECT_EQ(Hex(info.serial, info.nSerialLen), "0102030405");
    EXPECT_STREQ(info.szValidFrom, "20250101000000Z");
    EXPECT_STREQ(info.szValidTo, "20351231235959Z");
    EXPECT_STREQ(info.szSignatureAlgOid, "1.2.840.10045.4.3.2");
    EXPECT_GT(info.nSignatureLen, 60);
    EXPECT_EQ(info.signature[0], 0x30); // an ECDSA signature is a DER SEQUENCE
}

TEST(CertInfo, HolderByBaseCertificateOrThumbprintOnly) {
    TacSpec spec;
    spec.holderEntityName = false;
    spec.holderBaseCertificateId = true;
    Bytes tac = TokenFactory::Tac(spec);
    TTI_CERT_INFO info;
    ASSERT_EQ(DecodeCertInfo(tac, info), TTI_OK);
    const std::string holder = info.szHolder;
    EXPECT_EQ(holder.rfind("CN=Mivo Test CA,O=Mivo Test,C=CZ / ", 0), 0u) << holder;

    spec.holderBaseCertificateId = false;
    spec.thumbprint = TacSpec::Thumbprint::None;
    tac = TokenFactory::Tac(spec);
    ASSERT_EQ(DecodeCertInfo(tac, info), TTI_OK);
    EXPECT_STREQ(info.szHolder, "");
    EXPECT_EQ(info.nHolderThumbLen, 0);
}

TEST(CertInfo, ValuesThatDoNotFitGiveInternalBuffer) {
    auto rcOf = [](void (*change)(TacSpec&)) {
        TacSpec spec;
        change(spec);
        const Bytes tac = TokenFactory::Tac(spec);
        TTI_CERT_INFO info;
        return DecodeCertInfo(tac, info);
    };
    EXPECT_EQ(rcOf([](TacSpec& s) { s.serial = Bytes(40, 0x7F); }), TTI_OK);
    EXPECT_EQ(rcOf([](TacSpec& s) { s.serial = Bytes(41, 0x7F); }), TTI_E_INTERNAL_BUFFER);
    EXPECT_EQ(rcOf([](TacSpec& s) { s.thumbprintBytes = Bytes(128, 1); }), TTI_OK);
    EXPECT_EQ(rcOf([](TacSpec& s) { s.thumbprintBytes = Bytes(129, 1); }), TTI_E_INTERNAL_BUFFER);
    EXPECT_EQ(rcOf([](TacSpec& s) { s.signatureBytes = Bytes(1024, 1); }), TTI_OK);
    EXPECT_EQ(rcOf([](TacSpec& s) { s.signatureBytes = Bytes(1025, 1); }), TTI_E_INTERNAL_BUFFER);
    EXPECT_EQ(rcOf([](TacSpec& s) { s.validTo = std::string(31, '9'); }), TTI_OK);
    EXPECT_EQ(rcOf([](TacSpec& s) { s.validTo = std::string(32, '9'); }), TTI_E_INTERNAL_BUFFER);
    EXPECT_EQ(rcOf([](TacSpec& s) { s.version = 0x7FFFFFFFL; }), TTI_E_INTERNAL_BUFFER);
    EXPECT_EQ(rcOf([](TacSpec& s) {
                  std::string oid = "1.2";
                  while (oid.size() < 127)
                      oid += ".9";
                  s.signatureAlgOid = oid + "9";
              }),
              TTI_E_INTERNAL_BUFFER);
    // 639 bytes of holder text fit, the issuer holds 511.
    auto longName = [](std::size_t total) {
        // "OU=" + 60 characters, joined by commas, then "CN=" + the rest.
        DirName name;
        std::size_t used = 0;
        while (total - used > 3 + 64) {
            name.push_back({"OU", std::string(60, 'u')});
            used += 3 + 60 + 1;
        }
        name.insert(name.begin(), {"CN", std::string(total - used - 3, 'c')});
        return name;
    };
    static DirName name639 = longName(639);
    static DirName name640 = longName(640);
    static DirName name511 = longName(511);
    static DirName name512 = longName(512);
    EXPECT_EQ(rcOf([](TacSpec& s) { s.holderName = name639; }), TTI_OK);
    // Names are only shown: one that does not fit is cut to its field.
    EXPECT_EQ(rcOf([](TacSpec& s) { s.holderName = name640; }), TTI_OK);
    EXPECT_EQ(rcOf([](TacSpec& s) { s.issuerName = name511; }), TTI_OK);
    EXPECT_EQ(rcOf([](TacSpec& s) { s.issuerName = name512; }), TTI_OK);

    const Bytes tac = TokenFactory::Tac(TacSpec{});
    TTI_CERT_INFO info{};
    info.nSize = 2555;
    EXPECT_EQ(TTI_GetTAC_CertInfo(&info, tac.data(), Len(tac)), TTI_E_INVALID_PARAMETER);
}

TEST(TacDecoders, RejectWhatIsNoTac) {
    const Bytes token = TokenFactory::Token();
    TTI_TIMING_METRICS m{};
    TTI_TIMING_POLICY p{};
    TTI_CERT_INFO info;
    EXPECT_EQ(TTI_GetTAC_TimingMetrics(&m, token.data(), Len(token)), TTI_E_ASN_FORMAT);
    EXPECT_EQ(TTI_GetTAC_TimingPolicy(&p, token.data(), Len(token)), TTI_E_ASN_FORMAT);
    EXPECT_EQ(DecodeCertInfo(token, info), TTI_E_ASN_FORMAT);
    Bytes tac = TokenFactory::Tac(TacSpec{});
    tac.push_back(0);
    EXPECT_EQ(DecodeCertInfo(tac, info), TTI_E_ASN_FORMAT);
    EXPECT_EQ(TTI_GetTAC_TimingMetrics(&m, nullptr, 0), TTI_E_ASN_FORMAT);
}

} // namespace
} // namespace mivo::test
