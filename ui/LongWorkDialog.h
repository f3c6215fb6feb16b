// Long work of the document (hashing a large file, waiting for the TSA) on a worker thread
// behind a modal progress dialog "Časové razítko": a line of what is being done, a bar
// (a percentage, or a busy bar while nothing can be counted) and "Storno" (also Esc). The
// window repaints and can be moved meanwhile; the work's boxes and prompts appear on the
// window's thread while the worker waits for the answer.
#pragma once

#include "document/LongWork.h"

#include <QDialog>

#include <atomic>

class QLabel;
class QProgressBar;
class QPushButton;

class CLongWorkDialog : public QDialog {
    Q_OBJECT

public:
    CLongWorkDialog(QWidget* parent, LongWorkStop stop);

    // Runs `work` on a worker thread while the dialog is shown; answers once the worker has
    // ended. A stopped piece of work ends within a tenth of a second of its next step (a
    // block hashed, the network polled) and whatever boxes it still shows are dropped.
    LongWorkOutcome Run(const LongWork& work);

    // Shows a report of the work (on the dialog's thread).
    void ShowReport(const QString& text, int percent);

    // "Storno", Esc and closing the window: the first asks to stop (after the current file
    // in a series), the next stops the current piece at once.
    void reject() override;

private:
    LongWorkStop m_stop;
    QLabel* m_pLabel;
    QProgressBar* m_pBar;
    QPushButton* m_pCancel;
    QString m_strText;
    bool m_bStopAsked = false;
    bool m_bFinished = false;
    std::atomic<bool> m_bAbort{false};
};
