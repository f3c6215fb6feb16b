// The trust verdict on tokens of the factory: the chain to an anchor, validity at the
// generation time, key usage, the ESS binding, the TSA name, algorithm strength, the order
// in which they decide, the vouched-signer seam and the stamp part's hold of the result.
#include "TrustTestSupport.h"

#include <openssl/x509.h>

#include <atomic>
#include <thread>

using namespace trusttest;

namespace {

class TrustEvaluatorTest : public TrustTest {};

TEST_F(TrustEvaluatorTest, AChainToAnAnchorIsTrustedAndNamesTheAnchor) {
    const Pki& pki = ThePki();
    const TrustResult before = Evaluate(SpecFor(*pki.tsa));
    EXPECT_EQ(Key(before.verdict), std::string("untrusted"));
    EXPECT_TRUE(before.anchorSubject.empty());
    EXPECT_EQ(before.message, FormatRes(IDS_TRUST_UNTRUSTED));

    Trust(*pki.root);
    const TrustResult after = Evaluate(SpecFor(*pki.tsa));
    EXPECT_EQ(Key(after.verdict), std::string("trusted")) << after.message;
    EXPECT_EQ(after.anchorSubject, AnchorName("Trust Test Root"));
    EXPECT_NE(after.message.find(AnchorName("Trust Test Root")), std::string::npos);
    EXPECT_EQ(after.tac, TacVerification::NoTac);
    EXPECT_TRUE(after.tacNote.empty());
}

TEST_F(TrustEvaluatorTest, IntermediatesComeFromTheTokenOrTheAddressBook) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    TokenSpec spec = SpecFor(*pki.interTsa);
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Untrusted); // the intermediate is nowhere

    spec.extraCertsPem = {pki.inter->CertPem()};
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);

    spec.extraCertsPem.clear();
    InAddressBook(pki.inter->CertPem());
    const TrustResult fromBook = Evaluate(spec);
    EXPECT_EQ(fromBook.verdict, TrustVerdict::Trusted) << fromBook.message;
    EXPECT_EQ(fromBook.anchorSubject, AnchorName("Trust Test Root"));
}

TEST_F(TrustEvaluatorTest, AnAnchorFolderMayHoldAnIntermediateOrTheSignerItself) {
    const Pki& pki = ThePki();
    Trust(*pki.inter);
    EXPECT_EQ(Evaluate(SpecFor(*pki.interTsa)).anchorSubject,
              AnchorName("Trust Test Intermediate"));
    Trust(*pki.tsa);
    EXPECT_EQ(Evaluate(SpecFor(*pki.tsa)).anchorSubject, AnchorName("Trust Test TSA"));
    // A certificate that merely carries the anchor's name is no anchor.
    TestCertSpec impostor = CaSpec("Trust Test Intermediate");
    const auto fake = MakeCert(impostor, nullptr);
    const auto signer = MakeCert(TsaSpec("Impostor TSA"), fake.get());
    TokenSpec spec = SpecFor(*signer);
    spec.extraCertsPem = {fake->CertPem()};
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Untrusted);
}

TEST_F(TrustEvaluatorTest, EveryCertificateIsJudgedAtTheGenerationTimeNotNow) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    TestCertSpec lapsed = TsaSpec("Lapsed TSA");
    lapsed.notBefore = "20150101000000Z";
    lapsed.notAfter = "20200101000000Z";
    const auto oldTsa = MakeCert(lapsed, pki.root.get());

    TokenSpec spec = SpecFor(*oldTsa);
    spec.genTime = "20170601120000Z"; // valid then, expired now
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);
    spec.genTime = "20210601120000Z";
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Expired);
    spec.genTime = "20140601120000Z";
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::NotYetValid);
    EXPECT_EQ(Evaluate(spec).message, FormatRes(IDS_TRUST_NOT_YET_VALID));

    // An intermediate that had expired when the stamp was made fails the chain too.
    TestCertSpec oldCa = CaSpec("Lapsed Intermediate");
    oldCa.notAfter = "20200101000000Z";
    const auto lapsedCa = MakeCert(oldCa, pki.root.get());
    const auto underIt = MakeCert(TsaSpec("TSA under a lapsed CA"), lapsedCa.get());
    TokenSpec chained = SpecFor(*underIt);
    chained.extraCertsPem = {lapsedCa->CertPem()};
    EXPECT_EQ(Evaluate(chained).verdict, TrustVerdict::Expired);
    chained.genTime = "20190101000000Z";
    EXPECT_EQ(Evaluate(chained).verdict, TrustVerdict::Trusted);
}

TEST_F(TrustEvaluatorTest, TheSignerMustBeACriticalTimeStampingOnlyCertificate) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    for (const TestEku eku :
         {TestEku::None, TestEku::TimeStampingNonCritical, TestEku::TimeStampingAndServerAuth}) {
        TestCertSpec spec = TsaSpec("Wrong usage TSA");
        spec.eku = eku;
        const auto signer = MakeCert(spec, pki.root.get());
        const TrustResult result = Evaluate(SpecFor(*signer));
        EXPECT_EQ(Key(result.verdict), std::string("wrong-usage")) << static_cast<int>(eku);
        EXPECT_EQ(result.message, FormatRes(IDS_TRUST_WRONG_USAGE));
    }
}

TEST_F(TrustEvaluatorTest, TheEssAttributeMustNameTheSigner) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    TokenSpec spec = SpecFor(*pki.tsa);
    spec.ess = TokenSpec::Ess::V1;
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);

    spec.ess = TokenSpec::Ess::None;
    EXPECT_EQ(Key(Evaluate(spec).verdict), std::string("signer-mismatch"));

    for (const auto ess : {TokenSpec::Ess::V1, TokenSpec::Ess::V2}) {
        spec.ess = ess;
        spec.essCertPem = pki.interTsa->CertPem(); // another TSA of the same PKI
        EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::SignerMismatch);
    }
}

TEST_F(TrustEvaluatorTest, ATsaNameMustBeTheSignersSubjectOrAlternativeName) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    TokenSpec spec = SpecFor(*pki.tsa);
    spec.tsaName = mivo::test::GeneralNameSpec{};
    spec.tsaName->dirName = pki.tsa->Subject();
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);

    spec.tsaName->dirName = pki.interTsa->Subject();
    const TrustResult foreign = Evaluate(spec);
    EXPECT_EQ(Key(foreign.verdict), std::string("tsa-name-mismatch"));
    EXPECT_EQ(foreign.message, FormatRes(IDS_TRUST_TSA_NAME_MISMATCH));

    TestCertSpec named = TsaSpec("Named TSA");
    named.dnsNames = {"tsa.example.cz"};
    const auto withName = MakeCert(named, pki.root.get());
    TokenSpec byDns = SpecFor(*withName);
    byDns.tsaName = mivo::test::GeneralNameSpec{
        mivo::test::GeneralNameSpec::Kind::Dns, {}, "tsa.example.cz", {}};
    EXPECT_EQ(Evaluate(byDns).verdict, TrustVerdict::Trusted);
    byDns.tsaName->text = "other.example.cz";
    EXPECT_EQ(Evaluate(byDns).verdict, TrustVerdict::TsaNameMismatch);
}

TEST_F(TrustEvaluatorTest, Md5IsNeverStrongEnoughAndSha1OnlyBefore2017) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    const auto rsaTsa = MakeCert(TsaSpec("RSA TSA", TestKey::Rsa2048), pki.root.get());
    TokenSpec spec = SpecFor(*rsaTsa);
    spec.genTime = "20100101000000Z";
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);

    TokenSpec md5Imprint = spec;
    md5Imprint.imprintOid = "1.2.840.113549.2.5";
    md5Imprint.imprint = Bytes(16, 0x5A);
    EXPECT_EQ(Key(Evaluate(md5Imprint).verdict), std::string("weak-algorithm"));

    TokenSpec md5Signature = spec;
    md5Signature.signDigest = "MD5";
    EXPECT_EQ(Evaluate(md5Signature).verdict, TrustVerdict::WeakAlgorithm);

    TokenSpec sha1 = spec;
    sha1.signDigest = "SHA1";
    sha1.imprintOid = "1.3.14.3.2.26";
    sha1.imprint = Bytes(20, 0x5A);
    sha1.genTime = "20161231235959Z";
    EXPECT_EQ(Evaluate(sha1).verdict, TrustVerdict::Trusted);
    sha1.genTime = "20170101000000Z";
    EXPECT_EQ(Evaluate(sha1).verdict, TrustVerdict::WeakAlgorithm);
    sha1.signDigest = "SHA256"; // the imprint alone
    EXPECT_EQ(Evaluate(sha1).verdict, TrustVerdict::WeakAlgorithm);
}

TEST_F(TrustEvaluatorTest, Rsa1024AndSha1CertificatesAreStrongEnoughOnlyBefore2017) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    const auto small = MakeCert(TsaSpec("RSA-1024 TSA", TestKey::Rsa1024), pki.root.get());
    TokenSpec spec = SpecFor(*small);
    spec.genTime = "20160601000000Z";
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);
    spec.genTime = "20180601000000Z";
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::WeakAlgorithm);

    // A certificate of the chain signed with SHA-1.
    TestCertSpec sha1Signed = TsaSpec("SHA-1 signed TSA");
    sha1Signed.signDigest = "SHA1";
    const auto old = MakeCert(sha1Signed, pki.root.get());
    TokenSpec chain = SpecFor(*old);
    chain.genTime = "20160601000000Z";
    EXPECT_EQ(Evaluate(chain).verdict, TrustVerdict::Trusted);
    chain.genTime = "20180601000000Z";
    EXPECT_EQ(Evaluate(chain).verdict, TrustVerdict::WeakAlgorithm);
}

// Where several checks fail, the first of the list decides.
TEST_F(TrustEvaluatorTest, TheFirstFailingCheckOfTheListDecides) {
    const Pki& pki = ThePki();
    TestCertSpec everything = TsaSpec("Bad in every way", TestKey::Rsa1024);
    everything.notAfter = "20200101000000Z";
    everything.eku = TestEku::None;
    const auto bad = MakeCert(everything, pki.root.get());
    TokenSpec spec = SpecFor(*bad);
    spec.ess = TokenSpec::Ess::None;
    spec.signDigest = "MD5";
    spec.tsaName = mivo::test::GeneralNameSpec{};
    spec.tsaName->dirName = pki.tsa->Subject();

    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Untrusted);
    Trust(*pki.root);
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Expired);
    spec.genTime = "20190101000000Z";
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::WrongUsage);

    TestCertSpec rightUsage = everything;
    rightUsage.eku = TestEku::TimeStampingCritical;
    const auto better = MakeCert(rightUsage, pki.root.get());
    spec.signer = better->AsSigner();
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::SignerMismatch);
    spec.ess = TokenSpec::Ess::V2;
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::TsaNameMismatch);
    spec.tsaName.reset();
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::WeakAlgorithm);
}

TEST_F(TrustEvaluatorTest, AVouchedSignerIsAnchoredButEveryOtherCheckStillRuns) {
    const Pki& pki = ThePki();
    int calls = 0;
    bool issuerWasRoot = false;
    std::time_t seenTime = 0;
    TrustOptions options;
    options.vouchedSigner = [&](X509* signer, X509* issuer,
                                std::time_t genTime) -> std::optional<std::string> {
        ++calls;
        issuerWasRoot = issuer != nullptr && X509_cmp(issuer, pki.root->Cert()) == 0;
        seenTime = genTime;
        if (X509_NAME_cmp(X509_get_subject_name(signer), X509_get_subject_name(pki.tsa->Cert())) ==
            0)
            return std::string("Seznam důvěryhodných služeb (CZ)");
        return std::nullopt;
    };
    TokenSpec spec = SpecFor(*pki.tsa);
    spec.extraCertsPem = {pki.root->CertPem()};
    const TrustResult vouched = Evaluate(spec, options);
    EXPECT_EQ(vouched.verdict, TrustVerdict::Trusted) << vouched.message;
    EXPECT_EQ(vouched.anchorSubject, "Seznam důvěryhodných služeb (CZ)");
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(issuerWasRoot);
    EXPECT_EQ(seenTime, kGenTimeUnix);

    EXPECT_EQ(Evaluate(SpecFor(*pki.interTsa), options).verdict, TrustVerdict::Untrusted);

    spec.ess = TokenSpec::Ess::None;
    EXPECT_EQ(Evaluate(spec, options).verdict, TrustVerdict::SignerMismatch);
    spec.ess = TokenSpec::Ess::V2;
    spec.genTime = "20010101000000Z"; // before the signer's validity
    EXPECT_EQ(Evaluate(spec, options).verdict, TrustVerdict::NotYetValid);

    // Our own anchors come first: the voucher is not asked about a signer they anchor.
    Trust(*pki.root);
    calls = 0;
    spec.genTime = kGenTime;
    EXPECT_EQ(Evaluate(spec, options).anchorSubject, AnchorName("Trust Test Root"));
    EXPECT_EQ(calls, 0);
}

TEST_F(TrustEvaluatorTest, TheAnchorStoreIsBuiltOnceAndSharedByThreads) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    const auto first = trust::GetTrustAnchors();
    EXPECT_EQ(trust::GetTrustAnchors(), first);
    EXPECT_EQ(first->FolderAnchorCount(), 1U);

    const Bytes token = TokenFactory::Token(SpecFor(*pki.interTsa));
    InAddressBook(pki.inter->CertPem());
    std::atomic<int> trusted{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&token, &trusted] {
            for (int i = 0; i < 10; ++i) {
                CTimeStampPart part;
                if (part.ProcessStampBytes(token) == 1 && part.EvaluateSignerTrust({}) &&
                    part.SignerTrust()->IsTrusted())
                    ++trusted;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(trusted.load(), 40);
    EXPECT_EQ(trust::GetTrustAnchors(), first); // no evaluation built another store

    trust::RebuildTrustAnchors();
    EXPECT_NE(trust::GetTrustAnchors(), first);
    ScopedEnv elsewhere(kTrustDirVariable, m_dir.File("other").c_str());
    EXPECT_EQ(trust::GetTrustAnchors()->Sources().folders,
              std::vector<std::string>{m_dir.File("other")});
}

TEST_F(TrustEvaluatorTest, ThePartKeepsTheVerdictUntilItsNextOperation) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    CTimeStampPart part;
    EXPECT_FALSE(part.EvaluateSignerTrust({}));
    EXPECT_FALSE(part.SignerTrust());

    TokenSpec good = SpecFor(*pki.tsa);
    ASSERT_EQ(part.ProcessStampBytes(TokenFactory::Token(good)), 1);
    ASSERT_TRUE(part.EvaluateSignerTrust({}));
    ASSERT_TRUE(part.SignerTrust());
    EXPECT_EQ(part.SignerTrust()->verdict, TrustVerdict::Trusted);
    EXPECT_TRUE(part.ErrorText().empty()); // the stamp's own outcome is untouched

    TokenSpec tampered = good;
    tampered.tamperSignature = true;
    EXPECT_EQ(part.ProcessStampBytes(TokenFactory::Token(tampered)), 0);
    EXPECT_FALSE(part.SignerTrust());
    EXPECT_FALSE(part.EvaluateSignerTrust({})); // no checked stamp: nothing to judge

    ASSERT_EQ(part.ProcessStampBytes(TokenFactory::Token(good)), 1);
    EXPECT_FALSE(part.SignerTrust()); // evaluated on request only
    part.Reset();
    EXPECT_FALSE(part.EvaluateSignerTrust({}));
}

} // namespace
