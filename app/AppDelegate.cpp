#include "app/AppDelegate.h"

#include "app/AppIcons.h"
#include "platform/PowerMonitor.h"
#include "platform/SessionMonitor.h"
#include "platform/WakeMonitor.h"
#include "ui/SettingsView.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <cstdio>

namespace lumora {

namespace {

QString text(std::string_view value) {
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

// Menu texts take '&' as a mnemonic marker; a name is shown exactly as typed. A menu a panel
// draws from D-Bus (dbusmenu) takes '_' as the marker instead and '&' literally, and Qt
// turns the first '&' of the text, only that one, into a '_': so there a '_' is doubled and
// only the first '&' is, or "Night_Sky" would read "NightSky" and "A & B & C" "A & B && C".
QString literalMenuText(QString name, bool overDBus) {
    if (!overDBus) {
        return name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    }
    name.replace(QLatin1Char('_'), QStringLiteral("__"));
    if (const qsizetype first = name.indexOf(QLatin1Char('&')); first >= 0) {
        name.insert(first, QLatin1Char('&'));
    }
    return name;
}

// On Linux a tray menu has a platform menu only when Qt exports it to a panel over D-Bus
// (StatusNotifierItem); otherwise Qt draws the QMenu itself.
bool exportedOverDBus(QMenu& menu) {
    return menu.platformMenu() != nullptr;
}

// The offscreen platform (snapshots, tests) has no stacking order and warns on raise().
bool hasWindowStacking() {
    return QGuiApplication::platformName() != QLatin1String("offscreen");
}

} // namespace

AppDelegate::AppDelegate(std::unique_ptr<BarOutput> output, Settings& settings,
                         LoginItem& loginItem, QObject* parent)
    : QObject(parent), m_settings(settings), m_loginItem(loginItem),
      m_bar(std::make_unique<TouchBarPresenter>(std::move(output), settings)),
      m_coordinator(std::make_unique<BarCoordinator>(*m_bar, settings)),
      m_menu(std::make_unique<QMenu>()) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::launch(bool trayAvailable, LaunchMode mode) {
    if (m_launched) {
        return;
    }
    m_launched = true;
    m_trayAvailable = trayAvailable;
    const bool interactive = mode == LaunchMode::interactive;
    // The bar window and the settings window come and go; the program stays until asked to
    // quit, tray or no tray (without one, a second start brings the window back).
    QApplication::setQuitOnLastWindowClosed(false);

    // A panel that draws the menu has its items' ids from the layout it read before opening;
    // new items now would make the click it is about to send land on nothing.
    connect(m_menu.get(), &QMenu::aboutToShow, this, [this] {
        if (!exportedOverDBus(*m_menu)) {
            rebuildMenu(*m_menu);
        }
    });
    m_interactive = interactive;
    if (trayAvailable) {
        showTrayIcon();
    }
    // A panel may read the exported menu at any time, not only on opening it: it is kept
    // whole and current. Rebuilt after the event that changed it, never inside a menu
    // item's own handler, which the rebuild would delete.
    m_menuRefresh.setSingleShot(true);
    m_menuRefresh.setInterval(0);
    connect(&m_menuRefresh, &QTimer::timeout, this, [this] { rebuildMenu(*m_menu); });
    const auto refresh = [this] { m_menuRefresh.start(); };
    connect(&m_settings, &Settings::enabledChanged, this, refresh);
    connect(&m_settings, &Settings::effectChanged, this, refresh);
    connect(&m_settings, &Settings::speedChanged, this, refresh);
    connect(&m_settings, &Settings::brightnessChanged, this, refresh);
    connect(&m_settings, &Settings::widthChanged, this, refresh);
    connect(&m_settings, &Settings::colorChanged, this, refresh);
    connect(&m_settings, &Settings::cornerFractionChanged, this, refresh);
    connect(&m_settings, &Settings::angleChanged, this, refresh);
    connect(&m_settings, &Settings::presetsChanged, this, refresh);
    rebuildMenu(*m_menu);

    m_bar->onClose = [self = QPointer<AppDelegate>(this)] {
        if (self) {
            self->m_settings.setEnabled(false);
        }
    };
    observe(m_settings, &Settings::enabledChanged, &Settings::enabled, this,
            [this](bool enabled) { onEnabled(enabled); });
    observe(m_settings, &Settings::showCloseChanged, &Settings::showClose, this,
            [this](bool visible) { m_bar->setCloseVisible(visible); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppDelegate::prepareToQuit);

    QSettings store(m_settings.filePath(), QSettings::IniFormat);
    const bool firstLaunch = !store.value(QLatin1String(didShowSettingsKey), false).toBool();
    if (firstLaunch && interactive) {
        store.setValue(QLatin1String(didShowSettingsKey), true);
        store.sync();
    }
    if (!trayAvailable && interactive) {
        std::fputs(noTrayMessage, stderr);
    }
    if (firstLaunch || !trayAvailable) {
        showSettings();
    }
}

void AppDelegate::showTrayIcon() {
    if (m_tray || !m_interactive) {
        return;
    }
    m_tray = std::make_unique<QSystemTrayIcon>(icons::tray());
    m_tray->setToolTip(QStringLiteral("Lumora"));
    m_tray->setContextMenu(m_menu.get());
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason != QSystemTrayIcon::Trigger) {
                    return;
                }
                // A panel that draws the menu itself shows it on a right click; its left
                // click asks for the program, and a menu of ours beside the panel's would be
                // out of place (and cannot be placed at all on Wayland).
                if (exportedOverDBus(*m_menu)) {
                    showSettings();
                } else if (!m_menu->isVisible()) {
                    // A left click opens the same menu as a right click.
                    m_menu->popup(QCursor::pos());
                }
            });
    m_tray->show();
    // The texts depend on who draws the menu.
    rebuildMenu(*m_menu);
    m_trayAvailable = true;
    if (m_window) {
        m_window->setReturnHint(SettingsView::ReturnHint::tray);
    }
}

void AppDelegate::watchWake(WakeMonitor& monitor) {
    connect(&monitor, &WakeMonitor::woke, this, &AppDelegate::onWake);
}

void AppDelegate::watchSession(SessionMonitor& monitor) {
    connect(&monitor, &SessionMonitor::blankedChanged, m_coordinator.get(),
            &BarCoordinator::setBlanked);
    connect(&monitor, &SessionMonitor::idleChanged, m_coordinator.get(), &BarCoordinator::setIdle);
    m_coordinator->setBlanked(monitor.blanked());
    m_coordinator->setIdle(monitor.idle());
}

void AppDelegate::watchPower(PowerMonitor& monitor) {
    connect(&monitor, &PowerMonitor::onBatteryChanged, m_coordinator.get(),
            &BarCoordinator::setOnBattery);
    m_coordinator->setOnBattery(monitor.onBattery());
}

void AppDelegate::onWake() {
    m_coordinator->wake();
}

void AppDelegate::onEnabled(bool enabled) {
    if (m_lastEnabled == enabled) {
        return;
    }
    m_lastEnabled = enabled;
    m_coordinator->setEnabled(enabled);
}

void AppDelegate::showSettings() {
    if (!m_window) {
        m_window = std::make_unique<SettingsView>(std::nullopt, m_settings, m_loginItem);
        m_window->setWindowTitle(QStringLiteral("Lumora"));
        m_window->resize(660, 800);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), m_window->size());
            frame.moveCenter(screen->availableGeometry().center());
            m_window->move(frame.topLeft());
        }
        m_window->setReturnHint(m_trayAvailable ? SettingsView::ReturnHint::tray
                                                : SettingsView::ReturnHint::runAgain);
    }
    // show() alone leaves a minimised window minimised: the user would see nothing happen.
    m_window->setWindowState((m_window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    m_window->show();
    if (hasWindowStacking()) {
        m_window->raise();
        m_window->activateWindow();
    }
}

void AppDelegate::toggleEnabled() {
    m_settings.setEnabled(!m_settings.enabled());
}

void AppDelegate::pickEffect(Effect effect) {
    m_settings.setEffect(effect);
    m_settings.setEnabled(true);
}

void AppDelegate::pickPreset(const QUuid& id) {
    for (const Preset& preset : m_settings.presets()) {
        if (preset.id == id) {
            m_settings.apply(preset);
            m_settings.setEnabled(true);
            return;
        }
    }
}

void AppDelegate::prepareToQuit() {
    m_coordinator->quit();
}

void AppDelegate::rebuildMenu(QMenu& menu) {
    // Submenus are children of the menu, not of their actions: clear() alone would leave the
    // old ones behind on every opening.
    const QList<QMenu*> oldSubmenus = menu.findChildren<QMenu*>(Qt::FindDirectChildrenOnly);
    menu.clear();
    qDeleteAll(oldSubmenus);
    const bool overDBus = exportedOverDBus(menu);

    // A tray menu takes no keyboard shortcuts, so it shows none.
    menu.addAction(QStringLiteral("Open Lumora\u2026"), this, &AppDelegate::showSettings);

    menu.addSeparator();

    QAction* lighting =
        menu.addAction(QStringLiteral("Lighting"), this, &AppDelegate::toggleEnabled);
    lighting->setCheckable(true);
    lighting->setChecked(m_settings.enabled());

    QMenu* presets = menu.addMenu(QStringLiteral("Presets"));
    const QList<Preset> saved = m_settings.presets();
    if (saved.isEmpty()) {
        presets->addAction(QStringLiteral("No Presets Yet"))->setEnabled(false);
    } else {
        const std::optional<Preset> active = m_settings.activePreset();
        for (const Preset& preset : saved) {
            const QUuid id = preset.id;
            QAction* item = presets->addAction(literalMenuText(preset.name, overDBus), this,
                                               [this, id] { pickPreset(id); });
            item->setCheckable(true);
            item->setChecked(active && *active == preset);
        }
    }

    QMenu* effects = menu.addMenu(QStringLiteral("Effects"));
    const Effect current = m_settings.effectiveEffect();
    for (const Effect effect : allEffects) {
        QAction* item =
            effects->addAction(text(title(effect)), this, [this, effect] { pickEffect(effect); });
        item->setCheckable(true);
        item->setChecked(effect == current);
    }

    menu.addSeparator();

    menu.addAction(QStringLiteral("Quit Lumora"), qApp, &QCoreApplication::quit);
}

} // namespace lumora
