// The qualified verdict: the real tokens against the real lists (imported as a user would,
// with the clock on a day of their validity), and synthetic services for the rules the
// real ones do not reach: key and key-identifier matches, status histories, the issuing CA
// with and without its certificate, and the territories whose list is missing.
#include "core/QualifiedVerdict.h"
#include "core/GenTime.h"
#include "core/TimeStampPart.h"
#include "core/TrustedListCache.h"
#include "core/TrustedListChain.h"
#include "core/TrustedListUpdate.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "tools/TlTestSigner.h"

#include "TlTestSupport.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>
#include <openssl/x509v3.h>

using namespace tl_test;
using mivo::test::BuildTlXml;
using mivo::test::MakeTlTestCert;
using mivo::test::TlListSpec;
using mivo::test::TlServiceSpec;
using mivo::test::TlTestCert;
using mivo::test::TlTestCertSpec;

namespace {

using X509Ptr = std::unique_ptr<X509, decltype(&X509_free)>;

X509Ptr CertOf(const std::string& der) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    return X509Ptr(d2i_X509(nullptr, &bytes, static_cast<long>(der.size())), X509_free);
}

constexpr char kQtst[] = "http://uri.etsi.org/TrstSvc/Svctype/TSA/QTST";
constexpr char kCaQc[] = "http://uri.etsi.org/TrstSvc/Svctype/CA/QC";
constexpr char kTssAdes[] = "http://uri.etsi.org/TrstSvc/Svctype/TSA/TSS-AdESQCandQES";
constexpr char kStatus[] = "http://uri.etsi.org/TrstSvc/TrustedList/Svcstatus/";

class TlRealVerdicts : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        ScopedClock clock(DayOfTheRealLists());
        tl::UpdateOptions options;
        options.pins = OjPins();
        options.cacheDir = s_dir->Path();
        tl::FolderListSource source(TlData(""));
        s_summary = new tl::UpdateSummary(tl::UpdateTrustedLists(source, options));
        s_lists = new tl::TrustedListSet(tl::TrustedListSet::Load(s_dir->Path()));
    }
    static void TearDownTestSuite() {
        delete s_lists;
        delete s_summary;
        delete s_dir;
    }

    // The verdict for a real token at its own time, `now` deciding outdatedness.
    static QualifiedVerdict VerdictOf(const std::string& file, uint64_t now = DayOfTheRealLists(),
                                      const char* atTime = nullptr) {
        CTimeStampPart part;
        if (part.ProcessStampFile(TokenPath(file)) != 1 || part.SignerCertificate() == nullptr)
            throw std::runtime_error("cannot read " + file + ": " + part.ErrorText());
        // A time in microseconds is read to the millisecond, as the time check reads it.
        uint64_t genTime = 0;
        if (!GenTimeToFileTime(part.TstInfo().szGenTime, genTime))
            throw std::runtime_error("no genTime in " + file);
        return QualifyStamp(*s_lists, part.SignerCertificate()->Cert(), nullptr,
                            atTime != nullptr ? Utc(atTime) : genTime, now);
    }

    static TempDir* s_dir;
    static tl::UpdateSummary* s_summary;
    static tl::TrustedListSet* s_lists;
};
TempDir* TlRealVerdicts::s_dir = nullptr;
tl::UpdateSummary* TlRealVerdicts::s_summary = nullptr;
tl::TrustedListSet* TlRealVerdicts::s_lists = nullptr;

TEST_F(TlRealVerdicts, TheImportVerifiedTheLotlAndTheSixLists) {
    EXPECT_EQ(s_summary->lotl.state, tl::TerritoryResult::State::Updated)
        << s_summary->lotl.message;
    EXPECT_EQ(s_summary->lotl.sequence, 332u);
    EXPECT_EQ(s_summary->Count(tl::TerritoryResult::State::Updated), 6u);
    EXPECT_EQ(s_summary->Count(tl::TerritoryResult::State::Refused), 0u);
    EXPECT_TRUE(s_summary->Ok());
    EXPECT_EQ(s_lists->Lists().size(), 7u);
    EXPECT_TRUE(s_lists->Broken().empty());
}

TEST_F(TlRealVerdicts, TheTokensGetTheVerdictsOfTheReadme) {
    const QualifiedVerdict disig = VerdictOf("disig-rsa-sha256-token.tst");
    EXPECT_EQ(disig.qualified, Qualified::Yes) << disig.message;
    EXPECT_EQ(disig.territory, "SK");
    EXPECT_EQ(disig.serviceName, "(75) TSA Disig aTSU 1");
    EXPECT_EQ(disig.providerName, "Disig, a.s.");
    EXPECT_NE(disig.message.find("„(75) TSA Disig aTSU 1“"), std::string::npos);
    EXPECT_FALSE(disig.outdated);

    const QualifiedVerdict infocert = VerdictOf("infocert-rsa-sha256-token.tst");
    EXPECT_EQ(infocert.qualified, Qualified::Yes) << infocert.message;
    EXPECT_EQ(infocert.territory, "IT");
    EXPECT_EQ(infocert.providerName, "InfoCert S.p.A.");
    EXPECT_NE(infocert.message.find("akreditována"), std::string::npos) << infocert.message;
    EXPECT_NE(infocert.message.find("30. června 2016"), std::string::npos);

    const QualifiedVerdict belgium = VerdictOf("belgium-rsa-sha256-token.tst");
    EXPECT_EQ(belgium.qualified, Qualified::No);
    EXPECT_EQ(belgium.territory, "BE");
    EXPECT_NE(belgium.message.find("CA/QC"), std::string::npos) << belgium.message;

    for (const char* german :
         {"exceet-rsa-sha256-token-der.tst", "freetsa-rsa-sha512-reply-2023.tsr",
          "freetsa-rsa-sha256-reply-2018-microsec.tsr"}) {
        const QualifiedVerdict verdict = VerdictOf(german);
        EXPECT_EQ(verdict.qualified, Qualified::Unknown) << german;
        EXPECT_EQ(verdict.territory, "DE") << german;
        EXPECT_NE(verdict.message.find("DE"), std::string::npos);
    }
    for (const char* foreign :
         {"globalsign-adobecds-rsa-sha256-reply-nonce.tsr", "sigstage-ecdsa-sha256-reply.tsr",
          "identrust-rsa-sha512-reply.tsr", "digicert-rsa-sha256-reply-2018.tsr",
          "digicert-rsa-sha512-reply-2023.tsr", "apple-rsa-sha256-reply.tsr",
          "sslcom-ecdsa-sha256-token-authenticode.tst"}) {
        const QualifiedVerdict verdict = VerdictOf(foreign);
        EXPECT_EQ(verdict.qualified, Qualified::No) << foreign;
        EXPECT_EQ(verdict.message, LoadResString(IDS_TL_NOT_LISTED)) << foreign;
    }
}

TEST_F(TlRealVerdicts, TheTimeOfTheStampDecides) {
    // InfoCert's service was never a QTST: after the old rules ended it no longer qualifies.
    const QualifiedVerdict later =
        VerdictOf("infocert-rsa-sha256-token.tst", DayOfTheRealLists(), "2017-01-01T00:00:00Z");
    EXPECT_EQ(later.qualified, Qualified::No);
    EXPECT_NE(later.message.find("TSA/TSS-QC"), std::string::npos) << later.message;
    // Disig's service was granted from 26 October 2017 on.
    const QualifiedVerdict early =
        VerdictOf("disig-rsa-sha256-token.tst", DayOfTheRealLists(), "2017-10-25T23:59:59Z");
    EXPECT_EQ(early.qualified, Qualified::No);
    EXPECT_NE(early.message.find("až po vydání"), std::string::npos) << early.message;
    // A list past its next update still decides, and says so.
    const QualifiedVerdict outdated =
        VerdictOf("disig-rsa-sha256-token.tst", Utc("2024-03-07T01:00:11Z"));
    EXPECT_EQ(outdated.qualified, Qualified::Yes);
    EXPECT_TRUE(outdated.outdated);
    EXPECT_NE(
        outdated.message.find("zastaralý: nový měl být vydán nejpozději 07.03.2024 01:00 UTC"),
        std::string::npos)
        << outdated.message;
}

TEST_F(TlRealVerdicts, AQualifiedSignerIsATrustAnchor) {
    ScopedEnv dir(tl::kTlDirVariable, s_dir->Path().c_str());
    ReloadStoredTrustedLists();
    CTimeStampPart part;
    ASSERT_EQ(part.ProcessStampFile(TokenPath("disig-rsa-sha256-token.tst")), 1);
    uint64_t genTime = 0;
    ASSERT_TRUE(GenTimeToFileTime(part.TstInfo().szGenTime, genTime));
    const std::optional<std::string> anchor =
        QualifiedSignerAnchor(part.SignerCertificate()->Cert(), nullptr, genTime);
    ASSERT_TRUE(anchor.has_value());
    EXPECT_NE(anchor->find("(75) TSA Disig aTSU 1"), std::string::npos) << *anchor;
    EXPECT_FALSE(QualifiedSignerAnchor(part.SignerCertificate()->Cert(), nullptr,
                                       Utc("2017-01-01T00:00:00Z")));
    ScopedEnv none(tl::kTlDirVariable, (s_dir->Path() + "/none").c_str());
    ReloadStoredTrustedLists();
    EXPECT_FALSE(QualifiedSignerAnchor(part.SignerCertificate()->Cert(), nullptr, genTime));
}

// ---- Synthetic services ---------------------------------------------------------------------

TlTestCert Cert(const std::string& commonName, const std::string& country,
                const TlTestCert* issuer = nullptr) {
    TlTestCertSpec spec;
    spec.commonName = commonName;
    spec.country = country;
    spec.issuer = issuer;
    return MakeTlTestCert(spec);
}

TlTestCert CertWithSki(const std::string& commonName, const std::string& country,
                       const tl::Blob& ski) {
    TlTestCertSpec spec;
    spec.commonName = commonName;
    spec.country = country;
    spec.ski = ski;
    return MakeTlTestCert(spec);
}

TlTestCert CertWithKey(const std::string& commonName, const std::string& country,
                       const std::string& keyPem) {
    TlTestCertSpec spec;
    spec.commonName = commonName;
    spec.country = country;
    spec.keyPem = keyPem;
    return MakeTlTestCert(spec);
}

tl::Blob SkiOf(const TlTestCert& cert) {
    X509Ptr parsed = CertOf(cert.der);
    const ASN1_OCTET_STRING* id = X509_get0_subject_key_id(parsed.get());
    return tl::Blob(reinterpret_cast<const char*>(ASN1_STRING_get0_data(id)),
                    static_cast<std::size_t>(ASN1_STRING_length(id)));
}

TlServiceSpec Service(const std::string& name) {
    TlServiceSpec service;
    service.name = name;
    return service;
}

tl::ListIndex IndexOf(const std::string& territory, const std::vector<TlServiceSpec>& services,
                      const std::string& nextUpdate = "2030-01-01T00:00:00Z") {
    TlListSpec spec;
    spec.territory = territory;
    spec.nextUpdate = nextUpdate;
    spec.providers = {{"Poskytovatel " + territory, services}};
    tl::ListDocument document;
    std::string error;
    if (!tl::LoadListDocument(BuildTlXml(spec), territory, document, error))
        throw std::runtime_error(error);
    return tl::BuildIndex(document.list, document.xml, {}, 0);
}

QualifiedVerdict Verdict(const tl::TrustedListSet& lists, const TlTestCert& signer,
                         const char* genTime, const TlTestCert* issuer = nullptr) {
    X509Ptr cert = CertOf(signer.der);
    X509Ptr issuerCert = issuer != nullptr ? CertOf(issuer->der) : X509Ptr(nullptr, X509_free);
    return QualifyStamp(lists, cert.get(), issuerCert.get(), Utc(genTime),
                        Utc("2024-01-01T00:00:00Z"));
}

TEST(TlSyntheticVerdicts, TheSameKeyOrAKeyIdentifierBoundToTheKey) {
    const TlTestCert tsa = Cert("TSA 1", "CZ");
    const TlTestCert renewed = CertWithKey("TSA 1 renewed", "CZ", tsa.keyPem);
    const TlTestCert bySki = Cert("TSA 2", "CZ");
    const tl::Blob ski = SkiOf(bySki);
    TlServiceSpec byCert = Service("Listed by certificate");
    byCert.certificates = {tsa.der};
    TlServiceSpec byKeyId = Service("Listed by key identifier");
    byKeyId.skis = {ski};
    tl::TrustedListSet lists;
    lists.Add(IndexOf("CZ", {byCert, byKeyId}));

    EXPECT_EQ(Verdict(lists, tsa, "2020-01-01T00:00:00Z").qualified, Qualified::Yes);
    EXPECT_EQ(Verdict(lists, renewed, "2020-01-01T00:00:00Z").qualified, Qualified::Yes);
    const QualifiedVerdict viaSki = Verdict(lists, bySki, "2020-01-01T00:00:00Z");
    EXPECT_EQ(viaSki.qualified, Qualified::Yes);
    EXPECT_EQ(viaSki.serviceName, "Listed by key identifier");
    // Another key that merely claims the listed identifier.
    const TlTestCert borrower = CertWithSki("TSA 2", "CZ", ski);
    const QualifiedVerdict borrowed = Verdict(lists, borrower, "2020-01-01T00:00:00Z");
    EXPECT_EQ(borrowed.qualified, Qualified::No);
    EXPECT_EQ(borrowed.serviceName, "");
}

TEST(TlSyntheticVerdicts, StatusHistoriesAndTheRulesBefore2016) {
    const TlTestCert qtst = Cert("QTST", "SK");
    const TlTestCert old = Cert("Old TSS", "SK");
    TlServiceSpec withdrawn = Service("Withdrawn later");
    withdrawn.certificates = {qtst.der};
    withdrawn.status = std::string(kStatus) + "withdrawn";
    withdrawn.start = "2020-01-01T00:00:00Z";
    withdrawn.history = {{kQtst, std::string(kStatus) + "granted", "2017-01-01T00:00:00Z"}};
    TlServiceSpec supervised = Service("Supervised");
    supervised.type = kTssAdes;
    supervised.certificates = {old.der};
    supervised.status = std::string(kStatus) + "undersupervision";
    supervised.start = "2010-01-01T00:00:00Z";
    tl::TrustedListSet lists;
    lists.Add(IndexOf("SK", {withdrawn, supervised}));

    EXPECT_EQ(Verdict(lists, qtst, "2016-12-31T23:59:59Z").qualified, Qualified::No);
    EXPECT_EQ(Verdict(lists, qtst, "2019-06-01T00:00:00Z").qualified, Qualified::Yes);
    const QualifiedVerdict after = Verdict(lists, qtst, "2020-01-01T00:00:00Z");
    EXPECT_EQ(after.qualified, Qualified::No);
    EXPECT_NE(after.message.find("kvalifikovaný status odňat"), std::string::npos) << after.message;
    EXPECT_EQ(Verdict(lists, old, "2016-06-30T23:59:59Z").qualified, Qualified::Yes);
    EXPECT_EQ(Verdict(lists, old, "2016-07-01T00:00:00Z").qualified, Qualified::No);
}

TEST(TlSyntheticVerdicts, TheIssuingCaDecidesByItsServiceType) {
    const TlTestCert qtstCa = Cert("QTST CA", "PL");
    const TlTestCert qcCa = Cert("QC CA", "PL");
    const TlTestCert tsa = Cert("TSA under QTST CA", "PL", &qtstCa);
    const TlTestCert tsaOfQc = Cert("TSA under QC CA", "PL", &qcCa);
    // Same issuer name and key identifier, but another key.
    const TlTestCert impostorCa = CertWithSki("QTST CA", "PL", SkiOf(qtstCa));
    const TlTestCert forged = Cert("TSA under QTST CA", "PL", &impostorCa);
    TlServiceSpec qtst = Service("QTST CA service");
    qtst.certificates = {qtstCa.der};
    TlServiceSpec qc = Service("QC CA service");
    qc.type = kCaQc;
    qc.certificates = {qcCa.der};
    tl::TrustedListSet lists;
    lists.Add(IndexOf("PL", {qtst, qc}));

    const QualifiedVerdict viaCa = Verdict(lists, tsa, "2020-01-01T00:00:00Z");
    EXPECT_EQ(viaCa.qualified, Qualified::Yes);
    EXPECT_EQ(viaCa.serviceName, "QTST CA service");
    const QualifiedVerdict viaQc = Verdict(lists, tsaOfQc, "2020-01-01T00:00:00Z");
    EXPECT_EQ(viaQc.qualified, Qualified::No);
    EXPECT_NE(viaQc.message.find("CA/QC"), std::string::npos) << viaQc.message;
    EXPECT_EQ(Verdict(lists, forged, "2020-01-01T00:00:00Z").qualified, Qualified::No);
}

TEST(TlSyntheticVerdicts, AnIssuerListedOnlyByKeyIdentifierNeedsItsCertificate) {
    const TlTestCert ca = Cert("CA by SKI", "AT");
    const TlTestCert tsa = Cert("TSA", "AT", &ca);
    const TlTestCert stranger = Cert("CA by SKI", "AT");
    TlServiceSpec service = Service("CA listed by SKI");
    service.skis = {SkiOf(ca)};
    tl::TrustedListSet lists;
    lists.Add(IndexOf("AT", {service}));

    EXPECT_EQ(Verdict(lists, tsa, "2020-01-01T00:00:00Z").qualified, Qualified::No);
    EXPECT_EQ(Verdict(lists, tsa, "2020-01-01T00:00:00Z", &ca).qualified, Qualified::Yes);
    // A certificate that did not issue the TSA's does not vouch for it.
    EXPECT_EQ(Verdict(lists, tsa, "2020-01-01T00:00:00Z", &stranger).qualified, Qualified::No);
}

TEST(TlSyntheticVerdicts, UnknownOnlyForEuTerritoriesWithoutTheirList) {
    tl::TrustedListSet lists;
    lists.Add(IndexOf("EL", {}, "2023-06-01T00:00:00Z"));
    const QualifiedVerdict austrian = Verdict(lists, Cert("TSA", "AT"), "2020-01-01T00:00:00Z");
    EXPECT_EQ(austrian.qualified, Qualified::Unknown);
    EXPECT_EQ(austrian.territory, "AT");
    EXPECT_EQ(Verdict(lists, Cert("TSA", "US"), "2020-01-01T00:00:00Z").qualified, Qualified::No);
    EXPECT_EQ(Verdict(lists, Cert("TSA", "NO"), "2020-01-01T00:00:00Z").qualified,
              Qualified::Unknown);
    // Greece's certificates say GR, its list EL; that list is here, outdated.
    const QualifiedVerdict greek = Verdict(lists, Cert("TSA", "GR"), "2020-01-01T00:00:00Z");
    EXPECT_EQ(greek.qualified, Qualified::No);
    EXPECT_TRUE(greek.outdated);
    EXPECT_NE(greek.message.find("EL je zastaralý"), std::string::npos) << greek.message;
    // No country in the subject: the issuer's counts.
    const TlTestCert ca = Cert("CA", "DE");
    const QualifiedVerdict fromIssuer =
        Verdict(lists, Cert("TSA", "", &ca), "2020-01-01T00:00:00Z");
    EXPECT_EQ(fromIssuer.qualified, Qualified::Unknown);
    EXPECT_EQ(fromIssuer.territory, "DE");
}

} // namespace
