// The sizing bar in a plain main window: kept sizes per place, the free edge, the close
// button, floating and docking, the caption, and the sizes in the user's INI file.
#include "GuiTestSupport.h"

#include "support/Messages.h"
#include "support/StringIds.h"

#include "core/ClientSettings.h"
#include "platform/Profile.h"
#include "ui/MainFrame.h"
#include "ui/SizingControlBar.h"
#include "ui/StampListBar.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QStyle>
#include <QTest>
#include <QTextEdit>
#include <QWindow>
#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

constexpr unsigned kBarId = 101;

// A bar whose kept sizes a test can set.
class TestBar : public CSizingControlBarG {
public:
    void SetSizes(QSize horz, QSize vert, QSize floating) {
        m_szHorz = horz;
        m_szVert = vert;
        m_szFloat = floating;
    }
};

class SizingBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_window = std::make_unique<QMainWindow>();
        m_window->setCentralWidget(new QTextEdit);
        m_bar = new TestBar;
        ASSERT_TRUE(m_bar->Create(QStringLiteral("Seznam razítek"), m_window.get(), kBarId));
        m_bar->SetBarStyle(CSizingControlBar::SCBS_SIZECHILD);
        // A plain child leaves double-clicks to the bar, as the bar's own client area does.
        m_child = new QLabel(QStringLiteral("seznam"));
        m_bar->SetChild(m_child);
        EXPECT_EQ(m_bar->DockSide(), 0u);
        m_window->addDockWidget(Qt::LeftDockWidgetArea, m_bar);
        m_window->resize(900, 600);
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
        ASSERT_TRUE(WaitFor([&] { return m_bar->width() == 300; }, 3000)) << m_bar->width();
    }

    void TearDown() override { GetClientSettings().SetIniPath("mivoklient.ini"); }

    // Drags the separator on the bar's free (right) edge by `dx` with real mouse events.
    void DragFreeEdge(int dx) {
        const int extent = m_window->style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent,
                                                          nullptr, m_window.get());
        const QRect bar = m_bar->geometry();
        const QPoint from(bar.right() + 1 + extent / 2, bar.center().y());
        const QPoint to(from.x() + dx, from.y());
        // The main window moves its separator on a zero timer after each mouse move.
        const auto pump = [] {
            WaitFor([] { return false; }, 30);
        };
        QTest::mousePress(m_window.get(), Qt::LeftButton, {}, from);
        QTest::mouseMove(m_window.get(), QPoint(from.x() + dx / 2, from.y()));
        pump();
        QTest::mouseMove(m_window.get(), to);
        pump();
        QTest::mouseRelease(m_window.get(), Qt::LeftButton, {}, to);
        pump();
    }

    // Waits until the bar is settled in its new place with the size `expected`.
    bool SettlesAt(QSize expected) {
        return WaitFor([&] { return m_bar->size() == expected; }, 3000);
    }

    std::unique_ptr<QMainWindow> m_window;
    TestBar* m_bar = nullptr; // owned by the window
    QWidget* m_child = nullptr;
};

TEST_F(SizingBarTest, FreeEdgeDragIsBoundedAndKeptAsTheVerticalSize) {
    EXPECT_EQ(m_bar->DockSide(), CSizingControlBar::AFX_IDW_DOCKBAR_LEFT);
    EXPECT_TRUE(m_bar->IsVertDocked());
    EXPECT_TRUE(m_bar->ShowsGripper());
    // The child fills the bar below the gripper strip.
    EXPECT_EQ(m_child->width(), m_bar->width());
    EXPECT_GE(m_child->height(), m_bar->height() - 20);

    DragFreeEdge(-80);
    ASSERT_TRUE(WaitFor([&] { return m_bar->width() == 220; }, 2000)) << m_bar->width();
    EXPECT_EQ(m_bar->VertSize().width(), 220);
    EXPECT_EQ(m_bar->VertSize().height(), m_bar->height());

    // Far past the minimum: the bar stops at 33 pixels.
    DragFreeEdge(-400);
    ASSERT_TRUE(WaitFor([&] { return m_bar->width() == 33; }, 2000)) << m_bar->width();
    EXPECT_EQ(m_bar->VertSize().width(), 33);

    DragFreeEdge(150);
    ASSERT_TRUE(WaitFor([&] { return m_bar->width() == 183; }, 2000)) << m_bar->width();
    EXPECT_EQ(m_bar->VertSize().width(), 183);
    // The other places keep their sizes.
    EXPECT_EQ(m_bar->HorzSize(), QSize(300, 300));
    EXPECT_EQ(m_bar->FloatSize(), QSize(200, 200));
}

TEST_F(SizingBarTest, CloseButtonHidesAndTheToggleShowsTheFormerSize) {
    DragFreeEdge(-60);
    ASSERT_TRUE(WaitFor([&] { return m_bar->width() == 240; }, 2000)) << m_bar->width();

    auto* close = qobject_cast<QAbstractButton*>(m_bar->CloseButton());
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->size(), QSize(11, 11));
    ASSERT_TRUE(close->isVisible());
    QTest::mouseClick(close, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return m_bar->isHidden(); }, 2000));
    EXPECT_FALSE(m_bar->toggleViewAction()->isChecked());
    // The central widget takes the space meanwhile.
    ASSERT_TRUE(WaitFor([&] { return m_window->centralWidget()->x() < 10; }, 2000));

    m_bar->toggleViewAction()->trigger();
    ASSERT_TRUE(WaitFor([&] { return m_bar->isVisible() && m_bar->width() == 240; }, 2000))
        << m_bar->width();
    EXPECT_EQ(m_bar->DockSide(), CSizingControlBar::AFX_IDW_DOCKBAR_LEFT);

    // The toggle hides it as well (it closes the bar after unchecking), and show() brings
    // it back alike.
    m_bar->toggleViewAction()->trigger();
    ASSERT_TRUE(WaitFor([&] { return m_bar->isHidden(); }, 2000));
    m_bar->show();
    EXPECT_TRUE(SettlesAt(QSize(240, m_bar->height()))) << m_bar->width();

    // A plain close is ignored: the bar does not close itself.
    EXPECT_FALSE(m_bar->close());
    QApplication::processEvents();
    EXPECT_TRUE(m_bar->isVisible());
    EXPECT_TRUE(m_bar->toggleViewAction()->isChecked());
}

TEST_F(SizingBarTest, EachPlaceKeepsItsOwnSize) {
    DragFreeEdge(-50);
    ASSERT_TRUE(WaitFor([&] { return m_bar->width() == 250; }, 2000)) << m_bar->width();

    // Floating: the floating size, no gripper, the window's caption carries the title.
    m_bar->setFloating(true);
    ASSERT_TRUE(SettlesAt(QSize(200, 200))) << m_bar->width() << "x" << m_bar->height();
    EXPECT_EQ(m_bar->DockSide(), CSizingControlBar::AFX_IDW_DOCKBAR_FLOAT);
    EXPECT_FALSE(m_bar->ShowsGripper());
    EXPECT_EQ(m_bar->titleBarWidget(), nullptr);
    EXPECT_EQ(m_bar->minimumSize(), QSize(37, 32));
    m_bar->setWindowTitle(QStringLiteral("Razítka"));
    EXPECT_EQ(m_bar->window()->windowTitle(), QStringLiteral("Razítka"));
    if (QWindow* handle = m_bar->windowHandle()) {
        EXPECT_EQ(handle->title(), QStringLiteral("Razítka"));
    }
    m_bar->resize(260, 180);
    ASSERT_TRUE(WaitFor([&] { return m_bar->FloatSize() == QSize(260, 180); }, 2000));

    // Docked again where it was, with the width it had there.
    m_bar->setFloating(false);
    ASSERT_TRUE(WaitFor(
        [&] { return m_bar->titleBarWidget() == m_bar->GripperStrip() && m_bar->width() == 250; },
        3000))
        << m_bar->width();
    EXPECT_EQ(m_bar->DockSide(), CSizingControlBar::AFX_IDW_DOCKBAR_LEFT);
    EXPECT_EQ(m_bar->minimumSize(), QSize(33, 32));

    // In a row at the top: the horizontal size's thickness, the strip beside the bar.
    m_window->addDockWidget(Qt::TopDockWidgetArea, m_bar);
    ASSERT_TRUE(WaitFor([&] { return m_bar->IsHorzDocked() && m_bar->height() == 300; }, 3000))
        << m_bar->height();
    EXPECT_EQ(m_bar->DockSide(), CSizingControlBar::AFX_IDW_DOCKBAR_TOP);
    EXPECT_TRUE(m_bar->features().testFlag(QDockWidget::DockWidgetVerticalTitleBar));
    EXPECT_EQ(m_bar->GripperStrip()->width(), 12);
    m_window->resizeDocks({m_bar}, {120}, Qt::Vertical);
    ASSERT_TRUE(WaitFor([&] { return m_bar->HorzSize().height() == 120; }, 2000))
        << m_bar->HorzSize().height();
    EXPECT_EQ(m_bar->HorzSize().width(), m_bar->width());

    // Back to the right-hand column: the vertical width; then floating: the floating size.
    m_window->addDockWidget(Qt::RightDockWidgetArea, m_bar);
    ASSERT_TRUE(WaitFor([&] { return m_bar->IsVertDocked() && m_bar->width() == 250; }, 3000))
        << m_bar->width();
    EXPECT_EQ(m_bar->DockSide(), CSizingControlBar::AFX_IDW_DOCKBAR_RIGHT);
    EXPECT_FALSE(m_bar->features().testFlag(QDockWidget::DockWidgetVerticalTitleBar));
    EXPECT_EQ(m_bar->GripperStrip()->height(), 12);
    m_bar->setFloating(true);
    EXPECT_TRUE(SettlesAt(QSize(260, 180))) << m_bar->width() << "x" << m_bar->height();
    EXPECT_EQ(m_bar->HorzSize().height(), 120);
    EXPECT_EQ(m_bar->VertSize().width(), 250);
}

TEST_F(SizingBarTest, DoubleClickFloatsAndDocks) {
    QWidget* strip = m_bar->GripperStrip();
    ASSERT_NE(strip, nullptr);
    // On the gripper, away from the close button.
    QTest::mouseDClick(strip, Qt::LeftButton, {}, QPoint(20, strip->height() / 2));
    ASSERT_TRUE(WaitFor([&] { return m_bar->isFloating(); }, 2000));
    ASSERT_TRUE(SettlesAt(QSize(200, 200)));

    // On the bar's client area while floating: docked again, at its width.
    QTest::mouseDClick(m_child, Qt::LeftButton, {}, m_child->rect().center());
    ASSERT_TRUE(WaitFor([&] { return !m_bar->isFloating() && m_bar->width() == 300; }, 2000));
    EXPECT_EQ(m_bar->DockSide(), CSizingControlBar::AFX_IDW_DOCKBAR_LEFT);

    // And on the client area while docked.
    QTest::mouseDClick(m_child, Qt::LeftButton, {}, m_child->rect().center());
    ASSERT_TRUE(WaitFor([&] { return m_bar->isFloating(); }, 2000));

    // The floating window's own close hides the bar (the frame's toggle shows it again).
    EXPECT_TRUE(m_bar->close());
    EXPECT_TRUE(m_bar->isHidden());
    EXPECT_FALSE(m_bar->toggleViewAction()->isChecked());
}

TEST_F(SizingBarTest, DraggingTheGripperOutFloatsTheBarOnRelease) {
    QWidget* strip = m_bar->GripperStrip();
    const auto pump = [] {
        WaitFor([] { return false; }, 30);
    };
    const QPoint start(30, strip->height() / 2);
    QTest::mousePress(strip, Qt::LeftButton, {}, start);
    for (int dx = 20; dx <= 300; dx += 40) {
        QTest::mouseMove(strip, start + QPoint(dx, 150));
        pump();
    }
    ASSERT_TRUE(m_bar->isFloating());
    // While the button is down the docking drags the window: no new strip, no new size.
    pump();
    EXPECT_EQ(m_bar->titleBarWidget(), strip);
    QTest::mouseRelease(strip, Qt::LeftButton, {}, start + QPoint(300, 150));
    ASSERT_TRUE(WaitFor(
        [&] { return m_bar->titleBarWidget() == nullptr && m_bar->size() == QSize(200, 200); },
        2000))
        << m_bar->width() << "x" << m_bar->height();
    EXPECT_EQ(m_bar->VertSize().width(), 300);
}

// Reads the whole INI file.
std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(SizingBarTest, SizesRoundTripThroughTheUsersIniFile) {
    TempDir dir;
    const std::string ini = dir.Path() + "/mivoklient.ini";
    GetClientSettings().SetIniPath(ini);
    m_bar->SetSizes({410, 120}, {250, 480}, {260, 180});
    m_bar->SaveState("Test");
    EXPECT_EQ(ReadText(ini), "[Test-SCBar-101]\nsizeHorzCX=410\nsizeHorzCY=120\n"
                             "sizeVertCX=250\nsizeVertCY=480\nsizeFloatCX=260\n"
                             "sizeFloatCY=180\n");

    m_bar->SetSizes({1, 1}, {1, 1}, {1, 1});
    m_bar->LoadState("Test");
    EXPECT_EQ(m_bar->HorzSize(), QSize(410, 120));
    EXPECT_EQ(m_bar->VertSize(), QSize(250, 480));
    EXPECT_EQ(m_bar->FloatSize(), QSize(260, 180));

    // Values below the minimums (also negative or no number) are raised to them; a missing
    // key keeps the size the bar has; names are found whatever their case.
    std::ofstream(ini, std::ios::trunc)
        << "[test-scbar-101]\nSIZEHORZCX=5\nsizeHorzCY=-40\nsizeVertCX=abc\n"
           "sizeFloatCX=36\nsizeFloatCY=99999999999999\n[Test-SCBar-102]\nsizeVertCY=7\n";
    m_bar->LoadState("Test");
    EXPECT_EQ(m_bar->HorzSize(), QSize(33, 32));
    EXPECT_EQ(m_bar->VertSize(), QSize(33, 480));
    EXPECT_EQ(m_bar->FloatSize(), QSize(37, INT_MAX));
    // The bar in the left column takes the loaded width.
    EXPECT_TRUE(WaitFor([&] { return m_bar->width() == 33; }, 2000)) << m_bar->width();
}

// The list panel in the real main window: docked on the left, floating, hidden and shown
// again by the frame's command, with screenshots of each.
TEST(SizingBarFrameTest, ListPanelDockedFloatingAndHiddenInTheMainWindow) {
    auto frame = std::make_unique<CMainFrame>();
    ASSERT_TRUE(frame->OnCreate());
    CStampListBar* bar = frame->ListBar();
    ASSERT_NE(bar, nullptr);
    CStampListCtrl& list = bar->ListCtrl();
    list.InsertColumn(0, LoadResString(IDS_COLUMN_STAMP_FILE), 170);
    list.InsertColumn(1, LoadResString(IDS_COLUMN_UTC_TIME), 120);
    const char* rows[][2] = {{"smlouva.pdf.tsr", "2025-05-09 11:58:55"},
                             {"faktura-2025-031.pdf.tsr", "2025-03-11 08:52:08"},
                             {"výkres.dwg.tsr", "2024-10-28 12:31:20"}};
    for (int i = 0; i < 3; ++i) {
        list.InsertRow(i, rows[i][0]);
        list.SetItemText(i, 1, rows[i][1]);
    }
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    ASSERT_TRUE(WaitFor([&] { return bar->width() == 300 && bar->ShowsGripper(); }, 5000))
        << bar->width();
    EXPECT_EQ(bar->DockSide(), CSizingControlBar::AFX_IDW_DOCKBAR_LEFT);
    SaveScreenshot(frame.get(), "sizingbar-frame-docked-left");

    bar->setFloating(true);
    ASSERT_TRUE(WaitFor([&] { return bar->size() == QSize(200, 200); }, 5000));
    EXPECT_EQ(bar->windowTitle(), QString::fromUtf8("Kvalifikované časové razítko"));
    // The view takes the whole width meanwhile.
    ASSERT_TRUE(WaitFor([&] { return frame->centralWidget()->x() < 10; }, 2000));
    SaveScreenshot(bar, "sizingbar-frame-floating-panel");
    SaveScreenshot(frame.get(), "sizingbar-frame-floating");
    bar->setFloating(false);
    ASSERT_TRUE(WaitFor([&] { return bar->ShowsGripper() && bar->width() == 300; }, 5000));

    // The frame's command hides the panel and shows it again where it was, as wide.
    frame->OnViewStampList();
    ASSERT_TRUE(WaitFor([&] { return bar->isHidden(); }, 2000));
    ASSERT_TRUE(WaitFor([&] { return frame->centralWidget()->x() < 10; }, 2000));
    SaveScreenshot(frame.get(), "sizingbar-frame-hidden");
    frame->OnViewStampList();
    ASSERT_TRUE(WaitFor([&] { return bar->isVisible() && bar->width() == 300; }, 2000))
        << bar->width();
    EXPECT_EQ(bar->DockSide(), CSizingControlBar::AFX_IDW_DOCKBAR_LEFT);
}

} // namespace
