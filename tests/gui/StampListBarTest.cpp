// The docked stamp list: a real document over a registry of real stamp files, the bar in a
// main window, the user's clicks and keys.
#include "GuiTestSupport.h"

#include "core/ClientSettings.h"
#include "core/TrustAnchors.h"
#include "core/TrustedListCache.h"
#include "document/ZarnDoc.h"
#include "list/StampList.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "testlib/FakeFrontEnd.h"
#include "testlib/RecordingMessageBoxes.h"
#include "tools/TokenFactory.h"
#include "ui/QtFrontEnd.h"
#include "ui/RowVerdicts.h"
#include "ui/StampListBar.h"

#include <QHeaderView>
#include <QMainWindow>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

using mivo::test::Bytes;
using mivo::test::TokenFactory;
using mivo::test::TokenSpec;

class StampListBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteClientSettings();
        CClientSettings& settings = GetClientSettings();
        ASSERT_TRUE(UseUserIniFile(settings));
        settings.Load();
    }
    void TearDown() override {
        if (doc)
            doc->SetFrontEnd(nullptr);
        if (bar != nullptr)
            bar->SetDocument(nullptr);
        doc.reset();
        delete frame;
        front.reset();
        DeleteClientSettings();
    }

    // A stamp of `content` made at `genTime` (GeneralizedTime), with its source beside it.
    CStampListEntry MakeStamp(const std::string& name, const std::string& content,
                              const std::string& genTime = "20250509115855Z") {
        TokenSpec spec;
        spec.imprint = Bytes(32);
        EVP_Digest(content.data(), content.size(), spec.imprint.data(), nullptr, EVP_sha256(),
                   nullptr);
        spec.genTime = genTime;
        const Bytes token = TokenFactory::Token(spec);
        CStampListEntry entry;
        entry.m_strSourceFile = dir.Write(name, content);
        entry.m_strStampFile = dir.Write(name + ".tst", std::string(token.begin(), token.end()));
        return entry;
    }

    // The stored registry holds `count` stamps, read as at start-up.
    void ListStamps(int count) {
        CStampList stored;
        for (int i = 0; i < count; ++i) {
            const CStampListEntry entry =
                MakeStamp("s" + std::to_string(i) + ".txt", "source " + std::to_string(i),
                          "2025050911585" + std::to_string(i) + "Z");
            ASSERT_TRUE(
                stored.Change(GetClientSettings(), {CStampListChange::Kind::Put, entry, 0}));
        }
        registry.LoadAtStartup(GetClientSettings());
    }

    // The main window as the frame builds it: bar created, docked on the left, document set.
    void OpenWindow(bool show = true) {
        frame = new QMainWindow;
        frame->setCentralWidget(new QWidget);
        frame->resize(900, 400);
        bar = new CStampListBar(frame);
        ASSERT_TRUE(
            bar->Create(QString::fromStdString(LoadResString(IDS_STAMP_LIST_TITLE)), frame, 101));
        frame->addDockWidget(Qt::LeftDockWidgetArea, bar);
        doc = std::make_unique<CZarnDoc>(registry);
        bar->SetDocument(doc.get());
        front = std::make_unique<CQtFrontEnd>(frame, bar);
        doc->SetFrontEnd(front.get());
        doc->AddView(&view);
        if (show) {
            frame->show();
            ASSERT_TRUE(WaitFor([this] { return List().isVisible() && List().width() > 50; }));
        }
    }

    CStampListCtrl& List() { return bar->ListCtrl(); }
    QRect RowRect(int row) { return List().visualItemRect(List().topLevelItem(row)); }

    TempDir dir;
    ScopedEnv configDir{"MIVOKLIENT_CONFIG_DIR", (dir.Path() + "/config").c_str()};
    RecordingMessageBoxes boxes;
    CStampList registry;
    CountingView view;
    QMainWindow* frame = nullptr;
    CStampListBar* bar = nullptr; // owned by the frame
    std::unique_ptr<CZarnDoc> doc;
    std::unique_ptr<CQtFrontEnd> front;
};

} // namespace

TEST_F(StampListBarTest, BarHoldsTheListAsItsOnlyChild) {
    OpenWindow();
    EXPECT_EQ(bar->ControlId(), 101u);
    EXPECT_EQ(bar->BarStyle() & CSizingControlBar::SCBS_EDGEALL, 0u);
    EXPECT_TRUE(bar->BarStyle() & CSizingControlBar::SCBS_SHOWEDGES);
    EXPECT_TRUE(bar->BarStyle() & CSizingControlBar::SCBS_SIZECHILD);
    EXPECT_EQ(bar->widget(), &List());
    EXPECT_EQ(List().property("controlId").toInt(), 102);
    EXPECT_EQ(List().selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(List().selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_FALSE(List().rootIsDecorated());
    EXPECT_EQ(frame->dockWidgetArea(bar), Qt::LeftDockWidgetArea);
}

TEST_F(StampListBarTest, EmptyRegistryGivesTwoHeadingsAndNoRows) {
    OpenWindow();
    EXPECT_EQ(List().RowCount(), 0);
    EXPECT_EQ(bar->FillOnce(registry), 0);
    ASSERT_EQ(List().columnCount(), 2);
    EXPECT_EQ(List().headerItem()->text(0), QStringLiteral("Soubor s razítkem"));
    EXPECT_EQ(List().headerItem()->text(1), QStringLiteral("UTC čas"));
    EXPECT_EQ(List().FirstSelectedRow(), -1);
    EXPECT_EQ(bar->SelectRow(-1), 0);
    EXPECT_EQ(bar->SelectRow(0), 0);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), -1);
}

TEST_F(StampListBarTest, FillShowsRegistryInOrderOnceWithFixedWidthsAndTheTimeWhole) {
    ListStamps(3);
    OpenWindow();
    const int width = List().viewport()->width();
    EXPECT_EQ(bar->FillOnce(registry), 3);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(List().ItemText(row, 0), "s" + std::to_string(row) + ".txt.tst");
        EXPECT_EQ(List().ItemText(row, 1), "2025/05/09  11:58:5" + std::to_string(row));
    }
    EXPECT_EQ(List().FirstSelectedRow(), -1);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), -1);
    // Half each, but the time column never so narrow that a time is cut.
    const int timeWidth = List().columnWidth(1);
    EXPECT_EQ(List().columnWidth(0), width / 2);
    EXPECT_GE(timeWidth, width / 2);
    for (int row = 0; row < 3; ++row) {
        const QRect cell = List().visualRect(List().model()->index(row, 1));
        EXPECT_GE(cell.width(),
                  List().fontMetrics().horizontalAdvance(List().topLevelItem(row)->text(1)) + 6)
            << row;
    }

    // Later fills only count; widening the panel leaves the columns as they were.
    registry.Add(MakeStamp("late.txt", "late"));
    EXPECT_EQ(bar->FillOnce(registry), 3);
    frame->resizeDocks({bar}, {width + 40}, Qt::Horizontal);
    ASSERT_TRUE(WaitFor([&] { return List().viewport()->width() > width + 20; }, 2000))
        << width << " " << List().viewport()->width() << " " << bar->width();
    EXPECT_EQ(List().columnWidth(0), width / 2);
    EXPECT_EQ(List().columnWidth(1), timeWidth);
    SaveScreenshot(frame, "stamp_list_filled");
}

TEST_F(StampListBarTest, FillBeforeTheWindowIsShownUsesTheDockedWidth) {
    ListStamps(1);
    OpenWindow(false);
    EXPECT_EQ(bar->FillOnce(registry), 1);
    // Half of the bar's docked width each, not of a list that was never laid out.
    EXPECT_GT(List().columnWidth(0), 100);
    EXPECT_GE(List().columnWidth(1), List().columnWidth(0));
}

TEST_F(StampListBarTest, AddingAppendsScrollsSelectsAndShowsAndReAddingRewritesTheTime) {
    ListStamps(30);
    OpenWindow();
    bar->FillOnce(registry);
    const CStampListEntry entry = MakeStamp("new.txt", "new content");
    doc->AddToList(entry);
    ASSERT_EQ(List().RowCount(), 31);
    EXPECT_EQ(List().ItemText(30, 0), "new.txt.tst");
    EXPECT_EQ(List().ItemText(30, 1), "2025/05/09  11:58:55");
    EXPECT_EQ(List().FirstSelectedRow(), 30);
    EXPECT_EQ(List().currentIndex().row(), 30);
    EXPECT_GT(List().verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(List().verticalScrollBar()->value(), List().verticalScrollBar()->maximum());
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 30);
    EXPECT_EQ(doc->GetFieldValue("m_file_name"), entry.m_strStampFile);
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown[0].text;
    EXPECT_EQ(frame->focusWidget(), &List());

    // The same stamp path stamped anew (a later time): its row is rewritten and chosen.
    List().SelectAndFocus(2);
    const CStampListEntry again = MakeStamp("s5.txt", "source 5", "20260101000000Z");
    const int updates = view.updates;
    doc->AddToList(again);
    EXPECT_EQ(List().RowCount(), 31);
    EXPECT_EQ(List().ItemText(5, 0), "s5.txt.tst");
    EXPECT_EQ(List().ItemText(5, 1), "2026/01/01  00:00:00");
    EXPECT_EQ(List().FirstSelectedRow(), 5);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 5);
    EXPECT_EQ(doc->GetFieldValue("m_file_name"), again.m_strStampFile);
    EXPECT_GT(view.updates, updates);
    // Another letter case is another file, and another row.
    doc->AddToList(MakeStamp("S5.txt", "source 5"));
    EXPECT_EQ(List().RowCount(), 32);
    EXPECT_EQ(List().FirstSelectedRow(), 31);
}

TEST_F(StampListBarTest, SelectingARowShowsItEveryTimeButNotEveryRow) {
    ListStamps(3);
    OpenWindow();
    bar->FillOnce(registry);
    EXPECT_EQ(bar->SelectRow(1), 1);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 1);
    // Asked again for the row it has: shown anew.
    const int updates = view.updates;
    EXPECT_EQ(bar->SelectRow(1), 1);
    EXPECT_EQ(view.updates, updates + 1);
    // -1 is every row: refused, the selection stays.
    EXPECT_EQ(bar->SelectRow(-1), 0);
    EXPECT_EQ(List().FirstSelectedRow(), 1);
    EXPECT_EQ(bar->SelectRow(3), 0);
    EXPECT_EQ(bar->PutEntry(3, registry.GetAt(0), true), -1);
    EXPECT_EQ(List().FirstSelectedRow(), 1);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 1);
}

TEST_F(StampListBarTest, MouseAndArrowKeysShowTheChosenRow) {
    ListStamps(3);
    OpenWindow();
    bar->FillOnce(registry);
    QTest::mouseClick(List().viewport(), Qt::LeftButton, Qt::NoModifier, RowRect(1).center());
    EXPECT_EQ(List().FirstSelectedRow(), 1);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 1);
    EXPECT_EQ(doc->GetFieldValue("m_file_name"), registry.GetAt(1).m_strStampFile);

    // Clicking the row it already has changes no state and so shows nothing anew.
    const int updates = view.updates;
    QTest::mouseClick(List().viewport(), Qt::LeftButton, Qt::NoModifier, RowRect(1).center());
    EXPECT_EQ(view.updates, updates);

    QTest::keyClick(&List(), Qt::Key_Down);
    EXPECT_EQ(List().FirstSelectedRow(), 2);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 2);
    QTest::keyClick(&List(), Qt::Key_Up);
    QTest::keyClick(&List(), Qt::Key_Up);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 0);
    EXPECT_TRUE(boxes.shown.empty());
    SaveScreenshot(frame, "stamp_list_selected");
}

TEST_F(StampListBarTest, DeleteAsksThenRemovesOnlyTheRegistryEntryAndSelectsNothing) {
    ListStamps(3);
    OpenWindow();
    bar->FillOnce(registry);

    // Nothing selected: no question, nothing changes.
    EXPECT_EQ(bar->DeleteSelected(), 0);
    EXPECT_TRUE(boxes.shown.empty());

    bar->SelectRow(1);
    boxes.Answer(MsgResult::No);
    EXPECT_EQ(bar->DeleteSelected(), 0);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Vymazat vybraný soubor kvalifikovaného časového razítka?");
    EXPECT_EQ(boxes.shown[0].caption, "MIVO klient");
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Question);
    EXPECT_EQ(List().RowCount(), 3);
    EXPECT_EQ(registry.GetCount(), 3);
    EXPECT_EQ(List().FirstSelectedRow(), 1);

    boxes.Answer(MsgResult::Yes);
    EXPECT_EQ(bar->DeleteSelected(), 1);
    ASSERT_EQ(List().RowCount(), 2);
    EXPECT_EQ(List().ItemText(0, 0), "s0.txt.tst");
    EXPECT_EQ(List().ItemText(1, 0), "s2.txt.tst");
    EXPECT_EQ(registry.GetCount(), 2);
    EXPECT_EQ(List().FirstSelectedRow(), -1);
    EXPECT_FALSE(List().currentIndex().isValid());
    EXPECT_EQ(doc->GetCurrentEntryIndex(), -1);
    EXPECT_TRUE(std::filesystem::exists(dir.File("s1.txt.tst")));

    // The next arrow key starts from the top again, and the rows still match the registry.
    QTest::keyClick(&List(), Qt::Key_Down);
    EXPECT_EQ(List().FirstSelectedRow(), 0);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 0);
    QTest::keyClick(&List(), Qt::Key_Down);
    EXPECT_EQ(doc->GetFieldValue("m_file_name"), dir.File("s2.txt.tst"));
}

TEST_F(StampListBarTest, StampPathWithoutSlashGivesAnEmptyName) {
    OpenWindow();
    bar->FillOnce(registry);
    CStampListEntry entry;
    entry.m_strStampFile = "stamp.tst";
    entry.m_strUtcTime = "2025/05/09  11:58:55";
    EXPECT_EQ(bar->PutEntry(-1, entry, false), 1);
    EXPECT_EQ(List().ItemText(0, 0), "");
    EXPECT_EQ(List().ItemText(0, 1), "2025/05/09  11:58:55");
    EXPECT_EQ(List().FirstSelectedRow(), -1);
}

TEST_F(StampListBarTest, ListedStampsGetTheirVerdictBadgesInTheBackground) {
    TempDir anchors, lists;
    ScopedEnv anchorDir(kTrustDirVariable, anchors.Path().c_str());
    ScopedEnv listDir(tl::kTlDirVariable, lists.Path().c_str());
    anchors.Write("mivo-test-ca.pem", TokenFactory::CaCertPem());
    trust::RebuildTrustAnchors();
    // Made now: the test CA is valid from the time it was made.
    for (int i = 0; i < 2; ++i)
        registry.Add(MakeStamp("v" + std::to_string(i) + ".txt", "verdict " + std::to_string(i),
                               TokenFactory::GenTimeNow()));
    CStampListEntry broken = MakeStamp("broken.txt", "broken");
    dir.Write("broken.txt.tst", "no stamp at all");
    registry.Add(broken);
    OpenWindow();
    EXPECT_EQ(bar->FillOnce(registry), 3);
    ASSERT_NE(bar->RowVerdictLoader(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return List().RowBadgeOf(2) != RowBadge::None; }));
    EXPECT_EQ(List().RowBadgeOf(0), RowBadge::Trusted);
    EXPECT_EQ(List().RowBadgeOf(1), RowBadge::Trusted);
    EXPECT_EQ(List().RowBadgeOf(2), RowBadge::Failed);
    EXPECT_FALSE(List().topLevelItem(0)->icon(0).isNull());
    EXPECT_EQ(List().RowTooltip(2), List().topLevelItem(2)->toolTip(1).toStdString());
    EXPECT_FALSE(List().RowTooltip(2).empty());

    // Shown, a row takes the verdict the document reached; with the anchor gone it is the
    // untrusted one, whose message is the row's tooltip.
    std::filesystem::remove_all(anchors.Path());
    std::filesystem::create_directories(anchors.Path());
    trust::RebuildTrustAnchors();
    EXPECT_EQ(bar->SelectRow(1), 1);
    EXPECT_EQ(List().RowBadgeOf(1), RowBadge::Untrusted);
    EXPECT_EQ(List().RowTooltip(1).rfind(doc->GetFieldValue("trust_msg"), 0), 0u);
    // Trusted, qualified and failed badges look different from each other.
    const auto image = [](RowBadge badge) {
        return RowBadgeIcon(badge).pixmap(16).toImage();
    };
    EXPECT_NE(image(RowBadge::TrustedQualified), image(RowBadge::Trusted));
    EXPECT_NE(image(RowBadge::Trusted), image(RowBadge::Untrusted));
    EXPECT_NE(image(RowBadge::Untrusted), image(RowBadge::Failed));
    SaveScreenshot(frame, "stamp_list_badges");
    trust::RebuildTrustAnchors();
}
