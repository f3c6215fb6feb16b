// The batch reading and writing of INI files that the stamped-files list uses: they must
// give exactly what the key-by-key functions give.
#include "platform/Profile.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// Small random INI texts with the shapes that matter: duplicate sections and keys, other
// letter cases, blanks, comments, CR LF, empty sections, a last line without a line feed.
std::string RandomIni(std::mt19937& rng) {
    static const char* const kLines[] = {
        "[list]", "[LIST]",  "[other]",     " [ list ] ", "[empty]", "a=1",       "A = 2",
        "b=",     "c=three", "; a=comment", "",           "garbage", "d = \"q\"", "a=dup"};
    std::string text;
    const int lines = static_cast<int>(rng() % 12);
    const bool crlf = rng() % 4 == 0;
    for (int i = 0; i < lines; ++i) {
        text += kLines[rng() % std::size(kLines)];
        if (i + 1 < lines || rng() % 3 != 0)
            text += crlf ? "\r\n" : "\n";
    }
    return text;
}

Entries RandomEntries(std::mt19937& rng) {
    static const char* const kKeys[] = {"a", "A", "b", "new", "NEW", "c", "d", " e "};
    Entries entries;
    const int count = static_cast<int>(rng() % 5);
    for (int i = 0; i < count; ++i)
        entries.emplace_back(kKeys[rng() % std::size(kKeys)], "v" + std::to_string(rng() % 10));
    return entries;
}

} // namespace

TEST(ProfileBatch, SetManyEqualsSettingKeyByKey) {
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        const std::string text = RandomIni(rng);
        const Entries entries = RandomEntries(rng);
        const char* section = rng() % 2 ? "list" : "fresh";
        ProfileText one(text), many(text);
        for (const auto& [key, value] : entries)
            ASSERT_TRUE(one.Set(section, key, value));
        ASSERT_TRUE(many.SetMany(section, entries));
        ASSERT_EQ(many.Text(), one.Text()) << "text:\n" << text << "\nround " << round;
    }
}

TEST(ProfileBatch, SetManyRefusesWhatSetRefusesAndChangesNothing) {
    ProfileText profile("[list]\na=1\n");
    EXPECT_FALSE(profile.SetMany("list", {{"ok", "1"}, {"bad=key", "2"}}));
    EXPECT_FALSE(profile.SetMany("list", {{"ok", "line\nbreak"}}));
    EXPECT_FALSE(profile.SetMany("li]st", {{"ok", "1"}}));
    EXPECT_EQ(profile.Text(), "[list]\na=1\n");
}

TEST(ProfileBatch, SnapshotReadsWhatTheKeyByKeyReaderReads) {
    TempDir dir;
    std::mt19937 rng(11);
    static const char* const kKeys[] = {"a", "A", "b", "c", "d", "missing", " a "};
    static const char* const kSections[] = {"list", "LIST", "other", "empty", "none"};
    for (int round = 0; round < 500; ++round) {
        const std::string path = dir.Write("p.ini", RandomIni(rng));
        const ProfileSnapshot snapshot(path);
        for (const char* section : kSections)
            for (const char* key : kKeys)
                for (std::size_t size : {std::size_t{0}, std::size_t{2}, std::size_t{255}}) {
                    std::string one, batch;
                    const auto n1 = GetPrivateProfileString(section, key, "def ", one, size, path);
                    const auto n2 = snapshot.Get(section, key, "def ", batch, size);
                    ASSERT_EQ(n1, n2) << section << "/" << key;
                    ASSERT_EQ(one, batch) << section << "/" << key;
                }
    }
    const ProfileSnapshot missing(dir.File("none.ini"));
    std::string value;
    EXPECT_EQ(missing.Get("list", "a", "", value, 255), 0u);
}

TEST(ProfileBatch, EntriesAreWrittenInOneAtomicReplacement) {
    TempDir dir;
    const std::string path = dir.File("m.ini");
    Entries entries;
    for (int i = 0; i < 5000; ++i)
        entries.emplace_back("item" + std::to_string(i), "value" + std::to_string(i));
    ASSERT_TRUE(WritePrivateProfileEntries("list", entries, path));
    const ProfileSnapshot snapshot(path);
    std::string value;
    EXPECT_EQ(snapshot.Get("list", "item4999", "", value, 255), 9u);
    EXPECT_EQ(value, "value4999");
    EXPECT_EQ(TempDir::Read(path).rfind("[list]\nitem0=value0\nitem1=value1\n", 0), 0u);
}
