#include "ui/ListFileWatcher.h"

#include <QFileInfo>

#include <utility>

CListFileWatcher::CListFileWatcher(const QString& iniPath, std::function<void()> changed,
                                   int quietMs, QObject* parent)
    : QObject(parent), m_strIniPath(iniPath), m_strFolder(QFileInfo(iniPath).absolutePath()),
      m_changed(std::move(changed)) {
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(quietMs);
    connect(&m_quiet, &QTimer::timeout, this, &CListFileWatcher::OnQuiet);
    // Every event restarts the wait: a write is a burst (temporary file, rename).
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { m_quiet.start(); });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { m_quiet.start(); });
    Watch();
}

void CListFileWatcher::Watch() {
    // A path that is already watched, or not there (yet), is simply not added.
    if (!m_watcher.directories().contains(m_strFolder) && QFileInfo::exists(m_strFolder))
        m_watcher.addPath(m_strFolder);
    if (!m_watcher.files().contains(m_strIniPath) && QFileInfo::exists(m_strIniPath))
        m_watcher.addPath(m_strIniPath);
}

void CListFileWatcher::OnQuiet() {
    Watch();
    if (m_changed)
        m_changed();
}
