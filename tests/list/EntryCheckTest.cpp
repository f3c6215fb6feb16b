// A listed stamp checked against its source file: each status, and the many-threaded check
// of a whole list agreeing with the one-by-one check.
#include "list/EntryCheck.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "testlib/TempDir.h"
#include "tools/TokenFactory.h"

#include <gtest/gtest.h>

#include <openssl/sha.h>

#include <string>
#include <vector>

using mivo::test::Bytes;
using mivo::test::TokenFactory;
using mivo::test::TokenSpec;

namespace {

class EntryCheckTest : public ::testing::Test {
protected:
    // A source with `content` and a reply of the test TSA over its SHA-256.
    CStampListEntry Stamped(const std::string& name, const std::string& content,
                            TokenSpec spec = {}) {
        spec.imprint.resize(SHA256_DIGEST_LENGTH);
        SHA256(reinterpret_cast<const unsigned char*>(content.data()), content.size(),
               spec.imprint.data());
        const Bytes reply = TokenFactory::Reply(spec);
        CStampListEntry entry;
        entry.m_strSourceFile = dir.Write(name, content);
        entry.m_strStampFile = dir.Write(name + ".tsr", std::string(reply.begin(), reply.end()));
        return entry;
    }

    TempDir dir;
    ScopedEnv config{"MIVOKLIENT_CONFIG_DIR", (dir.Path() + "/config").c_str()};
    ScopedEnv sysconf{"MIVOKLIENT_SYSCONF_DIR", (dir.Path() + "/etc").c_str()};
};

} // namespace

TEST_F(EntryCheckTest, EachStatusWithItsText) {
    const CStampListEntry ok = Stamped("ok.txt", "smlouva");
    EXPECT_EQ(CheckEntry(ok), EntryStatus::Ok);

    CStampListEntry changed = Stamped("changed.txt", "smlouva");
    dir.Write("changed.txt", "smlouvA");
    EXPECT_EQ(CheckEntry(changed), EntryStatus::SourceChanged);

    CStampListEntry noSource = Stamped("gone.txt", "smlouva");
    noSource.m_strSourceFile = dir.File("nothing-here.txt");
    EXPECT_EQ(CheckEntry(noSource), EntryStatus::SourceMissing);
    noSource.m_strSourceFile = dir.Path(); // a folder is no source file
    EXPECT_EQ(CheckEntry(noSource), EntryStatus::SourceMissing);
    noSource.m_strSourceFile.clear();
    EXPECT_EQ(CheckEntry(noSource), EntryStatus::SourceMissing);

    CStampListEntry noStamp = ok;
    noStamp.m_strStampFile = dir.File("ok.txt.tst");
    EXPECT_EQ(CheckEntry(noStamp), EntryStatus::StampMissing);
    // Both gone: the stamp is the entry, its absence is what the user must hear of.
    noStamp.m_strSourceFile = dir.File("nothing-here.txt");
    EXPECT_EQ(CheckEntry(noStamp), EntryStatus::StampMissing);

    TokenSpec tampered;
    tampered.tamperSignature = true;
    EXPECT_EQ(CheckEntry(Stamped("tampered.txt", "smlouva", tampered)), EntryStatus::StampInvalid);
    CStampListEntry garbage = Stamped("garbage.txt", "smlouva");
    dir.Write("garbage.txt.tsr", "not a stamp");
    EXPECT_EQ(CheckEntry(garbage), EntryStatus::StampInvalid);

    EXPECT_EQ(LoadResString(EntryStatusTextId(EntryStatus::Ok)), "v pořádku");
    EXPECT_EQ(LoadResString(EntryStatusTextId(EntryStatus::SourceChanged)), "zdroj změněn");
    EXPECT_EQ(LoadResString(EntryStatusTextId(EntryStatus::SourceMissing)), "zdroj chybí");
    EXPECT_EQ(LoadResString(EntryStatusTextId(EntryStatus::StampMissing)), "razítko chybí");
    EXPECT_EQ(LoadResString(EntryStatusTextId(EntryStatus::StampInvalid)), "razítko neplatné");
}

TEST_F(EntryCheckTest, AWholeListOnSeveralThreadsAgreesWithOneByOne) {
    std::vector<CStampListEntry> entries;
    for (int i = 0; i < 24; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        CStampListEntry entry =
            Stamped(name, std::string(1000 + i * 37, static_cast<char>('a' + i)));
        if (i % 4 == 1)
            dir.Write(name, "changed");
        else if (i % 4 == 2)
            entry.m_strSourceFile += ".missing";
        else if (i % 4 == 3)
            entry.m_strStampFile += ".missing";
        entries.push_back(entry);
    }
    std::vector<EntryStatus> serial;
    for (const CStampListEntry& entry : entries)
        serial.push_back(CheckEntry(entry));
    for (unsigned threads : {1u, 3u, 0u})
        EXPECT_EQ(CheckEntries(entries, threads), serial) << threads << " threads";
    EXPECT_EQ(serial[0], EntryStatus::Ok);
    EXPECT_EQ(serial[1], EntryStatus::SourceChanged);
    EXPECT_EQ(serial[2], EntryStatus::SourceMissing);
    EXPECT_EQ(serial[3], EntryStatus::StampMissing);
    EXPECT_TRUE(CheckEntries({}).empty());
}
