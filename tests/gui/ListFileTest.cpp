// The whole program and the list of stamped files in its INI file: the stamp named on the
// command line gets its row at start-up, the window follows what other processes write into
// the list, and a write that fails is offered again and not given up without a question.
#include "GuiTestSupport.h"

#include "core/ClientSettings.h"
#include "document/ZarnDoc.h"
#include "list/StampList.h"
#include "support/StringIds.h"
#include "testlib/RecordingMessageBoxes.h"
#include "tools/TestTsa.h"
#include "tools/TokenFactory.h"
#include "ui/MainFrame.h"
#include "ui/StampListBar.h"
#include "ui/ZarnApp.h"
#include "ui/ZarnView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

// Answers the program's message boxes as they come up: each step sees the box's text and
// names the button to press (by its object name). A box that no step expects is recorded
// and closed with its escape button.
class MessageBoxScript {
public:
    using Step = std::function<QString(const QString& text)>;
    MessageBoxScript() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { Poll(); });
        m_timer.start();
    }
    void Add(Step step) { m_steps.push_back(std::move(step)); }
    bool Done() const { return m_steps.empty(); }
    QStringList texts;
    int unexpected = 0;

private:
    void Poll() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (box == nullptr || !box->isVisible() ||
                box->objectName() != QLatin1String("MessageBox"))
                continue;
            texts << box->text();
            if (m_steps.empty()) {
                ++unexpected;
                box->reject();
                continue;
            }
            const QString button = m_steps.front()(box->text());
            m_steps.pop_front();
            if (auto* pressed = box->findChild<QAbstractButton*>(button))
                pressed->click();
            else
                ADD_FAILURE() << "no button " << button.toStdString();
        }
    }
    QTimer m_timer;
    std::deque<Step> m_steps;
};

class ListFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* configDir = std::getenv("MIVOKLIENT_CONFIG_DIR");
        ASSERT_NE(configDir, nullptr);
        fs::create_directories(configDir);
        ini = std::string(configDir) + "/mivoklient.ini";
        std::ofstream(ini) << "[zarn]\nserver_url=" << tsa.Url()
                           << "\npolicy_oid=1.2.3.4.1\nhash_alg=2\n";
    }
    void TearDown() override {
        if (fs::is_directory(ini))
            Unblock();
    }

    // A stamp of `name` (its source beside it, with the content the token names).
    std::string Stamp(const std::string& name) {
        mivo::test::TokenSpec spec;
        spec.imprintOid = "2.16.840.1.101.3.4.2.1";
        spec.imprint.resize(32);
        const std::string content = "obsah " + name;
        EVP_Digest(content.data(), content.size(), spec.imprint.data(), nullptr, EVP_sha256(),
                   nullptr);
        files.Write(name, content);
        const auto token = mivo::test::TokenFactory::Token(spec);
        return files.Write(name + ".tst", std::string(token.begin(), token.end()));
    }
    // Lists stamps as another process would: onto the stored list, under the lock.
    void ChangeElsewhere(CStampListChange::Kind kind, const std::string& stamp) {
        CClientSettings other;
        other.SetIniPath(ini);
        CStampList registry;
        // Every stamp here is its source's path with ".tst" appended.
        const std::string source = stamp.substr(0, stamp.size() - 4);
        ASSERT_TRUE(registry.Change(other, {kind, {stamp, source, ""}, 0}));
    }
    void Start(std::vector<std::string> args = {"mivoklient"}) {
        ASSERT_TRUE(app.InitInstance(args));
        frame = app.MainFrame();
        ASSERT_NE(frame, nullptr);
        doc = app.Document();
        list = &frame->ListBar()->ListCtrl();
    }
    std::vector<std::string> RowNames() const {
        std::vector<std::string> names;
        for (int row = 0; row < list->RowCount(); ++row)
            names.push_back(list->ItemText(row, 0));
        return names;
    }
    // The INI file cannot be written (nor read): something is in its way.
    void Block() {
        fs::rename(ini, ini + ".saved");
        fs::create_directories(ini + "/in-the-way");
    }
    void Unblock() {
        fs::remove_all(ini);
        fs::rename(ini + ".saved", ini);
    }
    std::string IniText() const { return TempDir::Read(ini); }

    TempDir files;
    mivo::test::TestTsa tsa;
    std::string ini;
    CZarnApp app;
    CMainFrame* frame = nullptr;
    CZarnDoc* doc = nullptr;
    CStampListCtrl* list = nullptr;
};

using Names = std::vector<std::string>;

TEST_F(ListFileTest, AFileNamedAtTheFirstStartIsStampedListedChosenAndShown) {
    const std::string a = Stamp("a.txt"), b = Stamp("b.txt");
    std::ofstream(ini, std::ios::app)
        << "[time_stamped_files]\ncount=2\ntsf_item0=" << a << ",\ntsf_item1=" << b << ",\n";
    const std::string source = files.Write("novy.txt", "nový dokument\n");
    MessageBoxScript boxes;
    Start({"mivoklient", source});
    EXPECT_EQ(RowNames(), (Names{"a.txt.tst", "b.txt.tst", "novy.txt.tsr"}));
    EXPECT_FALSE(list->ItemText(2, 1).empty());
    EXPECT_EQ(list->FirstSelectedRow(), 2);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 2);
    EXPECT_EQ(doc->GetFieldValue("m_file_name"), source + ".tsr");
    EXPECT_EQ(doc->GetFieldValue("m_hash_verif_msg"), "Kvalifikované časové razítko je v pořádku");
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.front().toStdString();
}

TEST_F(ListFileTest, TheWindowFollowsWhatOthersWriteAndKeepsTheChosenStamp) {
    const std::string a = Stamp("a.txt"), b = Stamp("b.txt"), c = Stamp("c.txt");
    for (const auto& stamp : {a, b, c})
        ChangeElsewhere(CStampListChange::Kind::Put, stamp);
    Start();
    RecordingMessageBoxes boxes;
    ASSERT_EQ(RowNames(), (Names{"a.txt.tst", "b.txt.tst", "c.txt.tst"}));
    ASSERT_TRUE(list->SelectAndFocus(1));
    ASSERT_EQ(doc->GetFieldValue("m_file_name"), b);

    // Another process removes the row above the chosen one and adds one.
    const std::string d = Stamp("d.txt");
    ChangeElsewhere(CStampListChange::Kind::Remove, a);
    ChangeElsewhere(CStampListChange::Kind::Put, d);
    ASSERT_TRUE(WaitFor([&] {
        return RowNames() == Names{"b.txt.tst", "c.txt.tst", "d.txt.tst"};
    })) << RowNames().size();
    EXPECT_FALSE(list->ItemText(2, 1).empty()); // its time was read
    EXPECT_EQ(list->FirstSelectedRow(), 0);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 0);
    EXPECT_EQ(doc->GetFieldValue("m_file_name"), b);
    // Our own change goes onto theirs.
    const std::string e = Stamp("e.txt");
    doc->AddToList({e, files.File("e.txt"), ""});
    EXPECT_EQ(RowNames(), (Names{"b.txt.tst", "c.txt.tst", "d.txt.tst", "e.txt.tst"}));
    EXPECT_EQ(list->FirstSelectedRow(), 3);

    // The chosen stamp removed elsewhere: its row goes, and no other row is chosen for it.
    ChangeElsewhere(CStampListChange::Kind::Remove, e);
    ASSERT_TRUE(WaitFor([&] { return list->RowCount() == 3; }));
    EXPECT_EQ(list->FirstSelectedRow(), -1);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), -1);
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front().text;
}

TEST_F(ListFileTest, AFailedWriteIsOfferedAgainAndClosingAsksBeforeDiscarding) {
    const std::string a = Stamp("a.txt");
    ChangeElsewhere(CStampListChange::Kind::Put, a);
    Start();
    frame->show();
    MessageBoxScript boxes;

    // The write fails; the user clears the way and tries again.
    Block();
    boxes.Add([&](const QString&) {
        Unblock();
        return QStringLiteral("retryButton");
    });
    const std::string b = Stamp("b.txt");
    doc->AddToList({b, files.File("b.txt"), ""});
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(boxes.unexpected, 0);
    EXPECT_TRUE(boxes.texts[0].startsWith(QStringLiteral("Chyba při zápisu do souboru: ") +
                                          QString::fromStdString(ini)))
        << boxes.texts[0].toStdString();
    EXPECT_NE(IniText().find(b), std::string::npos);
    EXPECT_FALSE(doc->IsModified());

    // Removed while the way is blocked, the user gives up for now; closing offers the write
    // again, and then asks.
    Block();
    boxes.Add([](const QString&) { return QStringLiteral("yesButton"); }); // remove it?
    boxes.Add([](const QString&) { return QStringLiteral("cancelButton"); });
    ASSERT_TRUE(list->SelectAndFocus(0));
    frame->Action(ID_DELETE_FROM_LIST)->trigger();
    ASSERT_TRUE(boxes.Done());
    EXPECT_EQ(RowNames(), (Names{"b.txt.tst"}));
    EXPECT_TRUE(doc->IsModified());
    boxes.Add([](const QString&) { return QStringLiteral("cancelButton"); });
    boxes.Add([](const QString&) { return QStringLiteral("noButton"); }); // close anyway?
    EXPECT_FALSE(frame->close());
    ASSERT_TRUE(boxes.Done());
    EXPECT_TRUE(boxes.texts.last().contains(QStringLiteral("Zavřít přesto")))
        << boxes.texts.last().toStdString();
    EXPECT_TRUE(frame->isVisible());

    // Closing again, with the way clear: stored, closed, nothing more asked.
    boxes.Add([&](const QString&) {
        Unblock();
        return QStringLiteral("retryButton");
    });
    const qsizetype asked = boxes.texts.size();
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(boxes.texts.size(), asked + 1);
    EXPECT_EQ(boxes.unexpected, 0);
    EXPECT_EQ(IniText().find(a), std::string::npos);
    EXPECT_NE(IniText().find(b), std::string::npos);
}

} // namespace
