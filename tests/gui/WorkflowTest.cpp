// The stamp workflows through the whole program as the user drives it: the application with
// its main window, list panel and view, the local test TSA as the server, the file dialog
// answered by a script and the verification dialog filled in and confirmed like a user would.
#include "GuiTestSupport.h"

#include "core/ClientSettings.h"
#include "document/DetailFields.h"
#include "document/ZarnDoc.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "testlib/RecordingMessageBoxes.h"
#include "tools/TestTsa.h"
#include "ui/MainFrame.h"
#include "ui/OpenFileDialog.h"
#include "ui/QtFrontEnd.h"
#include "ui/StampListBar.h"
#include "ui/VerifyDialog.h"
#include "ui/ZarnApp.h"
#include "ui/ZarnView.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>
#include <QWebEnginePage>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace {

// Fills in each verification dialog that comes up as scripted and confirms it.
class VerifyDialogScript {
public:
    struct Answer {
        std::optional<QString> stampFile; // nullopt: leave what the program proposed
        std::optional<QString> sourceFile;
        bool addToList = false;
        bool confirm = true;
    };

    VerifyDialogScript() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { Poll(); });
        m_timer.start();
    }
    void Add(Answer answer) { m_answers.push_back(std::move(answer)); }

    // What each dialog showed when it came up: stamp path, source path, check box.
    struct Seen {
        QString stampFile, sourceFile;
        bool addToList;
    };
    std::vector<Seen> seen;

private:
    void Poll() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<CVerifyDialog*>(window);
            if (dialog == nullptr || !dialog->isVisible() || m_answers.empty())
                continue;
            auto* stamp = qobject_cast<QLineEdit*>(dialog->Control(CVerifyDialog::IDC_STAMP_FILE));
            auto* source =
                qobject_cast<QLineEdit*>(dialog->Control(CVerifyDialog::IDC_SOURCE_FILE));
            auto* add = qobject_cast<QCheckBox*>(dialog->Control(CVerifyDialog::IDC_ADD_TO_LIST));
            seen.push_back({stamp->text(), source->text(), add->isChecked()});
            const Answer answer = m_answers.front();
            m_answers.pop_front();
            if (answer.stampFile)
                stamp->setText(*answer.stampFile);
            if (answer.sourceFile)
                source->setText(*answer.sourceFile);
            add->setChecked(answer.addToList);
            if (answer.confirm)
                dialog->accept();
            else
                dialog->reject();
        }
    }

    QTimer m_timer;
    std::deque<Answer> m_answers;
};

class WorkflowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The user's settings point at the local test TSA before the program starts.
        const char* configDir = std::getenv("MIVOKLIENT_CONFIG_DIR");
        ASSERT_NE(configDir, nullptr);
        fs::create_directories(configDir);
        std::ofstream(std::string(configDir) + "/mivoklient.ini")
            << "[zarn]\nserver_url=" << tsa.Url() << "\npolicy_oid=1.2.3.4.1\nhash_alg=2\n"
            << ExtraIniText();
        SetFileChooserForTests([this](const FileDialogSpec& spec) {
            chooserTitles.push_back(spec.m_strTitle);
            std::optional<std::string> answer = chosen;
            chosen.reset();
            return answer;
        });
        ASSERT_TRUE(app.InitInstance({"mivoklient"}));
        frame = app.MainFrame();
        ASSERT_NE(frame, nullptr);
        // The window at the size it starts with.
        view = frame->View();
        doc = app.Document();
        bar = frame->ListBar();
        filled = std::make_unique<QSignalSpy>(view, &CZarnView::pageFilled);
        ASSERT_TRUE(WaitForPage("/about.htm"));
    }
    void TearDown() override { SetFileChooserForTests({}); }
    // More of the user's INI file, written before the program starts.
    virtual std::string ExtraIniText() { return {}; }

    // Waits until the page `path` has been loaded and filled since the last call.
    bool WaitForPage(const char* path) {
        const bool ok = WaitFor([&] {
            for (int i = m_nSeenFills; i < filled->count(); ++i) {
                if (filled->at(i).first().toUrl().path() == QLatin1String(path)) {
                    m_nSeenFills = i + 1;
                    return true;
                }
            }
            return false;
        });
        return ok;
    }
    QVariant PageValue(const QString& script) {
        QVariant result;
        bool done = false;
        view->page()->runJavaScript(script, [&](const QVariant& value) {
            result = value;
            done = true;
        });
        EXPECT_TRUE(WaitFor([&] { return done; }));
        return result;
    }
    QString PageText(const char* id) {
        return PageValue(QStringLiteral("(function(){var e=document.getElementById('%1');"
                                        "return e ? e.textContent : null;})()")
                             .arg(QLatin1String(id)))
            .toString();
    }
    std::string Source(const std::string& name, const std::string& content) {
        return files.Write(name, content);
    }
    // Makes a new stamp of `source` through the "Nové" command.
    void NewStamp(const std::string& source) {
        chosen = source;
        frame->Action(ID_FILE_NEW)->trigger();
    }

    TempDir files;
    mivo::test::TestTsa tsa;
    std::optional<std::string> chosen;
    std::vector<std::string> chooserTitles;
    CZarnApp app;
    CMainFrame* frame = nullptr;
    CZarnView* view = nullptr;
    CZarnDoc* doc = nullptr;
    CStampListBar* bar = nullptr;
    std::unique_ptr<QSignalSpy> filled;
    int m_nSeenFills = 0;
};

TEST_F(WorkflowTest, NewStampIsAppendedSelectedAndShownWithEveryField) {
    RecordingMessageBoxes boxes;
    const std::string source = Source("smlouva.txt", "Smlouva o dílo\n");
    NewStamp(source);
    ASSERT_TRUE(WaitForPage("/certif.htm"));
    ASSERT_EQ(chooserTitles.size(), 1U);
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front().text;

    // The stamp lies beside the file, the list has its row, selected, and the page shows it.
    const std::string stamp = source + ".tsr";
    EXPECT_TRUE(fs::exists(stamp));
    CStampListCtrl& list = bar->ListCtrl();
    ASSERT_EQ(list.RowCount(), 1);
    EXPECT_EQ(list.ItemText(0, 0), "smlouva.txt.tsr");
    EXPECT_FALSE(list.ItemText(0, 1).empty());
    EXPECT_EQ(list.FirstSelectedRow(), 0);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 0);
    // Listed in the INI file at once.
    EXPECT_FALSE(doc->IsModified());
    EXPECT_NE(TempDir::Read(GetClientSettings().IniPath()).find("smlouva.txt.tsr"),
              std::string::npos);

    EXPECT_EQ(PageText("m_file_name").toStdString(), stamp);
    EXPECT_EQ(PageText("m_doc_name").toStdString(), source);
    EXPECT_EQ(PageText("m_hash_verif_msg"),
              QStringLiteral("Kvalifikované časové razítko je v pořádku"));
    EXPECT_EQ(PageText("m_strPolicyOid"), QStringLiteral("1.2.3.4.1"));
    EXPECT_EQ(PageText("m_strHashAlgorithm"), QStringLiteral("SHA-256"));
    EXPECT_EQ(PageText("m_strUTCTime").toStdString(), list.ItemText(0, 1));
    EXPECT_FALSE(PageText("m_strClockName").isEmpty());
    EXPECT_FALSE(PageText("m_strSerialNumber").isEmpty());
    EXPECT_FALSE(PageText("m_strNonce").isEmpty());
    // Every display text of the document is on the page as the document has it.
    for (const DetailField& field : DetailFields()) {
        const std::string id(field.name);
        const QString text = PageText(id.c_str());
        if (!text.isNull()) {
            EXPECT_EQ(text.toStdString(), doc->GetFieldValue(field.name)) << id;
        }
    }
    SaveScreenshot(frame, "workflow_new_stamp");
}

TEST_F(WorkflowTest, OpenAddsTheStampAndVerifyOnlyChecksIt) {
    RecordingMessageBoxes boxes;
    const std::string source = Source("faktura.txt", "Faktura 2026/031\n");
    NewStamp(source);
    ASSERT_TRUE(WaitForPage("/certif.htm"));
    const std::string stamp = source + ".tsr";
    // A copy of the stamp under another name: opening it lists it as a second row.
    const std::string copy = files.Write("kopie.txt.tsr", TempDir::Read(stamp));
    const std::string copySource = files.Write("kopie.txt", "Faktura 2026/031\n");

    VerifyDialogScript dialogs;
    dialogs.Add({std::nullopt, std::nullopt, true, true});
    chosen = copy;
    frame->Action(ID_FILE_OPEN)->trigger();
    ASSERT_TRUE(WaitFor([&] { return bar->ListCtrl().RowCount() == 2; }));
    ASSERT_TRUE(WaitForPage("/certif.htm"));
    ASSERT_EQ(dialogs.seen.size(), 1U);
    // The dialog proposed the source beside the stamp and "add to list".
    EXPECT_EQ(dialogs.seen[0].stampFile.toStdString(), copy);
    EXPECT_EQ(dialogs.seen[0].sourceFile.toStdString(), copySource);
    EXPECT_TRUE(dialogs.seen[0].addToList);
    EXPECT_EQ(bar->ListCtrl().FirstSelectedRow(), 1);
    EXPECT_EQ(PageText("m_file_name").toStdString(), copy);
    EXPECT_EQ(PageText("m_hash_verif_msg"),
              QStringLiteral("Kvalifikované časové razítko je v pořádku"));

    // Verify, check only: a good stamp is confirmed in a box and the list stays as it is.
    dialogs.Add({QString::fromStdString(stamp), QString::fromStdString(source), false, true});
    frame->Action(ID_VERIFY)->trigger();
    ASSERT_TRUE(WaitFor([&] { return !boxes.shown.empty(); }));
    EXPECT_TRUE(dialogs.seen[1].stampFile.isEmpty());
    EXPECT_FALSE(dialogs.seen[1].addToList);
    // The check's outcome, then the trust and the qualified verdict on a line each.
    EXPECT_EQ(boxes.shown[0].text.rfind("Kvalifikované časové razítko je v pořádku\n", 0), 0u);
    EXPECT_EQ(std::count(boxes.shown[0].text.begin(), boxes.shown[0].text.end(), '\n'), 2);
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Information);
    EXPECT_EQ(bar->ListCtrl().RowCount(), 2);

    // The source changed after stamping: the check says why, in an error box.
    std::ofstream(source, std::ios::app) << "dodatek\n";
    dialogs.Add({QString::fromStdString(stamp), QString::fromStdString(source), false, true});
    frame->Action(ID_VERIFY)->trigger();
    ASSERT_TRUE(WaitFor([&] { return boxes.shown.size() == 2; }));
    EXPECT_EQ(boxes.shown[1].icon, MsgIcon::Error);
    EXPECT_EQ(boxes.shown[1].text.rfind(LoadResString(IDS_DIGEST_MISMATCH), 0), 0U)
        << boxes.shown[1].text;

    // Cancelled, nothing happens.
    dialogs.Add({std::nullopt, std::nullopt, true, false});
    frame->Action(ID_VERIFY)->trigger();
    ASSERT_TRUE(WaitFor([&] { return dialogs.seen.size() == 4; }));
    WaitFor([] { return false; }, 100);
    EXPECT_EQ(boxes.shown.size(), 2U);
    EXPECT_EQ(bar->ListCtrl().RowCount(), 2);
}

TEST_F(WorkflowTest, DeleteAsksAndOnlyYesRemovesTheEntry) {
    RecordingMessageBoxes boxes;
    NewStamp(Source("a.txt", "a\n"));
    ASSERT_TRUE(WaitForPage("/certif.htm"));
    NewStamp(Source("b.txt", "b\n"));
    ASSERT_TRUE(WaitForPage("/certif.htm"));
    ASSERT_EQ(bar->ListCtrl().RowCount(), 2);
    ASSERT_TRUE(doc->SaveModified());
    ASSERT_FALSE(doc->IsModified());

    boxes.Answer(MsgResult::No);
    frame->Action(ID_DELETE_FROM_LIST)->trigger();
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].text, "Vymazat vybraný soubor kvalifikovaného časového razítka?");
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(bar->ListCtrl().RowCount(), 2);
    EXPECT_FALSE(doc->IsModified());

    boxes.Answer(MsgResult::Yes);
    frame->Action(ID_DELETE_FROM_LIST)->trigger();
    EXPECT_EQ(bar->ListCtrl().RowCount(), 1);
    EXPECT_EQ(bar->ListCtrl().ItemText(0, 0), "a.txt.tsr");
    EXPECT_EQ(bar->ListCtrl().FirstSelectedRow(), -1);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), -1);
    EXPECT_FALSE(doc->IsModified());
    // Only the list entry went: the stamp file stays.
    EXPECT_TRUE(fs::exists(files.Path() + "/b.txt.tsr"));
    frame->close();
    const std::string ini = TempDir::Read(GetClientSettings().IniPath());
    // The list that is read back names only the stamp that stayed.
    EXPECT_NE(ini.find("count=1\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("tsf_item0=" + files.Path() + "/a.txt.tsr,"), std::string::npos) << ini;
}

TEST_F(WorkflowTest, RefusedStampLeavesTheListAndTheFilesAlone) {
    RecordingMessageBoxes boxes;
    mivo::test::TsaBehaviour refuse;
    refuse.refusal = mivo::test::StatusSpec{2, {"zamítnuto"}, 1U << 2}; // rejection, badDataFormat
    tsa.SetBehaviour(refuse);
    const std::string source = Source("c.txt", "c\n");
    NewStamp(source);
    ASSERT_TRUE(WaitFor([&] { return !boxes.shown.empty(); }));
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Error);
    EXPECT_NE(boxes.shown[0].text.find("nebylo vydáno"), std::string::npos) << boxes.shown[0].text;
    EXPECT_EQ(bar->ListCtrl().RowCount(), 0);
    EXPECT_FALSE(fs::exists(source + ".tsr"));
    EXPECT_FALSE(fs::exists(source + ".tst"));
    EXPECT_FALSE(doc->IsModified());
}

// A damaged INI file and a list whose stamps were deleted or overwritten with garbage since
// the last run: the program starts, lists what it can and says what is wrong when asked.
class DamagedStartTest : public WorkflowTest {
protected:
    std::string ExtraIniText() override {
        garbage = files.Write("smeti.txt.tsr", std::string("\x30\x82\xff\x00 nic", 9));
        files.Write("smeti.txt", "zdroj\n");
        return "hash_alg=nope\n\x01\x02 binary = junk\n[time_stamped_files\ncount=x\n"
               "[time_stamped_files]\ncount=4\n"
               "tsf_item0=" +
               garbage + "," + files.Path() +
               "/smeti.txt\n"
               "tsf_item1=" +
               files.Path() + "/zmizelo.txt.tsr," + files.Path() +
               "/zmizelo.txt\n"
               "tsf_item2=\n"
               "tsf_item3=bez-carky\n";
    }
    std::string garbage;
};

TEST_F(DamagedStartTest, StartsListsWhatItCanAndExplainsTheBrokenStamp) {
    RecordingMessageBoxes boxes;
    // Started at all, with the about page (SetUp), and the broken entries listed without time.
    CStampListCtrl& list = bar->ListCtrl();
    ASSERT_GE(list.RowCount(), 2);
    EXPECT_EQ(list.ItemText(0, 0), "smeti.txt.tsr");
    EXPECT_EQ(list.ItemText(0, 1), "");
    EXPECT_EQ(list.ItemText(1, 0), "zmizelo.txt.tsr");
    EXPECT_EQ(list.ItemText(1, 1), "");
    EXPECT_EQ(GetClientSettings().m_nHashAlg, 2);

    // Choosing the garbage shows its page with the reason instead of stamp data.
    ASSERT_TRUE(list.SelectAndFocus(0));
    ASSERT_TRUE(WaitForPage("/certif.htm"));
    EXPECT_EQ(PageText("m_file_name").toStdString(), garbage);
    EXPECT_FALSE(PageText("m_verif_msg").isEmpty() && PageText("m_hash_verif_msg").isEmpty());
    EXPECT_NE(PageText("m_hash_verif_msg"),
              QStringLiteral("Kvalifikované časové razítko je v pořádku"));
    EXPECT_TRUE(PageText("m_strUTCTime").isEmpty());

    // A new stamp still works, and closing keeps the entries that were there.
    NewStamp(Source("novy.txt", "novy\n"));
    ASSERT_TRUE(WaitForPage("/certif.htm"));
    EXPECT_EQ(PageText("m_hash_verif_msg"),
              QStringLiteral("Kvalifikované časové razítko je v pořádku"));
    frame->close();
    const std::string ini = TempDir::Read(GetClientSettings().IniPath());
    EXPECT_NE(ini.find(garbage), std::string::npos);
    EXPECT_NE(ini.find("zmizelo.txt.tsr"), std::string::npos);
    EXPECT_NE(ini.find("novy.txt.tsr"), std::string::npos);
}

TEST_F(WorkflowTest, ScreenshotsOfThePagesInTheMainWindow) {
    frame->show();
    ASSERT_TRUE(WaitFor([&] { return frame->isVisible(); }));
    WaitFor([] { return false; }, 400);
    SaveScreenshot(frame, "window_about");
    frame->Action(ID_SETTINGS)->trigger();
    ASSERT_TRUE(WaitForPage("/config.htm"));
    WaitFor([] { return false; }, 400);
    SaveScreenshot(frame, "window_config");
    NewStamp(Source("výkres.txt", "výkres\n"));
    ASSERT_TRUE(WaitForPage("/certif.htm"));
    WaitFor([] { return false; }, 400);
    const std::string shot = SaveScreenshot(frame, "window_certif");
    EXPECT_TRUE(fs::file_size(shot) > 0);
    // At the window's first size the stamp page needs no horizontal scroll bar.
    const QString overflow = QStringLiteral(
        "document.documentElement.scrollWidth - document.documentElement.clientWidth");
    EXPECT_LE(PageValue(overflow).toInt(), 0)
        << frame->width() << " " << view->width() << " " << bar->width();

    // The list panel floating beside the window, then hidden by its command.
    bar->setFloating(true);
    ASSERT_TRUE(WaitFor([&] { return bar->isFloating() && !bar->ShowsGripper(); }));
    WaitFor([] { return false; }, 400);
    SaveScreenshot(frame, "window_panel_floating");
    SaveScreenshot(bar, "window_panel_floating_bar");
    bar->setFloating(false);
    ASSERT_TRUE(WaitFor([&] { return bar->ShowsGripper(); }));
    frame->Action(ID_VIEW_STAMP_LIST)->trigger();
    ASSERT_TRUE(WaitFor([&] { return bar->isHidden(); }));
    WaitFor([] { return false; }, 400);
    SaveScreenshot(frame, "window_panel_hidden");
}

} // namespace
