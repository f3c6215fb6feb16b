// The Qt answers to the document's and the transport's questions: message boxes with Czech
// buttons, the open-file and verification dialogs, the list panel of the main window, and
// the certificate-problem and user-name/password prompts.
#pragma once

#include "core/IConnectionPrompts.h"
#include "document/IFrontEnd.h"
#include "support/IMessageBoxes.h"

#include <QPointer>
#include <QWidget>

// Message boxes owned by the active window (or none), captioned as the caller says.
class CQtMessageBoxes : public IMessageBoxes {
public:
    MsgResult Show(const std::string& text, const std::string& caption, MsgButtons buttons,
                   MsgIcon icon) override;
};

// The main window's side of the document: its list panel, the open-file dialog and the
// verification dialog, all owned by `mainWindow`.
class CQtFrontEnd : public IFrontEnd {
public:
    CQtFrontEnd(QWidget* mainWindow, IStampListPanel* panel);

    bool HasMainWindow() const override { return !m_pMainWindow.isNull(); }
    IStampListPanel* ListPanel() override { return m_pPanel; }
    std::optional<std::string> ChooseFile(const FileDialogSpec& spec) override;
    std::vector<std::string> ChooseFiles(const FileDialogSpec& spec) override;
    // On a worker thread behind the progress dialog (ui/LongWorkDialog.h).
    LongWorkOutcome RunLongWork(const LongWork& work, LongWorkStop stop) override;
    bool RunVerifyDialog(VerifyDialogValues& values) override;

private:
    QPointer<QWidget> m_pMainWindow;
    IStampListPanel* m_pPanel;
};

// The transport's questions as modal dialogs owned by the active window.
class CQtConnectionPrompts : public IConnectionPrompts {
public:
    bool ContinueDespiteCertificateProblem(uint32_t error, const std::string& host,
                                           const std::string& detail) override;
    bool AskCredentials(AuthTarget target, const std::string& host, const std::string& realm,
                        std::string& user, std::string& password) override;
};
