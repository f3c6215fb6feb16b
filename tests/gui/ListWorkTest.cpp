// The whole program with a long list: the rows are there as soon as the window is, their
// times come in afterwards, closing meanwhile ends at once, and "Ověřit vše" fills the
// status column.
#include "GuiTestSupport.h"

#include "support/Conversions.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "tools/TestTsa.h"
#include "tools/TokenFactory.h"
#include "ui/MainFrame.h"
#include "ui/StampListBar.h"
#include "ui/ZarnApp.h"

#include <QAction>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QProgressBar>
#include <QTreeWidgetItem>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr const char* kGenTime = "20250509115855Z";

class ListWorkTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* configDir = std::getenv("MIVOKLIENT_CONFIG_DIR");
        ASSERT_NE(configDir, nullptr);
        fs::create_directories(configDir);
        ini = std::string(configDir) + "/mivoklient.ini";
        std::ofstream(ini) << "[zarn]\nserver_url=" << tsa.Url()
                           << "\npolicy_oid=1.2.3.4.1\nhash_alg=2\n";
    }

    // The bytes of a token over the SHA-256 of `content`.
    static std::string Token(const std::string& content) {
        mivo::test::TokenSpec spec;
        spec.genTime = kGenTime;
        spec.imprint.resize(32);
        EVP_Digest(content.data(), content.size(), spec.imprint.data(), nullptr, EVP_sha256(),
                   nullptr);
        const auto token = mivo::test::TokenFactory::Token(spec);
        return {token.begin(), token.end()};
    }
    // Lists `count` stamps of one content, each with its own stamp file and source.
    void ListMany(int count) {
        const std::string content = "obsah";
        const std::string token = Token(content);
        std::ofstream out(ini, std::ios::app);
        out << "[time_stamped_files]\ncount=" << count << "\n";
        for (int i = 0; i < count; ++i) {
            const std::string name = "f" + std::to_string(i) + ".txt";
            out << "tsf_item" << i << "=" << files.Write(name + ".tsr", token) << ","
                << files.Write(name, content) << "\n";
        }
    }
    void Start() {
        ASSERT_TRUE(app.InitInstance({"mivoklient"}));
        frame = app.MainFrame();
        ASSERT_NE(frame, nullptr);
        list = &frame->ListBar()->ListCtrl();
    }
    int RowsWithTime() const {
        int filled = 0;
        for (int row = 0; row < list->RowCount(); ++row)
            filled += list->ItemText(row, 1).empty() ? 0 : 1;
        return filled;
    }

    TempDir files;
    mivo::test::TestTsa tsa;
    std::string ini;
    CZarnApp app;
    CMainFrame* frame = nullptr;
    CStampListCtrl* list = nullptr;
};

// Calls `shown` when the main window is first shown.
class ShowWatcher : public QObject {
public:
    explicit ShowWatcher(std::function<void()> shown) : m_shown(std::move(shown)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && m_shown &&
            watched->objectName() == QLatin1String("CMainFrame"))
            std::exchange(m_shown, nullptr)();
        return false;
    }

private:
    std::function<void()> m_shown;
};

} // namespace

TEST_F(ListWorkTest, TheRowsShowBeforeTheirStampsAreReadAndTheTimesFollow) {
    ListMany(2000);
    // What the window holds at the moment it is shown.
    int rowsShown = -1, timesShown = -1;
    std::string lastTimeShown = "?";
    ShowWatcher watcher([&] {
        CStampListCtrl& shown = app.MainFrame()->ListBar()->ListCtrl();
        list = &shown;
        rowsShown = shown.RowCount();
        timesShown = RowsWithTime();
        lastTimeShown = shown.ItemText(1999, 1);
    });
    qApp->installEventFilter(&watcher);
    Start();
    qApp->removeEventFilter(&watcher);
    // Every row is there when the window shows; the stamps are read in list order, so the
    // last row's time cannot be there yet.
    ASSERT_EQ(rowsShown, 2000);
    EXPECT_LT(timesShown, 2000);
    EXPECT_EQ(lastTimeShown, "") << timesShown << " rows had their time";
    EXPECT_TRUE(frame->WorkProgress()->isVisible());

    ASSERT_TRUE(WaitFor([&] { return RowsWithTime() == 2000; }, 180000)) << RowsWithTime();
    const std::string time = FormatGenTime(kGenTime);
    EXPECT_EQ(list->ItemText(0, 1), time);
    EXPECT_EQ(list->ItemText(1999, 1), time);
    EXPECT_EQ(app.StampList().GetAt(1999).m_strUtcTime, time);
    // Then each entry against its source: the status column fills in too.
    ASSERT_EQ(list->columnCount(), 3);
    EXPECT_TRUE(WaitFor([&] { return !frame->WorkProgress()->isVisible(); }, 180000));
    EXPECT_FALSE(list->ItemText(1999, 2).empty());
}

TEST_F(ListWorkTest, ClosingWhileTheStampsAreReadEndsAtOnce) {
    ListMany(2000);
    Start();
    ASSERT_TRUE(WaitFor([&] { return RowsWithTime() > 0; }, 60000));
    ASSERT_LT(RowsWithTime(), 2000) << "the list was read before the test could close";
    const QPointer<CMainFrame> window(frame);
    QElapsedTimer timer;
    timer.start();
    frame->close();
    ASSERT_TRUE(WaitFor([&] { return window.isNull(); }, 20000));
    // The workers stop between stamps: a closing that waits for the whole list would take
    // seconds here.
    EXPECT_LT(timer.elapsed(), 5000);
}

TEST_F(ListWorkTest, CheckingAllShowsEachEntrysStatusInTheThirdColumn) {
    const std::string token = Token("obsah");
    const std::string ok = files.Write("ok.txt", "obsah");
    const std::string changed = files.Write("zmena.txt", "obsah");
    const std::string gone = files.Write("pryc.txt", "obsah");
    std::ofstream(ini, std::ios::app)
        << "[time_stamped_files]\ncount=3\ntsf_item0=" << files.Write("ok.txt.tsr", token) << ","
        << ok << "\ntsf_item1=" << files.Write("zmena.txt.tsr", token) << "," << changed
        << "\ntsf_item2=" << files.Write("pryc.txt.tsr", token) << "," << gone << "\n";
    Start();
    QAction* action = frame->Action(ID_CHECK_ALL);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text().toStdString(), "Ověřit vše");
    // The start-up check: every entry as it was stamped.
    ASSERT_EQ(list->columnCount(), 3);
    ASSERT_TRUE(WaitFor([&] { return !frame->WorkProgress()->isVisible(); }, 60000));
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(list->ItemText(row, 2), "v pořádku") << row;

    files.Write("zmena.txt", "obsah, dopsaný");
    std::remove(gone.c_str());
    action->trigger();
    ASSERT_EQ(list->columnCount(), 3);
    EXPECT_EQ(list->headerItem()->text(2).toStdString(), LoadResString(IDS_COLUMN_STATUS));
    ASSERT_TRUE(WaitFor([&] { return !list->ItemText(2, 2).empty(); }, 60000));
    ASSERT_TRUE(WaitFor([&] { return !list->ItemText(0, 2).empty(); }, 60000));
    ASSERT_TRUE(WaitFor([&] { return !list->ItemText(1, 2).empty(); }, 60000));
    EXPECT_EQ(list->ItemText(0, 2), "v pořádku");
    EXPECT_EQ(list->ItemText(1, 2), "zdroj změněn");
    EXPECT_EQ(list->ItemText(2, 2), "zdroj chybí");
    // The trust verdict stays the row's badge, the time its column.
    EXPECT_FALSE(list->ItemText(0, 1).empty());
    SaveScreenshot(frame, "list_check_all");
}
