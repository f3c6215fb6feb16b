// Chains kept from one stamp for the next: given again only where building the chain anew
// would take the same steps, dropped with the anchors and the address book they came from,
// and never in place of the revocation data of the stamp at hand.
#include "TrustTestSupport.h"

#include "core/TrustChainCache.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace trusttest;
using mivo::test::MakeCrl;

namespace {

class TrustChainCacheTest : public TrustTest {
protected:
    TrustChainCacheTest() { trust::ProcessChainCache().Clear(); }

    static std::size_t Kept() { return trust::ProcessChainCache().Size(); }

    // The address book's folder dated `secondsAgo` back: a folder that changed moments ago
    // is read again at every look-up, which would hide every kept chain.
    void SettleAddressBook(int secondsAgo) const {
        std::filesystem::last_write_time(AddressBook(),
                                         std::filesystem::file_time_type::clock::now() -
                                             std::chrono::seconds(secondsAgo));
    }
};

TEST_F(TrustChainCacheTest, AKeptChainServesOnlyTimesAtWhichItsCertificatesAreValidAlike) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    TestCertSpec lapsed = TsaSpec("Kept lapsed TSA");
    lapsed.notBefore = "20150101000000Z";
    lapsed.notAfter = "20200101000000Z";
    const auto tsa = MakeCert(lapsed, pki.root.get());
    TokenSpec spec = SpecFor(*tsa);
    spec.genTime = "20170601120000Z";
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);
    ASSERT_EQ(Kept(), 1u);
    spec.genTime = "20190601120000Z"; // built once for both
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);
    EXPECT_EQ(Kept(), 1u);

    spec.genTime = "20200101000000Z"; // the signer's notAfter
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Expired);
    spec.genTime = "20210601120000Z";
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Expired);
    spec.genTime = "20140601120000Z";
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::NotYetValid);
    spec.genTime = "20150101000000Z"; // its notBefore
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);
    spec.genTime = "20180101000000Z"; // the kept chains (expired ones too) sort the times out
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);
    spec.genTime = "20220101000000Z";
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Expired);
}

// The intermediate issued again under its name and key, valid from 2018 and signed with SHA-1:
// from then on the builder prefers it (it comes first), so the chain kept from 2016, whose own
// certificates stay valid long after, must not serve a stamp of 2019.
TEST_F(TrustChainCacheTest, ACertificateOutsideTheChainThatBecomesValidMayChangeIt) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    const auto inter = MakeCert(CaSpec("Reissued Intermediate"), pki.root.get());
    TestCertSpec again = CaSpec("Reissued Intermediate");
    again.keyOf = inter.get();
    again.notBefore = "20180101000000Z";
    again.signDigest = "SHA1";
    const auto reissued = MakeCert(again, pki.root.get());
    const auto tsa = MakeCert(TsaSpec("TSA under a reissued CA"), inter.get());
    InAddressBook(inter->CertPem());
    SettleAddressBook(60);

    TokenSpec spec = SpecFor(*tsa);
    spec.extraCertsPem = {reissued->CertPem()};
    spec.genTime = "20160601120000Z";
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);
    spec.genTime = "20170601120000Z";
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);
    ASSERT_EQ(Kept(), 1u); // the address book stayed the same: the chain was reused
    spec.genTime = "20190601120000Z";
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::WeakAlgorithm);
}

TEST_F(TrustChainCacheTest, NewAnchorsOrANewAddressBookDropKeptChains) {
    const Pki& pki = ThePki();
    Trust(*pki.root, "root.pem");
    EXPECT_EQ(Evaluate(SpecFor(*pki.tsa)).verdict, TrustVerdict::Trusted);
    ASSERT_EQ(Kept(), 1u);
    std::filesystem::remove(TrustDir() + "/root.pem");
    trust::RebuildTrustAnchors();
    EXPECT_EQ(Evaluate(SpecFor(*pki.tsa)).verdict, TrustVerdict::Untrusted);

    Trust(*pki.root, "root.pem");
    InAddressBook(pki.inter->CertPem());
    SettleAddressBook(60);
    EXPECT_EQ(Evaluate(SpecFor(*pki.interTsa)).verdict, TrustVerdict::Trusted);
    EXPECT_EQ(Evaluate(SpecFor(*pki.interTsa)).verdict, TrustVerdict::Trusted);
    ASSERT_EQ(Kept(), 1u);
    for (const auto& file : std::filesystem::directory_iterator(AddressBook()))
        std::filesystem::remove(file.path());
    SettleAddressBook(30);
    EXPECT_EQ(Evaluate(SpecFor(*pki.interTsa)).verdict, TrustVerdict::Untrusted);
}

TEST_F(TrustChainCacheTest, RevocationIsJudgedForEveryStampOfAKeptChain) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    const auto tsa = MakeCert(TsaSpec("TSA revoked later"), pki.root.get());
    TokenSpec spec = SpecFor(*tsa);
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);
    ASSERT_EQ(Kept(), 1u);

    spec.crls = {MakeCrl(*pki.root, {{tsa.get(), "20240101000000Z", -1}})};
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Revoked);
    EXPECT_EQ(Kept(), 1u); // the same chain, its revocation judged anew

    spec.crls.clear();
    TrustOptions online;
    online.checkRevocation = true;
    online.fetch = [](const std::string&, const std::string&, std::span<const unsigned char>,
                      Bytes&) {
        return false;
    };
    EXPECT_EQ(Evaluate(spec, online).verdict, TrustVerdict::RevocationUnknown);
    EXPECT_EQ(Evaluate(spec).verdict, TrustVerdict::Trusted);
}

// Several threads judge stamps of a few chains while the kept chains are dropped again and
// again: every verdict stays what it is, and no chain in use is freed under it.
TEST_F(TrustChainCacheTest, StampsJudgedOnSeveralThreadsWhileChainsAreDropped) {
    const Pki& pki = ThePki();
    Trust(*pki.root);
    TokenSpec viaInter = SpecFor(*pki.interTsa);
    viaInter.extraCertsPem = {pki.inter->CertPem()};
    TestCertSpec lapsed = TsaSpec("Threaded lapsed TSA");
    lapsed.notAfter = "20200101000000Z";
    const auto lapsedTsa = MakeCert(lapsed, pki.root.get());
    const std::vector<std::pair<Bytes, TrustVerdict>> cases = {
        {TokenFactory::Token(SpecFor(*pki.tsa)), TrustVerdict::Trusted},
        {TokenFactory::Token(viaInter), TrustVerdict::Trusted},
        {TokenFactory::Token(SpecFor(*lapsedTsa)), TrustVerdict::Expired},
        {TokenFactory::Token(SpecFor(*pki.stranger)), TrustVerdict::Untrusted}};

    std::atomic<int> right{0};
    std::atomic<bool> done{false};
    std::thread dropper([&done] {
        while (!done)
            trust::ProcessChainCache().Clear();
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&cases, &right] {
            for (int i = 0; i < 12; ++i) {
                const auto& [token, verdict] = cases[static_cast<std::size_t>(i) % cases.size()];
                CTimeStampPart part;
                if (part.ProcessStampBytes(token) == 1 && part.EvaluateSignerTrust({}) &&
                    part.SignerTrust()->verdict == verdict)
                    ++right;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    done = true;
    dropper.join();
    EXPECT_EQ(right.load(), 48);
}

TEST_F(TrustChainCacheTest, TheCacheIsBoundedAndAnswersOnlyForItsSources) {
    trust::ChainCache cache;
    const trust::ChainSources sources{trust::GetTrustAnchors(), trust::AddressBookCertificates()};
    const trust::ValidityWindow window{100, 50, 200};
    trust::ChainKey key{};
    for (std::size_t i = 0; i < trust::ChainCache::kMaxChains; ++i) {
        key[0] = static_cast<unsigned char>(i);
        key[1] = static_cast<unsigned char>(i >> 8);
        cache.Keep(sources, key, window, {});
    }
    EXPECT_EQ(cache.Size(), trust::ChainCache::kMaxChains);
    EXPECT_TRUE(cache.Find(sources, key, 199));
    EXPECT_FALSE(cache.Find(sources, key, 200));
    key[2] = 1;
    cache.Keep(sources, key, window, {});
    EXPECT_EQ(cache.Size(), 1u);

    trust::RebuildTrustAnchors();
    const trust::ChainSources rebuilt{trust::GetTrustAnchors(), sources.addressBook};
    EXPECT_FALSE(cache.Find(rebuilt, key, 100));
    cache.Keep(rebuilt, key, window, {});
    EXPECT_FALSE(cache.Find(sources, key, 100));
    EXPECT_TRUE(cache.Find(rebuilt, key, 100));
}

} // namespace
