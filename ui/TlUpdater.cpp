#include "ui/TlUpdater.h"

#include "core/ClientSettings.h"
#include "core/IClock.h"
#include "core/QualifiedVerdict.h"
#include "core/TrustedListCache.h"
#include "document/ZarnDoc.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace {

CTlUpdater::SourceFactory& FactoryForTests() {
    static CTlUpdater::SourceFactory factory;
    return factory;
}

QString Res(uint32_t id) {
    return QString::fromStdString(LoadResString(id));
}

// The failures, the lists removed, the counts, and whether it was stopped.
std::string SummaryText(const tl::UpdateSummary& summary, bool cancelled) {
    using State = tl::TerritoryResult::State;
    std::string text;
    const auto failed = [](const tl::TerritoryResult& result) {
        return result.state == State::Refused || result.state == State::Unavailable;
    };
    if (failed(summary.lotl))
        text += summary.lotl.message + "\n";
    for (const tl::TerritoryResult& result : summary.lists)
        if (failed(result))
            text += result.message + "\n";
    for (const std::string& territory : summary.removed)
        text += FormatRes(IDS_TL_RESULT_REMOVED, territory) + "\n";
    const auto count = [&summary](State state) {
        return static_cast<int>(summary.Count(state));
    };
    text += FormatRes(IDS_TL_SUMMARY, count(State::Updated), count(State::Unchanged),
                      count(State::Refused) + count(State::Unavailable) + count(State::Cancelled),
                      count(State::Missing));
    if (cancelled || summary.cancelled)
        text += "\n" + LoadResString(IDS_TL_CANCELLED);
    return text;
}

} // namespace

CTlUpdater::CTlUpdater(QWidget* window, CZarnDoc* document)
    : QObject(window), m_pWindow(window), m_pDocument(document) {}

CTlUpdater::~CTlUpdater() {
    m_bCancelled = true;
    if (m_worker.joinable())
        m_worker.join();
}

void CTlUpdater::SetSourceFactoryForTests(SourceFactory factory) {
    FactoryForTests() = std::move(factory);
}

void CTlUpdater::RunWithDialog() {
    if (IsRunning())
        return;
    auto* dialog = new QProgressDialog(m_pWindow);
    dialog->setObjectName(QStringLiteral("TlUpdateDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(Res(IDS_TL_PROGRESS_TITLE));
    dialog->setLabelText(QString::fromStdString(tl::ListName("EU")));
    auto* cancel = new QPushButton(Res(IDS_BUTTON_CANCEL), dialog);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    dialog->setCancelButton(cancel);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    dialog->setRange(0, 0); // busy until the first list says how many there are
    dialog->setWindowModality(Qt::WindowModal);
    // Storno stops the update before its next list; the dialog stays until it has stopped.
    connect(dialog, &QProgressDialog::canceled, this, [this] {
        m_bCancelled = true;
        if (m_pDialog)
            m_pDialog->show();
    });
    m_pDialog = dialog;
    dialog->show();
    Start(true);
}

bool CTlUpdater::StartIfDue() {
    if (IsRunning() || !tl::AutoUpdateDue(tl::TrustedListDir(), Clock().NowFileTime()))
        return false;
    Start(false);
    return true;
}

void CTlUpdater::StartWeekly(int checkEveryMs) {
    (void)StartIfDue();
    if (m_pWeekly == nullptr) {
        m_pWeekly = new QTimer(this);
        connect(m_pWeekly, &QTimer::timeout, this, [this] { (void)StartIfDue(); });
    }
    m_pWeekly->start(checkEveryMs);
}

void CTlUpdater::Start(bool withDialog) {
    m_bCancelled = false;
    std::unique_ptr<tl::IListSource> source =
        FactoryForTests()
            ? FactoryForTests()()
            : std::make_unique<tl::HttpListSource>(GetClientSettings(), tl::kEuLotlUrl);
    m_worker = std::thread([this, withDialog, source = std::move(source)] {
        tl::UpdateOptions options;
        options.progress = [this](const tl::UpdateProgress& progress) {
            if (progress.result == nullptr)
                QMetaObject::invokeMethod(
                    this,
                    [this, territory = progress.territory, number = progress.number,
                     total = progress.total] { OnProgress(territory, number, total); },
                    Qt::QueuedConnection);
            return !m_bCancelled.load();
        };
        tl::UpdateSummary summary = tl::UpdateTrustedLists(*source, options);
        QMetaObject::invokeMethod(
            this,
            [this, withDialog, summary = std::move(summary)] { OnFinished(summary, withDialog); },
            Qt::QueuedConnection);
    });
}

void CTlUpdater::OnProgress(const std::string& territory, std::size_t number, std::size_t total) {
    if (!m_pDialog)
        return;
    if (total == 0) {
        m_pDialog->setLabelText(QString::fromStdString(tl::ListName(territory)));
        return;
    }
    m_pDialog->setRange(0, static_cast<int>(total));
    m_pDialog->setValue(static_cast<int>(number - 1));
    m_pDialog->setLabelText(
        QString::fromStdString(FormatRes(IDS_TL_PROGRESS_LABEL, tl::ListName(territory),
                                         static_cast<int>(number), static_cast<int>(total))));
}

void CTlUpdater::OnFinished(const tl::UpdateSummary& summary, bool withDialog) {
    if (m_worker.joinable())
        m_worker.join();
    const bool cancelled = m_bCancelled.load();
    // The lists that verdicts go by, and the shown stamp judged by them.
    ReloadStoredTrustedLists();
    if (m_pDocument != nullptr)
        m_pDocument->JudgeShownEntryAgain();
    if (m_pDialog)
        m_pDialog->close();
    if (withDialog)
        MessageBoxes().Show(SummaryText(summary, cancelled), LoadResString(IDS_TL_PROGRESS_TITLE),
                            MsgButtons::Ok, summary.Ok() ? MsgIcon::Information : MsgIcon::Error);
    emit finished(summary.Ok());
}
