// Stamp files read back: real TSA samples, factory stamps with and without a TAC, the source
// comparison, and every kind of bad input.
#include "core/HashAlgorithms.h"
#include "core/TimeStampPart.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include "StampTestSupport.h"
#include "testlib/RecordingMessageBoxes.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace stamp_test;
using mivo::test::KeyKind;
using mivo::test::StatusSpec;
using mivo::test::TacSpec;
using mivo::test::TokenFactory;
using mivo::test::TokenSpec;

namespace {

struct RealSample {
    const char* file;
    const char* data; // stamped file under data/, or null when unknown
};

// Every sample that carries its signer's certificate.
constexpr RealSample kRealSamples[] = {
    {"sigstage-ecdsa-sha256-reply.tsr", "hello.txt"},
    {"sigstage-ecdsa-sha384-reply.tsr", "hello.txt"},
    {"identrust-rsa-sha512-reply.tsr", "hello.txt"},
    {"globalsign-adobecds-rsa-sha256-reply-nonce.tsr", "digitorus-random.txt"},
    {"globalsign-adobecds-rsa-sha256-reply-nononce.tsr", "digitorus-random.txt"},
    {"digicert-rsa-sha256-reply-2018.tsr", "hello-nl.txt"},
    {"digicert-rsa-sha512-reply-2023.tsr", "test-nl.txt"},
    {"freetsa-rsa-sha512-reply-2023.tsr", "freetsa-2023-digest.yaml"},
    {"freetsa-rsa-sha256-reply-2018-microsec.tsr", nullptr},
    {"apple-rsa-sha256-reply.tsr", "rednb-apple-data.crlf.txt"},
    {"sslcom-ecdsa-sha256-token-authenticode.tst", "authenticode-ssl.com-appx.sigvalue.bin"},
    {"disig-rsa-sha256-token.tst", nullptr},
    {"infocert-rsa-sha256-token.tst", "infocert-metadata-plus-content.bin"},
    {"belgium-rsa-sha256-token.tst", "belgium-ASiCArchiveManifest.xml"},
    {"exceet-rsa-sha256-token-der.tst", nullptr},
};

const std::string kNoCerts = RealTokens() + "/sigstage-ecdsa-sha256-reply-nocerts.tsr";

std::string SignatureFailed(int code) {
    return FormatRes(IDS_TTI_VERIFY_SIGNATURE_FAILED, TtiErrorText(code));
}

// The part after a failed operation: a message, and nothing that claims validity.
void ExpectNothingValid(const CTimeStampPart& part) {
    EXPECT_FALSE(part.ErrorText().empty());
    EXPECT_FALSE(part.HasTac());
    EXPECT_FALSE(part.SourceMatches());
    EXPECT_EQ(part.SignerCertificate(), nullptr);
}

Bytes Sha256(const std::string& text) {
    Bytes digest(32);
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest.data(), &length, EVP_sha256(), nullptr);
    return digest;
}

// A stamp with a TAC, over `source`, as a whole reply.
Bytes TacReply(const std::string& source) {
    TokenSpec spec;
    spec.imprint = Sha256(source);
    spec.tac = TacSpec{};
    return TokenFactory::Reply(spec);
}

class ProcessStampFileTest : public ::testing::Test {
protected:
    TempDir m_dir;
    // No address book of the user's running this test plays a part.
    ScopedEnv m_config{"MIVOKLIENT_CONFIG_DIR", m_dir.Path().c_str()};
    RecordingMessageBoxes m_boxes;
};

} // namespace

TEST_F(ProcessStampFileTest, RealSamplesWithTheirCertificatesPass) {
    for (const RealSample& sample : kRealSamples) {
        SCOPED_TRACE(sample.file);
        const std::string stamp = RealTokens() + "/" + sample.file;
        CTimeStampPart part;
        ASSERT_EQ(part.ProcessStampFile(stamp), 1) << part.ErrorText();
        EXPECT_TRUE(part.HasTstInfo());
        EXPECT_FALSE(part.HasTac());
        EXPECT_EQ(part.LastTtiCode(), 0);
        EXPECT_TRUE(part.ErrorText().empty());
        ASSERT_NE(part.SignerCertificate(), nullptr);
        // The certificate is the token's own.
        Bytes inToken(4096);
        int length = static_cast<int>(inToken.size());
        ASSERT_EQ(TTI_GetTST_TSACert(inToken.data(), &length, part.Token().data(),
                                     static_cast<int>(part.Token().size())),
                  TTI_OK);
        inToken.resize(static_cast<std::size_t>(length));
        EXPECT_TRUE(std::ranges::equal(part.SignerCertificateDer(), inToken));
        if (sample.data != nullptr) {
            const std::string source = RealTokens() + "/data/" + sample.data;
            EXPECT_EQ(part.VerifySourceFile(stamp, source), 1) << part.ErrorText();
            EXPECT_TRUE(part.SourceMatches());
        }
        EXPECT_TRUE(m_boxes.shown.empty());
    }
}

TEST_F(ProcessStampFileTest, ReplyWithoutCertificateNeedsTheAddressBook) {
    CTimeStampPart part;
    EXPECT_EQ(part.ProcessStampFile(kNoCerts), 0);
    EXPECT_EQ(part.ErrorText(), SignatureFailed(TTI_E_SIGNATURE));
    EXPECT_TRUE(part.HasTstInfo()); // decoded, but not verified
    ExpectNothingValid(part);

    // Files of the address book that are no certificates are passed over.
    const std::string book = m_dir.File("addressbook");
    std::filesystem::create_directories(book);
    m_dir.Write("addressbook/notes.txt", "not a certificate");
    std::filesystem::create_directories(book + "/subfolder");
    EXPECT_EQ(part.ProcessStampFile(kNoCerts), 0);
    EXPECT_EQ(part.ErrorText(), SignatureFailed(TTI_E_SIGNATURE));

    std::filesystem::copy_file(RealTokens() + "/certs/sigstage-tsa-chain.pem",
                               book + "/sigstage.pem");
    ASSERT_EQ(part.ProcessStampFile(kNoCerts), 1) << part.ErrorText();
    ASSERT_NE(part.SignerCertificate(), nullptr);
    EXPECT_EQ(part.VerifySourceFile(kNoCerts, RealTokens() + "/data/hello.txt"), 1);
}

TEST_F(ProcessStampFileTest, RealBadSignatureAndRefusal) {
    CTimeStampPart part;
    EXPECT_EQ(
        part.ProcessStampFile(RealTokens() + "/negative/sigstage-ecdsa-sha256-reply-BADSIG.tsr"),
        0);
    EXPECT_EQ(part.ErrorText(), SignatureFailed(TTI_E_SIGNATURE));
    ExpectNothingValid(part);

    EXPECT_EQ(part.ProcessStampFile(RealTokens() + "/rejection-baddataformat-reply.tsr"), 0);
    EXPECT_EQ(part.ErrorText(),
              "Chyba vrácená TTI knihovnou\n\nKvalifikované časové razítko nebylo vydáno.\n"
              "Status 2. 32 - the data submitted has the wrong format");
    EXPECT_EQ(part.LastTtiCode(), TTI_E_NOT_GRANTED);
    EXPECT_FALSE(part.HasTstInfo());
    ExpectNothingValid(part);
}

TEST_F(ProcessStampFileTest, BareTokenIsReadThroughTheNotAReplyPath) {
    TokenSpec spec;
    const std::string path = WriteBytes(m_dir, "stamp.tst", TokenFactory::Token(spec));
    CTimeStampPart part;
    ASSERT_EQ(part.ProcessStampFile(path), 1) << part.ErrorText();
    EXPECT_EQ(part.Status().nStatus, 0); // no reply, no status
    EXPECT_EQ(std::string(part.TstInfo().szGenTime), spec.genTime);
    EXPECT_TRUE(
        std::ranges::equal(part.SignerCertificateDer(), TokenFactory::TsaCertDer(KeyKind::Rsa)));
}

TEST_F(ProcessStampFileTest, StampWithoutTacIsValid) {
    const std::string path = WriteBytes(m_dir, "stamp.tsr", TokenFactory::Reply());
    CTimeStampPart part;
    ASSERT_EQ(part.ProcessStampFile(path), 1) << part.ErrorText();
    EXPECT_FALSE(part.HasTac());
    EXPECT_EQ(part.LastTtiCode(), 0);
    EXPECT_TRUE(part.Tac().empty());
}

TEST_F(ProcessStampFileTest, TacFillsItsThreeRecords) {
    TokenSpec spec;
    spec.key = KeyKind::Ecdsa;
    spec.tac = TacSpec{};
    spec.tac->serial = {0x01, 0x00};
    const std::string path = WriteBytes(m_dir, "stamp.tsr", TokenFactory::Reply(spec));
    CTimeStampPart part;
    ASSERT_EQ(part.ProcessStampFile(path), 1) << part.ErrorText();
    EXPECT_TRUE(part.HasTac());
    EXPECT_EQ(part.LastTtiCode(), 0);
    EXPECT_FALSE(part.Tac().empty());
    EXPECT_STREQ(part.TimingMetrics().szNtpTime, "20250509115800Z");
    EXPECT_FLOAT_EQ(part.TimingMetrics().fOffset, 0.0015F);
    EXPECT_STREQ(part.TimingPolicy().szPolicyOid, spec.tac->policyOid.c_str());
    EXPECT_FLOAT_EQ(part.TimingPolicy().fMaxDelay, 1.0F);
    EXPECT_EQ(part.CertInfo().nSize, TTI_CERTINFO_SIZE);
    EXPECT_EQ(part.CertInfo().nVersion, 2);
    EXPECT_EQ(part.CertInfo().nSerialLen, 2);
    EXPECT_STREQ(part.CertInfo().szValidTo, "20351231235959Z");
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST_F(ProcessStampFileTest, TimingPolicyFailureIsShownAtOnceAndDoesNotFail) {
    TokenSpec spec;
    spec.tac = TacSpec{};
    spec.tac->withPolicy = false;
    const std::string path = WriteBytes(m_dir, "stamp.tsr", TokenFactory::Reply(spec));
    CTimeStampPart part;
    ASSERT_EQ(part.ProcessStampFile(path), 1) << part.ErrorText();
    ASSERT_EQ(m_boxes.shown.size(), 1U);
    EXPECT_EQ(m_boxes.shown[0].text,
              FormatRes(IDS_TTI_TIMING_POLICY_FAILED, TtiErrorText(TTI_E_TAC_NO_POLICY)));
    EXPECT_EQ(m_boxes.shown[0].icon, MsgIcon::Error);
    EXPECT_TRUE(part.ErrorText().empty());
    EXPECT_TRUE(part.HasTac());
    EXPECT_EQ(part.TimingPolicy().szPolicyOid[0], '\0');
    EXPECT_EQ(part.TimingPolicy().fMaxOffset, 0.0F);
    EXPECT_EQ(part.CertInfo().nSize, TTI_CERTINFO_SIZE);
}

TEST_F(ProcessStampFileTest, TacStepFailuresStopWithTheirMessages) {
    // Metrics missing: the TAC is there, its metrics step fails.
    TokenSpec noMetrics;
    noMetrics.tac = TacSpec{};
    noMetrics.tac->withMetrics = false;
    // A thumbprint that is not the signer's: the TAC cannot be taken from the token.
    TokenSpec otherHolder;
    otherHolder.tac = TacSpec{};
    otherHolder.tac->thumbprintBytes = Bytes(32, 0x11);

    CTimeStampPart part;
    // First a stamp with a good TAC: nothing of it may survive into the failures below.
    ASSERT_EQ(part.ProcessStampFile(WriteBytes(m_dir, "good.tsr", TacReply("x"))), 1);
    ASSERT_TRUE(part.HasTac());

    EXPECT_EQ(part.ProcessStampFile(WriteBytes(m_dir, "m.tsr", TokenFactory::Reply(noMetrics))), 0);
    EXPECT_EQ(part.ErrorText(),
              FormatRes(IDS_TTI_TIMING_METRICS_FAILED, TtiErrorText(TTI_E_ASN_FORMAT)));
    EXPECT_EQ(part.LastTtiCode(), TTI_E_ASN_FORMAT);
    EXPECT_EQ(part.TimingMetrics().szNtpTime[0], '\0');
    EXPECT_EQ(part.CertInfo().nSize, 0);

    EXPECT_EQ(part.ProcessStampFile(WriteBytes(m_dir, "h.tsr", TokenFactory::Reply(otherHolder))),
              0);
    EXPECT_EQ(part.ErrorText(), FormatRes(IDS_TTI_GET_TAC_FAILED, TtiErrorText(TTI_E_TAC_IMPRINT)));
    EXPECT_EQ(part.LastTtiCode(), TTI_E_TAC_IMPRINT);
    EXPECT_FALSE(part.HasTac());
}

TEST_F(ProcessStampFileTest, SourceFileComparison) {
    const std::string source = "the stamped bytes\n";
    const std::string stamp = WriteBytes(m_dir, "s.tsr", TacReply(source));
    const std::string same = m_dir.Write("same.txt", source);
    std::string changed = source;
    changed[3] ^= 0x01;
    const std::string other = m_dir.Write("other.txt", changed);

    CTimeStampPart part;
    ASSERT_EQ(part.VerifySourceFile(stamp, same), 1) << part.ErrorText();
    EXPECT_TRUE(part.SourceMatches());
    EXPECT_TRUE(part.ErrorText().empty());

    EXPECT_EQ(part.VerifySourceFile(stamp, other), 0);
    EXPECT_EQ(part.ErrorText(), "Ověření miniatury skončilo chybou");
    EXPECT_FALSE(part.SourceMatches());
    EXPECT_TRUE(part.HasTstInfo()); // the stamp itself was fine
    EXPECT_TRUE(part.HasTac());

    const std::string missing = m_dir.File("missing.txt");
    EXPECT_EQ(part.VerifySourceFile(stamp, missing), 0);
    EXPECT_EQ(part.ErrorText(), "Chyba při čtení zdrojového souboru " + missing);
    EXPECT_FALSE(part.SourceMatches());

    // A stamp over an algorithm we cannot compute.
    TokenSpec sha224;
    sha224.imprintOid = "2.16.840.1.101.3.4.2.4";
    sha224.imprint = Bytes(28, 0x01);
    const std::string odd = WriteBytes(m_dir, "odd.tsr", TokenFactory::Reply(sha224));
    EXPECT_EQ(part.VerifySourceFile(odd, same), 0);
    EXPECT_EQ(part.ErrorText(), "Hash algoritmus není podporován");

    // A stamp that cannot be read is reported as such.
    EXPECT_EQ(part.VerifySourceFile(m_dir.File("none.tsr"), same), 0);
    EXPECT_EQ(part.ErrorText(), "Chyba při čtení souboru '" + m_dir.File("none.tsr") + "'");
}

TEST_F(ProcessStampFileTest, UnreadableStampFiles) {
    CTimeStampPart part;
    const std::string good = WriteBytes(m_dir, "good.tsr", TacReply("x"));
    for (const std::string& path : {m_dir.File("missing.tsr"), m_dir.Path(), std::string()}) {
        SCOPED_TRACE(path);
        ASSERT_EQ(part.ProcessStampFile(good), 1);
        EXPECT_EQ(part.ProcessStampFile(path), 0);
        EXPECT_EQ(part.ErrorText(), "Chyba při čtení souboru '" + path + "'");
        EXPECT_FALSE(part.HasTstInfo());
        ExpectNothingValid(part);
    }
}

TEST_F(ProcessStampFileTest, StampFileWithoutReadPermission) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads files without read permission";
    const std::string locked = WriteBytes(m_dir, "locked.tsr", TokenFactory::Reply());
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    CTimeStampPart part;
    EXPECT_EQ(part.ProcessStampFile(locked), 0);
    EXPECT_EQ(part.ErrorText(), "Chyba při čtení souboru '" + locked + "'");
    ExpectNothingValid(part);
}

TEST_F(ProcessStampFileTest, BadContentGivesTheLibrarysMessage) {
    CTimeStampPart part;
    const std::string good = WriteBytes(m_dir, "good.tsr", TacReply("x"));
    const std::string tstInfoFailed =
        FormatRes(IDS_TTI_GET_TSTINFO_FAILED, TtiErrorText(TTI_E_ASN_FORMAT));

    struct Case {
        const char* name;
        std::string bytes;
    } const cases[] = {
        {"empty", ""},
        {"text", "Dobrý den, this is a text file.\n"},
        {"garbage", std::string("\x05\xff\x13\x00\x42\x17", 6)},
        {"zeros", std::string(4096, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(part.ProcessStampFile(good), 1);
        EXPECT_EQ(part.ProcessStampFile(m_dir.Write(c.name, c.bytes)), 0);
        EXPECT_EQ(part.ErrorText(), tstInfoFailed);
        EXPECT_EQ(part.LastTtiCode(), TTI_E_ASN_FORMAT);
        EXPECT_FALSE(part.HasTstInfo());
        ExpectNothingValid(part);
    }
}

TEST_F(ProcessStampFileTest, HundredMegabytesOfZeros) {
    const std::string path = m_dir.File("zeros.tsr");
    {
        std::ofstream out(path, std::ios::binary);
        const std::string block(1 << 20, '\0');
        for (int i = 0; i < 100; ++i)
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    CTimeStampPart part;
    EXPECT_EQ(part.ProcessStampFile(path), 0);
    EXPECT_EQ(part.ErrorText(),
              FormatRes(IDS_TTI_GET_TSTINFO_FAILED, TtiErrorText(TTI_E_ASN_FORMAT)));
    EXPECT_FALSE(part.HasTstInfo());
    EXPECT_TRUE(part.Token().empty());
}

TEST_F(ProcessStampFileTest, EveryTruncationFailsCleanly) {
    const Bytes reply = TacReply("x");
    const Bytes token = TokenFactory::Token();
    CTimeStampPart part;
    for (const Bytes* whole : {&reply, &token}) {
        for (std::size_t n = 0; n < whole->size(); ++n) {
            SCOPED_TRACE(n);
            const std::span<const unsigned char> cut(whole->data(), n);
            ASSERT_EQ(part.ProcessStampBytes(cut), 0);
            EXPECT_FALSE(part.ErrorText().empty());
            EXPECT_FALSE(part.HasTstInfo());
            EXPECT_EQ(part.SignerCertificate(), nullptr);
            EXPECT_FALSE(part.HasTac());
        }
    }
    // The same through files, at a few places.
    for (std::size_t n : {std::size_t{1}, std::size_t{2}, reply.size() / 2, reply.size() - 1}) {
        const Bytes cut(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_EQ(part.ProcessStampFile(WriteBytes(m_dir, "cut.tsr", cut)), 0);
        EXPECT_FALSE(part.ErrorText().empty());
    }
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST_F(ProcessStampFileTest, ReplyFailuresBeforeTheToken) {
    CTimeStampPart part;
    // A reply that is granted but carries no token.
    const Bytes empty = TokenFactory::ReplyWith(StatusSpec{}, std::nullopt);
    EXPECT_EQ(part.ProcessStampFile(WriteBytes(m_dir, "e.tsr", empty)), 0);
    EXPECT_EQ(part.ErrorText(), FormatRes(IDS_TTI_GET_TOKEN_FAILED, TtiErrorText(TTI_E_NO_TOKEN)));

    // A reply whose token is no token.
    const Bytes bogus = TokenFactory::ReplyWith(StatusSpec{}, Bytes{0x30, 0x03, 0x02, 0x01, 0x05});
    EXPECT_EQ(part.ProcessStampFile(WriteBytes(m_dir, "b.tsr", bogus)), 0);
    EXPECT_EQ(part.LastTtiCode(), TTI_E_ASN_FORMAT);
    EXPECT_EQ(part.ErrorText(),
              FormatRes(IDS_TTI_GET_TSTINFO_FAILED, TtiErrorText(TTI_E_ASN_FORMAT)));

    // A status text longer than its record field does not make a granted reply unreadable.
    const Bytes longText =
        TokenFactory::Reply(TokenSpec{}, StatusSpec{0, {std::string(120, 'w')}, {}});
    EXPECT_EQ(part.ProcessStampFile(WriteBytes(m_dir, "l.tsr", longText)), 1) << part.ErrorText();

    // Refused with modifications is still granted.
    const std::string mods =
        WriteBytes(m_dir, "m.tsr", TokenFactory::Reply(TokenSpec{}, StatusSpec{1, {"ok"}, {}}));
    EXPECT_EQ(part.ProcessStampFile(mods), 1) << part.ErrorText();
    EXPECT_EQ(part.Status().nStatus, 1);
}
