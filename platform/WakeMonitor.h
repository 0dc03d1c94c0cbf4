#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>

class QDBusMessage;

namespace lumora {

// Tells when the machine has resumed from sleep (logind's PrepareForSleep(false) on the system
// bus) or the screen has come back (a screensaver's ActiveChanged(false) on the session bus).
// A bus that is not there is skipped: the program runs without D-Bus, it just never hears of a
// wake.
class WakeMonitor : public QObject {
    Q_OBJECT
public:
    explicit WakeMonitor(QObject* parent = nullptr);
    WakeMonitor(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                QObject* parent = nullptr);
    ~WakeMonitor() override;

signals:
    void woke();

private slots:
    void onPrepareForSleep(bool starting);
    void onScreenSaverActiveChanged(bool active, const QDBusMessage& message);

private:
    QDBusConnection m_system;
    QDBusConnection m_session;
    bool m_watchingSleep = false;
    bool m_watchingScreen = false;
    // Last state each screensaver reported. KDE announces one change on several paths; only
    // the first "inactive" of a run counts.
    QHash<QString, bool> m_screenActive;
};

} // namespace lumora
