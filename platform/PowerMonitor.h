#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace lumora {

// Whether the machine runs on battery: UPower's OnBattery on the system bus, counted only from
// UPower's real owner. Without UPower the machine counts as on mains.
class PowerMonitor : public QObject {
    Q_OBJECT
public:
    explicit PowerMonitor(QObject* parent = nullptr);
    explicit PowerMonitor(const QDBusConnection& systemBus, QObject* parent = nullptr);
    ~PowerMonitor() override;

    bool onBattery() const { return m_onBattery; }

signals:
    void onBatteryChanged(bool onBattery);

private slots:
    void onProperties(const QString& interface, const QVariantMap& changed,
                      const QStringList& invalidated);

private:
    void read();
    void set(bool onBattery);

    QDBusConnection m_system;
    bool m_watching = false;
    bool m_onBattery = false;
};

} // namespace lumora
