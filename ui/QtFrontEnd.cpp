#include "ui/QtFrontEnd.h"

#include "support/Messages.h"
#include "support/StringIds.h"
#include "ui/LongWorkDialog.h"
#include "ui/OpenFileDialog.h"
#include "ui/VerifyDialog.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <utility>

namespace {

QString Res(uint32_t id) {
    return QString::fromStdString(LoadResString(id));
}

// The owner of a box or prompt: the window the user works in, if any.
QWidget* ActiveOwner() {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

QMessageBox::Icon QtIcon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Error:
        return QMessageBox::Critical;
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// A modal box with Czech buttons. For Yes/No, `defaultYes` picks the default button; Escape
// and the close box answer No. Retry/Cancel defaults to trying again; Escape and the close
// box answer Cancel.
MsgResult ShowBox(QWidget* owner, const QString& text, const QString& caption, MsgButtons buttons,
                  MsgIcon icon, bool defaultYes = true) {
    QMessageBox box(QtIcon(icon), caption, text, QMessageBox::NoButton, owner);
    // The text is shown as written: paths and server texts are never markup.
    box.setTextFormat(Qt::PlainText);
    box.setObjectName(QStringLiteral("MessageBox"));
    if (buttons == MsgButtons::YesNo) {
        QPushButton* yes = box.addButton(Res(IDS_BUTTON_YES), QMessageBox::YesRole);
        QPushButton* no = box.addButton(Res(IDS_BUTTON_NO), QMessageBox::NoRole);
        yes->setObjectName(QStringLiteral("yesButton"));
        no->setObjectName(QStringLiteral("noButton"));
        box.setDefaultButton(defaultYes ? yes : no);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes ? MsgResult::Yes : MsgResult::No;
    }
    if (buttons == MsgButtons::RetryCancel) {
        QPushButton* retry = box.addButton(Res(IDS_BUTTON_RETRY), QMessageBox::AcceptRole);
        QPushButton* cancel = box.addButton(Res(IDS_BUTTON_CANCEL), QMessageBox::RejectRole);
        retry->setObjectName(QStringLiteral("retryButton"));
        cancel->setObjectName(QStringLiteral("cancelButton"));
        box.setDefaultButton(retry);
        box.setEscapeButton(cancel);
        box.exec();
        return box.clickedButton() == retry ? MsgResult::Retry : MsgResult::Cancel;
    }
    QPushButton* ok = box.addButton(Res(IDS_BUTTON_OK), QMessageBox::AcceptRole);
    ok->setObjectName(QStringLiteral("okButton"));
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return MsgResult::Ok;
}

// Runs `ask` on the window's thread: a worker (the trusted lists' update) that needs an
// answer waits for it there.
template <typename Result, typename Ask> Result OnWindowThread(Ask ask) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread())
        return ask();
    Result result{};
    QMetaObject::invokeMethod(
        app, [&result, &ask] { result = ask(); }, Qt::BlockingQueuedConnection);
    return result;
}

} // namespace

// ---- CQtMessageBoxes --------------------------------------------------------------------

MsgResult CQtMessageBoxes::Show(const std::string& text, const std::string& caption,
                                MsgButtons buttons, MsgIcon icon) {
    return OnWindowThread<MsgResult>([&] {
        return ShowBox(ActiveOwner(), QString::fromStdString(text), QString::fromStdString(caption),
                       buttons, icon);
    });
}

// ---- CQtFrontEnd ------------------------------------------------------------------------

CQtFrontEnd::CQtFrontEnd(QWidget* mainWindow, IStampListPanel* panel)
    : m_pMainWindow(mainWindow), m_pPanel(panel) {}

std::optional<std::string> CQtFrontEnd::ChooseFile(const FileDialogSpec& spec) {
    return ShowOpenFileDialog(m_pMainWindow.data(), spec);
}

std::vector<std::string> CQtFrontEnd::ChooseFiles(const FileDialogSpec& spec) {
    return ShowOpenFilesDialog(m_pMainWindow.data(), spec);
}

LongWorkOutcome CQtFrontEnd::RunLongWork(const LongWork& work, LongWorkStop stop) {
    CLongWorkDialog dialog(m_pMainWindow.data(), stop);
    return dialog.Run(work);
}

bool CQtFrontEnd::RunVerifyDialog(VerifyDialogValues& values) {
    // Without a parent of its own the dialog belongs to the main window.
    CVerifyDialog dialog(m_pMainWindow.data());
    dialog.m_strStampFile = QString::fromStdString(values.m_strStampFile);
    dialog.m_strSourceFile = QString::fromStdString(values.m_strSourceFile);
    dialog.m_bAddToList = values.m_bAddToList ? 1 : 0;
    if (dialog.exec() != QDialog::Accepted) {
        values.OnCancel();
        return false;
    }
    values.m_strStampFile = dialog.m_strStampFile.toStdString();
    values.m_strSourceFile = dialog.m_strSourceFile.toStdString();
    values.m_bAddToList = dialog.m_bAddToList != 0;
    return true;
}

// ---- CQtConnectionPrompts ---------------------------------------------------------------

bool CQtConnectionPrompts::ContinueDespiteCertificateProblem(uint32_t error,
                                                             const std::string& host,
                                                             const std::string& detail) {
    // Asked on the window's thread, wherever the transport runs.
    return OnWindowThread<bool>([&]() -> bool {
        // The server, what is wrong with its certificate in our words, the TLS library's own
        // description, then the question. Going on is never the default.
        std::string text = FormatRes(IDS_CERT_PROBLEM_INTRO, host);
        const std::string reason = error >= 12000 && error <= 12174
                                       ? LoadResString(IDS_INTERNET_ERROR_BASE + (error - 12000))
                                       : std::string();
        if (!reason.empty())
            text += "\n\n" + reason;
        if (!detail.empty())
            text += "\n\n" + detail;
        text += "\n\n" + LoadResString(IDS_CERT_PROBLEM_QUESTION);
        return ShowBox(ActiveOwner(), QString::fromStdString(text), Res(IDS_CERT_PROBLEM_CAPTION),
                       MsgButtons::YesNo, MsgIcon::Question, false) == MsgResult::Yes;
    });
}

bool CQtConnectionPrompts::AskCredentials(AuthTarget target, const std::string& host,
                                          const std::string& realm, std::string& user,
                                          std::string& password) {
    // Asked on the window's thread, wherever the transport runs.
    return OnWindowThread<bool>([&]() -> bool {
        const bool proxy = target == AuthTarget::Proxy;
        QDialog dialog(ActiveOwner(), Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                          Qt::WindowCloseButtonHint);
        dialog.setObjectName(QStringLiteral("CredentialsDialog"));
        dialog.setWindowTitle(Res(proxy ? IDS_CRED_PROXY_CAPTION : IDS_CRED_SERVER_CAPTION));

        auto* layout = new QVBoxLayout(&dialog);
        // Host and realm come from the network: shown as plain text, never as markup.
        auto* intro = new QLabel(QString::fromStdString(FormatRes(
                                     proxy ? IDS_CRED_PROXY_INTRO : IDS_CRED_SERVER_INTRO, host)),
                                 &dialog);
        intro->setTextFormat(Qt::PlainText);
        intro->setWordWrap(true);
        layout->addWidget(intro);
        if (!realm.empty()) {
            auto* realmLabel =
                new QLabel(QString::fromStdString(FormatRes(IDS_CRED_REALM, realm)), &dialog);
            realmLabel->setTextFormat(Qt::PlainText);
            realmLabel->setWordWrap(true);
            realmLabel->setObjectName(QStringLiteral("realmLabel"));
            layout->addWidget(realmLabel);
        }

        auto* form = new QFormLayout;
        auto* userEdit = new QLineEdit(QString::fromStdString(user), &dialog);
        userEdit->setObjectName(QStringLiteral("userEdit"));
        auto* passwordEdit = new QLineEdit(QString::fromStdString(password), &dialog);
        passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
        passwordEdit->setEchoMode(QLineEdit::Password);
        auto* userLabel = new QLabel(Res(IDS_CRED_USER), &dialog);
        userLabel->setBuddy(userEdit);
        auto* passwordLabel = new QLabel(Res(IDS_CRED_PASSWORD), &dialog);
        passwordLabel->setBuddy(passwordEdit);
        form->addRow(userLabel, userEdit);
        form->addRow(passwordLabel, passwordEdit);
        layout->addLayout(form);

        auto* buttons = new QDialogButtonBox(&dialog);
        QPushButton* ok = buttons->addButton(Res(IDS_BUTTON_OK), QDialogButtonBox::AcceptRole);
        ok->setObjectName(QStringLiteral("okButton"));
        ok->setDefault(true);
        QPushButton* cancel =
            buttons->addButton(Res(IDS_BUTTON_CANCEL), QDialogButtonBox::RejectRole);
        cancel->setObjectName(QStringLiteral("cancelButton"));
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        layout->addWidget(buttons);

        dialog.setMinimumWidth(dialog.fontMetrics().averageCharWidth() * 64);
        (user.empty() ? userEdit : passwordEdit)->setFocus(Qt::OtherFocusReason);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        user = userEdit->text().toStdString();
        password = passwordEdit->text().toStdString();
        return true;
    });
}
