// A fresh reply checked against its request: every step with its message, in order, and
// replies of an implementation nobody here wrote.
#include "core/TimeStampPart.h"
#include "core/TimeStampRequest.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include "StampTestSupport.h"
#include "testlib/OpensslTs.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace stamp_test;
using mivo::test::KeyKind;
using mivo::test::OpensslTs;
using mivo::test::StatusSpec;
using mivo::test::TacSpec;
using mivo::test::TokenFactory;
using mivo::test::TokenSpec;

namespace {

const std::string kImprintMismatch =
    "Chyba vrácená TTI knihovnou\n\nMiniatura (hash) odpovědi nesouhlasí s miniaturou žádosti";
const std::string kPolicyMismatch = "Chyba vrácená TTI knihovnou\n\nvrácená politika časové "
                                    "autority nesouhlasí s časovou politikou žádosti";
const std::string kNonceMismatch =
    "Chyba vrácená TTI knihovnou\n\nvrácená hodnota nonce nesouhlasí s hodnotou nonce žádosti";
const std::string kTimeSkew = "Chyba vrácená TTI knihovnou\n\nRozdíl času časového razítka a času "
                              "vašeho PC je větší než 5 minut. Čas na Vašem PC nemusí být přesný "
                              "nebo se může jednat o bezpečnostní problém.";

std::string SignatureFailed(int code) {
    return FormatRes(IDS_TTI_VERIFY_SIGNATURE_FAILED, TtiErrorText(code));
}

class CheckFreshReplyTest : public ::testing::Test {
protected:
    // Checks the factory's reply for `spec` against `request`.
    int Check(const TokenSpec& spec, const TTI_REQUEST& request) {
        return m_part.CheckFreshReply(request, TokenFactory::Reply(spec), m_token);
    }
    int Check(const TokenSpec& spec) { return Check(spec, RequestFor(spec)); }

    void ExpectFailure(const std::string& message) {
        EXPECT_EQ(m_part.ErrorText(), message);
        EXPECT_EQ(m_part.SignerCertificate(), nullptr);
    }

    TempDir m_config;
    ScopedEnv m_env{"MIVOKLIENT_CONFIG_DIR", m_config.Path().c_str()};
    FixedClock m_clock{FactoryGenTime()};
    CTimeStampPart m_part;
    std::vector<unsigned char> m_token;
};

} // namespace

TEST_F(CheckFreshReplyTest, MatchingReplyPasses) {
    TokenSpec spec = SpecWithNonce();
    spec.tac = TacSpec{};
    const Bytes reply = TokenFactory::Reply(spec);
    ASSERT_EQ(m_part.CheckFreshReply(RequestFor(spec), reply, m_token), 1) << m_part.ErrorText();
    EXPECT_TRUE(m_part.ErrorText().empty());
    // The token is the reply's, the signer the factory's TSA.
    Bytes expected(reply.size());
    int length = static_cast<int>(expected.size());
    ASSERT_EQ(TTI_GetTSR_EncodedToken(expected.data(), &length, reply.data(),
                                      static_cast<int>(reply.size())),
              TTI_OK);
    expected.resize(static_cast<std::size_t>(length));
    EXPECT_EQ(m_token, expected);
    EXPECT_TRUE(
        std::ranges::equal(m_part.SignerCertificateDer(), TokenFactory::TsaCertDer(KeyKind::Rsa)));
    // The fresh check fills no records of the part.
    EXPECT_FALSE(m_part.HasTstInfo());
    EXPECT_FALSE(m_part.HasTac());
}

TEST_F(CheckFreshReplyTest, ReplyStatusAndTokenSteps) {
    const TokenSpec spec = SpecWithNonce();
    const TTI_REQUEST request = RequestFor(spec);

    const Bytes refusal = TokenFactory::ReplyWith(StatusSpec{2, {"bad request"}, 4}, std::nullopt);
    EXPECT_EQ(m_part.CheckFreshReply(request, refusal, m_token), 0);
    ExpectFailure("Chyba vrácená TTI knihovnou\n\nKvalifikované časové razítko nebylo vydáno.\n"
                  "Status 2. 4 - bad request");
    // A refusal that still carries a token is a refusal.
    EXPECT_EQ(m_part.CheckFreshReply(
                  request, TokenFactory::Reply(spec, StatusSpec{3, {"later"}, 1u << 14}), m_token),
              0);
    ExpectFailure("Chyba vrácená TTI knihovnou\n\nKvalifikované časové razítko nebylo vydáno.\n"
                  "Status 3. 16384 - later");

    // No reply at all: the library's text, then the bytes as text up to the first zero.
    const std::string page = std::string("Service Unavailable\0tail", 24);
    EXPECT_EQ(m_part.CheckFreshReply(request, Bytes(page.begin(), page.end()), m_token), 0);
    ExpectFailure(FormatRes(IDS_TTI_GET_STATUS_FAILED, TtiErrorText(TTI_E_ASN_FORMAT),
                            "Service Unavailable"));
    EXPECT_EQ(m_part.CheckFreshReply(request, Bytes{}, m_token), 0);
    ExpectFailure(FormatRes(IDS_TTI_GET_STATUS_FAILED, TtiErrorText(TTI_E_ASN_FORMAT), ""));

    // Granted without a token.
    EXPECT_EQ(m_part.CheckFreshReply(request, TokenFactory::ReplyWith(StatusSpec{}, std::nullopt),
                                     m_token),
              0);
    ExpectFailure(FormatRes(IDS_TTI_GET_TOKEN_FAILED, TtiErrorText(TTI_E_NO_TOKEN)));

    // A token whose content is no TSTInfo.
    TokenSpec garbage = spec;
    garbage.rawTstInfo = Bytes{0x04, 0x03, 'a', 'b', 'c'};
    EXPECT_EQ(Check(garbage, request), 0);
    ExpectFailure(FormatRes(IDS_TTI_GET_TSTINFO_FAILED, TtiErrorText(TTI_E_ASN_FORMAT)));
}

TEST_F(CheckFreshReplyTest, ChecksRunInTheirOrder) {
    // Everything wrong at once; each fault mended in turn uncovers the next message.
    const TokenSpec good = SpecWithNonce();
    const TTI_REQUEST request = RequestFor(good);
    TokenSpec spec = good;
    spec.imprint[0] ^= 0x01;
    spec.policyOid = "1.2.3.4.2";
    (*spec.nonce)[1] ^= 0x01;
    spec.genTime = "20250509120856Z"; // 601 s late
    spec.tamperSignature = true;

    EXPECT_EQ(Check(spec, request), 0);
    ExpectFailure(kImprintMismatch);
    spec.imprint = good.imprint;
    EXPECT_EQ(Check(spec, request), 0);
    ExpectFailure(kPolicyMismatch);
    spec.policyOid = good.policyOid;
    EXPECT_EQ(Check(spec, request), 0);
    ExpectFailure(kNonceMismatch);
    spec.nonce = good.nonce;
    EXPECT_EQ(Check(spec, request), 0);
    ExpectFailure(kTimeSkew);
    spec.genTime = good.genTime;
    EXPECT_EQ(Check(spec, request), 0);
    ExpectFailure(SignatureFailed(TTI_E_SIGNATURE));
    spec.tamperSignature = false;
    EXPECT_EQ(Check(spec, request), 1) << m_part.ErrorText();
}

TEST_F(CheckFreshReplyTest, GenTimeWithFinerFractionsIsCheckedToTheMillisecond) {
    TokenSpec spec = SpecWithNonce();
    const TTI_REQUEST request = RequestFor(spec);
    for (const char* genTime : {"20250509115855.539178Z", "20250509115855.5391789Z",
                                "20250509120354.9999999Z"}) { // 299.999 s after the clock
        spec.genTime = genTime;
        EXPECT_EQ(Check(spec, request), 1) << genTime << ": " << m_part.ErrorText();
    }
    // More than five minutes apart is still too far, however many digits the time has.
    for (const char* genTime : {"20250509120356.0000001Z", "20250509115354.999999Z"}) {
        spec.genTime = genTime;
        EXPECT_EQ(Check(spec, request), 0) << genTime;
        ExpectFailure(kTimeSkew);
    }
}

TEST_F(CheckFreshReplyTest, ServerValuesBeyondTheirFieldsStillLeaveTheSignatureToDecide) {
    const TokenSpec good = SpecWithNonce();
    TTI_REQUEST request = RequestFor(good);

    // A refusal with a long status text shows its status, failure bits and the text's start.
    const std::string text = "Požadavek nelze vyřídit: " + std::string(95, '.');
    ASSERT_GE(text.size(), 120u);
    EXPECT_EQ(m_part.CheckFreshReply(
                  request, TokenFactory::ReplyWith(StatusSpec{2, {text}, 1u << 2}, std::nullopt),
                  m_token),
              0);
    ExpectFailure("Chyba vrácená TTI knihovnou\n\nKvalifikované časové razítko nebylo vydáno.\n"
                  "Status 2. 4 - " +
                  text.substr(0, 79));

    // A policy too long for its field: accepted when none was asked for, never matched on
    // the start it keeps, not even when the request asked for exactly that start.
    std::string asked = "1.2";
    while (asked.size() < 127)
        asked += ".9";
    TokenSpec spec = good;
    spec.policyOid = asked + "9";
    std::memcpy(request.szPolicyOid, asked.c_str(), asked.size() + 1);
    EXPECT_EQ(Check(spec, request), 0);
    ExpectFailure(kPolicyMismatch);
    std::memset(request.szPolicyOid, 0, sizeof request.szPolicyOid);
    EXPECT_EQ(Check(spec, request), 1) << m_part.ErrorText();
    spec.tamperSignature = true;
    EXPECT_EQ(Check(spec, request), 0);
    ExpectFailure(SignatureFailed(TTI_E_SIGNATURE));

    // A negative serial number: the signature decides.
    spec = good;
    spec.negativeSerial = true;
    request = RequestFor(spec);
    EXPECT_EQ(Check(spec, request), 1) << m_part.ErrorText();
    spec.tamperSignature = true;
    EXPECT_EQ(Check(spec, request), 0);
    ExpectFailure(SignatureFailed(TTI_E_SIGNATURE));
}

TEST_F(CheckFreshReplyTest, ImprintMustBeTheRequests) {
    const TokenSpec spec = SpecWithNonce();
    TTI_REQUEST otherOid = RequestFor(spec);
    std::strcpy(otherOid.szHashOid, "2.16.840.1.101.3.4.2.3");
    TTI_REQUEST shorter = RequestFor(spec);
    shorter.nDigestLen = 31;
    TTI_REQUEST otherByte = RequestFor(spec);
    otherByte.digest[31] ^= 0x01;
    TTI_REQUEST nonsenseLength = RequestFor(spec);
    nonsenseLength.nDigestLen = 1000;
    for (const TTI_REQUEST* request : {&otherOid, &shorter, &otherByte, &nonsenseLength}) {
        EXPECT_EQ(Check(spec, *request), 0);
        ExpectFailure(kImprintMismatch);
    }
}

TEST_F(CheckFreshReplyTest, PolicyOnlyWhenRequested) {
    TokenSpec spec = SpecWithNonce();
    spec.policyOid = "1.3.6.1.4.1.99999.7";
    TTI_REQUEST request = RequestFor(spec);
    std::strcpy(request.szPolicyOid, "1.3.6.1.4.1.99999.70");
    EXPECT_EQ(Check(spec, request), 0);
    ExpectFailure(kPolicyMismatch);

    std::memset(request.szPolicyOid, 0, sizeof request.szPolicyOid);
    EXPECT_EQ(Check(spec, request), 1) << m_part.ErrorText();
}

TEST_F(CheckFreshReplyTest, NonceMustBeOurs) {
    TokenSpec spec = SpecWithNonce();
    const TTI_REQUEST request = RequestFor(spec);

    TokenSpec without = spec;
    without.nonce.reset();
    EXPECT_EQ(Check(without, request), 0);
    ExpectFailure(kNonceMismatch);

    TTI_REQUEST noNonce = request;
    noNonce.nNonceLen = 0;
    EXPECT_EQ(Check(spec, noNonce), 0);
    ExpectFailure(kNonceMismatch);

    TokenSpec other = spec;
    (*other.nonce)[7] ^= 0x80;
    EXPECT_EQ(Check(other, request), 0);
    ExpectFailure(kNonceMismatch);

    TokenSpec longer = spec;
    longer.nonce->push_back(0x00);
    EXPECT_EQ(Check(longer, request), 0);
    ExpectFailure(kNonceMismatch);

    // Our nonce starting with a zero byte stands in the token without it: the same number.
    TokenSpec leadingZero = spec;
    (*leadingZero.nonce)[0] = 0x00;
    EXPECT_EQ(Check(leadingZero, RequestFor(leadingZero)), 1) << m_part.ErrorText();
    // ... and a request without a nonce takes a token without one.
    EXPECT_EQ(Check(without, noNonce), 1) << m_part.ErrorText();
}

TEST_F(CheckFreshReplyTest, TimeWithinFiveMinutesOfTheClock) {
    const TokenSpec spec = SpecWithNonce();
    for (const int64_t seconds : {0, 299, -299, 300, -300}) {
        SCOPED_TRACE(seconds);
        m_clock.Set(FactoryGenTime() + static_cast<uint64_t>(seconds * int64_t{kSecond}));
        EXPECT_EQ(Check(spec), 1) << m_part.ErrorText();
    }
    for (const int64_t seconds : {301, -301}) {
        SCOPED_TRACE(seconds);
        m_clock.Set(FactoryGenTime() + static_cast<uint64_t>(seconds * int64_t{kSecond}));
        EXPECT_EQ(Check(spec), 0);
        ExpectFailure(kTimeSkew);
    }

    // The fraction counts: .5 s after the whole second.
    TokenSpec half = spec;
    half.genTime = "20250509115855.5Z";
    m_clock.Set(FactoryGenTime() + 300 * kSecond + kSecond / 2);
    EXPECT_EQ(Check(half), 1) << m_part.ErrorText();
    m_clock.Set(FactoryGenTime() + 300 * kSecond + kSecond / 2 + 1);
    EXPECT_EQ(Check(half), 0);
    m_clock.Set(FactoryGenTime() - 300 * kSecond + kSecond / 2);
    EXPECT_EQ(Check(half), 1) << m_part.ErrorText();
}

TEST_F(CheckFreshReplyTest, TimeThatCannotBeConvertedFails) {
    for (const char* genTime : {"20251309115855Z", "20250509115860Z", "20250509115855",
                                "2025050911585xZ", "20250509115855+0100", "20250509115855.Z"}) {
        SCOPED_TRACE(genTime);
        TokenSpec spec = SpecWithNonce();
        spec.genTime = genTime;
        EXPECT_EQ(Check(spec), 0);
        ExpectFailure(kTimeSkew);
    }
}

TEST_F(CheckFreshReplyTest, SignatureStep) {
    TokenSpec tampered = SpecWithNonce();
    tampered.tamperSignature = true;
    EXPECT_EQ(Check(tampered), 0);
    ExpectFailure(SignatureFailed(TTI_E_SIGNATURE));
    EXPECT_FALSE(m_token.empty()); // the token was taken before the signature failed

    // A signer that is neither in the token nor in the address book.
    TokenSpec noCert = SpecWithNonce();
    noCert.includeSignerCert = false;
    EXPECT_EQ(Check(noCert), 0);
    ExpectFailure(SignatureFailed(TTI_E_SIGNATURE));
    // ... and once it is in the address book.
    std::filesystem::create_directories(m_config.File("addressbook"));
    m_config.Write("addressbook/tsa.pem", TokenFactory::TsaCertPem(KeyKind::Rsa));
    EXPECT_EQ(Check(noCert), 1) << m_part.ErrorText();
    EXPECT_TRUE(
        std::ranges::equal(m_part.SignerCertificateDer(), TokenFactory::TsaCertDer(KeyKind::Rsa)));
}

TEST_F(CheckFreshReplyTest, AlgorithmsUnknownToThePlatformTakeTheLibrarysPath) {
    TokenSpec pss = SpecWithNonce();
    pss.key = KeyKind::RsaPss;
    EXPECT_EQ(Check(pss), 1) << m_part.ErrorText();
    EXPECT_TRUE(m_part.ErrorText().empty());
    // The certificate is built from the one in the token.
    EXPECT_TRUE(std::ranges::equal(m_part.SignerCertificateDer(),
                                   TokenFactory::TsaCertDer(KeyKind::RsaPss)));

    TokenSpec tampered = pss;
    tampered.tamperSignature = true;
    EXPECT_EQ(Check(tampered), 0);
    ExpectFailure(SignatureFailed(TTI_E_SIGNATURE));

    // The library finds no certificate in the token (an address book does not help it).
    TokenSpec noCert = pss;
    noCert.includeSignerCert = false;
    std::filesystem::create_directories(m_config.File("addressbook"));
    m_config.Write("addressbook/tsa.pem", TokenFactory::TsaCertPem(KeyKind::RsaPss));
    EXPECT_EQ(Check(noCert), 0);
    ExpectFailure(SignatureFailed(TTI_E_NO_SIGNER_CERT));
}

TEST_F(CheckFreshReplyTest, NothingOfAnEarlierStampSurvivesAFailedCheck) {
    const std::size_t alive = CertContextsAlive();
    TokenSpec spec = SpecWithNonce();
    spec.tac = TacSpec{};
    const std::string stamp = WriteBytes(m_config, "earlier.tsr", TokenFactory::Reply(spec));
    ASSERT_EQ(m_part.ProcessStampFile(stamp), 1) << m_part.ErrorText();
    ASSERT_NE(m_part.SignerCertificate(), nullptr);
    ASSERT_TRUE(m_part.HasTstInfo());
    ASSERT_TRUE(m_part.HasTac());

    TTI_REQUEST other = RequestFor(spec);
    other.digest[0] ^= 0xFF;
    EXPECT_EQ(Check(spec, other), 0);
    ExpectFailure(kImprintMismatch);
    EXPECT_FALSE(m_part.HasTstInfo());
    EXPECT_FALSE(m_part.HasTac());
    EXPECT_FALSE(m_part.SourceMatches());
    EXPECT_EQ(CertContextsAlive(), alive);

    // An earlier stamp's certificate is not handed to a token verified by the library.
    ASSERT_EQ(m_part.ProcessStampFile(stamp), 1);
    TokenSpec pss = SpecWithNonce();
    pss.key = KeyKind::RsaPss;
    EXPECT_EQ(Check(pss), 1) << m_part.ErrorText();
    EXPECT_TRUE(std::ranges::equal(m_part.SignerCertificateDer(),
                                   TokenFactory::TsaCertDer(KeyKind::RsaPss)));
    EXPECT_EQ(CertContextsAlive(), alive + 1);
}

TEST_F(CheckFreshReplyTest, RepliesOfOpensslTsToOurRequestsPass) {
    const SystemClockScope realClock;
    const std::string file = m_config.Write("data.bin", std::string(3000, 'm') + "end");
    struct Case {
        KeyKind key;
        int hashCode;
        const char* policy;
    } const cases[] = {
        {KeyKind::Rsa, 2, "1.2.3.4.1"},
        {KeyKind::Rsa, 0, ""}, // no policy requested: openssl's default is taken
        {KeyKind::Ecdsa, 3, "1.3.6.1.4.1.99999.5"},
        {KeyKind::Rsa, 4, "1.2.3.4.1"},
        {KeyKind::Ecdsa, 1, "1.2.3.4.1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hashCode);
        OpensslTs::Options options;
        options.key = c.key;
        options.otherPolicies = {"1.3.6.1.4.1.99999.5"};
        const OpensslTs ts(options);
        TTI_REQUEST request;
        ASSERT_EQ(BuildTimeStampRequest(c.policy, c.hashCode, file, request), 0);
        unsigned char der[1024];
        int length = sizeof der;
        ASSERT_EQ(TTI_EncodeTimestampRequest(&request, der, &length, 0), TTI_OK);
        Bytes reply;
        mivo::test::CommandResult run;
        ASSERT_TRUE(ts.Reply(Bytes(der, der + length), reply, &run)) << run.err;
        ASSERT_EQ(m_part.CheckFreshReply(request, reply, m_token), 1) << m_part.ErrorText();
        EXPECT_TRUE(
            std::ranges::equal(m_part.SignerCertificateDer(), TokenFactory::TsaCertDer(c.key)));
        // What we stored verifies with the source for openssl too.
        EXPECT_TRUE(ts.VerifyWithData(file, m_token, true).Ok());
    }
}
