// Replies and tokens of public TSAs: every field the program shows, and the signature.
#include "TtiTestSupport.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cctype>
#include <ostream>

namespace mivo::test {
namespace {

struct Sample {
    const char* file;
    bool reply;
    const char* hashOid;
    const char* genTime;
    const char* serial; // hex
    const char* nonce;  // hex, "" when absent
    int accuracy[3];    // seconds, millis, micros
    const char* policy;
    const char* data; // stamped file under data/, or null when unknown
    int signature;    // TTI_VerifyTST_Signature
};

constexpr const char* kSha256 = "2.16.840.1.101.3.4.2.1";
constexpr const char* kSha384 = "2.16.840.1.101.3.4.2.2";
constexpr const char* kSha512 = "2.16.840.1.101.3.4.2.3";

const Sample kSamples[] = {
    {"sigstage-ecdsa-sha256-reply.tsr",
     true,
     kSha256,
     "20250509115855Z",
     "784b4c5e57aaa63b570f15cba4df95251668ae9e",
     "51708b19a1d2e209c2236ffc3238bf24dcecc40",
     {1, 0, 0},
     "1.3.6.1.4.1.57264.2",
     "hello.txt",
     TTI_OK},
    {"sigstage-ecdsa-sha384-reply.tsr",
     true,
     kSha384,
     "20250509115855Z",
     "2eb210167f7e7b98d661fb86aa78055b5a986351",
     "3ec6f8c72259c6b29991b6f0621402baf94a2518",
     {1, 0, 0},
     "1.3.6.1.4.1.57264.2",
     "hello.txt",
     TTI_OK},
    {"sigstage-ecdsa-sha256-reply-nocerts.tsr",
     true,
     kSha256,
     "20250618081302Z",
     "64b3984296e790704ac275d89f3f7315c39597f4",
     "68dc69047cb54ba34dde832b25e8425ec9e8d949",
     {1, 0, 0},
     "1.3.6.1.4.1.57264.2",
     "hello.txt",
     TTI_E_NO_SIGNER_CERT},
    {"identrust-rsa-sha512-reply.tsr",
     true,
     kSha512,
     "20250311085208Z",
     "400195846778d8ebd3e0d31354082a24",
     "75c3b3214ac39fbb",
     {0, 0, 0},
     "2.16.840.1.113839.0.6.13.3",
     "hello.txt",
     TTI_OK},
    {"globalsign-adobecds-rsa-sha256-reply-nonce.tsr",
     true,
     kSha256,
     "20170419062953Z",
     "5eeb0c578435ba71790394febb82167b3644ccc",
     "92ef19ffb5d2ae8",
     {1, 0, 0},
     "1.3.6.1.4.1.4146.2.1",
     "digitorus-random.txt",
     TTI_OK},
    {"globalsign-adobecds-rsa-sha256-reply-nononce.tsr",
     true,
     kSha256,
     "20170419062813Z",
     "2592b90a434b2c0799a6b0bcc425079ea56ee5f6",
     "",
     {1, 0, 0},
     "1.3.6.1.4.1.4146.2.1",
     "digitorus-random.txt",
     TTI_OK},
    {"digicert-rsa-sha256-reply-2018.tsr",
     true,
     kSha256,
     "20180509184818Z",
     "2f6487c3b05baad0646a567f56bb623c",
     "",
     {0, 0, 0},
     "2.16.840.1.114412.7.1",
     "hello-nl.txt",
     TTI_OK},
    {"digicert-rsa-sha512-reply-2023.tsr",
     true,
     kSha512,
     "20230316204842Z",
     "8c55cc03a23bb22faab92f858c30a05d",
     "",
     {0, 0, 0},
     "2.16.840.1.114412.7.1",
     "test-nl.txt",
     TTI_OK},
    {"freetsa-rsa-sha512-reply-2023.tsr",
     true,
     kSha512,
     "20230505214651Z",
     "459147a",
     "",
     {0, 0, 0},
     "1.2.3.4.1",
     "freetsa-2023-digest.yaml",
     TTI_OK},
    {"freetsa-rsa-sha256-reply-2018-microsec.tsr",
     true,
     kSha256,
     "20181014204539.539178Z",
     "9be6b",
     "",
     {1, 500, 100},
     "1.2.3.4.1",
     nullptr,
     TTI_OK},
    {"apple-rsa-sha256-reply.tsr",
     true,
     kSha256,
     "20260710124753Z",
     "79cae7335734736",
     "",
     {1, 0, 0},
     "1.2.3",
     "rednb-apple-data.crlf.txt",
     TTI_OK},
    {"sslcom-ecdsa-sha256-token-authenticode.tst",
     false,
     kSha256,
     "20241028123120Z",
     "3b415ae329fb1584",
     "",
     {1, 0, 0},
     "1.3.6.1.4.1.38064.1.3.6.1",
     "authenticode-ssl.com-appx.sigvalue.bin",
     TTI_OK},
    {"disig-rsa-sha256-token.tst",
     false,
     kSha256,
     "20190412090032.613Z",
     "5d5302",
     "1d90ea2886838ec0",
     {0, 500, 0},
     "1.3.158.35975946.0.0.1.0.4",
     nullptr,
     TTI_OK},
    {"infocert-rsa-sha256-token.tst",
     false,
     kSha256,
     "20110204164058Z",
     "56193b7",
     "12df18c42fe",
     {1, 0, 0},
     "1.3.76.36.1.1.1",
     "infocert-metadata-plus-content.bin",
     TTI_OK},
    {"belgium-rsa-sha256-token.tst",
     false,
     kSha256,
     "20180422204521Z",
     "37444437313135",
     "",
     {0, 0, 0},
     "2.16.56.9.3.1",
     "belgium-ASiCArchiveManifest.xml",
     TTI_OK},
    {"exceet-rsa-sha256-token-der.tst",
     false,
     kSha256,
     "20170210140752.5Z",
     "802b413b0000015a2859fdd9fb2b359b",
     "bad116079b975f2fd5bf893ee7a95426",
     {0, 100, 0},
     "1.3.6.1.4.1.12655.3.2",
     nullptr,
     TTI_OK},
    {"negative/sigstage-ecdsa-sha256-reply-BADSIG.tsr",
     true,
     kSha256,
     "20250509115855Z",
     "784b4c5e57aaa63b570f15cba4df95251668ae9e",
     "51708b19a1d2e209c2236ffc3238bf24dcecc40",
     {1, 0, 0},
     "1.3.6.1.4.1.57264.2",
     "hello.txt",
     TTI_E_SIGNATURE},
};

void PrintTo(const Sample& s, std::ostream* os) {
    *os << s.file;
}

class RealSampleTest : public ::testing::TestWithParam<Sample> {};

TEST_P(RealSampleTest, DecodesEveryFieldAndChecksTheSignature) {
    const Sample& s = GetParam();
    const Bytes file = Real(s.file);

    // Reply or token by content: a token is no TimeStampResp.
    const StatusResult status = DecodeStatus(file);
    if (s.reply) {
        ASSERT_EQ(status.rc, TTI_OK);
        EXPECT_EQ(status.status.nStatus, 0);
        EXPECT_EQ(status.status.nFailInfo, 0);
    } else {
        ASSERT_EQ(status.rc, TTI_E_ASN_FORMAT);
    }
    const Bytes token = TokenOf(file);
    ASSERT_FALSE(token.empty());

    const TstResult tst = DecodeTst(token);
    ASSERT_EQ(tst.rc, TTI_OK);
    const TTI_TSTINFO& info = tst.info;
    EXPECT_EQ(info.nSize, TTI_TSTINFO_SIZE);
    EXPECT_EQ(info.nVersion, 1);
    EXPECT_STREQ(info.szHashOid, s.hashOid);
    EXPECT_STREQ(info.szGenTime, s.genTime);
    EXPECT_EQ(Hex(info.serial, info.nSerialLen), Hex(FromHex(s.serial)));
    EXPECT_EQ(Hex(info.nonce, info.nNonceLen), Hex(FromHex(s.nonce)));
    EXPECT_EQ(info.nAccuracySec, s.accuracy[0]);
    EXPECT_EQ(info.nAccuracyMillis, s.accuracy[1]);
    EXPECT_EQ(info.nAccuracyMicros, s.accuracy[2]);
    EXPECT_STREQ(info.szPolicyOid, s.policy);

    if (s.data != nullptr) {
        const Bytes data = Real(std::string("data/") + s.data);
        ASN1_OBJECT* oid = OBJ_txt2obj(s.hashOid, 1);
        const EVP_MD* md = EVP_get_digestbyobj(oid);
        ASN1_OBJECT_free(oid);
        ASSERT_NE(md, nullptr);
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int len = 0;
        ASSERT_EQ(EVP_Digest(data.data(), data.size(), digest, &len, md, nullptr), 1);
        EXPECT_EQ(Hex(info.digest, info.nDigestLen), Hex(digest, static_cast<int>(len)));
    }

    EXPECT_EQ(TTI_VerifyTST_Signature(token.data(), Len(token), 0, 0), s.signature);

    Bytes cert(8192);
    int certLen = Len(cert);
    const int certRc = TTI_GetTST_TSACert(cert.data(), &certLen, token.data(), Len(token));
    if (s.signature == TTI_E_NO_SIGNER_CERT) {
        EXPECT_EQ(certRc, TTI_E_NO_SIGNER_CERT);
    } else {
        ASSERT_EQ(certRc, TTI_OK);
        EXPECT_EQ(cert[0], 0x30);
    }

    Bytes tac;
    EXPECT_EQ(ExtractTac(token, tac), TTI_E_NO_TAC);

    // What is prepared for the platform's check still verifies when the token did.
    Bytes prepared(token.size());
    int preparedLen = Len(prepared);
    TTI_PrepareSignedMessage(token.data(), Len(token), prepared.data(), &preparedLen);
    prepared.resize(static_cast<std::size_t>(preparedLen));
    EXPECT_EQ(TTI_VerifyTST_Signature(prepared.data(), Len(prepared), 0, 0), s.signature);
}

INSTANTIATE_TEST_SUITE_P(PublicTsas, RealSampleTest, ::testing::ValuesIn(kSamples),
                         [](const auto& param) {
                             std::string name = param.param.file;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

TEST(RealSamples, RefusalGivesStatusTextAndFailureInfoButNoToken) {
    const Bytes reply = Real("rejection-baddataformat-reply.tsr");
    const StatusResult r = DecodeStatus(reply);
    ASSERT_EQ(r.rc, TTI_OK);
    EXPECT_EQ(r.status.nStatus, 2);
    EXPECT_STREQ(r.status.szStatusText, "the data submitted has the wrong format");
    EXPECT_EQ(r.status.nFailInfo, 32); // badDataFormat, bit 5

    Bytes token(8192);
    int len = Len(token);
    EXPECT_EQ(TTI_GetTSR_EncodedToken(token.data(), &len, reply.data(), Len(reply)),
              TTI_E_NOT_GRANTED);
}

TEST(RealSamples, TsaNamesAreOneLineRfc2253Text) {
    EXPECT_STREQ(DecodeTst(TokenOf(Real("sigstage-ecdsa-sha256-reply.tsr"))).info.szTsaName,
                 "CN=sigstore-tsa,O=sigstore.dev");
    EXPECT_STREQ(DecodeTst(Real("belgium-rsa-sha256-token.tst")).info.szTsaName,
                 "CN=Time Stamping Authority,O=Belgium Federal Government,serialNumber=2017,C=BE");
    EXPECT_STREQ(DecodeTst(Real("disig-rsa-sha256-token.tst")).info.szTsaName, "");
}

TEST(RealSamples, EncodedTokenIsTheReplysOwnBytes) {
    const Bytes reply = Real("digicert-rsa-sha256-reply-2018.tsr");
    const Bytes token = TokenOf(reply);
    ASSERT_GT(token.size(), 1000u);
    const auto at = std::search(reply.begin(), reply.end(), token.begin(), token.end());
    EXPECT_NE(at, reply.end());
    EXPECT_EQ(reply.end() - at, static_cast<std::ptrdiff_t>(token.size())); // the last element
}

TEST(RealSamples, SignerCertificateIsTheTsasCertificate) {
    // The no-certificate reply's signer is in the chain file beside it; its twin reply
    // carries the same certificate.
    const Bytes token = TokenOf(Real("sigstage-ecdsa-sha256-reply.tsr"));
    Bytes cert(8192);
    int len = Len(cert);
    ASSERT_EQ(TTI_GetTST_TSACert(cert.data(), &len, token.data(), Len(token)), TTI_OK);
    cert.resize(static_cast<std::size_t>(len));
    const Bytes pem = Real("certs/sigstage-tsa-chain.pem");
    const std::string text(pem.begin(), pem.end());
    EXPECT_NE(text.find("BEGIN CERTIFICATE"), std::string::npos);
    // The DER certificate, base64 in the PEM file, starts the chain.
    BIO* bio = BIO_new_mem_buf(pem.data(), Len(pem));
    X509* first = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    ASSERT_NE(first, nullptr);
    unsigned char* der = nullptr;
    const int n = i2d_X509(first, &der);
    X509_free(first);
    EXPECT_EQ(Hex(der, n), Hex(cert));
    OPENSSL_free(der);
}

} // namespace
} // namespace mivo::test
