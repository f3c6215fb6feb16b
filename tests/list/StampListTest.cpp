// The stamped-files registry: its INI section read and written in the layout every version
// reads, the time texts, and changes that are written at once and merged with what other
// processes wrote.
#include "list/StampList.h"
#include "core/ClientSettings.h"
#include "platform/LastError.h"
#include "platform/Profile.h"
#include "testlib/TempDir.h"
#include "tools/TokenFactory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class StampListTest : public ::testing::Test {
protected:
    void SetUp() override { settings.SetIniPath(dir.File("mivoklient.ini")); }

    std::string Ini() { return TempDir::Read(settings.IniPath()); }
    void WriteIni(const std::string& text) { dir.Write("mivoklient.ini", text); }
    std::string Token(const std::string& name) {
        const auto bytes = mivo::test::TokenFactory::Token();
        return dir.Write(name, std::string(bytes.begin(), bytes.end()));
    }
    static CStampListChange Put(const std::string& stamp, const std::string& source = "") {
        return {CStampListChange::Kind::Put, {stamp, source, ""}, 0};
    }
    static CStampListChange Remove(const std::string& stamp, int occurrence = 0) {
        return {CStampListChange::Kind::Remove, {stamp, "", ""}, occurrence};
    }
    static std::vector<std::string> Stamps(const std::vector<CStampListEntry>& entries) {
        std::vector<std::string> paths;
        for (const auto& entry : entries)
            paths.push_back(entry.m_strStampFile);
        return paths;
    }
    std::vector<std::string> StoredStamps() {
        CStampList loaded;
        LoadStampList(settings, loaded);
        return Stamps(loaded.Entries());
    }

    TempDir dir;
    ScopedEnv sysconf{"MIVOKLIENT_SYSCONF_DIR", (dir.Path() + "/etc").c_str()};
    CClientSettings settings;
    CStampList list;
};

using Paths = std::vector<std::string>;

} // namespace

TEST_F(StampListTest, NoSectionOrNoPositiveCountGivesAnEmptyList) {
    EXPECT_EQ(LoadStampList(settings, list), 0);
    WriteIni("[zarn]\nserver_url=x\n[time_stamped_files]\ncount=-3\ntsf_item0=a,b\n");
    EXPECT_EQ(LoadStampList(settings, list), 0);
}

// What the previous version wrote is read as it read it, and what we write is what it
// reads: count, then stamp path + "," + source path under tsf_item0 .. count-1.
TEST_F(StampListTest, TheSectionKeepsTheLayoutOfEveryVersion) {
    WriteIni("[zarn]\nhash_alg=2\n[time_stamped_files]\ncount=4\ntsf_item0=/a.tsr,/a\n"
             "TSF_ITEM2=/c.tsr,/c\ntsf_item1=\ntsf_item03=/zero-padded.tsr,\n"
             "tsf_item3=/no-comma.tsr\ntsf_item4=/past-the-count.tsr,\n");
    ASSERT_EQ(LoadStampList(settings, list), 3);
    EXPECT_EQ(Stamps(list.Entries()), (Paths{"/a.tsr", "/c.tsr", "/no-comma.tsr"}));
    EXPECT_EQ(list.GetAt(0).m_strSourceFile, "/a");
    EXPECT_EQ(list.GetAt(2).m_strSourceFile, "");

    std::vector<CStampListEntry> stored;
    ASSERT_TRUE(StoreStampListChanges(settings, {Put("/d.tsr", "/d")}, stored));
    EXPECT_EQ(Stamps(stored), (Paths{"/a.tsr", "/c.tsr", "/no-comma.tsr", "/d.tsr"}));
    // Renumbered from 0, the comma written after a missing source, keys the count does not
    // reach left alone, the other sections untouched.
    EXPECT_EQ(Ini(), "[zarn]\nhash_alg=2\n[time_stamped_files]\ncount=4\ntsf_item0=/a.tsr,/a\n"
                     "TSF_ITEM2=/no-comma.tsr,\ntsf_item1=/c.tsr,/c\n"
                     "tsf_item03=/zero-padded.tsr,\ntsf_item3=/d.tsr,/d\n"
                     "tsf_item4=/past-the-count.tsr,\n");
}

TEST_F(StampListTest, CommasInPathsSplitWhereTheStampIsTheSourceWithItsExtension) {
    WriteIni("[time_stamped_files]\ncount=5\ntsf_item0=/d/a,b.txt.tsr,/d/a,b.txt\n"
             "tsf_item1=/x,y.tst,/x,y\ntsf_item2=/a.tsr,/b,c\ntsf_item3=/p,ath.tsr,/src\n"
             "tsf_item4=/x.tsr,\n");
    ASSERT_EQ(LoadStampList(settings, list), 5);
    EXPECT_EQ(list.GetAt(0).m_strStampFile, "/d/a,b.txt.tsr");
    EXPECT_EQ(list.GetAt(0).m_strSourceFile, "/d/a,b.txt");
    EXPECT_EQ(list.GetAt(1).m_strStampFile, "/x,y.tst");
    EXPECT_EQ(list.GetAt(1).m_strSourceFile, "/x,y");
    EXPECT_EQ(list.GetAt(2).m_strSourceFile, "/b,c");
    // Not a stamp of its source: the first comma, as ever.
    EXPECT_EQ(list.GetAt(3).m_strStampFile, "/p");
    EXPECT_EQ(list.GetAt(3).m_strSourceFile, "ath.tsr,/src");
    EXPECT_EQ(list.GetAt(4).m_strSourceFile, "");

    // A stamp made of a file with a comma comes back as it went in.
    CStampList mine;
    ASSERT_TRUE(
        mine.Change(settings, Put("/e/smlouva, dodatek.pdf.tst", "/e/smlouva, dodatek.pdf")));
    CStampList again;
    LoadStampList(settings, again);
    ASSERT_EQ(again.GetCount(), 6);
    EXPECT_EQ(again.GetAt(5).m_strStampFile, "/e/smlouva, dodatek.pdf.tst");
    EXPECT_EQ(again.GetAt(5).m_strSourceFile, "/e/smlouva, dodatek.pdf");
}

TEST_F(StampListTest, LongPathsAreReadWholeOtherSettingsKeepTheirLimit) {
    const std::string longSource = "/" + std::string(290, 'd') + "/smlouva.pdf";
    WriteIni("[zarn]\nserver_url=https://" + std::string(300, 'u') +
             "\n[time_stamped_files]\ncount=1\ntsf_item0=" + longSource + ".tsr," + longSource +
             "\n");
    ASSERT_EQ(LoadStampList(settings, list), 1);
    EXPECT_EQ(list.GetAt(0).m_strStampFile, longSource + ".tsr");
    EXPECT_EQ(list.GetAt(0).m_strSourceFile, longSource);
    settings.Load();
    EXPECT_EQ(settings.GetServerUrl().size(), 254U);
}

TEST_F(StampListTest, AHugeCountCostsOnlyTheItemsThatAreThere) {
    WriteIni("[time_stamped_files]\ncount=2147483647\ntsf_item2147483646=/last.tsr,\n"
             "tsf_item7=/seventh.tsr,\ntsf_item2147483647=/beyond.tsr,\n");
    ASSERT_EQ(LoadStampList(settings, list), 2);
    EXPECT_EQ(Stamps(list.Entries()), (Paths{"/seventh.tsr", "/last.tsr"}));
    // Written back under the indices the entries really have.
    ASSERT_TRUE(list.Change(settings, Put("/new.tsr")));
    EXPECT_NE(Ini().find("count=3\n"), std::string::npos) << Ini();
    EXPECT_EQ(StoredStamps(), (Paths{"/seventh.tsr", "/last.tsr", "/new.tsr"}));
}

TEST_F(StampListTest, TheExactPathIsTheIdentity) {
    ASSERT_TRUE(list.Change(settings, Put("/d/Smlouva.txt.tsr", "/d/Smlouva.txt")));
    ASSERT_TRUE(list.Change(settings, Put("/d/smlouva.txt.tsr", "/d/smlouva.txt")));
    EXPECT_EQ(StoredStamps(), (Paths{"/d/Smlouva.txt.tsr", "/d/smlouva.txt.tsr"}));
    // The same path again replaces its entry in place.
    ASSERT_TRUE(list.Change(settings, Put("/d/Smlouva.txt.tsr", "/elsewhere/Smlouva.txt")));
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetAt(0).m_strSourceFile, "/elsewhere/Smlouva.txt");
    ASSERT_TRUE(list.Change(settings, Remove("/d/smlouva.txt.tsr")));
    EXPECT_EQ(StoredStamps(), (Paths{"/d/Smlouva.txt.tsr"}));
}

TEST_F(StampListTest, DuplicatesFromAnOldFileAreRemovedOneAtATime) {
    WriteIni("[time_stamped_files]\ncount=3\ntsf_item0=/s.tsr,/1\ntsf_item1=/t.tsr,\n"
             "tsf_item2=/s.tsr,/2\n");
    list.LoadAtStartup(settings);
    EXPECT_EQ(list.FindOccurrence("/s.tsr", 1), 2);
    EXPECT_EQ(list.OccurrenceAt(2), 1);
    // A put replaces the first of them.
    ASSERT_TRUE(list.Change(settings, Put("/s.tsr", "/3")));
    EXPECT_EQ(list.GetAt(0).m_strSourceFile, "/3");
    EXPECT_EQ(list.GetAt(2).m_strSourceFile, "/2");
    ASSERT_TRUE(list.Change(settings, Remove("/s.tsr", 1)));
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetAt(0).m_strSourceFile, "/3");
    // An occurrence that is gone takes the last one there is; nothing there, nothing goes.
    ASSERT_TRUE(list.Change(settings, Remove("/s.tsr", 5)));
    ASSERT_TRUE(list.Change(settings, Remove("/never-listed.tsr")));
    EXPECT_EQ(StoredStamps(), (Paths{"/t.tsr"}));
}

// Two registries on one file are two processes: each change goes onto what the other one
// stored meanwhile, and a removal takes only its own entry.
TEST_F(StampListTest, ChangesGoOntoWhatOtherProcessesStored) {
    CStampList other;
    other.LoadAtStartup(settings);
    list.LoadAtStartup(settings);
    ASSERT_TRUE(list.Change(settings, Put("/mine-1.tsr")));
    ASSERT_TRUE(other.Change(settings, Put("/theirs-1.tsr")));
    EXPECT_EQ(Stamps(other.Entries()), (Paths{"/mine-1.tsr", "/theirs-1.tsr"}));
    ASSERT_TRUE(list.Change(settings, Put("/mine-2.tsr")));
    ASSERT_TRUE(other.Change(settings, Remove("/theirs-1.tsr")));
    ASSERT_TRUE(list.Change(settings, Remove("/mine-1.tsr")));
    EXPECT_EQ(Stamps(list.Entries()), (Paths{"/mine-2.tsr"}));
    EXPECT_EQ(StoredStamps(), (Paths{"/mine-2.tsr"}));
    // The other one sees it when it reads the file again.
    EXPECT_EQ(Stamps(other.Entries()), (Paths{"/mine-1.tsr", "/mine-2.tsr"}));
    ASSERT_TRUE(other.Reload(settings));
    EXPECT_EQ(Stamps(other.Entries()), (Paths{"/mine-2.tsr"}));
}

TEST_F(StampListTest, AFailedWriteIsMadeInMemoryAndStoredWithTheNextOne) {
    ASSERT_TRUE(list.Change(settings, Put("/a.tsr")));
    // Something in the way of the file: it can be neither read nor replaced.
    const std::string ini = settings.IniPath();
    fs::rename(ini, ini + ".saved");
    fs::create_directories(ini + "/blocked");
    SetLastError(0);
    EXPECT_FALSE(list.Change(settings, Put("/b.tsr")));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EISDIR));
    EXPECT_FALSE(list.Change(settings, Remove("/a.tsr")));
    EXPECT_EQ(Stamps(list.Entries()), (Paths{"/b.tsr"}));
    EXPECT_TRUE(list.HasPendingChanges());
    // Unreadable: the list stays as it is rather than becoming empty.
    EXPECT_FALSE(list.Reload(settings));
    EXPECT_EQ(Stamps(list.Entries()), (Paths{"/b.tsr"}));

    fs::remove_all(ini);
    fs::rename(ini + ".saved", ini);
    CStampList other;
    ASSERT_TRUE(other.Change(settings, Put("/c.tsr"))); // meanwhile, in another process
    ASSERT_TRUE(list.Reload(settings));
    EXPECT_EQ(Stamps(list.Entries()), (Paths{"/c.tsr", "/b.tsr"}));
    ASSERT_TRUE(list.StorePending(settings));
    EXPECT_FALSE(list.HasPendingChanges());
    EXPECT_EQ(StoredStamps(), (Paths{"/c.tsr", "/b.tsr"}));
    EXPECT_EQ(Stamps(list.Entries()), (Paths{"/c.tsr", "/b.tsr"}));
}

TEST_F(StampListTest, APathTheFileCannotCarryIsNotStoredAndHoldsUpNothing) {
    ASSERT_TRUE(list.Change(settings, Put("/a.tsr")));
    for (const std::string& bad : {std::string("/two\nlines.tsr"), std::string(" /blank.tsr"),
                                   std::string("'/quoted.tsr")}) {
        SetLastError(0);
        EXPECT_FALSE(list.Change(settings, Put(bad, bad == "'/quoted.tsr" ? "/q'" : "")));
        EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EINVAL)) << bad;
    }
    EXPECT_EQ(list.GetCount(), 4);
    // It does not hold up the changes after it.
    EXPECT_FALSE(list.HasPendingChanges());
    ASSERT_TRUE(list.Change(settings, Put("/b.tsr")));
    EXPECT_EQ(StoredStamps(), (Paths{"/a.tsr", "/b.tsr"}));
}

TEST_F(StampListTest, TimesAreReadForNewStampsAndKeptForKnownOnes) {
    const auto good = Token("good.tst");
    const auto garbage = dir.Write("garbage.tsr", "garbage");
    WriteIni("[time_stamped_files]\ncount=3\ntsf_item0=" + good + ",\ntsf_item1=" + garbage +
             ",\ntsf_item2=" + dir.File("deleted.tsr") + ",\n");
    list.Add({"/stale", "", ""});
    list.LoadAtStartup(settings);
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetAt(0).m_strUtcTime, "2025/05/09  11:58:55");
    EXPECT_EQ(list.GetAt(1).m_strUtcTime, "");

    // Known stamps are not read again: a stamp replaced on disk keeps its shown time until
    // it is put again.
    const auto second = Token("second.tst");
    fs::copy_file(garbage, good, fs::copy_options::overwrite_existing);
    CStampList other;
    ASSERT_TRUE(other.Change(settings, Put(second)));
    ASSERT_TRUE(list.Reload(settings));
    ASSERT_EQ(list.GetCount(), 4);
    EXPECT_EQ(list.GetAt(0).m_strUtcTime, "2025/05/09  11:58:55");
    EXPECT_EQ(list.GetAt(3).m_strUtcTime, "2025/05/09  11:58:55"); // listed by the other one
    // Put again, it is read again: no longer a stamp, no time.
    ASSERT_TRUE(list.Change(settings, Put(good)));
    EXPECT_EQ(list.GetAt(0).m_strUtcTime, "");
    ASSERT_TRUE(list.Change(settings, Put(dir.File("nothing.tsr"))));
    EXPECT_EQ(list.GetAt(4).m_strUtcTime, "");
}

TEST_F(StampListTest, TenThousandEntriesLoadAndTakeAChange) {
    std::string text = "[time_stamped_files]\ncount=10000\n";
    for (int i = 0; i < 10000; ++i)
        text += "tsf_item" + std::to_string(i) + "=/stamps/s" + std::to_string(i) + ".tsr,/src/s" +
                std::to_string(i) + "\n";
    WriteIni(text);
    ASSERT_EQ(LoadStampList(settings, list), 10000);
    EXPECT_EQ(list.GetAt(9999).m_strSourceFile, "/src/s9999");
    ASSERT_TRUE(list.Change(settings, Remove("/stamps/s0.tsr")));
    CStampList loaded;
    ASSERT_EQ(LoadStampList(settings, loaded), 9999);
    EXPECT_EQ(loaded.GetAt(0).m_strStampFile, "/stamps/s1.tsr");
    // The old last item past the new count stays in the file, unread.
    EXPECT_NE(Ini().find("tsf_item9999=/stamps/s9999.tsr,/src/s9999"), std::string::npos);
}
