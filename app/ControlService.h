#pragma once

#include "settings/Settings.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <memory>
#include <optional>
#include <variant>

namespace lumora {

// One entry of ListPresets: (id, name).
struct PresetEntry {
    QString id;
    QString name;
};
using PresetEntryList = QList<PresetEntry>;

QDBusArgument& operator<<(QDBusArgument& argument, const PresetEntry& entry);
const QDBusArgument& operator>>(const QDBusArgument& argument, PresetEntry& entry);

class ControlBusObject;

// The running Lumora on the session bus: io.lumora.Lumora at /io/lumora/Lumora, interface
// io.lumora.Lumora1 as data/io.lumora.Lumora1.xml describes it. Every write goes through the
// store, so the bar, the tray and the window follow it as they follow the window's own
// controls, and every change of the store, whatever made it, is announced on the bus.
class ControlService : public QObject {
    Q_OBJECT
public:
    static constexpr const char* serviceName = "io.lumora.Lumora";
    static constexpr const char* objectPath = "/io/lumora/Lumora";
    static constexpr const char* interfaceName = "io.lumora.Lumora1";
    static constexpr const char* invalidValueError = "io.lumora.Lumora1.Error.InvalidValue";
    static constexpr const char* notFoundError = "io.lumora.Lumora1.Error.NotFound";
    static constexpr const char* limitReachedError = "io.lumora.Lumora1.Error.LimitReached";

    // A refused request: the D-Bus error name and a message naming what was wrong.
    struct Failure {
        const char* name;
        QString message;
    };
    template <class T> using Result = std::variant<T, Failure>;

    explicit ControlService(Settings& settings, QObject* parent = nullptr);
    ~ControlService() override;

    // The D-Bus marshalling of the types above; once per process, before any call.
    static void registerTypes();
    // The interface's introspection, as data/io.lumora.Lumora1.xml has it.
    static QString interfaceXml();

    // Exports the object and takes the name. False, with the reason, when the bus cannot be
    // reached or another process holds the name.
    bool publish(QDBusConnection bus, QString* why = nullptr);

    // Properties by their D-Bus names; an invalid QVariant for an unknown name.
    QVariant value(const QString& property) const;
    QVariantMap values() const;
    // Checked as the settings file is, numbers held as the window's controls hold them.
    std::optional<Failure> setValue(const QString& property, const QVariant& value);

    void nextEffect();
    void previousEffect();
    PresetEntryList listPresets() const;
    std::optional<Failure> applyPreset(const QString& nameOrId);
    Result<QString> savePreset(const QString& name);
    std::optional<Failure> deletePreset(const QString& nameOrId);
    Result<QString> exportPresets(const QStringList& namesOrIds) const;
    Result<QStringList> importPresets(const QString& json);
    void showSettings();

signals:
    void showSettingsRequested();

private:
    std::optional<Failure> find(const QString& nameOrId, Preset* found) const;
    void stepEffect(int step);
    // Store signals arrive before the value is stored; the changes are sent once the
    // assignments are over, each property only when its value differs from the last one sent.
    void scheduleAnnounce();
    void announce();

    Settings& m_settings;
    std::unique_ptr<ControlBusObject> m_object;
    std::optional<QDBusConnection> m_bus; // once published
    QVariantMap m_announced;
    bool m_announcePending = false;
};

} // namespace lumora

Q_DECLARE_METATYPE(lumora::PresetEntry)
