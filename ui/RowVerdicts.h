// The list's badges: a small icon per verdict, and the judging of every listed stamp away
// from the window's thread after start-up, so that showing the window does not wait for it.
#pragma once

#include "document/RowVerdict.h"

#include <QIcon>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

class CStampListCtrl;

// The icon of a badge; a null icon for None.
QIcon RowBadgeIcon(RowBadge badge);

// Judges the stamps of the list's rows one after the other in a worker thread and hands
// each verdict to the list on the window's thread. A verdict arrives only while the rows
// are still those it was started for, and never replaces one the list has got already.
class CRowVerdictLoader : public QObject {
    Q_OBJECT

public:
    // `stampPaths[i]` is the stamp file of row i of `list`, as the list is now.
    CRowVerdictLoader(CStampListCtrl* list, std::vector<std::string> stampPaths);
    // Stops after the stamp being judged.
    ~CRowVerdictLoader() override;
    CRowVerdictLoader(const CRowVerdictLoader&) = delete;
    CRowVerdictLoader& operator=(const CRowVerdictLoader&) = delete;

    // Every row has been judged (or the list changed and the rest were given up).
    bool IsDone() const { return m_bDone.load(); }

signals:
    void done();

private:
    void Run(std::vector<std::string> stampPaths, unsigned generation);

    QPointer<CStampListCtrl> m_pList;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bDone{false};
    std::thread m_worker;
};
