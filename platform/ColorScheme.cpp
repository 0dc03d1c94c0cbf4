#include "platform/ColorScheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPalette>

namespace lumora {

std::optional<Appearance> ColorScheme::parse(const QString& name) {
    if (name == QLatin1String("light")) {
        return Appearance::light;
    }
    if (name == QLatin1String("dark")) {
        return Appearance::dark;
    }
    return std::nullopt;
}

Appearance ColorScheme::decide(const Hints& in) {
    if (std::optional<Appearance> chosen = parse(in.userChoice.trimmed().toLower())) {
        return *chosen;
    }
    if (in.portal == 1u) {
        return Appearance::dark;
    }
    if (in.portal == 2u) {
        return Appearance::light;
    }
    // "Adwaita:dark" asks for a theme's dark variant; "Adwaita-dark" is a dark theme.
    const QString theme = in.gtkTheme.trimmed().toLower();
    const qsizetype colon = theme.indexOf(QLatin1Char(':'));
    const QString name = colon < 0 ? theme : theme.left(colon);
    const QString variant = colon < 0 ? QString() : theme.mid(colon + 1);
    if (variant == QLatin1String("dark") || name.endsWith(QLatin1String("-dark"))) {
        return Appearance::dark;
    }
    if (in.lightness && *in.lightness < 0.5) {
        return Appearance::dark;
    }
    return Appearance::light;
}

std::optional<uint> ColorScheme::readPortal(int timeoutMs) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return std::nullopt;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
    const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    // Read wraps the value in one variant too many; unwrap whatever depth comes back.
    QVariant value = reply.arguments().constFirst();
    while (value.canConvert<QDBusVariant>()) {
        value = qvariant_cast<QDBusVariant>(value).variant();
    }
    bool ok = false;
    const uint scheme = value.toUInt(&ok);
    return ok ? std::optional<uint>(scheme) : std::nullopt;
}

Appearance ColorScheme::current(int timeoutMs) {
    Hints in;
    in.userChoice = qEnvironmentVariable("LUMORA_APPEARANCE");
    if (!parse(in.userChoice.trimmed().toLower())) {
        in.portal = readPortal(timeoutMs);
    }
    in.gtkTheme = qEnvironmentVariable("GTK_THEME");
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        in.lightness = QGuiApplication::palette().color(QPalette::Window).lightnessF();
    }
    return decide(in);
}

} // namespace lumora
