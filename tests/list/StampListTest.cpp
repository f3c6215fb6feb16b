// The stamped-files registry: its INI section read and written back, the time texts, and
// adding, replacing and removing entries.
#include "list/StampList.h"
#include "core/ClientSettings.h"
#include "list/IStampListPanel.h"
#include "testlib/TempDir.h"
#include "tools/TokenFactory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RecordingPanel final : public IStampListPanel {
public:
    struct Put {
        int index;
        std::string time;
        bool select;
    };
    std::vector<Put> puts;
    int FillOnce(const CStampList& list) override { return list.GetCount(); }
    int SelectRow(int) override { return 1; }
    int PutEntry(int index, const CStampListEntry& entry, bool select) override {
        puts.push_back({index, entry.m_strUtcTime, select});
        return 0;
    }
    int DeleteSelected() override { return 0; }
};

class StampListTest : public ::testing::Test {
protected:
    void SetUp() override { settings.SetIniPath(dir.File("mivoklient.ini")); }

    std::string Ini() { return TempDir::Read(settings.IniPath()); }
    void WriteIni(const std::string& text) { dir.Write("mivoklient.ini", text); }
    std::string Token(const std::string& name) {
        const auto bytes = mivo::test::TokenFactory::Token();
        return dir.Write(name, std::string(bytes.begin(), bytes.end()));
    }

    TempDir dir;
    ScopedEnv sysconf{"MIVOKLIENT_SYSCONF_DIR", (dir.Path() + "/etc").c_str()};
    CClientSettings settings;
    CStampList list;
};

} // namespace

TEST_F(StampListTest, NoSectionGivesAnEmptyList) {
    EXPECT_EQ(LoadStampList(settings, list), 0);
    WriteIni("[zarn]\nserver_url=x\n[time_stamped_files]\ncount=-3\ntsf_item0=a,b\n");
    EXPECT_EQ(LoadStampList(settings, list), 0);
}

TEST_F(StampListTest, MissingItemsAreSkippedAndRenumberedOnSaveLeavingOldKeys) {
    WriteIni("[time_stamped_files]\ncount=3\ntsf_item0=/a.tsr,/a\ntsf_item2=/c.tsr,/c\n"
             "tsf_item1=\n");
    ASSERT_EQ(LoadStampList(settings, list), 2);
    EXPECT_EQ(list.GetAt(0).m_strStampFile, "/a.tsr");
    EXPECT_EQ(list.GetAt(1).m_strStampFile, "/c.tsr");
    EXPECT_EQ(list.GetAt(1).m_strUtcTime, "");
    bool written = false;
    EXPECT_EQ(SaveStampList(settings, list, &written), 2);
    EXPECT_TRUE(written);
    EXPECT_EQ(Ini(), "[time_stamped_files]\ncount=2\ntsf_item0=/a.tsr,/a\ntsf_item2=/c.tsr,/c\n"
                     "tsf_item1=/c.tsr,/c\n");
}

TEST_F(StampListTest, CommasSplitAtTheFirstOne) {
    WriteIni("[time_stamped_files]\ncount=4\ntsf_item0=/no-comma.tsr\ntsf_item1=/a.tsr,/b,c\n"
             "tsf_item2=/x.tsr,\ntsf_item3=/p,ath.tsr,/src\n");
    ASSERT_EQ(LoadStampList(settings, list), 4);
    EXPECT_EQ(list.GetAt(0).m_strStampFile, "/no-comma.tsr");
    EXPECT_EQ(list.GetAt(0).m_strSourceFile, "");
    EXPECT_EQ(list.GetAt(1).m_strSourceFile, "/b,c");
    EXPECT_EQ(list.GetAt(2).m_strSourceFile, "");
    EXPECT_EQ(list.GetAt(3).m_strStampFile, "/p"); // a comma in a stamp path cuts it
    EXPECT_EQ(list.GetAt(3).m_strSourceFile, "ath.tsr,/src");
    SaveStampList(settings, list);
    EXPECT_NE(Ini().find("tsf_item0=/no-comma.tsr,\n"), std::string::npos);
}

TEST_F(StampListTest, OverLongValuesAreCutForUseButKeptWholeInTheFile) {
    const std::string longStamp = "/" + std::string(300, 'd') + "/a.tsr";
    WriteIni("[time_stamped_files]\ncount=2\ntsf_item0=" + longStamp +
             ",/src\n"
             "tsf_item1=/short.tsr,/s\n");
    ASSERT_EQ(LoadStampList(settings, list), 2);
    EXPECT_EQ(list.GetAt(0).m_strStampFile, longStamp.substr(0, 254));
    const std::string before = Ini();
    SaveStampList(settings, list);
    EXPECT_EQ(Ini(), before);
    // A replaced entry is written as it now is.
    list.GetAt(0).m_strStampFile = "/new.tsr";
    SaveStampList(settings, list);
    EXPECT_NE(Ini().find("tsf_item0=/new.tsr,"), std::string::npos);
    EXPECT_EQ(Ini().find(std::string(300, 'd')), std::string::npos);
}

TEST_F(StampListTest, DuplicatesStayAndTheFirstIsReplacedIgnoringCase) {
    const auto stamp = Token("A.tst");
    WriteIni("[time_stamped_files]\ncount=2\ntsf_item0=" + stamp + ",/1\ntsf_item1=" + stamp +
             ",/2\n");
    ASSERT_EQ(LoadStampList(settings, list), 2);
    RecordingPanel panel;
    std::string lower = stamp;
    lower.replace(lower.size() - 5, 5, "a.tst");
    EXPECT_EQ(list.AddOrReplace({lower, "/3", "", ""}, &panel), 0);
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetAt(0).m_strStampFile, lower); // the new letter case
    EXPECT_EQ(list.GetAt(0).m_strSourceFile, "/3");
    EXPECT_EQ(list.GetAt(1).m_strSourceFile, "/2");
    ASSERT_EQ(panel.puts.size(), 1u);
    EXPECT_EQ(panel.puts[0].index, 0);
    EXPECT_TRUE(panel.puts[0].select);
}

TEST_F(StampListTest, AddingAnUnreadableStampStillAddsItWithoutTime) {
    RecordingPanel panel;
    EXPECT_EQ(list.AddOrReplace({dir.File("nothing.tsr"), "", "", ""}, &panel), 0);
    EXPECT_EQ(list.AddOrReplace({Token("t.tst"), "", "", ""}, &panel), 1);
    ASSERT_EQ(panel.puts.size(), 2u);
    EXPECT_EQ(panel.puts[0].index, -1);
    EXPECT_EQ(panel.puts[0].time, "");
    EXPECT_EQ(panel.puts[1].time, "2025/05/09  11:58:55");
    EXPECT_EQ(list.AddOrReplace({dir.File("no-panel.tsr"), "", "", ""}, nullptr), 2);
}

TEST_F(StampListTest, StartUpLoadRefreshesEveryTimeItCan) {
    const auto good = Token("good.tst");
    const auto garbage = dir.Write("garbage.tsr", "garbage");
    WriteIni("[time_stamped_files]\ncount=3\ntsf_item0=" + good + ",\ntsf_item1=" + garbage +
             ",\ntsf_item2=" + dir.File("deleted.tsr") + ",\n");
    list.Add({"/stale", "", "", ""});
    list.LoadAtStartup(settings);
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetAt(0).m_strUtcTime, "2025/05/09  11:58:55");
    EXPECT_EQ(list.GetAt(1).m_strUtcTime, "");
    EXPECT_EQ(list.GetAt(2).m_strUtcTime, "");
}

TEST_F(StampListTest, RemoveAtRejectsIndicesOutsideTheList) {
    list.Add({"/a", "", "", ""});
    list.Add({"/b", "", "", ""});
    list.Add({"/c", "", "", ""});
    EXPECT_FALSE(list.RemoveAt(3));
    EXPECT_FALSE(list.RemoveAt(-1));
    EXPECT_TRUE(list.RemoveAt(1));
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetAt(1).m_strStampFile, "/c");
    CStampList empty;
    EXPECT_FALSE(empty.RemoveAt(0));
}

TEST_F(StampListTest, TenThousandEntriesRoundTripThroughTheFile) {
    for (int i = 0; i < 10000; ++i)
        list.Add({"/stamps/s" + std::to_string(i) + ".tsr", "/src/s" + std::to_string(i), "", ""});
    SaveStampList(settings, list);
    CStampList loaded;
    ASSERT_EQ(LoadStampList(settings, loaded), 10000);
    EXPECT_EQ(loaded.GetAt(9999).m_strSourceFile, "/src/s9999");
    // A shorter list later: the old items past the count stay, and are not loaded.
    loaded.RemoveAll();
    loaded.Add({"/one.tsr", "", "", ""});
    SaveStampList(settings, loaded);
    CStampList again;
    EXPECT_EQ(LoadStampList(settings, again), 1);
    EXPECT_NE(Ini().find("tsf_item9999=/stamps/s9999.tsr,/src/s9999"), std::string::npos);
}
