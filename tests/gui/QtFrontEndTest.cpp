// The Qt answers to the document and the transport: real message boxes, file dialogs and
// prompts, found while they are open and answered as a user would.
#include "GuiTestSupport.h"

#include "ui/QtFrontEnd.h"
#include "ui/VerifyDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace {

// Runs `action` on the modal window of type T as soon as it is open, from inside its event
// loop. Gives up after five seconds (then the code under test never showed it).
template <typename T> void WhenModalOpens(std::function<void(T*)> action) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, tries, action] {
        auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
        if (w != nullptr && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(w);
        } else if (++*tries > 500) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

QStringList ButtonTexts(QMessageBox* box) {
    QStringList texts;
    for (QAbstractButton* b : box->buttons())
        texts << b->text();
    texts.sort();
    return texts;
}

QAbstractButton* ButtonWithText(QMessageBox* box, const QString& text) {
    for (QAbstractButton* b : box->buttons())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

TEST(QtMessageBoxesTest, CzechButtonsIconsAndTheAnswerClicked) {
    CQtMessageBoxes boxes;
    QString caption, text;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString defaultText;
    const auto look = [&](QMessageBox* box) {
        caption = box->windowTitle();
        text = box->text();
        buttons = ButtonTexts(box);
        icon = box->icon();
        defaultText = box->defaultButton() != nullptr ? box->defaultButton()->text() : QString();
    };

    WhenModalOpens<QMessageBox>([&](QMessageBox* box) {
        look(box);
        ButtonWithText(box, QStringLiteral("Ne"))->click();
    });
    EXPECT_EQ(boxes.Show("Vymazat <b>vybraný</b> soubor?", "MIVO klient", MsgButtons::YesNo,
                         MsgIcon::Question),
              MsgResult::No);
    EXPECT_EQ(caption, QStringLiteral("MIVO klient"));
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("Ano"), QStringLiteral("Ne")}));
    EXPECT_EQ(defaultText, QStringLiteral("Ano"));
    EXPECT_EQ(icon, QMessageBox::Question);

    WhenModalOpens<QMessageBox>([&](QMessageBox* box) {
        // Markup in a message is text, shown as it is.
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        ButtonWithText(box, QStringLiteral("Ano"))->click();
    });
    EXPECT_EQ(boxes.Show("?", "c", MsgButtons::YesNo, MsgIcon::Question), MsgResult::Yes);

    WhenModalOpens<QMessageBox>([&](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(boxes.Show("?", "c", MsgButtons::YesNo, MsgIcon::Question), MsgResult::No);

    for (const auto& [msgIcon, qtIcon] : {std::pair{MsgIcon::Error, QMessageBox::Critical},
                                          std::pair{MsgIcon::Information, QMessageBox::Information},
                                          std::pair{MsgIcon::None, QMessageBox::NoIcon}}) {
        WhenModalOpens<QMessageBox>([&](QMessageBox* box) {
            look(box);
            ButtonWithText(box, QStringLiteral("OK"))->click();
        });
        EXPECT_EQ(
            boxes.Show("Chyba\n\nna dvou řádcích", "Výsledek ověření", MsgButtons::Ok, msgIcon),
            MsgResult::Ok);
        EXPECT_EQ(buttons, QStringList{QStringLiteral("OK")});
        EXPECT_EQ(icon, qtIcon);
        EXPECT_EQ(text, QStringLiteral("Chyba\n\nna dvou řádcích"));
        EXPECT_EQ(caption, QStringLiteral("Výsledek ověření"));
    }
}

TEST(QtFrontEndTest, OpenFileDialogHasTheTitleAndOneFilterInQtForm) {
    TempDir dir;
    const std::string stamp = dir.Write("smlouva.pdf.tsr", "x");
    QMainWindow window;
    window.show();
    CQtFrontEnd front(&window, nullptr);
    EXPECT_TRUE(front.HasMainWindow());
    EXPECT_EQ(front.ListPanel(), nullptr);

    QString title;
    QStringList filters;
    QWidget* owner = nullptr;
    WhenModalOpens<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        owner = dialog->parentWidget();
        dialog->selectFile(QString::fromStdString(stamp));
        static_cast<QDialog*>(dialog)->accept(); // public in QDialog
    });
    EXPECT_EQ(front.ChooseFile({"Otevřít soubor kvalifikovaného časového razítka",
                                "Kvalifikované časové razítka", "*.tsr;*.tst"}),
              stamp);
    EXPECT_EQ(title, QStringLiteral("Otevřít soubor kvalifikovaného časového razítka"));
    EXPECT_EQ(filters, QStringList{QStringLiteral("Kvalifikované časové razítka (*.tsr *.tst)")});
    EXPECT_EQ(owner, &window);

    // "*.*" must also list files without a dot in their names; cancelling answers nothing.
    WhenModalOpens<QFileDialog>([&](QFileDialog* dialog) {
        filters = dialog->nameFilters();
        dialog->reject();
    });
    EXPECT_EQ(front.ChooseFile({"Vyberte zdrojový soubor", "Všechny soubory", "*.*"}),
              std::nullopt);
    EXPECT_EQ(filters, QStringList{QStringLiteral("Všechny soubory (*)")});
}

TEST(QtFrontEndTest, VerifyDialogShowsTheValuesAndReturnsTheUsersOnes) {
    QMainWindow window;
    window.show();
    CQtFrontEnd front(&window, nullptr);

    VerifyDialogValues values{"/data/smlouva.pdf.tsr", "/data/smlouva.pdf", true};
    bool shownChecked = false;
    QString shownStamp;
    QWidget* owner = nullptr;
    WhenModalOpens<CVerifyDialog>([&](CVerifyDialog* dialog) {
        owner = dialog->parentWidget();
        auto* check = qobject_cast<QCheckBox*>(dialog->Control(CVerifyDialog::IDC_ADD_TO_LIST));
        auto* stampEdit = qobject_cast<QLineEdit*>(dialog->Control(CVerifyDialog::IDC_STAMP_FILE));
        auto* sourceEdit =
            qobject_cast<QLineEdit*>(dialog->Control(CVerifyDialog::IDC_SOURCE_FILE));
        shownChecked = check->isChecked();
        shownStamp = stampEdit->text();
        check->click();
        sourceEdit->setText(QStringLiteral("/elsewhere/smlouva.pdf"));
        qobject_cast<QPushButton*>(dialog->Control(CVerifyDialog::IDOK))->click();
    });
    ASSERT_TRUE(front.RunVerifyDialog(values));
    EXPECT_TRUE(shownChecked);
    EXPECT_EQ(shownStamp, QStringLiteral("/data/smlouva.pdf.tsr"));
    EXPECT_EQ(owner, &window);
    EXPECT_EQ(values.m_strStampFile, "/data/smlouva.pdf.tsr");
    EXPECT_EQ(values.m_strSourceFile, "/elsewhere/smlouva.pdf");
    EXPECT_FALSE(values.m_bAddToList);

    // The empty dialog of the verify command: the box is clear; Storno empties the paths.
    VerifyDialogValues empty;
    WhenModalOpens<CVerifyDialog>([&](CVerifyDialog* dialog) {
        shownChecked =
            qobject_cast<QCheckBox*>(dialog->Control(CVerifyDialog::IDC_ADD_TO_LIST))->isChecked();
        qobject_cast<QLineEdit*>(dialog->Control(CVerifyDialog::IDC_STAMP_FILE))
            ->setText(QStringLiteral("/typed.tst"));
        qobject_cast<QPushButton*>(dialog->Control(CVerifyDialog::IDCANCEL))->click();
    });
    EXPECT_FALSE(front.RunVerifyDialog(empty));
    EXPECT_FALSE(shownChecked);
    EXPECT_EQ(empty.m_strStampFile, "");
    EXPECT_EQ(empty.m_strSourceFile, "");
}

TEST(QtConnectionPromptsTest, CertificateProblemNamesTheServerAndDefaultsToNo) {
    CQtConnectionPrompts prompts;
    QString text, defaultText;
    WhenModalOpens<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        defaultText = box->defaultButton()->text();
        ButtonWithText(box, QStringLiteral("Ano"))->click();
    });
    EXPECT_TRUE(
        prompts.ContinueDespiteCertificateProblem(12037, "tsa.example", "certificate has expired"));
    EXPECT_TRUE(text.contains(QStringLiteral("tsa.example")));
    EXPECT_TRUE(text.contains(QStringLiteral("Platnost certifikátu serveru vypršela")));
    EXPECT_TRUE(text.contains(QStringLiteral("certificate has expired")));
    EXPECT_EQ(defaultText, QStringLiteral("Ne"));

    WhenModalOpens<QMessageBox>([&](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
    EXPECT_FALSE(prompts.ContinueDespiteCertificateProblem(12045, "tsa.example", ""));
}

TEST(QtConnectionPromptsTest, CredentialsArePrefilledAndKeptWhenCancelled) {
    CQtConnectionPrompts prompts;
    std::string user = "jan", password = "old";
    QString caption, realm, shownUser, shownPassword;
    WhenModalOpens<QDialog>([&](QDialog* dialog) {
        caption = dialog->windowTitle();
        realm = dialog->findChild<QLabel*>(QStringLiteral("realmLabel"))->text();
        auto* userEdit = dialog->findChild<QLineEdit*>(QStringLiteral("userEdit"));
        auto* passwordEdit = dialog->findChild<QLineEdit*>(QStringLiteral("passwordEdit"));
        shownUser = userEdit->text();
        shownPassword = passwordEdit->text();
        EXPECT_EQ(passwordEdit->echoMode(), QLineEdit::Password);
        passwordEdit->setText(QStringLiteral("nové heslo"));
        dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    });
    ASSERT_TRUE(
        prompts.AskCredentials(AuthTarget::Proxy, "proxy.local", "<b>Firma</b>", user, password));
    EXPECT_EQ(caption, QStringLiteral("Přihlášení k proxy serveru"));
    EXPECT_EQ(realm, QStringLiteral("Oblast: <b>Firma</b>"));
    EXPECT_EQ(shownUser, QStringLiteral("jan"));
    EXPECT_EQ(shownPassword, QStringLiteral("old"));
    EXPECT_EQ(user, "jan");
    EXPECT_EQ(password, "nové heslo");

    WhenModalOpens<QDialog>([&](QDialog* dialog) {
        caption = dialog->windowTitle();
        dialog->findChild<QLineEdit*>(QStringLiteral("userEdit"))->setText(QStringLiteral("x"));
        SaveScreenshot(dialog, "credentials_dialog");
        dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
    });
    EXPECT_FALSE(prompts.AskCredentials(AuthTarget::Server, "tsa.local", "", user, password));
    EXPECT_EQ(caption, QStringLiteral("Přihlášení k serveru"));
    EXPECT_EQ(user, "jan");
    EXPECT_EQ(password, "nové heslo");
}
