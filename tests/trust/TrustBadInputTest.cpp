// Hostile certificates and anchor folders: each gives a verdict with its message, never a
// crash or a hang, and never "trusted".
#include "TrustTestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace trusttest;

namespace {

class TrustBadInputTest : public TrustTest {
protected:
    void ExpectNotTrusted(const TrustResult& result) {
        EXPECT_NE(result.verdict, TrustVerdict::Trusted);
        EXPECT_FALSE(result.message.empty());
        EXPECT_TRUE(result.anchorSubject.empty());
    }
};

TEST_F(TrustBadInputTest, AbsurdValidityDates) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    const std::pair<const char*, const char*> periods[] = {
        {"99991231235959Z", "99991231235959Z"}, // from the end of time
        {"20300101000000Z", "20100101000000Z"}, // ends before it begins
        {"20251399000000Z", "20401231235959Z"}, // the 13th month
        {"20200101000000Z", "2040"},            // no time at all
        {"19500101000000Z", "19500101000001Z"}, // one second, long ago
    };
    int judged = 0;
    for (const auto& [from, to] : periods) {
        TestCertSpec spec = TsaSpec("Absurd TSA");
        spec.notBefore = from;
        spec.notAfter = to;
        const auto signer = MakeCert(spec, pki.root.get());
        CTimeStampPart part;
        if (part.ProcessStampBytes(TokenFactory::Token(SpecFor(*signer))) != 1)
            continue; // refused by the stamp checks already: nothing to judge
        ASSERT_TRUE(part.EvaluateSignerTrust({}));
        ExpectNotTrusted(*part.SignerTrust());
        ++judged;
    }
    EXPECT_GE(judged, 3); // the signature check does not look at dates
}

TEST_F(TrustBadInputTest, ALoopInTheChain) {
    // A is a root; B is issued by A; A' (A's name and key) is issued by B: A' and B sign each
    // other. The signer hangs below A'.
    const auto a = MakeCert(CaSpec("Loop A"), nullptr);
    const auto b = MakeCert(CaSpec("Loop B"), a.get());
    TestCertSpec again = CaSpec("Loop A");
    again.keyOf = a.get();
    const auto aByB = MakeCert(again, b.get());
    const auto signer = MakeCert(TsaSpec("Loop TSA"), aByB.get());
    TokenSpec spec = SpecFor(*signer);
    spec.extraCertsPem = {aByB->CertPem(), b->CertPem()};
    ExpectNotTrusted(Evaluate(spec));
    InAddressBook(aByB->CertPem());
    InAddressBook(b->CertPem());
    ExpectNotTrusted(Evaluate(spec));
}

TEST_F(TrustBadInputTest, AHundredIntermediates) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    std::vector<std::shared_ptr<TestCert>> chain{pki.root};
    for (int i = 0; i < 100; ++i)
        chain.push_back(MakeCert(CaSpec("Intermediate " + std::to_string(i)), chain.back().get()));
    const auto signer = MakeCert(TsaSpec("Deep TSA"), chain.back().get());
    TokenSpec spec = SpecFor(*signer);
    for (std::size_t i = 1; i < chain.size(); ++i)
        spec.extraCertsPem.push_back(chain[i]->CertPem());
    const TrustResult result = Evaluate(spec);
    ExpectNotTrusted(result);
    EXPECT_EQ(result.verdict, TrustVerdict::Untrusted);
}

TEST_F(TrustBadInputTest, GarbageInTheAnchorFolderAddsNoAnchor) {
    const Pki& pki = ThePki();
    WriteInto(TrustDir(), "empty.pem", "");
    WriteInto(TrustDir(), "random.der", std::string("\x30\x82\xff\xff garbage", 12));
    WriteInto(TrustDir(), "cut.pem", pki.root->CertPem().substr(0, 300));
    WriteInto(TrustDir(), "notes.txt", "-----BEGIN CERTIFICATE-----\nnot base64\n");
    WriteInto(TrustDir(), "huge.pem", std::string(2 * 1024 * 1024, 'A'));
    std::filesystem::create_directories(TrustDir() + "/subfolder");
    WriteInto(TrustDir() + "/subfolder", "root.pem", pki.root->CertPem()); // not read
    trust::RebuildTrustAnchors();
    ExpectNotTrusted(Evaluate(SpecFor(*pki.tsa)));
    EXPECT_EQ(trust::GetTrustAnchors()->FolderAnchorCount(), 0U);

    // The certificates among the garbage still count.
    const Bytes der = pki.root->CertDer();
    WriteInto(TrustDir(), "zz-root.der", std::string(der.begin(), der.end()));
    trust::RebuildTrustAnchors();
    EXPECT_EQ(Evaluate(SpecFor(*pki.tsa)).verdict, TrustVerdict::Trusted);
}

TEST_F(TrustBadInputTest, AnUnreadableAnchorFolderAddsNoAnchor) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    // A folder that refers to itself cannot be opened by anyone, root included.
    const std::string loop = m_dir.File("loop");
    ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
    ScopedEnv looping(kTrustDirVariable, loop.c_str());
    ExpectNotTrusted(Evaluate(SpecFor(*pki.tsa)));

    // A folder without read permission (not for root, who may read anything).
    if (geteuid() != 0) {
        ScopedEnv closed(kTrustDirVariable, TrustDir().c_str());
        ASSERT_EQ(chmod(TrustDir().c_str(), 0), 0);
        trust::RebuildTrustAnchors();
        const TrustResult result = Evaluate(SpecFor(*pki.tsa));
        chmod(TrustDir().c_str(), 0700);
        ExpectNotTrusted(result);
    }
}

} // namespace
