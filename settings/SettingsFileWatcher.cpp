#include "SettingsFileWatcher.h"

#include <QDir>
#include <QFileInfo>

namespace lumora {

SettingsFileWatcher::SettingsFileWatcher(Settings& settings, QObject* parent)
    : QObject(parent), m_settings(settings) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, &SettingsFileWatcher::check);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_settle, qOverload<>(&QTimer::start));
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle,
            qOverload<>(&QTimer::start));
    watch();
}

void SettingsFileWatcher::watch() {
    const QFileInfo file(m_settings.filePath());
    // The folder is made now, as the first write would, so a file created later is seen.
    QDir().mkpath(file.absolutePath());
    if (!m_watcher.directories().contains(file.absolutePath())) {
        m_watcher.addPath(file.absolutePath());
    }
    // A file replaced by a rename is no longer the one watched.
    if (file.exists() && !m_watcher.files().contains(file.absoluteFilePath())) {
        m_watcher.addPath(file.absoluteFilePath());
    }
}

void SettingsFileWatcher::check() {
    watch();
    if (m_settings.reloadFromFile()) {
        ++m_loads;
        emit loaded();
    }
}

} // namespace lumora
