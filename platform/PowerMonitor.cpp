#include "platform/PowerMonitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace lumora {

namespace {

const QString upowerService = QStringLiteral("org.freedesktop.UPower");
const QString upowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString upowerInterface = QStringLiteral("org.freedesktop.UPower");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString onBatteryName = QStringLiteral("OnBattery");

} // namespace

PowerMonitor::PowerMonitor(QObject* parent) : PowerMonitor(QDBusConnection::systemBus(), parent) {}

PowerMonitor::PowerMonitor(const QDBusConnection& systemBus, QObject* parent)
    : QObject(parent), m_system(systemBus) {
    if (!m_system.isConnected()) {
        return;
    }
    m_watching = m_system.connect(upowerService, upowerPath, propertiesInterface,
                                  QStringLiteral("PropertiesChanged"), this,
                                  SLOT(onProperties(QString, QVariantMap, QStringList)));
    read();
}

PowerMonitor::~PowerMonitor() {
    if (m_watching) {
        m_system.disconnect(upowerService, upowerPath, propertiesInterface,
                            QStringLiteral("PropertiesChanged"), this,
                            SLOT(onProperties(QString, QVariantMap, QStringList)));
    }
}

void PowerMonitor::read() {
    QDBusMessage get = QDBusMessage::createMethodCall(upowerService, upowerPath,
                                                      propertiesInterface, QStringLiteral("Get"));
    get << upowerInterface << onBatteryName;
    auto* watcher = new QDBusPendingCallWatcher(m_system.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](auto* call) {
        call->deleteLater();
        QDBusPendingReply<QDBusVariant> value = *call;
        if (!value.isError()) {
            set(value.value().variant().toBool());
        }
    });
}

void PowerMonitor::onProperties(const QString& interface, const QVariantMap& changed,
                                const QStringList& invalidated) {
    if (interface != upowerInterface) {
        return;
    }
    if (const auto value = changed.constFind(onBatteryName); value != changed.cend()) {
        set(value->toBool());
    } else if (invalidated.contains(onBatteryName)) {
        read();
    }
}

void PowerMonitor::set(bool onBattery) {
    if (onBattery == m_onBattery) {
        return;
    }
    m_onBattery = onBattery;
    emit onBatteryChanged(onBattery);
}

} // namespace lumora
