#include "app/ControlService.h"

#include "app/ControlInterfaceXml.h"
#include "settings/Limits.h"
#include "settings/PresetFile.h"
#include "ui/KnobInteraction.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QMetaObject>
#include <algorithm>
#include <array>
#include <cmath>

namespace lumora {
namespace {

const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

QString effectName(Effect effect) {
    const std::string_view raw = rawValue(effect);
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

// A value quoted in an error, short enough for one line whatever the caller sent.
QString quoted(const QString& value) {
    constexpr qsizetype shown = 60;
    return u'"' + (value.size() > shown ? value.left(shown) + QStringLiteral("…") : value) + u'"';
}

bool isSixHexDigits(const QString& text) {
    return text.size() == 6 && std::all_of(text.begin(), text.end(), [](QChar c) {
               return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') ||
                      (c >= u'A' && c <= u'F');
           });
}

QString idText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

ControlService::Failure invalid(const QString& message) {
    return {ControlService::invalidValueError, message};
}

// The properties in the interface's order, with their D-Bus types.
struct Property {
    const char* name;
    QMetaType::Type type;
};
constexpr std::array<Property, 9> properties = {{
    {"Enabled", QMetaType::Bool},
    {"Effect", QMetaType::QString},
    {"Speed", QMetaType::Double},
    {"Brightness", QMetaType::Double},
    {"Width", QMetaType::Double},
    {"CornerFraction", QMetaType::Double},
    {"Angle", QMetaType::Double},
    {"Color", QMetaType::QString},
    {"ShowClose", QMetaType::Bool},
}};

const Property* findProperty(const QString& name) {
    for (const Property& property : properties) {
        if (name == QLatin1String(property.name)) {
            return &property;
        }
    }
    return nullptr;
}

} // namespace

// Qt's own property handling cannot refuse a write with an error of ours, so the object
// answers its messages itself: the standard Properties calls and the interface's methods.
class ControlBusObject : public QDBusVirtualObject {
public:
    explicit ControlBusObject(ControlService& service) : m_service(service) {}

    QString introspect(const QString&) const override { return ControlService::interfaceXml(); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QDBusConnection bus = connection;
        const std::optional<QDBusMessage> reply = answer(message);
        if (!reply) {
            return false; // Qt answers the rest (Introspect) or says the method is unknown
        }
        bus.send(*reply);
        return true;
    }

private:
    static QDBusMessage failed(const QDBusMessage& message, const ControlService::Failure& f) {
        return message.createErrorReply(QLatin1String(f.name), f.message);
    }

    template <class T>
    static QDBusMessage replyWith(const QDBusMessage& message,
                                  const ControlService::Result<T>& result) {
        if (const auto* failure = std::get_if<ControlService::Failure>(&result)) {
            return failed(message, *failure);
        }
        return message.createReply(QVariant::fromValue(std::get<T>(result)));
    }

    static QDBusMessage done(const QDBusMessage& message,
                             const std::optional<ControlService::Failure>& failure) {
        return failure ? failed(message, *failure) : message.createReply();
    }

    std::optional<QDBusMessage> answer(const QDBusMessage& message) {
        const QString interface = message.interface();
        const QString member = message.member();
        const QString signature = message.signature();
        const QVariantList args = message.arguments();
        const QString ours = QLatin1String(ControlService::interfaceName);
        if (interface == kProperties) {
            return answerProperties(message, member, signature, args);
        }
        if (!interface.isEmpty() && interface != ours) {
            return std::nullopt;
        }
        const auto badArguments = [&](const char* wanted) {
            return message.createErrorReply(QDBusError::InvalidArgs,
                                            QStringLiteral("%1 takes (%2), not (%3)")
                                                .arg(member, QLatin1String(wanted), signature));
        };
        const auto expect = [&](const char* wanted) { return signature == QLatin1String(wanted); };
        const QString text = args.value(0).toString();
        if (member == QLatin1String("NextEffect") || member == QLatin1String("PreviousEffect") ||
            member == QLatin1String("ShowSettings") || member == QLatin1String("ListPresets")) {
            if (!expect("")) {
                return badArguments("");
            }
            if (member == QLatin1String("ListPresets")) {
                return message.createReply(QVariant::fromValue(m_service.listPresets()));
            }
            member == QLatin1String("NextEffect")       ? m_service.nextEffect()
            : member == QLatin1String("PreviousEffect") ? m_service.previousEffect()
                                                        : m_service.showSettings();
            return message.createReply();
        }
        if (member == QLatin1String("ApplyPreset")) {
            return expect("s") ? done(message, m_service.applyPreset(text)) : badArguments("s");
        }
        if (member == QLatin1String("DeletePreset")) {
            return expect("s") ? done(message, m_service.deletePreset(text)) : badArguments("s");
        }
        if (member == QLatin1String("SavePreset")) {
            return expect("s") ? replyWith(message, m_service.savePreset(text)) : badArguments("s");
        }
        if (member == QLatin1String("ImportPresets")) {
            return expect("s") ? replyWith(message, m_service.importPresets(text))
                               : badArguments("s");
        }
        if (member == QLatin1String("ExportPresets")) {
            return expect("as")
                       ? replyWith(message, m_service.exportPresets(args[0].toStringList()))
                       : badArguments("as");
        }
        return std::nullopt;
    }

    std::optional<QDBusMessage> answerProperties(const QDBusMessage& message, const QString& member,
                                                 const QString& signature,
                                                 const QVariantList& args) {
        const QString ours = QLatin1String(ControlService::interfaceName);
        const QString interface = args.value(0).toString();
        if (!interface.isEmpty() && interface != ours &&
            (signature == QLatin1String("s") || signature == QLatin1String("ss") ||
             signature == QLatin1String("ssv"))) {
            return message.createErrorReply(QDBusError::UnknownInterface,
                                            QStringLiteral("no interface %1 here").arg(interface));
        }
        if (member == QLatin1String("GetAll") && signature == QLatin1String("s")) {
            return message.createReply(QVariant::fromValue(m_service.values()));
        }
        if ((member == QLatin1String("Get") && signature == QLatin1String("ss")) ||
            (member == QLatin1String("Set") && signature == QLatin1String("ssv"))) {
            const QString name = args.value(1).toString();
            const Property* property = findProperty(name);
            if (!property) {
                return message.createErrorReply(QDBusError::UnknownProperty,
                                                QStringLiteral("no property %1").arg(quoted(name)));
            }
            if (member == QLatin1String("Get")) {
                return message.createReply(
                    QVariant::fromValue(QDBusVariant(m_service.value(name))));
            }
            const QVariant value = qvariant_cast<QDBusVariant>(args.value(2)).variant();
            if (value.metaType().id() != property->type) {
                return message.createErrorReply(
                    QDBusError::InvalidArgs,
                    QStringLiteral("%1 takes %2, not %3")
                        .arg(name, QLatin1String(QMetaType(property->type).name()),
                             QLatin1String(value.typeName())));
            }
            return done(message, m_service.setValue(name, value));
        }
        return message.createErrorReply(
            QDBusError::UnknownMethod,
            QStringLiteral("no method %1(%2) in %3").arg(member, signature, kProperties));
    }

    ControlService& m_service;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PresetEntry& entry) {
    argument.beginStructure();
    argument << entry.id << entry.name;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PresetEntry& entry) {
    argument.beginStructure();
    argument >> entry.id >> entry.name;
    argument.endStructure();
    return argument;
}

void ControlService::registerTypes() {
    qDBusRegisterMetaType<PresetEntry>();
    qDBusRegisterMetaType<PresetEntryList>();
}

QString ControlService::interfaceXml() {
    // The interface element of the description the build embedded, without the file's
    // doctype and comments.
    static const QString xml = [] {
        const QString file = QString::fromUtf8(controlInterfaceXml);
        const qsizetype from = file.indexOf(QLatin1String("<interface"));
        const QLatin1String end("</interface>");
        const qsizetype to = file.lastIndexOf(end);
        return from >= 0 && to > from ? file.mid(from, to + end.size() - from) : QString();
    }();
    return xml;
}

ControlService::ControlService(Settings& settings, QObject* parent)
    : QObject(parent), m_settings(settings), m_object(std::make_unique<ControlBusObject>(*this)) {
    registerTypes();
    connect(&m_settings, &Settings::willChange, this, &ControlService::scheduleAnnounce);
}

ControlService::~ControlService() {
    if (m_bus) {
        m_bus->unregisterService(QLatin1String(serviceName));
        m_bus->unregisterObject(QLatin1String(objectPath));
    }
}

bool ControlService::publish(QDBusConnection bus, QString* why) {
    const auto failed = [&](const QString& reason) {
        if (why) {
            *why = reason;
        }
        return false;
    };
    if (!bus.isConnected()) {
        return failed(QStringLiteral("no session bus: %1").arg(bus.lastError().message()));
    }
    if (!bus.registerVirtualObject(QLatin1String(objectPath), m_object.get())) {
        return failed(QStringLiteral("%1 is already exported").arg(QLatin1String(objectPath)));
    }
    if (!bus.registerService(QLatin1String(serviceName))) {
        bus.unregisterObject(QLatin1String(objectPath));
        return failed(QStringLiteral("the name %1 is taken: %2")
                          .arg(QLatin1String(serviceName), bus.lastError().message()));
    }
    m_bus = bus;
    m_announced = values();
    return true;
}

QVariant ControlService::value(const QString& property) const {
    if (property == QLatin1String("Enabled")) {
        return m_settings.enabled();
    }
    if (property == QLatin1String("Effect")) {
        return effectName(m_settings.effect());
    }
    if (property == QLatin1String("Speed")) {
        return m_settings.speed();
    }
    if (property == QLatin1String("Brightness")) {
        return m_settings.brightness();
    }
    if (property == QLatin1String("Width")) {
        return m_settings.width();
    }
    if (property == QLatin1String("CornerFraction")) {
        return m_settings.cornerFraction();
    }
    if (property == QLatin1String("Angle")) {
        return m_settings.angle();
    }
    if (property == QLatin1String("Color")) {
        return QString::fromStdString(m_settings.color().hex());
    }
    if (property == QLatin1String("ShowClose")) {
        return m_settings.showClose();
    }
    return {};
}

QVariantMap ControlService::values() const {
    QVariantMap all;
    for (const Property& property : properties) {
        const QString name = QLatin1String(property.name);
        all.insert(name, value(name));
    }
    return all;
}

std::optional<ControlService::Failure> ControlService::setValue(const QString& property,
                                                                const QVariant& value) {
    if (property == QLatin1String("Enabled")) {
        m_settings.setEnabled(value.toBool());
        return std::nullopt;
    }
    if (property == QLatin1String("ShowClose")) {
        m_settings.setShowClose(value.toBool());
        return std::nullopt;
    }
    if (property == QLatin1String("Effect")) {
        const QString text = value.toString();
        const std::optional<Effect> effect = effectFromRawValue(text.toStdString());
        if (!effect) {
            return invalid(QStringLiteral("Effect: unknown effect %1").arg(quoted(text)));
        }
        m_settings.setEffect(*effect);
        return std::nullopt;
    }
    if (property == QLatin1String("Color")) {
        const QString text = value.toString();
        const std::optional<RGB> color =
            isSixHexDigits(text) ? RGB::fromHex(text.toStdString()) : std::nullopt;
        if (!color) {
            return invalid(QStringLiteral("Color: %1 is not six hex digits").arg(quoted(text)));
        }
        m_settings.setColor(*color);
        return std::nullopt;
    }
    using Setter = void (Settings::*)(double);
    struct Number {
        const char* name;
        Setter set;
        double (*held)(double);
    };
    static constexpr std::array<Number, 5> numbers = {{
        {"Speed", &Settings::setSpeed, &limits::clampSpeed},
        {"Brightness", &Settings::setBrightness, &limits::clampBrightness},
        {"Width", &Settings::setWidth, &limits::clampWidth},
        {"CornerFraction", &Settings::setCornerFraction, &limits::clampCorner},
        {"Angle", &Settings::setAngle, &knob::wrapDegrees},
    }};
    for (const Number& number : numbers) {
        if (property != QLatin1String(number.name)) {
            continue;
        }
        const double v = value.toDouble();
        if (!std::isfinite(v)) {
            return invalid(
                QStringLiteral("%1: %2 is not a finite number").arg(property, QString::number(v)));
        }
        (m_settings.*number.set)(number.held(v));
        return std::nullopt;
    }
    return invalid(QStringLiteral("no property %1").arg(quoted(property)));
}

void ControlService::stepEffect(int step) {
    const auto at = std::find(allEffects.begin(), allEffects.end(), m_settings.effect());
    const auto count = static_cast<int>(allEffects.size());
    const int index = at == allEffects.end() ? 0 : static_cast<int>(at - allEffects.begin());
    m_settings.setEffect(allEffects[static_cast<std::size_t>((index + step + count) % count)]);
}

void ControlService::nextEffect() {
    stepEffect(1);
}

void ControlService::previousEffect() {
    stepEffect(-1);
}

PresetEntryList ControlService::listPresets() const {
    PresetEntryList entries;
    for (const Preset& preset : m_settings.presets()) {
        entries.append({idText(preset.id), preset.name});
    }
    return entries;
}

std::optional<ControlService::Failure> ControlService::find(const QString& nameOrId,
                                                            Preset* found) const {
    const std::optional<Preset> preset = presetFile::find(m_settings.presets(), nameOrId);
    if (!preset) {
        return Failure{notFoundError, QStringLiteral("no preset named %1").arg(quoted(nameOrId))};
    }
    *found = *preset;
    return std::nullopt;
}

std::optional<ControlService::Failure> ControlService::applyPreset(const QString& nameOrId) {
    Preset preset;
    if (auto failure = find(nameOrId, &preset)) {
        return failure;
    }
    m_settings.apply(preset);
    return std::nullopt;
}

ControlService::Result<QString> ControlService::savePreset(const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        return invalid(QStringLiteral("a preset needs a name"));
    }
    if (trimmed.size() > limits::maxNameLength) {
        return invalid(QStringLiteral("preset name %1 is longer than %2 characters")
                           .arg(quoted(trimmed))
                           .arg(limits::maxNameLength));
    }
    const std::optional<QUuid> id = m_settings.savePreset(trimmed);
    if (!id) {
        return Failure{limitReachedError,
                       QStringLiteral("Lumora keeps at most %1 presets").arg(limits::maxPresets)};
    }
    return idText(*id);
}

std::optional<ControlService::Failure> ControlService::deletePreset(const QString& nameOrId) {
    Preset preset;
    if (auto failure = find(nameOrId, &preset)) {
        return failure;
    }
    m_settings.deletePreset(preset);
    return std::nullopt;
}

ControlService::Result<QString> ControlService::exportPresets(const QStringList& namesOrIds) const {
    if (namesOrIds.size() > limits::maxPresets) {
        return invalid(QStringLiteral("at most %1 presets can be named").arg(limits::maxPresets));
    }
    QList<Preset> chosen;
    if (namesOrIds.isEmpty()) {
        chosen = m_settings.presets();
    }
    for (const QString& nameOrId : namesOrIds) {
        Preset preset;
        if (auto failure = find(nameOrId, &preset)) {
            return *failure;
        }
        chosen.append(preset);
    }
    return QString::fromUtf8(presetFile::encode(chosen));
}

ControlService::Result<QStringList> ControlService::importPresets(const QString& json) {
    // Checked on the text before anything is converted or parsed.
    if (json.size() > limits::maxJsonBytes) {
        return invalid(QStringLiteral("nothing imported: the file is larger than 1 MiB"));
    }
    const presetFile::Contents contents = presetFile::decode(json.toUtf8());
    if (!contents.problem.isEmpty()) {
        return invalid(QStringLiteral("nothing imported: %1").arg(contents.problem));
    }
    const QStringList names = m_settings.importPresets(contents.presets);
    if (names.isEmpty()) {
        return Failure{limitReachedError, QStringLiteral("nothing imported: Lumora keeps at most "
                                                         "%1 presets")
                                              .arg(limits::maxPresets)};
    }
    return names;
}

void ControlService::showSettings() {
    emit showSettingsRequested();
}

void ControlService::scheduleAnnounce() {
    if (m_announcePending || !m_bus) {
        return;
    }
    m_announcePending = true;
    QMetaObject::invokeMethod(this, &ControlService::announce, Qt::QueuedConnection);
}

void ControlService::announce() {
    m_announcePending = false;
    const QVariantMap now = values();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (m_announced.value(it.key()) != it.value()) {
            changed.insert(it.key(), it.value());
        }
    }
    m_announced = now;
    if (changed.isEmpty() || !m_bus) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(objectPath), kProperties,
                                                     QStringLiteral("PropertiesChanged"));
    signal << QLatin1String(interfaceName) << changed << QStringList();
    m_bus->send(signal);
}

} // namespace lumora
