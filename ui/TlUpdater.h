// Updating the EU trusted lists from the window: "Nástroje → Aktualizovat seznamy
// důvěryhodných služeb EU" with a progress dialog (one step per list, "Storno" stops before
// the next list) and a summary box, or quietly in the background once a week when the
// settings ask for it (tl_auto_update=1). The update runs in a worker thread so that the
// window keeps repainting; what it changes in the program (the lists that verdicts are
// judged by, the shown stamp's verdicts) changes on the window's thread once it is done.
#pragma once

#include "core/TrustedListSources.h"
#include "core/TrustedListUpdate.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class CZarnDoc;
class QTimer;
class QWidget;

class CTlUpdater : public QObject {
    Q_OBJECT

public:
    // Makes the source of an update; the default downloads from the EU's address through
    // the connection of the settings.
    using SourceFactory = std::function<std::unique_ptr<tl::IListSource>()>;

    CTlUpdater(QWidget* window, CZarnDoc* document);
    // Waits for a running update, which stops before its next list.
    ~CTlUpdater() override;
    CTlUpdater(const CTlUpdater&) = delete;
    CTlUpdater& operator=(const CTlUpdater&) = delete;

    // The menu command: the update with its progress dialog and, at its end, the summary.
    // Nothing happens while an update is running.
    void RunWithDialog();
    // The weekly update of tl_auto_update, when the stored lists are due for it: no dialog,
    // no box. False when none was started.
    bool StartIfDue();
    // tl_auto_update on: StartIfDue now and then every `checkEveryMs` while the window runs,
    // so that a window left open for weeks keeps its lists current too.
    void StartWeekly(int checkEveryMs = 3600 * 1000);

    bool IsRunning() const { return m_worker.joinable(); }
    QProgressDialog* ProgressDialog() const { return m_pDialog; }

    // Tests: where updates take their lists from (null: the default again).
    static void SetSourceFactoryForTests(SourceFactory factory);

signals:
    // An update ended and its effects are in place; `ok` as UpdateSummary::Ok.
    void finished(bool ok);

private:
    void Start(bool withDialog);
    // On the window's thread while the worker runs.
    void OnProgress(const std::string& territory, std::size_t number, std::size_t total);
    void OnFinished(const tl::UpdateSummary& summary, bool withDialog);

    QPointer<QWidget> m_pWindow;
    CZarnDoc* m_pDocument;
    QPointer<QProgressDialog> m_pDialog;
    QTimer* m_pWeekly = nullptr; // a child of the updater
    std::atomic<bool> m_bCancelled{false};
    std::thread m_worker;
};
