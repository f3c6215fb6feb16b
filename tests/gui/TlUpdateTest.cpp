// Updating the EU trusted lists from the window: the Tools menu's command with its progress
// dialog, "Storno" stopping the update before its next list, the summary box; and the weekly
// update of tl_auto_update, which never starts unasked.
#include "GuiTestSupport.h"

#include "core/TrustedListCache.h"
#include "core/TrustedListSources.h"
#include "core/TrustedListUpdate.h"
#include "platform/ConfigDirs.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "testlib/RecordingMessageBoxes.h"
#include "ui/MainFrame.h"
#include "ui/TlUpdater.h"
#include "ui/ZarnApp.h"

#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

const std::string kLists = std::string(MIVO_TEST_DATA_DIR) + "/trusted-lists";

// The shared folder of real lists, counting its calls; with `hold` set, the first national
// list is delivered only once the test lets it go.
class HeldFolderSource final : public tl::IListSource {
public:
    HeldFolderSource(std::atomic<int>& calls, std::atomic<bool>* hold)
        : m_folder(kLists), m_calls(calls), m_hold(hold) {}
    bool FetchLotl(tl::Fetched& lotl, std::string& message) override {
        ++m_calls;
        return m_folder.FetchLotl(lotl, message);
    }
    std::vector<tl::Fetched> FetchPivots(const tl::TrustedList& lotl) override {
        return m_folder.FetchPivots(lotl);
    }
    Fetch FetchList(const tl::ListPointer& pointer, std::vector<tl::Fetched>& candidates,
                    std::string& message) override {
        while (m_hold != nullptr && m_hold->load())
            QThread::msleep(5);
        return m_folder.FetchList(pointer, candidates, message);
    }

private:
    tl::FolderListSource m_folder;
    std::atomic<int>& m_calls;
    std::atomic<bool>* m_hold;
};

class TlUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        CTlUpdater::SetSourceFactoryForTests(
            [this] { return std::make_unique<HeldFolderSource>(calls, &hold); });
    }
    void TearDown() override {
        boxes.reset();
        CTlUpdater::SetSourceFactoryForTests({});
    }

    void Start(const char* iniLines = "") {
        // The settings file of this process's throwaway configuration.
        std::filesystem::create_directories(UserConfigDir());
        std::ofstream(UserIniPath()) << "[zarn]\n" << iniLines;
        ASSERT_TRUE(app.InitInstance({"mivoklient"}));
        frame = app.MainFrame();
        ASSERT_NE(frame, nullptr);
        // After the application installed its own boxes.
        boxes = std::make_unique<RecordingMessageBoxes>();
    }
    const std::vector<RecordingMessageBoxes::Box>& Shown() const { return boxes->shown; }

    TempDir lists;
    ScopedEnv listDir{tl::kTlDirVariable, lists.Path().c_str()};
    std::atomic<int> calls{0};
    std::atomic<bool> hold{false};
    CZarnApp app;
    std::unique_ptr<RecordingMessageBoxes> boxes;
    CMainFrame* frame = nullptr;
};

} // namespace

TEST_F(TlUpdateTest, ToolsMenuUpdatesWithProgressAndStornoStopsBeforeTheNextList) {
    Start();
    // Nothing was fetched at start-up: the setting is off.
    WaitFor([] { return false; }, 300);
    EXPECT_EQ(calls.load(), 0);

    QAction* command = frame->Action(ID_TL_UPDATE);
    ASSERT_NE(command, nullptr);
    QMenu* tools = frame->menuBar()->actions().at(2)->menu();
    ASSERT_NE(tools, nullptr);
    EXPECT_TRUE(tools->actions().contains(command));
    EXPECT_EQ(
        command->text(),
        QString::fromStdString(LoadResString(IDS_MENU_TL_UPDATE)).split(QLatin1Char('\t'))[0]);

    hold = true;
    command->trigger();
    CTlUpdater* updater = frame->TlUpdater();
    ASSERT_TRUE(updater->IsRunning());
    ASSERT_TRUE(WaitFor([&] {
        return updater->ProgressDialog() != nullptr && updater->ProgressDialog()->isVisible();
    }));
    QProgressDialog* dialog = updater->ProgressDialog();
    // The LOTL is in; the dialog names the first national list and counts the lists.
    ASSERT_TRUE(WaitFor([&] { return dialog->maximum() > 1; }));
    SaveScreenshot(dialog, "tl_update_progress");
    auto* cancel = dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"));
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QString::fromStdString(LoadResString(IDS_BUTTON_CANCEL)));
    cancel->click();
    hold = false;
    ASSERT_TRUE(WaitFor([&] { return !updater->IsRunning() && !Shown().empty(); }, 30000));
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_NE(Shown()[0].text.find(LoadResString(IDS_TL_CANCELLED)), std::string::npos)
        << Shown()[0].text;
    EXPECT_EQ(Shown()[0].icon, MsgIcon::Error);
    // The LOTL was stored; of the national lists at most the one under way.
    EXPECT_TRUE(std::filesystem::exists(lists.File("EU.idx")));
    int national = 0;
    for (const auto& file : std::filesystem::directory_iterator(lists.Path()))
        national += file.path().extension() == ".idx" && file.path().stem() != "EU";
    EXPECT_LE(national, 1);
    EXPECT_TRUE(WaitFor([&] { return updater->ProgressDialog() == nullptr; }));

    // Run to its end, the summary tells what was stored.
    boxes->shown.clear();
    command->trigger();
    ASSERT_TRUE(WaitFor([&] { return !updater->IsRunning() && !Shown().empty(); }, 60000));
    EXPECT_EQ(Shown()[0].text.find(LoadResString(IDS_TL_CANCELLED)), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(lists.File("SK.idx")));
}

TEST_F(TlUpdateTest, AutoUpdateRunsWhenAskedAndOnlyOnceAWeek) {
    Start("tl_auto_update=1\n");
    CTlUpdater* updater = frame->TlUpdater();
    // Nothing stored yet: the update starts by itself, quietly.
    ASSERT_TRUE(WaitFor([&] { return calls.load() == 1; }));
    ASSERT_TRUE(WaitFor([&] { return !updater->IsRunning(); }, 60000));
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(updater->ProgressDialog(), nullptr);
    EXPECT_TRUE(std::filesystem::exists(lists.File("SK.idx")));
    // Just updated: the next checks start nothing until a week has passed.
    EXPECT_FALSE(updater->StartIfDue());
    updater->StartWeekly(20);
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(calls.load(), 1);
}
