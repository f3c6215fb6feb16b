// The single-instance rule end to end: a running instance in this process, later starts of
// the real program beside it.
#include "GuiTestSupport.h"

#include "document/ZarnDoc.h"
#include "ui/MainFrame.h"
#include "ui/VerifyDialog.h"
#include "ui/ZarnApp.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

// Starts the program with `args` and waits for it to end while this process keeps taking
// events (the running instance must be able to take the notice). Answers the exit code,
// -1 when it crashed or did not end.
int RunProgram(const QStringList& args, int ms = 30000) {
    QProcess process;
    process.setProgram(QStringLiteral(MIVO_GUI_EXECUTABLE));
    process.setArguments(args);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start();
    if (!WaitFor([&] { return process.state() == QProcess::NotRunning; }, ms)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Answers every verification dialog that comes up with Cancel, remembering the stamp path
// it showed.
class VerifyDialogCatcher {
public:
    VerifyDialogCatcher() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<CVerifyDialog*>(window);
                if (dialog == nullptr || !dialog->isVisible())
                    continue;
                auto* edit =
                    qobject_cast<QLineEdit*>(dialog->Control(CVerifyDialog::IDC_STAMP_FILE));
                m_stampPaths << (edit != nullptr ? edit->text() : QString());
                dialog->reject();
            }
        });
        m_timer.start();
    }
    const QStringList& StampPaths() const { return m_stampPaths; }

private:
    QTimer m_timer;
    QStringList m_stampPaths;
};

uint32_t BlockId(CSharedMemory& block) {
    uint32_t id = 0;
    return block.Read(&id, sizeof(id), kInstanceIdOffset) ? id : 0xFFFFFFFF;
}

std::string BlockCommandLine(CSharedMemory& block) {
    std::array<char, kCommandLineCapacity> text{};
    if (!block.Read(text.data(), kCommandLineCapacity, kCommandLineOffset))
        return "<unreadable>";
    return std::string(text.data(), strnlen(text.data(), text.size()));
}

class RunningInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(app.InstanceBlock().m_bCreated);
        ASSERT_TRUE(app.InitInstance({"mivoklient"}));
        frame = app.MainFrame();
        ASSERT_NE(frame, nullptr);
        ASSERT_EQ(BlockId(app.InstanceBlock()), static_cast<uint32_t>(::getpid()));
        frame->showMinimized();
        ASSERT_TRUE(WaitFor([&] { return frame->isMinimized(); }));
    }

    // Starts the program as a second instance and waits until this one has dealt with its
    // notice. Answers whether the notice carried a command line.
    bool SecondStart(const QStringList& args) {
        QSignalSpy handled(&app, &CZarnApp::noticeHandled);
        EXPECT_EQ(RunProgram(args), 0);
        EXPECT_TRUE(WaitFor([&] { return handled.count() > 0; }));
        return handled.count() > 0 && handled.first().first().toBool();
    }

    TempDir files;
    CZarnApp app;
    CMainFrame* frame = nullptr;
};

TEST_F(RunningInstanceTest, StampPathOfASecondStartOpensTheVerificationInTheRestoredWindow) {
    const QString stamp = QString::fromStdString(files.Write("moje smlouva.pdf.tsr", "x"));
    VerifyDialogCatcher catcher;
    EXPECT_TRUE(SecondStart({stamp}));

    EXPECT_FALSE(frame->isMinimized());
    EXPECT_TRUE(frame->isVisible());
    // The path with its blank arrived whole, and the dialog was the running instance's.
    ASSERT_EQ(catcher.StampPaths().size(), 1);
    EXPECT_EQ(catcher.StampPaths().first(), stamp);
    EXPECT_EQ(app.InstanceBlock().m_bCreated, true);

    // A relative path is taken where the second start was made, not where we run.
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(files.Path()));
    frame->showMinimized();
    const bool handedOver = SecondStart({QStringLiteral("moje smlouva.pdf.tsr")});
    QDir::setCurrent(cwd);
    EXPECT_TRUE(handedOver);
    ASSERT_EQ(catcher.StampPaths().size(), 2);
    EXPECT_EQ(catcher.StampPaths().last(), stamp);
}

TEST_F(RunningInstanceTest, SecondStartWithoutFileOrWithPrintOnlyRaises) {
    VerifyDialogCatcher catcher;
    const std::string title = app.Document()->GetTitle();

    EXPECT_TRUE(SecondStart({}));
    EXPECT_FALSE(frame->isMinimized());

    frame->showMinimized();
    const QString stamp = QString::fromStdString(files.Write("x.tsr", "x"));
    EXPECT_TRUE(SecondStart({QStringLiteral("/p"), stamp}));
    EXPECT_FALSE(frame->isMinimized());
    // The line arrived (it is in the block), but printing is not carried out: no dialog.
    EXPECT_NE(BlockCommandLine(app.InstanceBlock()).find("/p"), std::string::npos);

    EXPECT_TRUE(catcher.StampPaths().isEmpty());
    EXPECT_EQ(app.Document()->GetTitle(), title);
}

TEST_F(RunningInstanceTest, CommandLineTooLongForTheBlockOnlyRaises) {
    VerifyDialogCatcher catcher;
    const QString longPath =
        QStringLiteral("/tmp/") + QString(1100, QLatin1Char('a')) + QStringLiteral(".tsr");
    EXPECT_FALSE(SecondStart({longPath}));
    EXPECT_FALSE(frame->isMinimized());
    EXPECT_EQ(BlockCommandLine(app.InstanceBlock()), "");
    EXPECT_TRUE(catcher.StampPaths().isEmpty());
}

TEST(InstanceStartTest, SecondStartWhileTheFirstIsStartingEndsWithoutHandingOver) {
    CZarnApp starting; // holds the block, has not shown a window yet
    ASSERT_TRUE(starting.InstanceBlock().m_bCreated);
    EXPECT_EQ(RunProgram({QStringLiteral("/tmp/x.tsr")}), 0);
    EXPECT_EQ(BlockId(starting.InstanceBlock()), 0u);
    EXPECT_EQ(BlockCommandLine(starting.InstanceBlock()), "");
}

TEST(InstanceStartTest, BlockOfAnInstanceKilledWithSigkillDoesNotStopTheNextStart) {
    QProcess first;
    first.setProgram(QStringLiteral(MIVO_GUI_EXECUTABLE));
    // Its own process group, so that the browser's helpers die with it.
    first.setChildProcessModifier([] { ::setpgid(0, 0); });
    first.start();
    ASSERT_TRUE(first.waitForStarted());
    const auto pid = static_cast<uint32_t>(first.processId());
    // Watched from outside the block's protocol: opening the block now could make this
    // process its holder before the program gets there.
    const std::string blockFile = CSharedMemory::RuntimeDir() + "/" + kInstanceBlockName;
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::string bytes = TempDir::Read(blockFile);
            uint32_t id = 0;
            if (bytes.size() >= sizeof(id))
                std::memcpy(&id, bytes.data(), sizeof(id));
            return id == pid;
        },
        60000))
        << "the first instance never showed its window";
    {
        CSharedMemory probe;
        ASSERT_TRUE(probe.Create(kInstanceBlockSize, kInstanceBlockName));
        EXPECT_FALSE(probe.m_bCreated);
    }
    ::kill(-static_cast<pid_t>(pid), SIGKILL);
    ASSERT_TRUE(first.waitForFinished());

    CZarnApp next;
    EXPECT_TRUE(next.InstanceBlock().m_bCreated);
    EXPECT_EQ(BlockId(next.InstanceBlock()), 0u); // the dead instance's id is gone
    ASSERT_TRUE(next.InitInstance({"mivoklient"}));
    EXPECT_EQ(BlockId(next.InstanceBlock()), static_cast<uint32_t>(::getpid()));

    // Its notice socket replaced the dead one's: a later start reaches us.
    QSignalSpy handled(&next, &CZarnApp::noticeHandled);
    EXPECT_EQ(RunProgram({}), 0);
    EXPECT_TRUE(WaitFor([&] { return handled.count() == 1; }));
}

TEST(InstanceStartTest, StampNamedOnOurOwnCommandLineIsVerifiedAndCancelEndsTheStart) {
    TempDir files;
    const std::string stamp = files.Write("a.txt.tst", "x");
    VerifyDialogCatcher catcher;
    CZarnApp app;
    EXPECT_FALSE(app.InitInstance({"mivoklient", stamp}));
    EXPECT_FALSE(app.EndedAsSecondInstance());
    ASSERT_EQ(catcher.StampPaths().size(), 1);
    EXPECT_EQ(catcher.StampPaths().first(), QString::fromStdString(stamp));
    EXPECT_EQ(app.MainFrame(), nullptr);
}

} // namespace
