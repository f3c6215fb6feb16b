// Revocation in the trust verdict: CRLs and OCSP answers that the token carries, online
// look-ups only when asked for, and a status that could not be learnt never trusted.
#include "TrustTestSupport.h"

#include "core/ClientSettings.h"
#include "core/ConnectionParams.h"
#include "tools/TestTsa.h"

#include <openssl/ocsp.h>

#include <map>

using namespace trusttest;
using mivo::test::kOcspBasicFormatOid;
using mivo::test::kOcspResponseFormatOid;
using mivo::test::MakeBasicOcsp;
using mivo::test::MakeCrl;
using mivo::test::WrapOcspResponse;

namespace {

// 2024-01-01 00:00:00 UTC, the default revocation time of the PKI helpers.
constexpr std::time_t kRevokedUnix = 1704067200;

// Answers online look-ups from a table and records them.
struct FakeFetch {
    std::map<std::string, Bytes> answers; // by URL; a missing URL fails
    struct Call {
        std::string url;
        std::string contentType;
        Bytes body;
    };
    std::vector<Call> calls;

    RevocationFetch Fetch() {
        return [this](const std::string& url, const std::string& contentType,
                      std::span<const unsigned char> body, Bytes& reply) {
            calls.push_back({url, contentType, Bytes(body.begin(), body.end())});
            const auto found = answers.find(url);
            if (found == answers.end())
                return false;
            reply = found->second;
            return true;
        };
    }
};

class TrustRevocationTest : public TrustTest {
protected:
    TrustRevocationTest() { Trust(*ThePki().root); }

    // A TSA under the root that names these responders.
    std::shared_ptr<TestCert> TsaWith(const std::vector<std::string>& ocsp,
                                      const std::vector<std::string>& crl) {
        TestCertSpec spec = TsaSpec("Revocable TSA");
        spec.ocspUrls = ocsp;
        spec.crlUrls = crl;
        return MakeCert(spec, ThePki().root.get());
    }

    TrustOptions Online(FakeFetch& fake) {
        TrustOptions options;
        options.checkRevocation = true;
        options.fetch = fake.Fetch();
        return options;
    }
};

TEST_F(TrustRevocationTest, ACrlInTheTokenRevokesFromItsDateAndTheVerdictSaysWhen) {
    const Pki& pki = ThePki();
    const auto tsa = TsaWith({}, {});
    TokenSpec spec = SpecFor(*tsa);
    spec.crls = {MakeCrl(*pki.root, {{tsa.get(), "20240101000000Z", -1}})};
    const TrustResult result = Evaluate(spec);
    EXPECT_EQ(Key(result.verdict), std::string("revoked"));
    ASSERT_TRUE(result.revocationTime);
    EXPECT_EQ(*result.revocationTime, kRevokedUnix);
    EXPECT_NE(result.message.find("dne 1. 1. 2024 00:00:00 UTC"), std::string::npos)
        << result.message;
    EXPECT_TRUE(result.anchorSubject.empty());

    // A CRL that lists another certificate says this one is good.
    spec.crls = {MakeCrl(*pki.root, {{pki.tsa.get(), "20240101000000Z", -1}})};
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);
}

// An answer issued before the stamp says nothing of the time between: online look-ups, when
// asked for, still happen.
TEST_F(TrustRevocationTest, OnlyAnswersIssuedAfterTheStampVouchForIt) {
    const Pki& pki = ThePki();
    const auto tsa = TsaWith({}, {});
    FakeFetch fake;
    TokenSpec spec = SpecFor(*tsa);
    spec.crls = {MakeCrl(*pki.root, {}, "20250101000000Z")};
    EXPECT_EQ(Evaluate(spec, Online(fake)).verdict, TrustVerdict::RevocationUnknown);
    spec.crls = {MakeCrl(*pki.root, {}, "20250601000000Z")};
    EXPECT_EQ(Evaluate(spec, Online(fake)).verdict, TrustVerdict::Trusted);

    OcspSpec early;
    early.thisUpdate = "20250509000000Z";
    spec.crls.clear();
    spec.otherRevocationInfo = {
        {kOcspBasicFormatOid, MakeBasicOcsp(*pki.root, *tsa, *pki.root, early)}};
    EXPECT_EQ(Evaluate(spec, Online(fake)).verdict, TrustVerdict::RevocationUnknown);
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted); // nothing asked on line
}

TEST_F(TrustRevocationTest, ARevocationAfterTheStampCountsOnlyForAKeyCompromise) {
    const Pki& pki = ThePki();
    const auto tsa = TsaWith({}, {});
    TokenSpec spec = SpecFor(*tsa);
    const std::string after = "20260101000000Z";               // the stamp is of 2025
    spec.crls = {MakeCrl(*pki.root, {{tsa.get(), after, 4}})}; // superseded
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);
    spec.crls = {MakeCrl(*pki.root, {{tsa.get(), after, -1}})};
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);
    spec.crls = {MakeCrl(*pki.root, {{tsa.get(), after, 1}})}; // keyCompromise
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Revoked);
}

TEST_F(TrustRevocationTest, OnlyCrlsOfTheIssuersKeyCount) {
    const Pki& pki = ThePki();
    const auto tsa = TsaWith({}, {});
    TokenSpec spec = SpecFor(*tsa);
    // The issuer's name on another key.
    const auto impostor = MakeCert(CaSpec("Trust Test Root"), nullptr);
    spec.crls = {MakeCrl(*impostor, {{tsa.get(), "20240101000000Z", 1}}),
                 MakeCrl(*pki.stranger, {{tsa.get(), "20240101000000Z", 1}})};
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);

    // An intermediate revoked by its root's CRL takes the stamps under it along.
    TokenSpec chained = SpecFor(*pki.interTsa);
    chained.extraCertsPem = {pki.inter->CertPem()};
    chained.crls = {MakeCrl(*pki.root, {{pki.inter.get(), "20240101000000Z", -1}})};
    EXPECT_EQ(Evaluate(chained).verdict, TrustVerdict::Revoked);
}

TEST_F(TrustRevocationTest, OcspAnswersInTheTokenCountInBothFormats) {
    const Pki& pki = ThePki();
    const auto tsa = TsaWith({}, {});
    OcspSpec revoked;
    revoked.status = OcspStatus::Revoked;
    revoked.thisUpdate = "20250509120000Z";
    const Bytes basic = MakeBasicOcsp(*pki.root, *tsa, *pki.root, revoked);

    TokenSpec spec = SpecFor(*tsa);
    spec.otherRevocationInfo = {{kOcspBasicFormatOid, basic}};
    const TrustResult result = Evaluate(spec);
    EXPECT_EQ(result.verdict, TrustVerdict::Revoked);
    EXPECT_EQ(result.revocationTime, std::optional<std::time_t>(kRevokedUnix));
    spec.otherRevocationInfo = {{kOcspResponseFormatOid, WrapOcspResponse(basic)}};
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Revoked);

    // A good answer from a delegated responder is enough, also when online checks are on.
    TestCertSpec responderSpec = TsaSpec("Trust Test OCSP");
    responderSpec.eku = TestEku::OcspSigning;
    const auto responder = MakeCert(responderSpec, pki.root.get());
    OcspSpec good;
    good.thisUpdate = "20250509120000Z";
    spec.otherRevocationInfo = {
        {kOcspBasicFormatOid, MakeBasicOcsp(*responder, *tsa, *pki.root, good)}};
    FakeFetch fake;
    EXPECT_EQ(Evaluate(spec, Online(fake)).verdict, TrustVerdict::Trusted);
    EXPECT_TRUE(fake.calls.empty());
}

// A token in BER (indefinite lengths, the content in pieces) is read as fully as a DER one.
TEST_F(TrustRevocationTest, BerTokensCarryTheirCertificatesAndRevocationDataToo) {
    const Pki& pki = ThePki();
    OcspSpec revoked;
    revoked.status = OcspStatus::Revoked;
    revoked.thisUpdate = "20250509120000Z";
    TokenSpec spec = SpecFor(*pki.interTsa);
    spec.extraCertsPem = {pki.inter->CertPem()};
    const Bytes good = TokenFactory::ToBer(TokenFactory::Token(spec));
    EXPECT_EQ(Evaluate(good).verdict, TrustVerdict::Trusted);

    spec.otherRevocationInfo = {
        {kOcspBasicFormatOid, MakeBasicOcsp(*pki.inter, *pki.interTsa, *pki.inter, revoked)}};
    EXPECT_EQ(Evaluate(TokenFactory::ToBer(TokenFactory::Token(spec))).verdict,
              TrustVerdict::Revoked);
    spec.otherRevocationInfo.clear();
    spec.crls = {MakeCrl(*pki.root, {{pki.inter.get(), "20240101000000Z", -1}})};
    EXPECT_EQ(Evaluate(TokenFactory::ToBer(TokenFactory::Token(spec))).verdict,
              TrustVerdict::Revoked);
}

TEST_F(TrustRevocationTest, AnswersFromResponderTheIssuerDidNotAuthoriseAreIgnored) {
    const Pki& pki = ThePki();
    const auto tsa = TsaWith({}, {});
    OcspSpec revoked;
    revoked.status = OcspStatus::Revoked;
    revoked.thisUpdate = "20250509120000Z";
    const auto notAResponder = MakeCert(TsaSpec("Not an OCSP responder"), pki.root.get());
    TokenSpec spec = SpecFor(*tsa);
    spec.otherRevocationInfo = {
        {kOcspBasicFormatOid, MakeBasicOcsp(*pki.stranger, *tsa, *pki.root, revoked)},
        {kOcspBasicFormatOid, MakeBasicOcsp(*notAResponder, *tsa, *pki.root, revoked)}};
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);
    FakeFetch fake;
    EXPECT_EQ(Evaluate(spec, Online(fake)).verdict, TrustVerdict::RevocationUnknown);
}

TEST_F(TrustRevocationTest, OnlineLookUpsHappenOnlyWhenAskedFor) {
    const Pki& pki = ThePki();
    const auto tsa = TsaWith({"http://ocsp.test/a"}, {"http://crl.test/root.crl"});
    FakeFetch fake;
    TrustOptions off;
    off.fetch = fake.Fetch();
    EXPECT_EQ(Evaluate(SpecFor(*tsa), off).verdict, TrustVerdict::Trusted);
    EXPECT_TRUE(fake.calls.empty());

    const TrustResult unknown = Evaluate(SpecFor(*tsa), Online(fake));
    EXPECT_EQ(Key(unknown.verdict), std::string("revocation-unknown"));
    EXPECT_EQ(unknown.message, FormatRes(IDS_TRUST_REVOCATION_UNKNOWN));
    ASSERT_EQ(fake.calls.size(), 2U); // OCSP, then the distribution point
    EXPECT_EQ(fake.calls[0].url, "http://ocsp.test/a");
    EXPECT_EQ(fake.calls[0].contentType, "application/ocsp-request");
    EXPECT_EQ(fake.calls[1].url, "http://crl.test/root.crl");
    EXPECT_TRUE(fake.calls[1].body.empty());

    // The request asks about this certificate.
    const unsigned char* p = fake.calls[0].body.data();
    OpenSslPtr<OCSP_REQUEST, OCSP_REQUEST_free> request(
        d2i_OCSP_REQUEST(nullptr, &p, static_cast<long>(fake.calls[0].body.size())));
    ASSERT_TRUE(request);
    ASSERT_EQ(OCSP_request_onereq_count(request.get()), 1);
    ASSERT_NE(OCSP_onereq_get0_id(OCSP_request_onereq_get0(request.get(), 0)), nullptr);
    OpenSslPtr<OCSP_CERTID, OCSP_CERTID_free> id(
        OCSP_cert_to_id(nullptr, tsa->Cert(), pki.root->Cert()));
    EXPECT_EQ(
        OCSP_id_cmp(id.get(), OCSP_onereq_get0_id(OCSP_request_onereq_get0(request.get(), 0))), 0);

    // A certificate without any place to ask is unknown at once.
    fake.calls.clear();
    EXPECT_EQ(Evaluate(SpecFor(*TsaWith({}, {})), Online(fake)).verdict,
              TrustVerdict::RevocationUnknown);
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(TrustRevocationTest, OcspFirstThenTheDistributionPoint) {
    const Pki& pki = ThePki();
    const auto tsa = TsaWith({"http://ocsp.test/a"}, {"http://crl.test/root.crl"});
    FakeFetch fake;
    fake.answers["http://ocsp.test/a"] =
        WrapOcspResponse(MakeBasicOcsp(*pki.root, *tsa, *pki.root));
    EXPECT_EQ(Evaluate(SpecFor(*tsa), Online(fake)).verdict, TrustVerdict::Trusted);
    EXPECT_EQ(fake.calls.size(), 1U);

    OcspSpec revoked;
    revoked.status = OcspStatus::Revoked;
    fake.answers["http://ocsp.test/a"] =
        WrapOcspResponse(MakeBasicOcsp(*pki.root, *tsa, *pki.root, revoked));
    EXPECT_EQ(Evaluate(SpecFor(*tsa), Online(fake)).verdict, TrustVerdict::Revoked);

    // An answer that is no OCSP answer: the CRL decides.
    fake.answers["http://ocsp.test/a"] = Bytes{'<', 'h', 't', 'm', 'l', '>'};
    fake.answers["http://crl.test/root.crl"] =
        MakeCrl(*pki.root, {{tsa.get(), "20240101000000Z", -1}});
    fake.calls.clear();
    EXPECT_EQ(Evaluate(SpecFor(*tsa), Online(fake)).verdict, TrustVerdict::Revoked);
    EXPECT_EQ(fake.calls.size(), 2U);
    fake.answers["http://crl.test/root.crl"] = MakeCrl(*pki.root, {});
    EXPECT_EQ(Evaluate(SpecFor(*tsa), Online(fake)).verdict, TrustVerdict::Trusted);
}

TEST_F(TrustRevocationTest, RevokedOutranksUnknown) {
    const Pki& pki = ThePki();
    FakeFetch fake;
    TokenSpec chained = SpecFor(*pki.interTsa); // no responder named anywhere
    chained.extraCertsPem = {pki.inter->CertPem()};
    EXPECT_EQ(Evaluate(chained, Online(fake)).verdict, TrustVerdict::RevocationUnknown);
    chained.crls = {MakeCrl(*pki.root, {{pki.inter.get(), "20240101000000Z", -1}})};
    EXPECT_EQ(Evaluate(chained, Online(fake)).verdict, TrustVerdict::Revoked);
}

// check_revocation=1 in the user's section turns online look-ups on; they go the settings'
// way to the internet. Saving the settings leaves the key as the user wrote it.
TEST_F(TrustRevocationTest, TheSettingTurnsOnlineLookUpsOn) {
    const std::string ini =
        m_dir.Write("mivoklient.ini", "[zarn]\ncheck_revocation=1\n"
                                      "proxy_type=3\nproxy_server=proxy:3128\n");
    CClientSettings settings;
    settings.SetIniPath(ini);
    EXPECT_EQ(settings.m_nCheckRevocation, 0);
    EXPECT_FALSE(TrustOptionsFromSettings(settings).checkRevocation);
    EXPECT_EQ(settings.Load(), 1);
    const TrustOptions options = TrustOptionsFromSettings(settings);
    EXPECT_TRUE(options.checkRevocation);
    EXPECT_EQ(options.connection.m_nProxyType, ACCESS_TYPE_PROXY);
    EXPECT_EQ(options.connection.m_strProxyServer, "proxy:3128");
    EXPECT_EQ(settings.Save(), 1);
    EXPECT_NE(TempDir::Read(ini).find("check_revocation=1\n"), std::string::npos);

    m_dir.Write("mivoklient.ini", "[zarn]\ncheck_revocation=0\n");
    EXPECT_EQ(settings.Load(), 1);
    EXPECT_FALSE(TrustOptionsFromSettings(settings).checkRevocation);
}

// The real transport against the local test server: OCSP posted, the CRL fetched with GET,
// a responder that is not there gives "unknown".
TEST_F(TrustRevocationTest, OnlineLookUpsGoThroughTheProgramsHttpTransport) {
    const Pki& pki = ThePki();
    mivo::test::TestTsa server;
    const auto tsa = TsaWith({server.Url("/ocsp")}, {server.Url("/root.crl")});
    const Bytes ocsp = WrapOcspResponse(MakeBasicOcsp(*pki.root, *tsa, *pki.root));
    const Bytes crl = MakeCrl(*pki.root, {{tsa.get(), "20240101000000Z", 1}});
    mivo::test::TsaBehaviour behaviour;
    behaviour.contentType = "application/ocsp-response";
    behaviour.responder = [&](const Bytes& body) {
        return body.empty() ? crl : ocsp;
    };
    server.SetBehaviour(behaviour);

    TrustOptions options;
    options.checkRevocation = true;
    options.connection.m_nProxyType = ACCESS_TYPE_DIRECT;
    options.connection.m_strAuthUser = "tsa-user"; // the TSA's, never sent elsewhere
    options.connection.m_strAuthPassword = "secret";
    EXPECT_EQ(Evaluate(SpecFor(*tsa), options).verdict, TrustVerdict::Trusted);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_EQ(requests[0].requestLine.rfind("POST /ocsp ", 0), 0U) << requests[0].requestLine;
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/ocsp-request");
    EXPECT_FALSE(requests[0].Header("Authorization"));

    behaviour.contentType = "text/plain"; // no OCSP answer: the CRL is fetched next
    server.SetBehaviour(behaviour);
    server.ClearRequests();
    EXPECT_EQ(Evaluate(SpecFor(*tsa), options).verdict, TrustVerdict::Revoked);
    requests = server.Requests();
    ASSERT_EQ(requests.size(), 2U);
    EXPECT_EQ(requests[1].requestLine.rfind("GET /root.crl ", 0), 0U) << requests[1].requestLine;

    server.Stop();
    EXPECT_EQ(Evaluate(SpecFor(*tsa), options).verdict, TrustVerdict::RevocationUnknown);
}

} // namespace
