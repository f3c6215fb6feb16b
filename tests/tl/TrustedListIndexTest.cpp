// The index of a list and the folder that keeps the lists: a real list read back as it was
// written, every damage to the bytes refused, and the folder's replace-as-a-whole writes.
#include "core/TrustedListIndex.h"
#include "core/TrustedListCache.h"
#include "core/TrustedListChain.h"
#include "core/TrustedListSet.h"

#include "TlTestSupport.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace tl_test;

namespace {

tl::ListIndex RealIndex(const std::string& name) {
    tl::ListDocument document;
    std::string error;
    if (!tl::LoadListDocument(ReadFile(TlData("tl/" + name + ".xml")), name, document, error))
        throw std::runtime_error(error);
    return tl::BuildIndex(document.list, document.xml, SignerOf(name), Utc("2023-11-01T00:00:00Z"));
}

// A small index with every section filled.
tl::ListIndex SmallIndex() {
    tl::ListIndex index;
    index.territory = "CZ";
    index.tslType = tl::kTypeGeneric;
    index.operatorName = "Operátor";
    index.sequence = 3;
    index.issued = 1;
    index.nextUpdate = 2;
    index.verifiedAt = 3;
    index.xmlSize = 4;
    index.xmlSha256 = tl::Sha256("xml");
    index.signerSha256 = tl::Sha256("signer");
    index.signerName = "Signer";
    index.providers = {"Poskytovatel"};
    index.services = {{0, "Služba", {{"TSA/QTST", "granted", 5}, {"TSA/QTST", "withdrawn", 9}}}};
    index.certs = {{0, tl::Sha256("c"), tl::Sha256("k"), "ski", "subject", "key"}};
    index.skis = {{0, "ski-only"}};
    index.pointers = {{"SK", "http://x/sk.xml", tl::kTypeGeneric, tl::kTslMimeType, {"der"}}};
    return index;
}

// The serialised index with its closing digest made anew for `body` (all but the digest).
std::string Resealed(const std::string& body) {
    return body + tl::Sha256(body);
}

TEST(TlIndex, ARealListReadsBackAsItWasWritten) {
    const tl::ListIndex index = RealIndex("SK-110");
    const std::string bytes = tl::SerializeIndex(index);
    tl::ListIndex back;
    std::string error;
    ASSERT_TRUE(tl::ReadIndex(bytes, back, error)) << error;
    EXPECT_EQ(back.territory, "SK");
    EXPECT_EQ(back.sequence, 110u);
    EXPECT_EQ(back.nextUpdate, Utc("2024-03-07T01:00:10Z"));
    EXPECT_EQ(back.xmlSha256, tl::Sha256(ReadFile(TlData("tl/SK-110.xml"))));
    EXPECT_EQ(back.signerName, "TL and Signature Policy List 8");
    EXPECT_EQ(back.providers, index.providers);
    ASSERT_EQ(back.services.size(), index.services.size());
    ASSERT_EQ(back.certs.size(), index.certs.size());
    EXPECT_EQ(tl::SerializeIndex(back), bytes);
    // The Disig TSA: the service's name, provider and status.
    const auto service =
        std::find_if(back.services.begin(), back.services.end(),
                     [](const tl::IndexService& s) { return s.name == "(75) TSA Disig aTSU 1"; });
    ASSERT_NE(service, back.services.end());
    EXPECT_EQ(back.providers[service->provider], "Disig, a.s.");
    ASSERT_EQ(service->instances.size(), 1u);
    EXPECT_EQ(service->instances[0].type, "TSA/QTST");
    EXPECT_EQ(service->instances[0].status, "granted");
    EXPECT_EQ(service->instances[0].start, Utc("2017-10-26T00:00:00Z"));
}

TEST(TlIndex, EveryTruncationAndEveryChangedByteIsRefused) {
    const std::string bytes = tl::SerializeIndex(SmallIndex());
    tl::ListIndex back;
    std::string error;
    ASSERT_TRUE(tl::ReadIndex(bytes, back, error));
    for (std::size_t length = 0; length < bytes.size(); ++length)
        EXPECT_FALSE(tl::ReadIndex(bytes.substr(0, length), back, error)) << length;
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        std::string changed = bytes;
        changed[at] = static_cast<char>(changed[at] ^ 0x20);
        EXPECT_FALSE(tl::ReadIndex(changed, back, error)) << at;
    }
    EXPECT_FALSE(tl::ReadIndex(bytes + "x", back, error));
}

TEST(TlIndex, ContentThatContradictsItselfIsRefusedEvenWithAGoodDigest) {
    const auto refused = [](const tl::ListIndex& index) {
        tl::ListIndex back;
        std::string error;
        return !tl::ReadIndex(tl::SerializeIndex(index), back, error);
    };
    tl::ListIndex index = SmallIndex();
    EXPECT_FALSE(refused(index));
    index.services[0].provider = 1; // no such provider
    EXPECT_TRUE(refused(index));
    index = SmallIndex();
    index.certs[0].service = 1; // no such service
    EXPECT_TRUE(refused(index));
    index = SmallIndex();
    index.skis[0].service = 7;
    EXPECT_TRUE(refused(index));
    index = SmallIndex();
    std::swap(index.services[0].instances[0], index.services[0].instances[1]); // out of order
    EXPECT_TRUE(refused(index));
    index = SmallIndex();
    index.certs[0].certSha256.pop_back(); // a digest that is not 32 bytes
    EXPECT_TRUE(refused(index));
    index = SmallIndex();
    index.xmlSha256.clear();
    EXPECT_TRUE(refused(index));

    // A count far beyond what the bytes can hold: refused before anything is allocated.
    const std::string bytes = tl::SerializeIndex(SmallIndex());
    std::string body = bytes.substr(0, bytes.size() - 32);
    const std::size_t providers = body.find("Poskytovatel") - 8; // its count, then its length
    for (int i = 0; i < 4; ++i)
        body[providers + static_cast<std::size_t>(i)] = '\xff';
    tl::ListIndex back;
    std::string error;
    EXPECT_FALSE(tl::ReadIndex(Resealed(body), back, error));
    EXPECT_NE(error.find("malformed"), std::string::npos) << error;
    EXPECT_TRUE(tl::ReadIndex(Resealed(bytes.substr(0, bytes.size() - 32)), back, error));
}

TEST(TlCache, StoresAndLoadsPerTerritoryAndReplacesAsAWhole) {
    TempDir dir;
    const tl::ListCache cache(dir.Path() + "/nested/tl");
    tl::ListIndex index = SmallIndex();
    std::string error;
    ASSERT_TRUE(cache.Store(index, "<xml/>", error)) << error;
    struct stat info {};
    ASSERT_EQ(stat(cache.Dir().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    index.territory = "SK";
    ASSERT_TRUE(cache.Store(index, "<sk/>", error));
    EXPECT_EQ(cache.Territories(), (std::vector<std::string>{"CZ", "SK"}));
    tl::ListIndex loaded;
    ASSERT_TRUE(cache.Load("SK", loaded, error));
    EXPECT_EQ(loaded.territory, "SK");
    std::string xml;
    ASSERT_TRUE(cache.ReadXml("SK", xml));
    EXPECT_EQ(xml, "<sk/>");
    // An index under another territory's name is not that territory's.
    std::filesystem::copy_file(cache.IndexPath("CZ"), cache.IndexPath("PL"));
    EXPECT_FALSE(cache.Load("PL", loaded, error));
    // Names that are not territory codes never become paths.
    index.territory = "../x";
    EXPECT_FALSE(cache.Store(index, "<x/>", error));
    EXPECT_FALSE(cache.Load("..", loaded, error));
    // No temporary file stays behind.
    for (const auto& entry : std::filesystem::directory_iterator(cache.Dir()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    cache.Remove("SK");
    EXPECT_EQ(cache.Territories(), (std::vector<std::string>{"CZ", "PL"}));
}

TEST(TlCache, AFailedWriteLeavesWhatWasThereAndNoTemporaryFile) {
    TempDir dir;
    // A folder in the way: the rename fails after the data was written and flushed.
    std::filesystem::create_directories(dir.Path() + "/CZ.xml/inside");
    std::string error;
    EXPECT_FALSE(tl::WriteFileAtomically(dir.Path() + "/CZ.xml", "new", error));
    EXPECT_NE(error.find("CZ.xml"), std::string::npos) << error;
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() + "/CZ.xml/inside"));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
    EXPECT_FALSE(tl::WriteFileAtomically(dir.Path() + "/missing/CZ.xml", "new", error));
}

TEST(TlCache, TheLoadedSetLeavesOutWhatItCannotRead) {
    TempDir dir;
    const tl::ListCache cache(dir.Path());
    std::string error;
    ASSERT_TRUE(cache.Store(RealIndex("SK-110"), "<sk/>", error));
    ASSERT_TRUE(cache.Store(SmallIndex(), "<cz/>", error));
    dir.Write("CZ.idx", "damaged");
    const tl::TrustedListSet set = tl::TrustedListSet::Load(dir.Path());
    ASSERT_EQ(set.Lists().size(), 1u);
    EXPECT_EQ(set.Lists()[0].territory, "SK");
    ASSERT_EQ(set.Broken().size(), 1u);
    EXPECT_EQ(set.Broken()[0].first, "CZ");
    EXPECT_EQ(set.Find("CZ"), nullptr);
    EXPECT_FALSE(set.CertsByDigest(set.Lists()[0].certs[0].certSha256).empty());
}

TEST(TlCache, FolderFromTheEnvironment) {
    ScopedEnv tlDir(tl::kTlDirVariable, "/tmp/mivo-tl//");
    EXPECT_EQ(tl::TrustedListDir(), "/tmp/mivo-tl");
    ScopedEnv none(tl::kTlDirVariable, nullptr);
    ScopedEnv cache("XDG_CACHE_HOME", "/var/cache/u");
    EXPECT_EQ(tl::TrustedListDir(), "/var/cache/u/mivoklient/tl");
    ScopedEnv relative("XDG_CACHE_HOME", "relative");
    ScopedEnv home("HOME", "/home/u");
    EXPECT_EQ(tl::TrustedListDir(), "/home/u/.cache/mivoklient/tl");
}

} // namespace
