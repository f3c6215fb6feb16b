// The main window as the application builds it: commands from the menu, the accelerators
// and the toolbar reach their handlers; the list panel toggle; prompts and tips.
#include "GuiTestSupport.h"

#include "core/ClientSettings.h"
#include "document/ZarnDoc.h"
#include "support/StringIds.h"
#include "testlib/RecordingMessageBoxes.h"
#include "ui/MainFrame.h"
#include "ui/OpenFileDialog.h"
#include "ui/QtFrontEnd.h"
#include "ui/StampListBar.h"
#include "ui/VerifyDialog.h"
#include "ui/ZarnApp.h"
#include "ui/ZarnView.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetFileChooserForTests([this](const FileDialogSpec& spec) {
            chooserTitles.push_back(spec.m_strTitle);
            return std::optional<std::string>();
        });
        CZarnApp::SetUrlOpenerForTests([this](const QUrl& url) {
            openedUrls << url;
            return true;
        });
        CZarnApp::SetHelpDirsForTests({QString::fromStdString(files.Path())});
        ASSERT_TRUE(app.InitInstance({"mivoklient"}));
        frame = app.MainFrame();
        ASSERT_NE(frame, nullptr);
        view = frame->View();
        loaded = std::make_unique<QSignalSpy>(view, &CZarnView::pageFilled);
        // The first display is the about page.
        ASSERT_TRUE(WaitFor([&] {
            return view->CurrentPageUrl().endsWith(QStringLiteral("/about.htm")) &&
                   loaded->count() > 0;
        }));
        boxes = std::make_unique<RecordingMessageBoxes>();
    }
    void TearDown() override {
        boxes.reset();
        SetFileChooserForTests({});
        CZarnApp::SetUrlOpenerForTests({});
        CZarnApp::SetHelpDirsForTests({});
        CZarnView::SetPrintToPdfForTests({});
    }

    QToolButton* Button(unsigned id) const {
        return qobject_cast<QToolButton*>(frame->ToolBar()->widgetForAction(frame->Action(id)));
    }
    // Waits until the view has loaded the page `name`.
    bool WaitForPage(const char* name) {
        return WaitFor([&] {
            return view->CurrentPageUrl().endsWith(QLatin1String(name)) && !loaded->isEmpty() &&
                   loaded->last().first().toUrl().path().endsWith(QLatin1String(name));
        });
    }

    TempDir files;
    std::vector<std::string> chooserTitles;
    QList<QUrl> openedUrls;
    CZarnApp app;
    CMainFrame* frame = nullptr;
    CZarnView* view = nullptr;
    std::unique_ptr<QSignalSpy> loaded; // the view's filled pages
    std::unique_ptr<RecordingMessageBoxes> boxes;
};

TEST_F(FrameTest, MenuBarAndToolbarCarryTheCommandsInOrder) {
    QStringList menus;
    for (QAction* menu : frame->menuBar()->actions())
        menus << menu->text();
    EXPECT_EQ(menus, (QStringList{QStringLiteral("&Razítko"), QStringLiteral("&Zobrazit"),
                                  QStringLiteral("Nás&troje"), QStringLiteral("Nápo&věda")}));
    QList<unsigned> stampMenu;
    for (QAction* item : frame->menuBar()->actions().first()->menu()->actions())
        stampMenu << (item->isSeparator() ? 0u : item->data().toUInt());
    EXPECT_EQ(stampMenu,
              (QList<unsigned>{57600, 57601, 32773, 61920, 0, 32772, 0, 57607, 57609, 0, 57665}));
    EXPECT_EQ(frame->Action(57600)->text(), QStringLiteral("&Nové\tCtrl+N"));
    EXPECT_EQ(frame->Action(32775)->text(), QStringLiteral("Nápo&věda\tF1"));

    QList<unsigned> toolbar;
    for (QAction* item : frame->ToolBar()->actions())
        toolbar << (item->isSeparator() ? 0u : item->data().toUInt());
    EXPECT_EQ(toolbar, (QList<unsigned>{57600, 57601, 32773, 0, 32772, 0, 32771, 0, 57608, 0, 32775,
                                        57665}));
    for (QAction* item : frame->ToolBar()->actions()) {
        if (!item->isSeparator()) {
            EXPECT_FALSE(item->icon().pixmap(16, 15).isNull()) << item->data().toUInt();
        }
    }

    // Tips are the text after the line feed, or the whole prompt.
    EXPECT_EQ(Button(57601)->toolTip(), QStringLiteral("Otevřít"));
    EXPECT_EQ(Button(32772)->toolTip(),
              QStringLiteral("Smazat soubor s časovým razítkem ze seznamu"));
    EXPECT_EQ(Button(57665)->toolTip(), QStringLiteral("Konec"));

    EXPECT_EQ(frame->windowTitle(), QStringLiteral("MIVO klient"));
    EXPECT_EQ(frame->IdlePane()->text(), QStringLiteral("Připraven"));
    ASSERT_NE(frame->ListBar(), nullptr);
    EXPECT_EQ(frame->ListBar()->ControlId(), 101u);
    EXPECT_EQ(frame->ListBar()->windowTitle(), QStringLiteral("Kvalifikované časové razítko"));
    EXPECT_EQ(frame->dockWidgetArea(frame->ListBar()), Qt::LeftDockWidgetArea);
    EXPECT_EQ(frame->centralWidget(), view);

    frame->resize(900, 600);
    const std::string shot = SaveScreenshot(frame, "main_frame");
    EXPECT_TRUE(std::filesystem::exists(shot));
}

TEST_F(FrameTest, CommandsReachViewDocumentFrameAndApplication) {
    frame->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return frame->isActiveWindow(); }));

    // View: settings from the toolbar, about from the menu.
    QTest::mouseClick(Button(32771), Qt::LeftButton);
    EXPECT_TRUE(WaitForPage("/config.htm"));
    frame->Action(57664)->trigger();
    EXPECT_TRUE(WaitForPage("/about.htm"));

    // Document: the accelerators ask for a source file and for a stamp to open.
    QTest::keyClick(frame, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(frame, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(chooserTitles,
              (std::vector<std::string>{"Vyberte zdrojový soubor",
                                        "Otevřít soubor kvalifikovaného časového razítka"}));

    // Document: verify from the toolbar opens the verification dialog.
    int dialogs = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, &closer, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<CVerifyDialog*>(window);
            if (dialog != nullptr && dialog->isVisible()) {
                ++dialogs;
                dialog->reject();
            }
        }
    });
    closer.start(10);
    QTest::mouseClick(Button(32773), Qt::LeftButton);
    EXPECT_EQ(dialogs, 1);
    closer.stop();
    frame->activateWindow(); // the offscreen platform has no window manager to do it
    ASSERT_TRUE(WaitFor([&] { return frame->isActiveWindow(); }));

    // Application: F1 opens the help page, and a missing one is ignored without a word.
    QTest::keyClick(frame, Qt::Key_F1);
    EXPECT_TRUE(openedUrls.isEmpty());
    files.Write("napoveda.html", "<html></html>");
    QTest::keyClick(frame, Qt::Key_F1);
    ASSERT_EQ(openedUrls.size(), 1);
    EXPECT_EQ(openedUrls.first(),
              QUrl::fromLocalFile(QString::fromStdString(files.File("napoveda.html"))));
    EXPECT_TRUE(boxes->shown.empty());
    // A browser that does not start is reported with the file it was to show.
    CZarnApp::SetUrlOpenerForTests([](const QUrl&) { return false; });
    QTest::keyClick(frame, Qt::Key_F1);
    ASSERT_EQ(boxes->shown.size(), 1U);
    EXPECT_EQ(boxes->shown[0].text, "Nápovědu " + files.File("napoveda.html") +
                                        " se nepodařilo otevřít: prohlížeč nápovědy se nespustil.");
    boxes->shown.clear();

    // Application (the framework's exit): the window closes and takes the settings along.
    ASSERT_NE(GetClientSettings().IniPath(), "mivoklient.ini");
    QPointer<CMainFrame> guard(frame);
    QTest::mouseClick(Button(57665), Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return guard.isNull(); }));
    EXPECT_EQ(app.MainFrame(), nullptr);
    EXPECT_EQ(GetClientSettings().IniPath(), "mivoklient.ini"); // a fresh object
}

TEST_F(FrameTest, ToolbarPrintsAtOnceWhereTheMenuAsks) {
    EXPECT_EQ(frame->Action(57607)->text(), QStringLiteral("&Tisk"));
    EXPECT_EQ(Button(57607), nullptr);
    const std::string pdf = files.File("page.pdf");
    CZarnView::SetPrintToPdfForTests(QString::fromStdString(pdf));
    QSignalSpy printed(view, &QWebEngineView::printFinished);
    QTest::mouseClick(Button(57608), Qt::LeftButton);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr); // no print dialog in between
    // The page is painted on a thread of the engine: the print must end before the view.
    ASSERT_TRUE(WaitFor([&] { return printed.count() > 0; }));
    EXPECT_TRUE(printed.first().first().toBool());
    EXPECT_GT(std::filesystem::file_size(pdf), 0u);
}

TEST_F(FrameTest, F6SwitchesBetweenListAndPageAndTabLeavesThePageForTheList) {
    frame->activateWindow(); // the offscreen platform has no window manager to do it
    ASSERT_TRUE(WaitFor([&] { return frame->isActiveWindow(); }));
    QWidget* list = &frame->ListBar()->ListCtrl();
    const auto inView = [&] {
        QWidget* focus = QApplication::focusWidget();
        return focus != nullptr && (focus == view || view->isAncestorOf(focus));
    };
    list->setFocus();
    ASSERT_TRUE(WaitFor([&] { return list->hasFocus(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    EXPECT_TRUE(WaitFor(inView));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_TRUE(WaitFor([&] { return list->hasFocus(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_TRUE(WaitFor(inView));

    // Tab walks through the page's controls and then on to the list, never out of reach.
    bool reached = false;
    for (int i = 0; i < 40 && !reached; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached = WaitFor([&] { return list->hasFocus(); }, 150);
        if (!reached) {
            ASSERT_TRUE(inView()) << "the focus left the page for another place";
        }
    }
    EXPECT_TRUE(reached);
}

TEST_F(FrameTest, StampListToggleHidesAndShowsTheDockedPanelWithItsCheckMark) {
    CStampListBar* bar = frame->ListBar();
    QAction* toggle = frame->Action(32774);
    QMenu* viewMenu = frame->menuBar()->actions().at(1)->menu();
    ASSERT_TRUE(bar->isVisible());
    emit viewMenu->aboutToShow();
    EXPECT_TRUE(toggle->isChecked());

    toggle->trigger();
    EXPECT_FALSE(bar->isVisible()); // at once, not later
    emit viewMenu->aboutToShow();
    EXPECT_FALSE(toggle->isChecked());

    toggle->trigger();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_EQ(frame->dockWidgetArea(bar), Qt::LeftDockWidgetArea);
    EXPECT_FALSE(bar->isFloating());

    // The framework's toggles of the toolbar and the status bar behave alike.
    frame->Action(59392)->trigger();
    EXPECT_FALSE(frame->ToolBar()->isVisible());
    EXPECT_FALSE(frame->Action(59392)->isChecked());
    frame->Action(59393)->trigger();
    EXPECT_FALSE(frame->statusBar()->isVisible());
    frame->Action(59393)->trigger();
    EXPECT_TRUE(frame->statusBar()->isVisible());
    EXPECT_TRUE(frame->Action(59393)->isChecked());
}

TEST_F(FrameTest, StatusBarShowsThePromptOfWhatThePointerIsOn) {
    QStatusBar* status = frame->statusBar();
    QTest::mouseMove(Button(57601));
    EXPECT_TRUE(WaitFor(
        [&] {
            return status->currentMessage() == QStringLiteral("Otevřít existující časové razítko");
        },
        3000));
    QTest::mouseMove(view, QPoint(300, 300));
    EXPECT_TRUE(WaitFor([&] { return status->currentMessage().isEmpty(); }, 3000));
    EXPECT_TRUE(frame->IdlePane()->isVisible());
    EXPECT_EQ(frame->IdlePane()->text(), QStringLiteral("Připraven"));

    // A highlighted menu item shows its prompt too.
    QMenu* stampMenu = frame->menuBar()->actions().first()->menu();
    stampMenu->popup(frame->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(WaitFor([&] { return stampMenu->isVisible(); }, 3000));
    QAction* verify = frame->Action(32773);
    QTest::mouseMove(stampMenu, stampMenu->actionGeometry(verify).center());
    EXPECT_TRUE(WaitFor(
        [&] { return status->currentMessage() == QStringLiteral("Ověřit hash souboru"); }, 3000));
    stampMenu->hide();
}

} // namespace
