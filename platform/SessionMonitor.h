#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QDBusMessage;

namespace lumora {

// Whether anybody can see the bar: follows the logind session this process belongs to (locked,
// idle), logind's lid switch and the desktop's screensaver. Session signals count only from
// logind's real owner; the screensaver's bus name differs from desktop to desktop, so any
// sender counts there, as for wakes. A bus that is not there is skipped.
class SessionMonitor : public QObject {
    Q_OBJECT
public:
    explicit SessionMonitor(QObject* parent = nullptr);
    SessionMonitor(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                   QObject* parent = nullptr);
    ~SessionMonitor() override;

    bool locked() const { return m_locked; }
    bool idle() const { return m_idle; }
    // The lid is shut and no other screen is connected (logind's LidClosed and not Docked).
    bool lidShut() const { return m_lidClosed && !m_docked; }
    bool screenSaverActive() const;
    // Nobody looks at the bar: locked, screensaver on, or lid shut.
    bool blanked() const { return m_locked || screenSaverActive() || lidShut(); }
    // The session's object path once found; empty before or without logind.
    QString sessionPath() const { return m_sessionPath; }

signals:
    void blankedChanged(bool blanked);
    void idleChanged(bool idle);

private slots:
    void onSessionProperties(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);
    void onManagerProperties(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);
    void onLock();
    void onUnlock();
    void onScreenSaverActiveChanged(bool active, const QDBusMessage& message);

private:
    void findSession(bool byPid);
    void watchSession(const QString& path);
    void readProperties(const QString& path, const QString& interface);
    void apply(const QVariantMap& values);
    void update();

    QDBusConnection m_system;
    QDBusConnection m_session;
    QString m_sessionPath;
    bool m_watchingManager = false;
    bool m_watchingScreen = false;
    bool m_locked = false;
    bool m_idle = false;
    bool m_lidClosed = false;
    bool m_docked = false;
    QHash<QString, bool> m_screenActive;
    bool m_lastBlanked = false;
    bool m_lastIdle = false;
};

} // namespace lumora
