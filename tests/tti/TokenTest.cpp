// The token: TSTInfo fields, signature check, TSA certificate and the signed message
// prepared for the platform, over tokens made to order.
#include "TtiTestSupport.h"

#include <gtest/gtest.h>
#include <openssl/err.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>

#include <sys/wait.h>
#include <unistd.h>

namespace mivo::test {
namespace {

GeneralNameSpec DirectoryName(DirName entries) {
    GeneralNameSpec n;
    n.dirName = std::move(entries);
    return n;
}

GeneralNameSpec OtherName(GeneralNameSpec::Kind kind, std::string text, Bytes ip = {}) {
    GeneralNameSpec n;
    n.kind = kind;
    n.text = std::move(text);
    n.ip = std::move(ip);
    return n;
}

TEST(TstInfo, EveryFieldRoundTrips) {
    TokenSpec spec;
    spec.policyOid = "1.3.6.1.4.1.99999.1.2";
    spec.imprintOid = "2.16.840.1.101.3.4.2.3";
    spec.imprint = Bytes(64, 0x5A);
    spec.serial = FromHex("00ff0102030405060708090a0b0c0d0e0f10111213"); // leading zero dropped
    spec.genTime = "20100215103000.125Z";
    spec.accuracy = AccuracySpec{2, 3, 4};
    spec.ordering = true;
    spec.nonce = FromHex("8000000000000001");
    spec.tsaName = DirectoryName({{"C", "CZ"}, {"O", "Příliš žluťoučký kůň"}, {"CN", "TSA 1"}});

    const TstResult r = DecodeTst(TokenFactory::Token(spec));
    ASSERT_EQ(r.rc, TTI_OK);
    EXPECT_EQ(r.info.nSize, TTI_TSTINFO_SIZE);
    EXPECT_EQ(r.info.nVersion, 1);
    EXPECT_STREQ(r.info.szPolicyOid, "1.3.6.1.4.1.99999.1.2");
    EXPECT_STREQ(r.info.szHashOid, "2.16.840.1.101.3.4.2.3");
    EXPECT_EQ(Hex(r.info.digest, r.info.nDigestLen), Hex(Bytes(64, 0x5A)));
    EXPECT_EQ(Hex(r.info.serial, r.info.nSerialLen), "ff0102030405060708090a0b0c0d0e0f10111213");
    EXPECT_STREQ(r.info.szGenTime, "20100215103000.125Z");
    EXPECT_EQ(r.info.nAccuracySec, 2);
    EXPECT_EQ(r.info.nAccuracyMillis, 3);
    EXPECT_EQ(r.info.nAccuracyMicros, 4);
    EXPECT_EQ(r.info.nOrdering, 1);
    EXPECT_EQ(Hex(r.info.nonce, r.info.nNonceLen), "8000000000000001");
    EXPECT_STREQ(r.info.szTsaName, "CN=TSA 1,O=Příliš žluťoučký kůň,C=CZ");
}

TEST(TstInfo, AbsentAndZeroValues) {
    TokenSpec spec;
    spec.serial = {0};
    spec.nonce = Bytes{0};
    spec.version = 2;
    TstResult r = DecodeTst(TokenFactory::Token(spec));
    ASSERT_EQ(r.rc, TTI_OK);
    EXPECT_EQ(r.info.nVersion, 2);
    EXPECT_EQ(Hex(r.info.serial, r.info.nSerialLen), "00");
    EXPECT_EQ(Hex(r.info.nonce, r.info.nNonceLen), "00");
    EXPECT_EQ(r.info.nAccuracySec + r.info.nAccuracyMillis + r.info.nAccuracyMicros, 0);
    EXPECT_EQ(r.info.nOrdering, 0);
    EXPECT_STREQ(r.info.szTsaName, "");

    spec.nonce.reset();
    spec.accuracy = AccuracySpec{{}, 500, {}};
    r = DecodeTst(TokenFactory::Token(spec));
    ASSERT_EQ(r.rc, TTI_OK);
    EXPECT_EQ(r.info.nNonceLen, 0);
    EXPECT_EQ(r.info.nAccuracySec, 0);
    EXPECT_EQ(r.info.nAccuracyMillis, 500);
}

TEST(TstInfo, GenTimeIsTakenAsItIsEncoded) {
    for (const char* t : {"20100215103000Z", "20100215103000.5Z", "20100215103000.25Z",
                          "20100215103000.1234Z", "20181014204539.539178Z", "20100231253000Z",
                          "2010021510300099999999999999999", "2010", ""}) {
        TokenSpec spec;
        spec.genTime = t;
        const TstResult r = DecodeTst(TokenFactory::Token(spec));
        ASSERT_EQ(r.rc, TTI_OK) << t;
        EXPECT_STREQ(r.info.szGenTime, t);
    }
    TokenSpec spec;
    spec.genTime = std::string(32, '1'); // 31 characters fit the field, 32 do not
    EXPECT_EQ(DecodeTst(TokenFactory::Token(spec)).rc, TTI_E_INTERNAL_BUFFER);
}

TEST(TstInfo, TsaNameKinds) {
    using Kind = GeneralNameSpec::Kind;
    auto nameOf = [](const GeneralNameSpec& n) {
        TokenSpec spec;
        spec.tsaName = n;
        const TstResult r = DecodeTst(TokenFactory::Token(spec));
        EXPECT_EQ(r.rc, TTI_OK);
        return std::string(r.info.szTsaName);
    };
    EXPECT_EQ(nameOf(OtherName(Kind::Dns, "tsa.example.cz")), "DNS:tsa.example.cz");
    EXPECT_EQ(nameOf(OtherName(Kind::Email, "tsa@example.cz")), "email:tsa@example.cz");
    EXPECT_EQ(nameOf(OtherName(Kind::Uri, "http://tsa.example.cz/")), "URI:http://tsa.example.cz/");
    EXPECT_EQ(nameOf(OtherName(Kind::Ip, "", {192, 168, 1, 2})), "IP Address:192.168.1.2");
    EXPECT_EQ(nameOf(OtherName(Kind::Ip, "",
                               Bytes{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1})),
              "IP Address:2001:DB8:0:0:0:0:0:1");
    EXPECT_EQ(nameOf(OtherName(Kind::Rid, "1.2.3.4")), "Registered ID:1.2.3.4");
    // Control characters never reach the record as they are.
    EXPECT_EQ(nameOf(OtherName(Kind::Dns, std::string("a\0b\nc", 5))), "DNS:a\\00b\\0Ac");
    EXPECT_EQ(nameOf(DirectoryName({{"CN", "a,b+c"}})), "CN=a\\,b\\+c");
}

TEST(TstInfo, ValuesThatDoNotFitGiveInternalBuffer) {
    auto rcOf = [](void (*change)(TokenSpec&)) {
        TokenSpec spec;
        change(spec);
        return DecodeTst(TokenFactory::Token(spec)).rc;
    };
    // At the limit everything fits ...
    EXPECT_EQ(rcOf([](TokenSpec& s) { s.serial = Bytes(40, 0x7F); }), TTI_OK);
    EXPECT_EQ(rcOf([](TokenSpec& s) { s.nonce = Bytes(40, 0xFF); }), TTI_OK);
    EXPECT_EQ(rcOf([](TokenSpec& s) { s.imprint = Bytes(128, 1); }), TTI_OK);
    EXPECT_EQ(rcOf([](TokenSpec& s) {
                  s.policyOid = "1.2";
                  while (s.policyOid.size() < 127)
                      s.policyOid += ".9";
              }),
              TTI_OK);
    EXPECT_EQ(rcOf([](TokenSpec& s) {
                  s.tsaName = DirectoryName({{"CN", std::string(64, 'a')},
                                             {"O", std::string(64, 'b')},
                                             {"OU", std::string(64, 'c')},
                                             {"OU", std::string(64, 'd')},
                                             {"OU", std::string(64, 'e')},
                                             {"OU", std::string(64, 'f')},
                                             {"OU", std::string(64, 'g')},
                                             {"OU", std::string(33, 'h')}}); // 511 bytes
              }),
              TTI_OK);
    // ... one more does not.
    EXPECT_EQ(rcOf([](TokenSpec& s) { s.serial = Bytes(41, 0x7F); }), TTI_E_INTERNAL_BUFFER);
    EXPECT_EQ(rcOf([](TokenSpec& s) { s.nonce = Bytes(41, 0xFF); }), TTI_E_INTERNAL_BUFFER);
    EXPECT_EQ(rcOf([](TokenSpec& s) { s.imprint = Bytes(129, 1); }), TTI_E_INTERNAL_BUFFER);
    EXPECT_EQ(rcOf([](TokenSpec& s) {
                  s.imprintOid = "1.2";
                  while (s.imprintOid.size() < 125)
                      s.imprintOid += ".9";
                  s.imprintOid += ".99"; // 128 characters
              }),
              TTI_E_INTERNAL_BUFFER);
    EXPECT_EQ(rcOf([](TokenSpec& s) { s.version = 0x80000000L; }), TTI_E_INTERNAL_BUFFER);
    EXPECT_EQ(rcOf([](TokenSpec& s) {
                  s.accuracy = AccuracySpec{0x80000000L, {}, {}};
              }),
              TTI_E_INTERNAL_BUFFER);
    // The nonce is ours, compared as a number: a negative one is no nonce of ours.
    EXPECT_EQ(rcOf([](TokenSpec& s) {
                  s.nonce = Bytes{1};
                  s.negativeNonce = true;
              }),
              TTI_E_ASN_FORMAT);
}

TEST(TstInfo, ServerTextsTooLongForTheirFieldAreCutNotRefused) {
    // A TSA name one byte over its field keeps what fits: the same name with its last
    // character left out.
    auto name = [](std::size_t lastLength) {
        return DirectoryName({{"CN", std::string(lastLength, 'a')},
                              {"O", std::string(64, 'b')},
                              {"OU", std::string(64, 'c')},
                              {"OU", std::string(64, 'd')},
                              {"OU", std::string(64, 'e')},
                              {"OU", std::string(64, 'f')},
                              {"OU", std::string(64, 'g')},
                              {"OU", std::string(34, 'h')}});
    };
    TokenSpec spec;
    spec.tsaName = name(64); // 512 bytes
    TstResult r = DecodeTst(TokenFactory::Token(spec));
    ASSERT_EQ(r.rc, TTI_OK);
    const std::string cut = r.info.szTsaName;
    spec.tsaName = name(63); // 511 bytes
    r = DecodeTst(TokenFactory::Token(spec));
    ASSERT_EQ(r.rc, TTI_OK);
    EXPECT_EQ(cut.size(), 511u);
    EXPECT_EQ(cut, r.info.szTsaName);

    // A policy that does not fit keeps its start and is marked as cut, so it can never be
    // taken for an OID, least of all for the 127 characters it starts with.
    std::string fits = "1.2";
    while (fits.size() < 127)
        fits += ".9";
    spec = {};
    spec.policyOid = fits + "9";
    r = DecodeTst(TokenFactory::Token(spec));
    ASSERT_EQ(r.rc, TTI_OK);
    const std::string policy = r.info.szPolicyOid;
    EXPECT_EQ(policy.size(), 127u);
    EXPECT_EQ(policy, fits.substr(0, 124) + TTI_CUT_MARK);
    spec.policyOid = fits;
    r = DecodeTst(TokenFactory::Token(spec));
    ASSERT_EQ(r.rc, TTI_OK);
    EXPECT_EQ(r.info.szPolicyOid, fits);
}

TEST(TstInfo, NegativeSerialIsKeptAsItsTwosComplementBytes) {
    struct Case {
        Bytes magnitude;
        Bytes stored;
    } const cases[] = {
        {{0x01, 0x02}, {0xFE, 0xFE}}, // -258
        {{0x80}, {0x80}},             // -128 takes one byte
        {{0x81}, {0xFF, 0x7F}},       // -129 takes two
        {{0x01}, {0xFF}},
    };
    for (const Case& c : cases) {
        TokenSpec spec;
        spec.serial = c.magnitude;
        spec.negativeSerial = true;
        const TstResult r = DecodeTst(TokenFactory::Token(spec));
        ASSERT_EQ(r.rc, TTI_OK);
        EXPECT_EQ(Bytes(r.info.serial, r.info.serial + r.info.nSerialLen), c.stored);
    }
    // A positive serial whose top bit is set keeps no sign byte, as before.
    TokenSpec spec;
    spec.serial = {0x80};
    const TstResult r = DecodeTst(TokenFactory::Token(spec));
    ASSERT_EQ(r.rc, TTI_OK);
    EXPECT_EQ(Bytes(r.info.serial, r.info.serial + r.info.nSerialLen), Bytes{0x80});
}

TEST(TstInfo, ContentThatIsNoTstInfo) {
    TokenSpec spec;
    spec.rawTstInfo = Bytes{0x30, 0x03, 0x02, 0x01, 0x01};
    EXPECT_EQ(DecodeTst(TokenFactory::Token(spec)).rc, TTI_E_ASN_FORMAT);
    // A TSTInfo followed by more bytes.
    Bytes tst = TokenFactory::TstInfo(TokenSpec{});
    tst.push_back(0);
    spec.rawTstInfo = tst;
    EXPECT_EQ(DecodeTst(TokenFactory::Token(spec)).rc, TTI_E_ASN_FORMAT);

    TTI_TSTINFO info{};
    const Bytes token = TokenFactory::Token();
    info.nSize = 1043;
    EXPECT_EQ(TTI_GetTST_TSTInfo(&info, token.data(), Len(token)), TTI_E_INVALID_PARAMETER);
    EXPECT_EQ(TTI_GetTST_TSTInfo(nullptr, token.data(), Len(token)), TTI_E_INVALID_PARAMETER);
}

struct KeyCase {
    KeyKind key;
    const char* digest;
};

const char* KeyName(KeyKind key) {
    return key == KeyKind::Rsa ? "Rsa" : key == KeyKind::Ecdsa ? "Ecdsa" : "RsaPss";
}

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << KeyName(c.key) << c.digest;
}

class SignatureTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(SignatureTest, VerifiesAndCatchesTampering) {
    TokenSpec spec;
    spec.key = GetParam().key;
    spec.signDigest = GetParam().digest;
    const Bytes token = TokenFactory::Token(spec);
    EXPECT_EQ(TTI_VerifyTST_Signature(token.data(), Len(token), 0, 0), TTI_OK);
    EXPECT_EQ(DecodeTst(token).rc, TTI_OK);

    spec.tamperSignature = true;
    const Bytes tampered = TokenFactory::Token(spec);
    ERR_raise(ERR_LIB_USER, 1); // an error of the caller's own stays
    EXPECT_EQ(TTI_VerifyTST_Signature(tampered.data(), Len(tampered), 0, 0), TTI_E_SIGNATURE);
    EXPECT_EQ(ERR_GET_LIB(ERR_get_error()), ERR_LIB_USER);
    EXPECT_EQ(ERR_get_error(), 0u); // nothing of the failed check is left behind

    // One bit of the signed content changed: the message digest no longer matches.
    Bytes changed = token;
    const Bytes tst = TokenFactory::TstInfo(spec);
    auto at = std::search(changed.begin(), changed.end(), tst.begin(), tst.end());
    ASSERT_NE(at, changed.end());
    at[Len(tst) - 1] ^= 0x01;
    EXPECT_EQ(TTI_VerifyTST_Signature(changed.data(), Len(changed), 0, 0), TTI_E_SIGNATURE);

    spec.tamperSignature = false;
    spec.includeSignerCert = false;
    spec.includeCaCert = true;
    const Bytes noCert = TokenFactory::Token(spec);
    EXPECT_EQ(TTI_VerifyTST_Signature(noCert.data(), Len(noCert), 0, 0), TTI_E_NO_SIGNER_CERT);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SignatureTest,
    ::testing::Values(KeyCase{KeyKind::Rsa, "SHA256"}, KeyCase{KeyKind::Rsa, "SHA1"},
                      KeyCase{KeyKind::Rsa, "SHA512"}, KeyCase{KeyKind::Ecdsa, "SHA256"},
                      KeyCase{KeyKind::Ecdsa, "SHA384"}, KeyCase{KeyKind::Ecdsa, "SHA512"},
                      KeyCase{KeyKind::RsaPss, "SHA256"}, KeyCase{KeyKind::RsaPss, "SHA384"}),
    [](const auto& param) { return std::string(KeyName(param.param.key)) + param.param.digest; });

TEST(Signature, SignerFoundByKeyIdAndWithoutEss) {
    TokenSpec spec;
    spec.signerByKeyId = true;
    spec.ess = TokenSpec::Ess::None;
    const Bytes token = TokenFactory::Token(spec);
    EXPECT_EQ(TTI_VerifyTST_Signature(token.data(), Len(token), 0, 0), TTI_OK);
    Bytes cert(4096);
    int len = Len(cert);
    ASSERT_EQ(TTI_GetTST_TSACert(cert.data(), &len, token.data(), Len(token)), TTI_OK);
    cert.resize(static_cast<std::size_t>(len));
    EXPECT_EQ(cert, TokenFactory::TsaCertDer(KeyKind::Rsa));
}

TEST(Signature, TokenThatIsNoTimeStamp) {
    // A signed message whose content is not a TSTInfo is no token.
    const Bytes token = TokenFactory::Token();
    Bytes other = token;
    // id-smime-ct-TSTInfo 1.2.840.113549.1.9.16.1.4 → ...16.1.5
    const Bytes oid{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x10, 0x01, 0x04};
    auto at = std::search(other.begin(), other.end(), oid.begin(), oid.end());
    ASSERT_NE(at, other.end());
    at[10] = 0x05;
    EXPECT_EQ(TTI_VerifyTST_Signature(other.data(), Len(other), 0, 0), TTI_E_INVALID_TOKEN);
    EXPECT_EQ(DecodeTst(other).rc, TTI_E_INVALID_TOKEN);
}

TEST(TsaCert, IsTheSignersCertificate) {
    for (KeyKind key : {KeyKind::Rsa, KeyKind::Ecdsa, KeyKind::RsaPss}) {
        TokenSpec spec;
        spec.key = key;
        spec.includeCaCert = true;
        const Bytes token = TokenFactory::Token(spec);
        const Bytes expected = TokenFactory::TsaCertDer(key);
        Bytes cert(expected.size());
        int len = Len(cert) - 1;
        EXPECT_EQ(TTI_GetTST_TSACert(cert.data(), &len, token.data(), Len(token)),
                  TTI_E_BUFFER_TOO_SMALL);
        EXPECT_EQ(len, Len(expected));
        ASSERT_EQ(TTI_GetTST_TSACert(cert.data(), &len, token.data(), Len(token)), TTI_OK);
        EXPECT_EQ(cert, expected);
    }
    TokenSpec spec;
    spec.includeSignerCert = false;
    const Bytes token = TokenFactory::Token(spec);
    Bytes cert(4096);
    int len = Len(cert);
    EXPECT_EQ(TTI_GetTST_TSACert(cert.data(), &len, token.data(), Len(token)),
              TTI_E_NO_SIGNER_CERT);
}

TEST(BerToken, DecodesVerifiesAndIsPreparedAsDer) {
    TokenSpec spec;
    spec.nonce = Bytes{1, 2, 3};
    spec.tac = TacSpec{};
    const Bytes der = TokenFactory::Token(spec);
    const Bytes ber = TokenFactory::ToBer(der);
    ASSERT_NE(ber, der);
    EXPECT_EQ(ber[1], 0x80);

    const TstResult r = DecodeTst(ber);
    ASSERT_EQ(r.rc, TTI_OK);
    EXPECT_EQ(Hex(r.info.nonce, r.info.nNonceLen), "010203");
    EXPECT_EQ(TTI_VerifyTST_Signature(ber.data(), Len(ber), 0, 0), TTI_OK);
    Bytes tac;
    EXPECT_EQ(ExtractTac(ber, tac), TTI_OK);

    Bytes prepared(ber.size());
    int len = Len(prepared);
    ASSERT_EQ(TTI_PrepareSignedMessage(ber.data(), Len(ber), prepared.data(), &len), TTI_OK);
    prepared.resize(static_cast<std::size_t>(len));
    EXPECT_EQ(prepared, der);

    // No room for the DER form: the token goes as it is.
    Bytes small(der.size() - 1);
    len = Len(small);
    EXPECT_EQ(TTI_PrepareSignedMessage(der.data(), Len(der), small.data(), &len),
              TTI_E_BUFFER_TOO_SMALL);
}

TEST(PrepareSignedMessage, DerAndUndecodableInputPassUnchanged) {
    const Bytes der = TokenFactory::Token();
    Bytes out(der.size());
    int len = Len(out);
    ASSERT_EQ(TTI_PrepareSignedMessage(der.data(), Len(der), out.data(), &len), TTI_OK);
    EXPECT_EQ(out, der);

    const Bytes garbage{1, 2, 3, 4};
    out.assign(4, 0);
    len = 4;
    EXPECT_EQ(TTI_PrepareSignedMessage(garbage.data(), 4, out.data(), &len), TTI_E_ASN_FORMAT);
    EXPECT_EQ(out, garbage);
}

// OpenSSL's own time-stamp verifier accepts our tokens with the throwaway CA.
class OpensslTsVerify : public ::testing::TestWithParam<KeyKind> {};

TEST_P(OpensslTsVerify, AcceptsFactoryReplies) {
    TokenSpec spec;
    spec.key = GetParam();
    spec.tac = TacSpec{}; // an unsigned attribute does not disturb it
    const auto dir =
        std::filesystem::temp_directory_path() / ("mivo-tti-verify-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto write = [&](const char* name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
    };
    const Bytes reply = TokenFactory::Reply(spec);
    write("reply.tsr", std::string(reply.begin(), reply.end()));
    write("ca.pem", TokenFactory::CaCertPem());
    const std::string cmd = "openssl ts -verify -digest " + Hex(spec.imprint) + " -in '" +
                            (dir / "reply.tsr").string() + "' -CAfile '" +
                            (dir / "ca.pem").string() + "' 2>&1";
    FILE* pipe = ::popen(cmd.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string text;
    char buf[256];
    while (std::fgets(buf, sizeof buf, pipe))
        text += buf;
    const int status = ::pclose(pipe);
    std::filesystem::remove_all(dir);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
        GTEST_SKIP() << "no openssl command";
    EXPECT_EQ(status, 0) << text;
    EXPECT_NE(text.find("Verification: OK"), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(Keys, OpensslTsVerify, ::testing::Values(KeyKind::Rsa, KeyKind::Ecdsa),
                         [](const auto& param) { return std::string(KeyName(param.param)); });

} // namespace
} // namespace mivo::test
