#pragma once

#include <QByteArray>
#include <QString>

namespace lumora {

// Opening at login through an XDG autostart entry. The entry counts as enabled when the file
// exists and the desktop has not been told to skip it (Hidden=true, or GNOME's
// X-GNOME-Autostart-enabled=false).
class LoginItem {
public:
    static constexpr const char* fileName = "lumora.desktop";

    // The entry is autostartDir/lumora.desktop and starts executablePath (made absolute).
    LoginItem(QString autostartDir, QString executablePath);
    virtual ~LoginItem() = default;

    // $XDG_CONFIG_HOME/autostart and the running executable. Needs a QCoreApplication.
    static LoginItem& shared();

    virtual bool isEnabled() const;
    // Writes the entry atomically (on) or removes it (off); a missing entry is already off.
    // On failure the previous state is left as it was, false is returned and errorString()
    // says why.
    virtual bool setEnabled(bool on);
    QString errorString() const { return m_error; }

    QString filePath() const;
    QString executablePath() const { return m_executable; }

    // The entry's text.
    QByteArray desktopEntry() const;
    // The Exec value that starts `program` with no arguments: quoted when it has to be and
    // escaped for the string value it sits in.
    static QString execValue(const QString& program);

private:
    QString m_dir;
    QString m_executable;
    QString m_error;
};

} // namespace lumora
