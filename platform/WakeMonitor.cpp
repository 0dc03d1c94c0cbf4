#include "platform/WakeMonitor.h"

#include <QDBusMessage>

namespace lumora {

namespace {

const QString logindService = QStringLiteral("org.freedesktop.login1");
const QString logindPath = QStringLiteral("/org/freedesktop/login1");
const QString logindInterface = QStringLiteral("org.freedesktop.login1.Manager");

// Desktops disagree on where the screensaver lives, and KDE serves more than one path.
const char* const screenSaverInterfaces[] = {"org.freedesktop.ScreenSaver",
                                             "org.gnome.ScreenSaver"};
const char* const screenSaverPaths[] = {"/org/freedesktop/ScreenSaver", "/ScreenSaver",
                                        "/org/gnome/ScreenSaver"};

// Plenty for the screensavers of one session; anything beyond is somebody spamming the bus.
constexpr qsizetype maxScreenSavers = 32;

} // namespace

WakeMonitor::WakeMonitor(QObject* parent)
    : WakeMonitor(QDBusConnection::systemBus(), QDBusConnection::sessionBus(), parent) {}

WakeMonitor::WakeMonitor(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                         QObject* parent)
    : QObject(parent), m_system(systemBus), m_session(sessionBus) {
    if (m_system.isConnected()) {
        // Only logind itself may announce a resume; anyone can emit on the system bus.
        m_watchingSleep = m_system.connect(logindService, logindPath, logindInterface,
                                           QStringLiteral("PrepareForSleep"), this,
                                           SLOT(onPrepareForSleep(bool)));
    }
    if (m_session.isConnected()) {
        for (const char* interface : screenSaverInterfaces) {
            for (const char* path : screenSaverPaths) {
                // Any sender: the screensaver's bus name differs from desktop to desktop.
                m_watchingScreen |=
                    m_session.connect(QString(), QLatin1String(path), QLatin1String(interface),
                                      QStringLiteral("ActiveChanged"), this,
                                      SLOT(onScreenSaverActiveChanged(bool, QDBusMessage)));
            }
        }
    }
}

WakeMonitor::~WakeMonitor() {
    if (m_watchingSleep) {
        m_system.disconnect(logindService, logindPath, logindInterface,
                            QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)));
    }
    if (m_watchingScreen) {
        for (const char* interface : screenSaverInterfaces) {
            for (const char* path : screenSaverPaths) {
                m_session.disconnect(QString(), QLatin1String(path), QLatin1String(interface),
                                     QStringLiteral("ActiveChanged"), this,
                                     SLOT(onScreenSaverActiveChanged(bool, QDBusMessage)));
            }
        }
    }
}

void WakeMonitor::onPrepareForSleep(bool starting) {
    if (!starting) {
        emit woke();
    }
}

void WakeMonitor::onScreenSaverActiveChanged(bool active, const QDBusMessage& message) {
    const QString sender = message.service();
    const auto known = m_screenActive.constFind(sender);
    const bool alreadyInactive = known != m_screenActive.cend() && !known.value();
    if (known == m_screenActive.cend() && m_screenActive.size() >= maxScreenSavers) {
        m_screenActive.clear();
    }
    m_screenActive.insert(sender, active);
    if (!active && !alreadyInactive) {
        emit woke();
    }
}

} // namespace lumora
