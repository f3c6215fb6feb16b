#include "ui/LongWorkDialog.h"

#include "support/Cancellation.h"
#include "support/IMessageBoxes.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <mutex>
#include <thread>

namespace {

QString Res(uint32_t id) {
    return QString::fromStdString(LoadResString(id));
}

// The boxes of the worker: those of the thread that started the work, until the user
// stopped it; after that nothing more is said.
class WorkerBoxes : public IMessageBoxes {
public:
    WorkerBoxes(IMessageBoxes& next, const std::atomic<bool>& abort)
        : m_next(next), m_abort(abort) {}
    MsgResult Show(const std::string& text, const std::string& caption, MsgButtons buttons,
                   MsgIcon icon) override {
        if (m_abort.load())
            return buttons == MsgButtons::Ok ? MsgResult::Ok : MsgResult::Cancel;
        return m_next.Show(text, caption, buttons, icon);
    }

private:
    IMessageBoxes& m_next;
    const std::atomic<bool>& m_abort;
};

// Reports of the worker, passed to the dialog on its own thread; a report that changes
// nothing is not passed.
class DialogProgress : public ILongWorkProgress {
public:
    explicit DialogProgress(CLongWorkDialog* dialog) : m_pDialog(dialog) {}
    void Report(const std::string& text, int percent) override {
        {
            const std::lock_guard lock(m_mutex);
            if (text == m_lastText && percent == m_lastPercent)
                return;
            m_lastText = text;
            m_lastPercent = percent;
        }
        QMetaObject::invokeMethod(
            m_pDialog,
            [dialog = m_pDialog, shown = QString::fromStdString(text), percent] {
                dialog->ShowReport(shown, percent);
            },
            Qt::QueuedConnection);
    }

private:
    CLongWorkDialog* m_pDialog;
    std::mutex m_mutex;
    std::string m_lastText;
    int m_lastPercent = -2;
};

} // namespace

CLongWorkDialog::CLongWorkDialog(QWidget* parent, LongWorkStop stop)
    : QDialog(parent), m_stop(stop), m_pLabel(new QLabel(this)), m_pBar(new QProgressBar(this)),
      m_pCancel(new QPushButton(Res(IDS_BUTTON_CANCEL), this)) {
    setObjectName(QStringLiteral("longWorkDialog"));
    setWindowTitle(Res(IDS_PROGRESS_TITLE));
    setModal(true);
    m_pLabel->setObjectName(QStringLiteral("longWorkText"));
    m_pLabel->setWordWrap(true);
    m_pLabel->setMinimumWidth(420);
    m_pBar->setObjectName(QStringLiteral("longWorkBar"));
    m_pBar->setRange(0, 100);
    m_pCancel->setObjectName(QStringLiteral("cancelButton"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(m_pCancel, QDialogButtonBox::RejectRole);
    connect(m_pCancel, &QPushButton::clicked, this, &CLongWorkDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pLabel);
    layout->addWidget(m_pBar);
    layout->addWidget(buttons);
}

void CLongWorkDialog::ShowReport(const QString& text, int percent) {
    m_strText = text;
    m_pLabel->setText(m_bStopAsked && m_stop == LongWorkStop::AfterCurrent
                          ? text + u'\n' + Res(IDS_BATCH_STOPPING)
                          : text);
    if (percent < 0) {
        m_pBar->setRange(0, 0); // busy: nothing to count
    } else {
        m_pBar->setRange(0, 100);
        m_pBar->setValue(percent);
    }
}

void CLongWorkDialog::reject() {
    if (m_bFinished)
        return;
    if (!m_bStopAsked && m_stop == LongWorkStop::AfterCurrent) {
        m_bStopAsked = true;
        ShowReport(m_strText, m_pBar->maximum() == 0 ? -1 : m_pBar->value());
        return;
    }
    m_bStopAsked = true;
    m_bAbort.store(true);
    m_pCancel->setEnabled(false);
}

LongWorkOutcome CLongWorkDialog::Run(const LongWork& work) {
    WorkerBoxes boxes(MessageBoxes(), m_bAbort);
    DialogProgress progress(this);
    bool completed = false;
    std::thread worker([&] {
        {
            const ScopedCancellation cancellation(m_bAbort);
            const ScopedThreadMessageBoxes workerBoxes(&boxes);
            try {
                work(progress);
                completed = !m_bAbort.load();
            } catch (...) {
                completed = false; // a failure the work could not tell is no result
            }
        }
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_bFinished = true;
                done(QDialog::Accepted);
            },
            Qt::QueuedConnection);
    });
    // The dialog closes only when the worker has ended (reject() never closes it).
    while (!m_bFinished)
        exec();
    worker.join();
    return {completed, m_bStopAsked};
}
