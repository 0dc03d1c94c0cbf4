#include "app/ControlClient.h"

#include "app/ControlService.h"
#include "app/lumora_control_proxy.h"
#include "settings/Limits.h"
#include "settings/PresetFile.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QFile>
#include <QSaveFile>
#include <array>
#include <optional>
#include <variant>

namespace lumora::control {
namespace {

struct Key {
    const char* key;      // as in the settings file
    const char* property; // on the bus
    char type;            // b, d or s
};

// In the order the README lists the settings.
constexpr std::array<Key, 9> keys = {{
    {"enabled", "Enabled", 'b'},
    {"effect", "Effect", 's'},
    {"speed", "Speed", 'd'},
    {"brightness", "Brightness", 'd'},
    {"width", "Width", 'd'},
    {"color", "Color", 's'},
    {"showClose", "ShowClose", 'b'},
    {"cornerFraction", "CornerFraction", 'd'},
    {"angle", "Angle", 'd'},
}};

const Key* findKey(const QString& name) {
    for (const Key& key : keys) {
        if (name.compare(QLatin1String(key.key), Qt::CaseInsensitive) == 0) {
            return &key;
        }
    }
    return nullptr;
}

QString text(const QVariant& value) {
    switch (value.metaType().id()) {
    case QMetaType::Bool: return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    default: return value.toString();
    }
}

// Each command returns its exit status, having said what went wrong.
class Client {
public:
    Client(QDBusConnection bus, QTextStream& out, QTextStream& err)
        : m_bus(std::move(bus)), m_lumora(QLatin1String(ControlService::serviceName),
                                          QLatin1String(ControlService::objectPath), m_bus),
          m_out(out), m_err(err) {
        m_lumora.setTimeout(10000);
    }

    // One line, whatever the message held.
    int problem(QString line) {
        m_err << "lumora: " << line.replace(u'\n', u' ') << Qt::endl;
        return exitError;
    }

    // Exit 3 unless the running instance holds its name.
    std::optional<int> checkRunning() {
        if (!m_bus.isConnected() || !m_bus.interface() ||
            !m_bus.interface()->isServiceRegistered(QLatin1String(ControlService::serviceName))) {
            m_err << "lumora: Lumora is not running" << Qt::endl;
            return exitNotRunning;
        }
        return std::nullopt;
    }

    int failed(const QDBusError& error) {
        if (error.type() == QDBusError::ServiceUnknown ||
            error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
            m_err << "lumora: Lumora is not running" << Qt::endl;
            return exitNotRunning;
        }
        return problem(error.message().isEmpty() ? error.name() : error.message());
    }

    // Waits for the reply; the exit status when it is an error (already reported).
    template <class... T> std::optional<int> failed(QDBusPendingReply<T...>& reply) {
        reply.waitForFinished();
        if (reply.isError()) {
            return failed(reply.error());
        }
        return std::nullopt;
    }

    // The reply, or the exit status of the failure (already reported).
    std::variant<QDBusMessage, int> call(const QString& interface, const QString& method,
                                         const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QLatin1String(ControlService::serviceName), QLatin1String(ControlService::objectPath),
            interface, method);
        message.setArguments(arguments);
        const QDBusMessage reply = m_bus.call(message, QDBus::Block, 10000);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            return failed(QDBusError(reply));
        }
        return reply;
    }

    std::variant<QDBusMessage, int> properties(const QString& method,
                                               const QVariantList& arguments) {
        return call(QStringLiteral("org.freedesktop.DBus.Properties"), method, arguments);
    }

    int get(const QStringList& args) {
        if (args.size() > 1) {
            return problem(QStringLiteral("usage: lumora ctl get [KEY]"));
        }
        const Key* only = nullptr;
        if (args.size() == 1 && !(only = findKey(args[0]))) {
            return problem(QStringLiteral("unknown key \"%1\"").arg(args[0]));
        }
        if (auto running = checkRunning()) {
            return *running;
        }
        auto reply =
            properties(QStringLiteral("GetAll"), {QLatin1String(ControlService::interfaceName)});
        if (auto* status = std::get_if<int>(&reply)) {
            return *status;
        }
        const QVariantMap values =
            qdbus_cast<QVariantMap>(std::get<QDBusMessage>(reply).arguments().value(0));
        for (const Key& key : keys) {
            const QVariant value = values.value(QLatin1String(key.property));
            if (only) {
                if (only == &key) {
                    m_out << text(value) << Qt::endl;
                }
            } else {
                m_out << key.key << '=' << text(value) << Qt::endl;
            }
        }
        return exitOk;
    }

    int set(const QStringList& args) {
        if (args.size() != 2) {
            return problem(QStringLiteral("usage: lumora ctl set KEY VALUE"));
        }
        const Key* key = findKey(args[0]);
        if (!key) {
            return problem(QStringLiteral("unknown key \"%1\"").arg(args[0]));
        }
        QVariant value;
        const QString& word = args[1];
        if (key->type == 'b') {
            if (word == QLatin1String("true") || word == QLatin1String("false")) {
                value = word == QLatin1String("true");
            } else {
                return problem(QStringLiteral("%1: \"%2\" is not true or false")
                                   .arg(QLatin1String(key->key), word));
            }
        } else if (key->type == 'd') {
            bool ok = false;
            const double number = word.toDouble(&ok);
            if (!ok) {
                return problem(QStringLiteral("%1: \"%2\" is not a number")
                                   .arg(QLatin1String(key->key), word));
            }
            value = number; // a number that is not finite is the running instance's to refuse
        } else {
            value = word;
        }
        if (auto running = checkRunning()) {
            return *running;
        }
        auto reply =
            properties(QStringLiteral("Set"),
                       {QLatin1String(ControlService::interfaceName), QLatin1String(key->property),
                        QVariant::fromValue(QDBusVariant(value))});
        return std::holds_alternative<int>(reply) ? std::get<int>(reply) : exitOk;
    }

    int step(bool forward) {
        if (auto running = checkRunning()) {
            return *running;
        }
        QDBusPendingReply<> reply = forward ? m_lumora.NextEffect() : m_lumora.PreviousEffect();
        return failed(reply).value_or(exitOk);
    }

    int preset(const QStringList& args) {
        const QString verb = args.value(0);
        const QStringList rest = args.mid(1);
        if (verb == QLatin1String("list") && rest.isEmpty()) {
            return list();
        }
        if ((verb == QLatin1String("apply") || verb == QLatin1String("save") ||
             verb == QLatin1String("delete")) &&
            rest.size() == 1) {
            return named(verb, rest[0]);
        }
        if (verb == QLatin1String("export")) {
            return exportPresets(rest);
        }
        if (verb == QLatin1String("import") && rest.size() == 1) {
            return importPresets(rest[0]);
        }
        return problem(QStringLiteral("usage: lumora ctl preset list | apply NAME | save NAME | "
                                      "delete NAME | export [NAME...] [-o FILE] | import FILE"));
    }

    int list() {
        if (auto running = checkRunning()) {
            return *running;
        }
        QDBusPendingReply<PresetEntryList> reply = m_lumora.ListPresets();
        if (auto status = failed(reply)) {
            return *status;
        }
        for (const PresetEntry& entry : reply.value()) {
            m_out << entry.id << '\t' << entry.name << Qt::endl;
        }
        return exitOk;
    }

    int named(const QString& verb, const QString& name) {
        if (auto running = checkRunning()) {
            return *running;
        }
        if (verb == QLatin1String("save")) {
            QDBusPendingReply<QString> reply = m_lumora.SavePreset(name);
            if (auto status = failed(reply)) {
                return *status;
            }
            m_out << reply.value() << Qt::endl;
            return exitOk;
        }
        QDBusPendingReply<> reply = verb == QLatin1String("apply") ? m_lumora.ApplyPreset(name)
                                                                   : m_lumora.DeletePreset(name);
        return failed(reply).value_or(exitOk);
    }

    int exportPresets(const QStringList& args) {
        QStringList names;
        std::optional<QString> file;
        for (qsizetype i = 0; i < args.size(); ++i) {
            if (args[i] == QLatin1String("-o")) {
                if (i + 1 >= args.size() || file) {
                    return problem(QStringLiteral("usage: lumora ctl preset export [NAME...] "
                                                  "[-o FILE]"));
                }
                file = args[++i];
            } else {
                names << args[i];
            }
        }
        if (auto running = checkRunning()) {
            return *running;
        }
        QDBusPendingReply<QString> reply = m_lumora.ExportPresets(names);
        if (auto status = failed(reply)) {
            return *status;
        }
        const QByteArray json = reply.value().toUtf8();
        if (!file) {
            m_out << QString::fromUtf8(json);
            m_out.flush();
            return exitOk;
        }
        QSaveFile target(*file);
        if (!target.open(QIODevice::WriteOnly) || target.write(json) != json.size() ||
            !target.commit()) {
            return problem(QStringLiteral("cannot write %1: %2").arg(*file, target.errorString()));
        }
        return exitOk;
    }

    int importPresets(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return problem(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        }
        // One byte more than allowed is enough to know the file is too large.
        const QByteArray json = file.read(limits::maxJsonBytes + 1);
        const presetFile::Contents contents = presetFile::decode(json);
        if (!contents.problem.isEmpty()) {
            return problem(
                QStringLiteral("nothing imported from %1: %2").arg(path, contents.problem));
        }
        if (auto running = checkRunning()) {
            return *running;
        }
        QDBusPendingReply<QStringList> reply = m_lumora.ImportPresets(QString::fromUtf8(json));
        if (auto status = failed(reply)) {
            return *status;
        }
        const QStringList names = reply.value();
        for (const QString& name : names) {
            m_out << name << Qt::endl;
        }
        const qsizetype leftOut = contents.presets.size() - names.size();
        if (contents.skipped > 0 || leftOut > 0) {
            m_err << "lumora: "
                  << presetFile::importSummary(names.size(), contents.skipped, leftOut, {})
                  << Qt::endl;
        }
        return exitOk;
    }

private:
    QDBusConnection m_bus;
    LumoraProxy m_lumora;
    QTextStream& m_out;
    QTextStream& m_err;
};

} // namespace

QString usage() {
    return QStringLiteral(
        "Usage: lumora ctl COMMAND\n"
        "Controls the running Lumora.\n"
        "\n"
        "  get [KEY]                 all settings as key=value lines, or one value\n"
        "  set KEY VALUE             e.g. set effect scanner, set color FF7A00,\n"
        "                            set enabled false\n"
        "  next | previous           the next or previous effect, wrapping\n"
        "  preset list               every preset as id<TAB>name\n"
        "  preset apply NAME         NAME may also be an id\n"
        "  preset save NAME          prints the id\n"
        "  preset delete NAME\n"
        "  preset export [NAME...] [-o FILE]\n"
        "                            a preset file (all presets without NAME) to stdout or FILE\n"
        "  preset import FILE        prints the names the presets were added under\n"
        "\n"
        "Keys: enabled, effect, speed, brightness, width, color, showClose, cornerFraction,\n"
        "angle. Exit status: 0 done, 1 an error (said on stderr), 3 Lumora is not running.\n");
}

int run(const QStringList& args, QDBusConnection bus, QTextStream& out, QTextStream& err) {
    ControlService::registerTypes();
    Client client(std::move(bus), out, err);
    const QString verb = args.value(0);
    const QStringList rest = args.mid(1);
    if (verb == QLatin1String("help") || verb == QLatin1String("--help") ||
        verb == QLatin1String("-h")) {
        out << usage();
        return exitOk;
    }
    if (verb == QLatin1String("get")) {
        return client.get(rest);
    }
    if (verb == QLatin1String("set")) {
        return client.set(rest);
    }
    if ((verb == QLatin1String("next") || verb == QLatin1String("previous")) && rest.isEmpty()) {
        return client.step(verb == QLatin1String("next"));
    }
    if (verb == QLatin1String("preset")) {
        return client.preset(rest);
    }
    return client.problem(
        verb.isEmpty() ? QStringLiteral("lumora ctl needs a command; see lumora ctl --help")
                       : QStringLiteral("unknown command \"%1\"; see lumora ctl --help").arg(verb));
}

} // namespace lumora::control
