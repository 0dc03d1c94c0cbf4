#pragma once

#include "Settings.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

namespace lumora {

// Applies hand edits of the settings file while Lumora runs. The folder is watched as well as
// the file, since editors save by writing a new file and renaming it over the old one. Events
// settle for a moment before the file is read, and our own writes read back as no change, so
// they never bounce back as a load.
class SettingsFileWatcher : public QObject {
    Q_OBJECT
public:
    // How long the file is left to settle after the last event before it is read.
    static constexpr int settleMs = 150;

    explicit SettingsFileWatcher(Settings& settings, QObject* parent = nullptr);

    // How many times a change made by another program was taken in.
    int loads() const { return m_loads; }

signals:
    void loaded();

private:
    void watch();
    void check();

    Settings& m_settings;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    int m_loads = 0;
};

} // namespace lumora
