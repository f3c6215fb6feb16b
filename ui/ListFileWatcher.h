// Watches the INI file that holds the stamped-files list, so that the window follows what
// other processes (another window, the command line, a script) write into it. The file is
// replaced by renaming, not rewritten, so its folder is watched as well; bursts of events
// are gathered into one call.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class CListFileWatcher : public QObject {
    Q_OBJECT

public:
    // Calls `changed` once the file at `iniPath` (or its folder) has been quiet for
    // `quietMs` after a change.
    CListFileWatcher(const QString& iniPath, std::function<void()> changed, int quietMs = 150,
                     QObject* parent = nullptr);

private:
    // Watches the file (again: a replaced file is a new one) and its folder.
    void Watch();
    void OnQuiet();

    QString m_strIniPath;
    QString m_strFolder;
    std::function<void()> m_changed;
    QFileSystemWatcher m_watcher;
    QTimer m_quiet;
};
