// Long work behind the progress dialog, many files at once and files dropped on the window:
// the whole program with the local test TSA, as the user drives it.
#include "GuiTestSupport.h"

#include "core/ClientSettings.h"
#include "document/ZarnDoc.h"
#include "support/StringIds.h"
#include "testlib/RecordingMessageBoxes.h"
#include "testlib/TempDir.h"
#include "tools/TestTsa.h"
#include "ui/LongWorkDialog.h"
#include "ui/MainFrame.h"
#include "ui/OpenFileDialog.h"
#include "ui/StampListBar.h"
#include "ui/ZarnApp.h"

#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

CLongWorkDialog* ShownProgressDialog() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<CLongWorkDialog*>(window); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

QString DialogText(CLongWorkDialog* dialog) {
    return dialog->findChild<QLabel*>(QStringLiteral("longWorkText"))->text();
}

class LongWorkTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* configDir = std::getenv("MIVOKLIENT_CONFIG_DIR");
        ASSERT_NE(configDir, nullptr);
        fs::create_directories(configDir);
        std::ofstream(std::string(configDir) + "/mivoklient.ini")
            << "[zarn]\nserver_url=" << tsa.Url() << "\npolicy_oid=1.2.3.4.1\nhash_alg=2\n";
        ASSERT_TRUE(app.InitInstance({"mivoklient"}));
        frame = app.MainFrame();
        ASSERT_NE(frame, nullptr);
        doc = app.Document();
    }
    void TearDown() override { SetFilesChooserForTests({}); }

    // Chooses `paths` in the new-stamp dialog and runs the command to its end.
    void NewStamps(std::vector<std::string> paths) {
        SetFilesChooserForTests([paths](const FileDialogSpec&) { return paths; });
        frame->Action(ID_FILE_NEW)->trigger();
    }
    int Rows() { return frame->ListBar()->ListCtrl().RowCount(); }

    TempDir files;
    mivo::test::TestTsa tsa;
    CZarnApp app;
    CMainFrame* frame = nullptr;
    CZarnDoc* doc = nullptr;
};

TEST_F(LongWorkTest, StallingServerIsLeftWithStornoWithinASecondAndNothingWritten) {
    RecordingMessageBoxes boxes;
    mivo::test::TsaBehaviour stall;
    stall.stall = mivo::test::TsaBehaviour::Stall::NeverAnswer;
    tsa.SetBehaviour(stall);
    const std::string source = files.Write("smlouva.txt", "Smlouva o dílo\n");

    QString waitingText;
    bool answered = false;
    qint64 cancelledAfterMs = -1;
    QElapsedTimer sinceCancel;
    QTimer driver;
    int step = 0;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        CLongWorkDialog* dialog = ShownProgressDialog();
        if (dialog == nullptr || !DialogText(dialog).startsWith(QStringLiteral("Čekám")))
            return;
        if (step == 0) {
            waitingText = DialogText(dialog);
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Časové razítko"));
            // The window's thread answers while the worker waits for the server.
            QMetaObject::invokeMethod(
                frame, [&] { answered = true; }, Qt::QueuedConnection);
            step = 1;
        } else if (step == 1 && answered) {
            auto* storno = dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"));
            EXPECT_EQ(storno->text(), QStringLiteral("Storno"));
            sinceCancel.start();
            storno->click();
            step = 2;
        }
    });
    driver.start(20);
    NewStamps({source});
    if (sinceCancel.isValid())
        cancelledAfterMs = sinceCancel.elapsed();
    driver.stop();

    EXPECT_EQ(waitingText.toStdString(),
              "Čekám na odpověď serveru " + GetClientSettings().GetServerUrl() + "…");
    EXPECT_TRUE(answered);
    ASSERT_GE(cancelledAfterMs, 0) << "Storno was never offered";
    EXPECT_LT(cancelledAfterMs, 1000);
    EXPECT_FALSE(fs::exists(source + ".tsr"));
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front().text;
    EXPECT_EQ(ShownProgressDialog(), nullptr);
}

TEST_F(LongWorkTest, LoginAskedForByTheServerAppearsOnTheWindowsThreadWhileTheWorkerWaits) {
    RecordingMessageBoxes boxes;
    mivo::test::TsaBehaviour login;
    login.basicAuth = std::make_pair(std::string("jan"), std::string("tajné"));
    tsa.SetBehaviour(login);
    const std::string source = files.Write("smlouva.txt", "Smlouva\n");

    bool askedOnWindowThread = false;
    bool progressShownMeanwhile = false;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() != QStringLiteral("CredentialsDialog") || !window->isVisible())
                continue;
            askedOnWindowThread = window->thread() == QApplication::instance()->thread();
            progressShownMeanwhile = ShownProgressDialog() != nullptr;
            window->findChild<QLineEdit*>(QStringLiteral("userEdit"))
                ->setText(QStringLiteral("jan"));
            window->findChild<QLineEdit*>(QStringLiteral("passwordEdit"))
                ->setText(QStringLiteral("tajné"));
            window->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        }
    });
    answerer.start(20);
    NewStamps({source});
    answerer.stop();

    EXPECT_TRUE(askedOnWindowThread);
    EXPECT_TRUE(progressShownMeanwhile);
    EXPECT_TRUE(fs::exists(source + ".tsr"));
    EXPECT_EQ(Rows(), 1);
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front().text;
}

TEST_F(LongWorkTest, BatchOfFiveWithOneFailingEndsInOneSummary) {
    RecordingMessageBoxes boxes;
    std::vector<std::string> sources;
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        sources.push_back(files.Write(name, std::string("obsah ") + name));
    // A FIFO is refused before anything is sent.
    const std::string fifo = files.Path() + "/roura";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    sources.insert(sources.begin() + 2, fifo);

    QStringList seen;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        // The first line of what the dialog says, once it says something.
        if (CLongWorkDialog* dialog = ShownProgressDialog()) {
            const QString line = DialogText(dialog).section(u'\n', 0, 0);
            if (!line.isEmpty() && !seen.contains(line))
                seen << line;
        }
    });
    watcher.start(1);
    NewStamps(sources);
    watcher.stop();

    ASSERT_EQ(boxes.shown.size(), 1U) << boxes.shown.front().text;
    const std::string& summary = boxes.shown[0].text;
    EXPECT_EQ(summary.rfind(
                  "Orazítkováno souborů: 4 z 5.\n\nNepodařilo se orazítkovat:\n" + fifo + ": ", 0),
              0U)
        << summary;
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Error);
    EXPECT_EQ(Rows(), 4);
    for (const std::string& source : sources)
        EXPECT_EQ(fs::exists(source + ".tsr"), source != fifo) << source;
    // The dialog counted the files as it went (a quick file may pass unseen).
    EXPECT_FALSE(seen.isEmpty());
    for (const QString& line : seen)
        EXPECT_TRUE(line.startsWith(QStringLiteral("Soubor "))) << line.toStdString();
}

TEST_F(LongWorkTest, ThreeFilesDroppedOnTheListAreStamped) {
    RecordingMessageBoxes boxes;
    QList<QUrl> urls;
    std::vector<std::string> sources;
    for (const char* name : {"x.pdf", "y.pdf", "z.pdf"}) {
        sources.push_back(files.Write(name, name));
        urls << QUrl::fromLocalFile(QString::fromStdString(sources.back()));
    }
    QMimeData mime;
    mime.setUrls(urls);
    QWidget* target = frame->ListBar()->ListCtrl().viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());

    ASSERT_TRUE(WaitFor([&] { return Rows() == 3 && boxes.shown.size() == 1; }, 30000));
    EXPECT_EQ(boxes.shown[0].text, "Orazítkováno souborů: 3 z 3.");
    for (const std::string& source : sources)
        EXPECT_TRUE(fs::exists(source + ".tsr")) << source;
}

TEST_F(LongWorkTest, DroppedFolderAsksAndStampsItsOwnFilesOnly) {
    RecordingMessageBoxes boxes;
    const std::string folder = files.Path() + "/složka";
    fs::create_directories(folder + "/vnořená");
    std::ofstream(folder + "/jedna.txt") << "1";
    std::ofstream(folder + "/dva.txt") << "2";
    std::ofstream(folder + "/staré.txt.tsr") << "not stamped again";
    std::ofstream(folder + "/vnořená/tři.txt") << "3";
    boxes.Answer(MsgResult::Yes);

    ASSERT_TRUE(doc->OpenPaths({folder}));
    ASSERT_EQ(boxes.shown.size(), 2U);
    EXPECT_EQ(boxes.shown[0].text, "Orazítkovat všech 2 souborů ve složce " + folder + "?");
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(boxes.shown[1].text, "Orazítkováno souborů: 2 z 2.");
    EXPECT_TRUE(fs::exists(folder + "/jedna.txt.tsr"));
    EXPECT_TRUE(fs::exists(folder + "/dva.txt.tsr"));
    EXPECT_FALSE(fs::exists(folder + "/staré.txt.tsr.tsr"));
    EXPECT_FALSE(fs::exists(folder + "/vnořená/tři.txt.tsr"));
    EXPECT_EQ(Rows(), 2);
}

} // namespace
