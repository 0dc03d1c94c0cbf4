#include "platform/SessionMonitor.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <unistd.h>

namespace lumora {

namespace {

const QString logindService = QStringLiteral("org.freedesktop.login1");
const QString logindPath = QStringLiteral("/org/freedesktop/login1");
const QString managerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString sessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString propertiesChanged = QStringLiteral("PropertiesChanged");

const char* const screenSaverInterfaces[] = {"org.freedesktop.ScreenSaver",
                                             "org.gnome.ScreenSaver"};
const char* const screenSaverPaths[] = {"/org/freedesktop/ScreenSaver", "/ScreenSaver",
                                        "/org/gnome/ScreenSaver"};
constexpr qsizetype maxScreenSavers = 32;

const char* const propertiesSlot = SLOT(onSessionProperties(QString, QVariantMap, QStringList));
const char* const managerSlot = SLOT(onManagerProperties(QString, QVariantMap, QStringList));
const char* const screenSaverSlot = SLOT(onScreenSaverActiveChanged(bool, QDBusMessage));

} // namespace

SessionMonitor::SessionMonitor(QObject* parent)
    : SessionMonitor(QDBusConnection::systemBus(), QDBusConnection::sessionBus(), parent) {}

SessionMonitor::SessionMonitor(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                               QObject* parent)
    : QObject(parent), m_system(systemBus), m_session(sessionBus) {
    if (m_system.isConnected()) {
        m_watchingManager = m_system.connect(logindService, logindPath, propertiesInterface,
                                             propertiesChanged, this, managerSlot);
        readProperties(logindPath, managerInterface);
        findSession(false);
    }
    if (m_session.isConnected()) {
        for (const char* interface : screenSaverInterfaces) {
            for (const char* path : screenSaverPaths) {
                m_watchingScreen |=
                    m_session.connect(QString(), QLatin1String(path), QLatin1String(interface),
                                      QStringLiteral("ActiveChanged"), this, screenSaverSlot);
            }
        }
    }
}

SessionMonitor::~SessionMonitor() {
    if (m_watchingManager) {
        m_system.disconnect(logindService, logindPath, propertiesInterface, propertiesChanged, this,
                            managerSlot);
    }
    if (!m_sessionPath.isEmpty()) {
        m_system.disconnect(logindService, m_sessionPath, propertiesInterface, propertiesChanged,
                            this, propertiesSlot);
        m_system.disconnect(logindService, m_sessionPath, sessionInterface, QStringLiteral("Lock"),
                            this, SLOT(onLock()));
        m_system.disconnect(logindService, m_sessionPath, sessionInterface,
                            QStringLiteral("Unlock"), this, SLOT(onUnlock()));
    }
    if (m_watchingScreen) {
        for (const char* interface : screenSaverInterfaces) {
            for (const char* path : screenSaverPaths) {
                m_session.disconnect(QString(), QLatin1String(path), QLatin1String(interface),
                                     QStringLiteral("ActiveChanged"), this, screenSaverSlot);
            }
        }
    }
}

void SessionMonitor::findSession(bool byPid) {
    // "auto" is this process's session or, run from a user service, the user's display session.
    QDBusMessage call = QDBusMessage::createMethodCall(logindService, logindPath, managerInterface,
                                                       byPid ? QStringLiteral("GetSessionByPID")
                                                             : QStringLiteral("GetSession"));
    if (byPid) {
        call << static_cast<uint>(::getpid());
    } else {
        call << QStringLiteral("auto");
    }
    auto* watcher = new QDBusPendingCallWatcher(m_system.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, byPid](auto* done) {
        done->deleteLater();
        QDBusPendingReply<QDBusObjectPath> path = *done;
        if (!path.isError()) {
            watchSession(path.value().path());
        } else if (!byPid) {
            findSession(true); // an older logind without "auto"
        }
    });
}

void SessionMonitor::watchSession(const QString& path) {
    if (!m_sessionPath.isEmpty() || path.isEmpty()) {
        return;
    }
    m_sessionPath = path;
    m_system.connect(logindService, path, propertiesInterface, propertiesChanged, this,
                     propertiesSlot);
    m_system.connect(logindService, path, sessionInterface, QStringLiteral("Lock"), this,
                     SLOT(onLock()));
    m_system.connect(logindService, path, sessionInterface, QStringLiteral("Unlock"), this,
                     SLOT(onUnlock()));
    readProperties(path, sessionInterface);
}

void SessionMonitor::readProperties(const QString& path, const QString& interface) {
    QDBusMessage call = QDBusMessage::createMethodCall(logindService, path, propertiesInterface,
                                                       QStringLiteral("GetAll"));
    call << interface;
    auto* watcher = new QDBusPendingCallWatcher(m_system.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](auto* done) {
        done->deleteLater();
        QDBusPendingReply<QVariantMap> values = *done;
        if (!values.isError()) {
            apply(values.value());
        }
    });
}

void SessionMonitor::apply(const QVariantMap& values) {
    const auto read = [&values](const char* name, bool& field) {
        if (const auto value = values.constFind(QLatin1String(name)); value != values.cend()) {
            field = value->toBool();
        }
    };
    read("LockedHint", m_locked);
    read("IdleHint", m_idle);
    read("LidClosed", m_lidClosed);
    read("Docked", m_docked);
    update();
}

void SessionMonitor::onSessionProperties(const QString& interface, const QVariantMap& changed,
                                         const QStringList& invalidated) {
    if (interface != sessionInterface) {
        return;
    }
    apply(changed);
    if (invalidated.contains(QStringLiteral("LockedHint")) ||
        invalidated.contains(QStringLiteral("IdleHint"))) {
        readProperties(m_sessionPath, sessionInterface);
    }
}

void SessionMonitor::onManagerProperties(const QString& interface, const QVariantMap& changed,
                                         const QStringList& invalidated) {
    if (interface != managerInterface) {
        return;
    }
    apply(changed);
    if (invalidated.contains(QStringLiteral("LidClosed")) ||
        invalidated.contains(QStringLiteral("Docked"))) {
        readProperties(logindPath, managerInterface);
    }
}

void SessionMonitor::onLock() {
    m_locked = true;
    update();
}

void SessionMonitor::onUnlock() {
    m_locked = false;
    update();
}

bool SessionMonitor::screenSaverActive() const {
    for (const bool active : m_screenActive) {
        if (active) {
            return true;
        }
    }
    return false;
}

void SessionMonitor::onScreenSaverActiveChanged(bool active, const QDBusMessage& message) {
    const QString sender = message.service();
    if (!m_screenActive.contains(sender) && m_screenActive.size() >= maxScreenSavers) {
        m_screenActive.clear();
    }
    m_screenActive.insert(sender, active);
    update();
}

void SessionMonitor::update() {
    const bool nowBlanked = blanked();
    if (nowBlanked != m_lastBlanked) {
        m_lastBlanked = nowBlanked;
        emit blankedChanged(nowBlanked);
    }
    if (m_idle != m_lastIdle) {
        m_lastIdle = m_idle;
        emit idleChanged(m_idle);
    }
}

} // namespace lumora
