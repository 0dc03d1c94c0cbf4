#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

namespace lumora {

// Whether the desktop shows tray icons, and word when it starts to: a panel's StatusNotifierItem
// host over D-Bus (KDE Plasma, most panels, GNOME with the AppIndicator extension) or, on X11,
// an XEmbed tray. Qt picks between the two once, at its first tray icon or availability
// check, and never looks again; so without a tray nothing of Qt's tray may be touched until
// one is there, or a panel started after Lumora would never get its icon.
class TrayPresence : public QObject {
    Q_OBJECT
public:
    explicit TrayPresence(QDBusConnection bus, QObject* parent = nullptr);

    // A StatusNotifierWatcher that reports a host.
    bool statusNotifierHost() const;
    // On X11, a window that owns the screen's system tray selection.
    static bool xembedTray();
    bool available() const { return statusNotifierHost() || xembedTray(); }

    // Emits appeared() once, when either kind of tray turns up.
    void watch();

signals:
    void appeared();

private slots:
    void checkHost();

private:
    void found();

    QDBusConnection m_bus;
    QTimer m_xembedPoll;
    bool m_watching = false;
    bool m_found = false;
};

} // namespace lumora
