// The verification dialog: its controls, when it lets the user go, and its browse buttons.
#include "GuiTestSupport.h"

#include "testlib/RecordingMessageBoxes.h"
#include "ui/OpenFileDialog.h"
#include "ui/QtFrontEnd.h"
#include "ui/VerifyDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

class VerifyDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetFileChooserForTests([this](const FileDialogSpec& spec) {
            asked.push_back(spec);
            return answer;
        });
    }
    void TearDown() override { SetFileChooserForTests(nullptr); }

    // The dialog as the workflow opens it, without a nested event loop.
    void Open() {
        dialog.DoDataExchange(false);
        dialog.show();
        ASSERT_TRUE(WaitFor([this] { return dialog.isVisible(); }));
    }
    QLineEdit* Edit(int id) { return qobject_cast<QLineEdit*>(dialog.Control(id)); }
    QPushButton* Button(int id) { return qobject_cast<QPushButton*>(dialog.Control(id)); }
    QCheckBox* Check() {
        return qobject_cast<QCheckBox*>(dialog.Control(CVerifyDialog::IDC_ADD_TO_LIST));
    }

    RecordingMessageBoxes boxes;
    std::vector<FileDialogSpec> asked;
    std::optional<std::string> answer;
    CVerifyDialog dialog;
};

} // namespace

TEST_F(VerifyDialogTest, ControlsTextsTabOrderAndLayout) {
    Open();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Ověření razítka"));
    ASSERT_NE(Button(CVerifyDialog::IDOK), nullptr);
    ASSERT_NE(Button(CVerifyDialog::IDCANCEL), nullptr);
    ASSERT_NE(Edit(CVerifyDialog::IDC_STAMP_FILE), nullptr);
    ASSERT_NE(Edit(CVerifyDialog::IDC_SOURCE_FILE), nullptr);
    ASSERT_NE(Check(), nullptr);
    EXPECT_EQ(Button(CVerifyDialog::IDOK)->text(), QStringLiteral("Ověřit"));
    EXPECT_TRUE(Button(CVerifyDialog::IDOK)->isDefault());
    EXPECT_EQ(Button(CVerifyDialog::IDCANCEL)->text(), QStringLiteral("Storno"));
    EXPECT_EQ(Button(CVerifyDialog::IDC_BROWSE_STAMP)->text(), QStringLiteral("..."));
    EXPECT_EQ(Button(CVerifyDialog::IDC_BROWSE_SOURCE)->text(), QStringLiteral("..."));
    EXPECT_EQ(Check()->text(), QStringLiteral("Přidat do seznamu"));
    QStringList groups;
    for (auto* group : dialog.findChildren<QGroupBox*>())
        groups << group->title();
    groups.sort();
    EXPECT_EQ(groups.join(u'|'), QStringLiteral("Soubor s časovým razítkem|Zdrojový soubor"));
    EXPECT_EQ(Edit(CVerifyDialog::IDC_STAMP_FILE)->text(), QString());
    EXPECT_FALSE(Check()->isChecked());

    // Tab goes OK, Storno, stamp edit, its button, source edit, its button, check box, OK.
    const std::vector<int> order = {CVerifyDialog::IDOK,
                                    CVerifyDialog::IDCANCEL,
                                    CVerifyDialog::IDC_STAMP_FILE,
                                    CVerifyDialog::IDC_BROWSE_STAMP,
                                    CVerifyDialog::IDC_SOURCE_FILE,
                                    CVerifyDialog::IDC_BROWSE_SOURCE,
                                    CVerifyDialog::IDC_ADD_TO_LIST,
                                    CVerifyDialog::IDOK};
    dialog.Control(order[0])->setFocus();
    ASSERT_TRUE(WaitFor([&] { return dialog.Control(order[0])->hasFocus(); }));
    for (size_t i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), dialog.Control(order[i])) << "step " << i;
    }

    // Proportions of the dialog units: the edits end left of their buttons, the two push
    // buttons are alike, everything lies inside the dialog.
    const QRect ok = Button(CVerifyDialog::IDOK)->geometry();
    EXPECT_EQ(ok.size(), Button(CVerifyDialog::IDCANCEL)->geometry().size());
    EXPECT_LT(Edit(CVerifyDialog::IDC_STAMP_FILE)->geometry().right(),
              Button(CVerifyDialog::IDC_BROWSE_STAMP)->geometry().left());
    EXPECT_LT(Edit(CVerifyDialog::IDC_STAMP_FILE)->geometry().bottom(),
              Edit(CVerifyDialog::IDC_SOURCE_FILE)->geometry().top());
    for (QWidget* w : dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(dialog.rect().contains(w->geometry())) << w->objectName().toStdString();
    EXPECT_NEAR(double(dialog.width()) / ok.width(), 351.0 / 50, 0.15);
    EXPECT_NEAR(double(dialog.height()) / ok.height(), 106.0 / 14, 0.15);

    dialog.m_strStampFile = QStringLiteral("/data/smlouva.pdf.tsr");
    dialog.m_strSourceFile = QStringLiteral("/data/smlouva.pdf");
    dialog.m_bAddToList = 1;
    dialog.DoDataExchange(false);
    SaveScreenshot(&dialog, "verify_dialog");
}

TEST_F(VerifyDialogTest, OkNeedsBothPathsAndSaysNothingOtherwise) {
    Open();
    Edit(CVerifyDialog::IDC_STAMP_FILE)->setText(QStringLiteral("/tmp/a.tsr"));
    QTest::mouseClick(Button(CVerifyDialog::IDOK), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(boxes.shown.empty());

    // Enter in an edit presses the default button.
    Edit(CVerifyDialog::IDC_SOURCE_FILE)->setText(QStringLiteral("/tmp/a"));
    Edit(CVerifyDialog::IDC_SOURCE_FILE)->setFocus();
    QTest::keyClick(Edit(CVerifyDialog::IDC_SOURCE_FILE), Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_strStampFile, QStringLiteral("/tmp/a.tsr"));
    EXPECT_EQ(dialog.m_strSourceFile, QStringLiteral("/tmp/a"));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(VerifyDialogTest, StornoEscapeAndCloseBoxEmptyBothPaths) {
    for (int way = 0; way < 3; ++way) {
        dialog.m_strStampFile = QStringLiteral("/tmp/a.tsr");
        dialog.m_strSourceFile = QStringLiteral("/tmp/a");
        dialog.m_bAddToList = 1;
        Open();
        if (way == 0)
            QTest::mouseClick(Button(CVerifyDialog::IDCANCEL), Qt::LeftButton);
        else if (way == 1)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            dialog.close();
        EXPECT_FALSE(dialog.isVisible()) << way;
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << way;
        EXPECT_TRUE(dialog.m_strStampFile.isEmpty()) << way;
        EXPECT_TRUE(dialog.m_strSourceFile.isEmpty()) << way;
    }
}

TEST_F(VerifyDialogTest, BrowseShowsItsTitleAndFilterAndKeepsTheEditWhenCancelled) {
    Open();
    Edit(CVerifyDialog::IDC_STAMP_FILE)->setText(QStringLiteral("/typed/stamp.tst"));
    Edit(CVerifyDialog::IDC_SOURCE_FILE)->setText(QStringLiteral("/typed/source"));

    answer = std::nullopt;
    QTest::mouseClick(Button(CVerifyDialog::IDC_BROWSE_STAMP), Qt::LeftButton);
    QTest::mouseClick(Button(CVerifyDialog::IDC_BROWSE_SOURCE), Qt::LeftButton);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].m_strTitle, "Otevřít soubor kvalifikovaného časového razítka");
    EXPECT_EQ(asked[0].m_strFilterName, "Kvalifikované časové razítka");
    EXPECT_EQ(asked[0].m_strFilterPattern, "*.tsr;*.tst");
    EXPECT_EQ(asked[1].m_strTitle, "Vyberte zdrojový soubor");
    EXPECT_EQ(asked[1].m_strFilterName, "Všechny soubory");
    EXPECT_EQ(asked[1].m_strFilterPattern, "*.*");
    EXPECT_EQ(Edit(CVerifyDialog::IDC_STAMP_FILE)->text(), QStringLiteral("/typed/stamp.tst"));
    EXPECT_EQ(Edit(CVerifyDialog::IDC_SOURCE_FILE)->text(), QStringLiteral("/typed/source"));

    // A pick replaces only its own edit; what was typed in the other one stays.
    Edit(CVerifyDialog::IDC_SOURCE_FILE)->setText(QStringLiteral("/typed/other"));
    answer = "/picked/smlouva.pdf.tsr";
    QTest::mouseClick(Button(CVerifyDialog::IDC_BROWSE_STAMP), Qt::LeftButton);
    EXPECT_EQ(Edit(CVerifyDialog::IDC_STAMP_FILE)->text(),
              QStringLiteral("/picked/smlouva.pdf.tsr"));
    EXPECT_EQ(Edit(CVerifyDialog::IDC_SOURCE_FILE)->text(), QStringLiteral("/typed/other"));
    answer = "/picked/smlouva.pdf";
    QTest::mouseClick(Button(CVerifyDialog::IDC_BROWSE_SOURCE), Qt::LeftButton);
    EXPECT_EQ(Edit(CVerifyDialog::IDC_SOURCE_FILE)->text(), QStringLiteral("/picked/smlouva.pdf"));
    EXPECT_TRUE(dialog.isVisible());
}
