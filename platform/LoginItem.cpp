#include "platform/LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <optional>

namespace lumora {

namespace {

// The [Desktop Entry] group's value for `key`, with surrounding blanks trimmed; nothing when
// the key is absent. Localised variants (Key[xx]) are different keys.
std::optional<QByteArray> entryValue(const QByteArray& text, const QByteArray& key) {
    bool inEntry = false;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (inEntry && eq > 0 && line.left(eq).trimmed() == key) {
            return line.mid(eq + 1).trimmed();
        }
    }
    return std::nullopt;
}

} // namespace

LoginItem::LoginItem(QString autostartDir, QString executablePath)
    : m_dir(std::move(autostartDir)), m_executable(QFileInfo(executablePath).absoluteFilePath()) {}

LoginItem& LoginItem::shared() {
    // Inside an AppImage the running file lives in a mount that is gone after logout.
    const QString appImage = qEnvironmentVariable("APPIMAGE");
    static LoginItem item(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                              QStringLiteral("/autostart"),
                          appImage.isEmpty() ? QCoreApplication::applicationFilePath() : appImage);
    return item;
}

QString LoginItem::filePath() const {
    return m_dir + QLatin1Char('/') + QLatin1String(fileName);
}

bool LoginItem::isEnabled() const {
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray text = file.readAll();
    if (entryValue(text, "Hidden") == QByteArray("true")) {
        return false;
    }
    // GNOME's session manager switches entries off this way instead of removing them.
    return entryValue(text, "X-GNOME-Autostart-enabled") != QByteArray("false");
}

bool LoginItem::setEnabled(bool on) {
    m_error.clear();
    const QString path = filePath();
    if (!on) {
        QFile file(path);
        if (!file.exists() || file.remove()) {
            return true;
        }
        m_error = QStringLiteral("cannot remove %1: %2").arg(path, file.errorString());
        return false;
    }

    if (!QDir().mkpath(m_dir)) {
        m_error = QStringLiteral("cannot create folder %1").arg(m_dir);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    file.write(desktopEntry());
    if (!file.commit()) {
        m_error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QByteArray LoginItem::desktopEntry() const {
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Name=Lumora\n"
                                  "Comment=Animated light on the Touch Bar\n"
                                  "Exec=%1\n"
                                  "Icon=lumora\n"
                                  "Terminal=false\n"
                                  "X-GNOME-Autostart-enabled=true\n")
                       .arg(execValue(m_executable));
    return text.toUtf8();
}

QString LoginItem::execValue(const QString& program) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = program.isEmpty();
    for (QChar c : program) {
        quote = quote || reserved.contains(c);
    }

    // Three layers, innermost first: field codes (a literal % is %%), argument quoting, then
    // the escapes of a string value.
    QString argument;
    if (quote) {
        argument += QLatin1Char('"');
    }
    for (QChar c : program) {
        if (c == QLatin1Char('%')) {
            argument += QLatin1String("%%");
            continue;
        }
        if (quote && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                      c == QLatin1Char('\\'))) {
            argument += QLatin1Char('\\');
        }
        argument += c;
    }
    if (quote) {
        argument += QLatin1Char('"');
    }

    QString value;
    for (QChar c : argument) {
        switch (c.unicode()) {
        case '\\': value += QLatin1String("\\\\"); break;
        case '\n': value += QLatin1String("\\n"); break;
        case '\t': value += QLatin1String("\\t"); break;
        case '\r': value += QLatin1String("\\r"); break;
        default: value += c;
        }
    }
    return value;
}

} // namespace lumora
