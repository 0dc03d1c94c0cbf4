#pragma once

#include "app/BarCoordinator.h"
#include "display/TouchBarPresenter.h"
#include "display/outputs/BarOutput.h"
#include "platform/LoginItem.h"
#include "settings/Settings.h"

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUuid>
#include <memory>
#include <optional>

class QMenu;

namespace lumora {

class SettingsView;
class WakeMonitor;
class SessionMonitor;
class PowerMonitor;

// Owns everything that lives as long as the program: the bar, the tray icon with its menu and,
// once opened, the settings window. Wires the settings to the bar: lighting on presents it,
// off dismisses it, the close button switches the lighting off.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // How long after a wake the bar is presented again.
    static constexpr int wakeDelayMs = BarCoordinator::returnDelayMs;
    static constexpr const char* didShowSettingsKey = "didShowSettings";
    // Said once, at launch, when no tray is there.
    static constexpr const char* noTrayMessage =
        "lumora: no system tray found, so the settings window opens instead (run lumora again "
        "to reopen it); on GNOME, install the AppIndicator extension "
        "(gnome-shell-extension-appindicator) to get Lumora's tray icon\n";

    explicit AppDelegate(std::unique_ptr<BarOutput> output, Settings& settings = Settings::shared(),
                         LoginItem& loginItem = LoginItem::shared(), QObject* parent = nullptr);
    ~AppDelegate() override;

    enum class LaunchMode {
        interactive,
        // For a picture of the window as a launch opens it: no tray icon, nothing written to
        // the settings file, nothing said on stderr.
        snapshot,
    };

    // Shows the tray icon, starts following the settings and, on the very first launch, opens
    // the settings window. Without a tray the settings window stands in for the menu, so the
    // program is never out of reach. Closing windows never quits.
    // `trayAvailable` comes from TrayPresence: asking Qt would fix its tray choice for good.
    void launch(bool trayAvailable, LaunchMode mode = LaunchMode::interactive);
    // Shows the tray icon once a tray is there, at launch or later; the settings window then
    // points at it. Not for snapshot launches.
    void showTrayIcon();
    // Presents the bar again shortly after each wake while the lighting is on.
    void watchWake(WakeMonitor& monitor);
    // Takes the bar off the panel while locked or blanked and dims it while idle.
    void watchSession(SessionMonitor& monitor);
    // Ticks at the battery frame rate while on battery.
    void watchPower(PowerMonitor& monitor);
    // The service whose keys the Touch Bar shows while the bar is not on it.
    void useFunctionKeys(FunctionKeys& keys) { m_coordinator->setFunctionKeys(&keys); }

    // Opens the settings window, or brings it forward, restoring it when minimised. The window
    // is made once and kept.
    void showSettings();
    void toggleEnabled();
    void pickEffect(Effect effect);
    // A preset that is gone by now changes nothing.
    void pickPreset(const QUuid& id);
    // Gives the bar back before the process ends.
    void prepareToQuit();

    // Clears `menu` and fills it from the current settings.
    void rebuildMenu(QMenu& menu);

    TouchBarPresenter& bar() { return *m_bar; }
    BarCoordinator& coordinator() { return *m_coordinator; }
    QSystemTrayIcon* trayIcon() const { return m_tray.get(); }
    QMenu* menu() const { return m_menu.get(); }
    SettingsView* settingsWindow() const { return m_window.get(); }

private:
    void onEnabled(bool enabled);
    void onWake();

    Settings& m_settings;
    LoginItem& m_loginItem;
    std::unique_ptr<TouchBarPresenter> m_bar;
    std::unique_ptr<BarCoordinator> m_coordinator;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    std::unique_ptr<SettingsView> m_window;
    QTimer m_menuRefresh;
    // The last value the enabled observer acted on, so repeated assignments are not repeated
    // presentations.
    std::optional<bool> m_lastEnabled;
    bool m_launched = false;
    bool m_trayAvailable = true;
    bool m_interactive = false;
};

} // namespace lumora
