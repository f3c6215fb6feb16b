// Updating the stored lists against a local server with synthetic lists signed by test
// keys: the pins and the pivot, lists that moved, lists refused, a server that stalls, a
// connection cut in the middle, an update stopped half-way, and the same from a folder.
#include "core/TrustedListUpdate.h"
#include "core/TrustedListCache.h"
#include "tools/TestFileServer.h"
#include "tools/TlTestSigner.h"

#include "TlTestSupport.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>

using namespace tl_test;
using mivo::test::BuildTlXml;
using mivo::test::FileReply;
using mivo::test::MakeTlSigningKey;
using mivo::test::SignTlXml;
using mivo::test::TestFileServer;
using mivo::test::TlListSpec;
using mivo::test::TlPointerSpec;
using mivo::test::TlSigningKey;
using State = tl::TerritoryResult::State;

namespace {

class TlUpdate : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_pin = new TlSigningKey(MakeTlSigningKey("Pinned LOTL signer"));
        s_next = new TlSigningKey(MakeTlSigningKey("Next LOTL signer", true));
        s_cz = new TlSigningKey(MakeTlSigningKey("CZ scheme operator", true));
        s_sk = new TlSigningKey(MakeTlSigningKey("SK scheme operator", true));
    }
    static void TearDownTestSuite() {
        for (TlSigningKey* key : {s_pin, s_next, s_cz, s_sk})
            delete key;
    }

    // A LOTL pointing to the given paths of the server, for the territories CZ and SK.
    std::string Lotl(uint64_t sequence, const TlSigningKey& signer,
                     const std::map<std::string, std::string>& paths,
                     const std::vector<std::string>& pivots = {},
                     const std::vector<std::string>& nextSigners = {}) const {
        TlListSpec spec;
        spec.tslType = mivo::test::kTlTestLotlType;
        spec.territory = "EU";
        spec.sequence = sequence;
        spec.schemeUris = pivots;
        spec.schemeUris.push_back("https://eur-lex.europa.eu/legal-content/EN/TXT/?uri=test");
        spec.pointers.push_back(
            mivo::test::TlPointer("EU", m_server.Url("/lotl.xml"), nextSigners));
        spec.pointers.back().tslType = mivo::test::kTlTestLotlType;
        for (const auto& [territory, path] : paths)
            spec.pointers.push_back(mivo::test::TlPointer(
                territory, m_server.Url(path), {(territory == "CZ" ? *s_cz : *s_sk).certDer}));
        return SignTlXml(BuildTlXml(spec), signer);
    }
    static std::string National(const std::string& territory, uint64_t sequence,
                                const TlSigningKey* signer = nullptr) {
        TlListSpec spec;
        spec.territory = territory;
        spec.sequence = sequence;
        spec.providers = {
            {"Provider " + territory, {mivo::test::TlService("TSA of " + territory)}}};
        return SignTlXml(BuildTlXml(spec), signer != nullptr   ? *signer
                                           : territory == "CZ" ? *s_cz
                                                               : *s_sk);
    }
    // The usual server: LOTL 10 by the pinned key, CZ 5 and SK 3.
    void ServeFirst() {
        m_server.Serve("/lotl.xml", Lotl(10, *s_pin, {{"CZ", "/cz.xml"}, {"SK", "/sk.xml"}}));
        m_firstCz = National("CZ", 5);
        m_server.Serve("/cz.xml", m_firstCz);
        m_server.Serve("/sk.xml", National("SK", 3));
    }
    tl::UpdateSummary Update(std::vector<std::string> only = {},
                             std::function<bool(const tl::UpdateProgress&)> progress = {}) {
        CConnectionParams settings;
        settings.m_nProxyType = ACCESS_TYPE_DIRECT;
        settings.m_nTimeoutSec = 1;
        tl::HttpListSource source(settings, m_server.Url("/lotl.xml"));
        return tl::UpdateTrustedLists(source, Options(std::move(only), std::move(progress)));
    }
    tl::UpdateOptions Options(std::vector<std::string> only = {},
                              std::function<bool(const tl::UpdateProgress&)> progress = {}) const {
        tl::UpdateOptions options;
        options.only = std::move(only);
        options.pins = {s_pin->certDer};
        options.cacheDir = m_cache.Path();
        options.progress = std::move(progress);
        return options;
    }
    static const tl::TerritoryResult& Result(const tl::UpdateSummary& summary,
                                             const std::string& territory) {
        for (const tl::TerritoryResult& result : summary.lists)
            if (result.territory == territory)
                return result;
        throw std::runtime_error("no result for " + territory);
    }
    std::string Stored(const std::string& territory) const {
        return TempDir::Read(m_cache.Path() + "/" + territory + ".xml");
    }

    static TlSigningKey* s_pin;
    static TlSigningKey* s_next;
    static TlSigningKey* s_cz;
    static TlSigningKey* s_sk;
    ScopedClock m_clock{Utc("2023-11-01T00:00:00Z")};
    TempDir m_cache;
    TestFileServer m_server;
    std::string m_firstCz;
};
TlSigningKey* TlUpdate::s_pin = nullptr;
TlSigningKey* TlUpdate::s_next = nullptr;
TlSigningKey* TlUpdate::s_cz = nullptr;
TlSigningKey* TlUpdate::s_sk = nullptr;

TEST_F(TlUpdate, DownloadsVerifiesAndStoresEveryList) {
    ServeFirst();
    std::vector<std::string> events;
    const tl::UpdateSummary first = Update({}, [&events](const tl::UpdateProgress& progress) {
        events.push_back(progress.territory + (progress.result != nullptr ? "." : ">") +
                         std::to_string(progress.number) + "/" + std::to_string(progress.total));
        return true;
    });
    EXPECT_TRUE(first.Ok()) << first.lotl.message;
    EXPECT_EQ(first.lotl.state, State::Updated);
    EXPECT_EQ(first.lotl.sequence, 10u);
    EXPECT_EQ(Result(first, "CZ").state, State::Updated);
    EXPECT_EQ(Result(first, "CZ").sequence, 5u);
    EXPECT_EQ(Result(first, "SK").sequence, 3u);
    EXPECT_EQ(events, (std::vector<std::string>{"EU>0/0", "EU.0/0", "CZ>1/2", "CZ.1/2", "SK>2/2",
                                                "SK.2/2"}));
    EXPECT_EQ(tl::ListCache(m_cache.Path()).Territories(),
              (std::vector<std::string>{"CZ", "EU", "SK"}));
    EXPECT_EQ(Stored("CZ"), m_firstCz); // as received
    tl::ListIndex index;
    std::string error;
    ASSERT_TRUE(tl::ListCache(m_cache.Path()).Load("CZ", index, error));
    EXPECT_EQ(index.xmlSha256, tl::Sha256(Stored("CZ")));
    EXPECT_EQ(index.signerName, "CZ scheme operator");
    EXPECT_EQ(index.verifiedAt, Utc("2023-11-01T00:00:00Z"));

    const tl::UpdateSummary second = Update();
    EXPECT_TRUE(second.Ok());
    EXPECT_EQ(second.lotl.state, State::Unchanged);
    EXPECT_EQ(Result(second, "CZ").state, State::Unchanged);
}

TEST_F(TlUpdate, ALotlSignedByANewKeyIsReachedThroughItsPivot) {
    m_server.Serve("/pivot-11.xml", Lotl(11, *s_pin, {{"CZ", "/cz.xml"}}, {}, {s_next->certDer}));
    m_server.Serve("/lotl.xml",
                   Lotl(12, *s_next, {{"CZ", "/cz.xml"}}, {m_server.Url("/pivot-11.xml")}));
    m_server.Serve("/cz.xml", National("CZ", 5));
    const tl::UpdateSummary summary = Update();
    EXPECT_TRUE(summary.Ok()) << summary.lotl.message;
    EXPECT_EQ(summary.lotl.sequence, 12u);
    const std::vector<std::string> requests = m_server.Requests();
    EXPECT_NE(std::find(requests.begin(), requests.end(), "/pivot-11.xml"), requests.end());

    // Without the pivot the new key is nobody's.
    m_server.Remove("/pivot-11.xml");
    m_server.Serve("/lotl.xml",
                   Lotl(13, *s_next, {{"CZ", "/cz.xml"}}, {m_server.Url("/pivot-11.xml")}));
    const tl::UpdateSummary refused = Update();
    EXPECT_EQ(refused.lotl.state, State::Refused);
    EXPECT_NE(refused.lotl.message.find("Seznam seznamů EU z http://127.0.0.1:"), std::string::npos)
        << refused.lotl.message;
    EXPECT_NE(refused.lotl.message.find("byl odmítnut"), std::string::npos);
    EXPECT_TRUE(refused.lists.empty());
    tl::ListIndex index;
    std::string error;
    ASSERT_TRUE(tl::ListCache(m_cache.Path()).Load("EU", index, error));
    EXPECT_EQ(index.sequence, 12u);
}

TEST_F(TlUpdate, AListThatMovedIsFollowed) {
    ServeFirst();
    ASSERT_TRUE(Update().Ok());
    // CZ under a new address in the LOTL, SK redirected by the server.
    m_server.Serve("/lotl.xml", Lotl(11, *s_pin, {{"CZ", "/moved/cz.xml"}, {"SK", "/sk.xml"}}));
    m_server.Serve("/moved/cz.xml", National("CZ", 6));
    m_server.Redirect("/sk.xml", "/sk-v2.xml");
    const std::string moved = National("SK", 4);
    m_server.Serve("/sk-v2.xml", moved);
    const tl::UpdateSummary summary = Update();
    EXPECT_TRUE(summary.Ok()) << Result(summary, "SK").message;
    EXPECT_EQ(Result(summary, "CZ").sequence, 6u);
    EXPECT_EQ(Result(summary, "SK").state, State::Updated);
    EXPECT_EQ(Result(summary, "SK").sequence, 4u);
    EXPECT_EQ(Stored("SK"), moved);
}

TEST_F(TlUpdate, RefusedListsLeaveTheStoredOnesAsTheyWere) {
    ServeFirst();
    ASSERT_TRUE(Update().Ok());
    const std::string cz = Stored("CZ");
    const std::string sk = Stored("SK");
    std::string tampered = National("CZ", 6);
    tampered.replace(tampered.find("TSA of CZ"), 9, "TSA of XX");
    m_server.Serve("/cz.xml", tampered);
    m_server.Serve("/sk.xml", National("CZ", 7, s_sk)); // the right key, the wrong territory
    const tl::UpdateSummary summary = Update();
    EXPECT_FALSE(summary.Ok());
    EXPECT_EQ(Result(summary, "CZ").state, State::Refused);
    EXPECT_NE(Result(summary, "CZ").message.find("Důvěryhodný seznam státu CZ z http://"),
              std::string::npos);
    EXPECT_NE(Result(summary, "CZ").message.find("podpis nelze ověřit"), std::string::npos)
        << Result(summary, "CZ").message;
    EXPECT_EQ(Result(summary, "SK").state, State::Refused);
    EXPECT_NE(Result(summary, "SK").message.find("je to seznam území CZ"), std::string::npos)
        << Result(summary, "SK").message;
    EXPECT_EQ(Stored("CZ"), cz);
    EXPECT_EQ(Stored("SK"), sk);

    // An older list, even well signed, does not replace a newer one; nor does an unreadable.
    m_server.Serve("/cz.xml", National("CZ", 4));
    m_server.Serve("/sk.xml", "<TrustServiceStatusList");
    const tl::UpdateSummary older = Update();
    EXPECT_NE(Result(older, "CZ").message.find("uložený seznam je novější (číslo 5)"),
              std::string::npos)
        << Result(older, "CZ").message;
    EXPECT_NE(Result(older, "SK").message.find("není čitelný"), std::string::npos);
    EXPECT_EQ(Stored("CZ"), cz);
    EXPECT_EQ(Stored("SK"), sk);
}

TEST_F(TlUpdate, AStalledServerAndACutConnectionLeaveThePreviousCopy) {
    ServeFirst();
    ASSERT_TRUE(Update().Ok());
    const std::string cz = Stored("CZ");
    const std::string sk = Stored("SK");
    FileReply stall;
    stall.fault = FileReply::Fault::Stall;
    m_server.Serve("/cz.xml", stall);
    FileReply cut;
    cut.body = National("SK", 4);
    cut.fault = FileReply::Fault::CutInBody;
    cut.cutAt = cut.body.size() / 2;
    m_server.Serve("/sk.xml", cut);
    const auto start = std::chrono::steady_clock::now();
    const tl::UpdateSummary summary = Update();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(Result(summary, "CZ").state, State::Unavailable);
    EXPECT_NE(Result(summary, "CZ").message.find("se nepodařilo stáhnout"), std::string::npos);
    EXPECT_EQ(Result(summary, "SK").state, State::Unavailable) << Result(summary, "SK").message;
    EXPECT_FALSE(summary.Ok());
    EXPECT_EQ(Stored("CZ"), cz);
    EXPECT_EQ(Stored("SK"), sk);
}

TEST_F(TlUpdate, StoppingTheUpdateKeepsWhatIsNotDone) {
    ServeFirst();
    const tl::UpdateSummary summary = Update({}, [](const tl::UpdateProgress& progress) {
        return !(progress.territory == "SK" && progress.result == nullptr);
    });
    EXPECT_TRUE(summary.cancelled);
    EXPECT_FALSE(summary.Ok());
    EXPECT_EQ(Result(summary, "CZ").state, State::Updated);
    EXPECT_EQ(Result(summary, "SK").state, State::Cancelled);
    EXPECT_EQ(tl::ListCache(m_cache.Path()).Territories(), (std::vector<std::string>{"CZ", "EU"}));
}

TEST_F(TlUpdate, OnlyTheTerritoriesAskedForAndNoLongerListedOnesRemoved) {
    ServeFirst();
    const tl::UpdateSummary onlySk = Update({"sk", "PL"});
    EXPECT_EQ(onlySk.lists.size(), 2u);
    EXPECT_EQ(Result(onlySk, "SK").state, State::Updated);
    EXPECT_EQ(Result(onlySk, "PL").state, State::Unavailable);
    EXPECT_NE(Result(onlySk, "PL").message.find("neuvádí důvěryhodný seznam státu PL"),
              std::string::npos);
    EXPECT_EQ(tl::ListCache(m_cache.Path()).Territories(), (std::vector<std::string>{"EU", "SK"}));
    ASSERT_TRUE(Update().Ok());

    m_server.Serve("/lotl.xml", Lotl(11, *s_pin, {{"CZ", "/cz.xml"}}));
    EXPECT_TRUE(Update({"CZ"}).removed.empty()); // a partial update removes nothing
    const tl::UpdateSummary full = Update();
    EXPECT_EQ(full.removed, (std::vector<std::string>{"SK"}));
    EXPECT_EQ(tl::ListCache(m_cache.Path()).Territories(), (std::vector<std::string>{"CZ", "EU"}));
    EXPECT_FALSE(std::filesystem::exists(m_cache.Path() + "/SK.xml"));
}

TEST_F(TlUpdate, ImportFindsTheListsByContentInAnyFileNames) {
    TempDir folder;
    std::filesystem::create_directories(folder.Path() + "/a/b");
    folder.Write("x1.bin", Lotl(12, *s_next, {{"CZ", "/cz.xml"}, {"SK", "/sk.xml"}}));
    folder.Write("a/pivot", Lotl(11, *s_pin, {{"CZ", "/cz.xml"}}, {}, {s_next->certDer}));
    folder.Write("a/b/cz", National("CZ", 5));
    folder.Write("a/b/cz-old", National("CZ", 2));
    folder.Write("notes.xml", "<notes>not a list</notes>");
    tl::FolderListSource source(folder.Path());
    EXPECT_EQ(source.ListCount(), 4u);
    const tl::UpdateSummary summary = tl::UpdateTrustedLists(source, Options());
    EXPECT_TRUE(summary.Ok()) << summary.lotl.message;
    EXPECT_EQ(summary.lotl.sequence, 12u);
    EXPECT_EQ(Result(summary, "CZ").sequence, 5u);
    EXPECT_EQ(Result(summary, "SK").state, State::Missing);
    EXPECT_NE(Result(summary, "SK").message.find("ve složce"), std::string::npos);
    EXPECT_EQ(m_server.Requests().size(), 0u); // nothing was fetched from the addresses

    TempDir empty;
    tl::FolderListSource nothing(empty.Path());
    const tl::UpdateSummary none = tl::UpdateTrustedLists(nothing, Options());
    EXPECT_EQ(none.lotl.state, State::Unavailable);
    EXPECT_FALSE(none.Ok());
}

} // namespace
