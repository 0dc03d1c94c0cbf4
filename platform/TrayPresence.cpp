#include "platform/TrayPresence.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace lumora {

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

QDBusMessage hostQuery() {
    QDBusMessage message = QDBusMessage::createMethodCall(
        watcherService, watcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    message.setArguments({watcherService, QStringLiteral("IsStatusNotifierHostRegistered")});
    return message;
}

bool saysHost(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toBool();
}

// How often an X11 desktop without a tray is asked again whether one has come.
constexpr int xembedPollMs = 2000;

} // namespace

TrayPresence::TrayPresence(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {}

bool TrayPresence::statusNotifierHost() const {
    if (!m_bus.isConnected()) {
        return false;
    }
    // A missing watcher is answered at once by the bus; a hung one is not waited for long.
    return saysHost(m_bus.call(hostQuery(), QDBus::Block, 1000));
}

bool TrayPresence::xembedTray() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return false;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) {
        return false;
    }
    int screen = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) != 0) {
        std::free(host);
    }
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.constData()),
            nullptr),
        &std::free);
    if (!atom) {
        return false;
    }
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom),
                                      nullptr),
        &std::free);
    return owner && owner->owner != XCB_NONE;
}

void TrayPresence::watch() {
    if (m_watching) {
        return;
    }
    m_watching = true;
    if (m_bus.isConnected()) {
        // A watcher that comes (a panel starting after us) or a host that registers later.
        auto* services = new QDBusServiceWatcher(watcherService, m_bus,
                                                 QDBusServiceWatcher::WatchForRegistration, this);
        connect(services, &QDBusServiceWatcher::serviceRegistered, this, &TrayPresence::checkHost);
        if (!m_bus.connect(watcherService, watcherPath, watcherService,
                           QStringLiteral("StatusNotifierHostRegistered"), this,
                           SLOT(checkHost()))) {
            qWarning("lumora: cannot follow the tray watcher; a tray that comes later may "
                     "not get the icon");
        }
    }
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        m_xembedPoll.setInterval(xembedPollMs);
        connect(&m_xembedPoll, &QTimer::timeout, this, [this] {
            if (xembedTray()) {
                found();
            }
        });
        m_xembedPoll.start();
    }
}

void TrayPresence::checkHost() {
    // Asked without blocking: the bar keeps drawing while the panel answers.
    auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(hostQuery(), 1000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (saysHost(call->reply())) {
                    found();
                }
            });
}

void TrayPresence::found() {
    if (m_found) {
        return;
    }
    m_found = true;
    m_xembedPoll.stop();
    emit appeared();
}

} // namespace lumora
