#include "app/AppDelegate.h"
#include "app/AppIcons.h"
#include "app/BarOutputChoice.h"
#include "app/CommandLine.h"
#include "app/ControlClient.h"
#include "app/ControlService.h"
#include "app/EffectSnapshots.h"
#include "app/KnobSheet.h"
#include "app/OpenedWindowSnapshot.h"
#include "app/SessionPlatform.h"
#include "app/TerminationSignals.h"
#include "app/WindowSnapshot.h"
#include "display/outputs/DrmBarOutput.h"
#include "display/outputs/LayerShellBar.h"
#include "display/outputs/WindowBarOutput.h"
#include "platform/ColorScheme.h"
#include "platform/FunctionKeyService.h"
#include "platform/LoginItem.h"
#include "platform/PowerMonitor.h"
#include "platform/SessionMonitor.h"
#include "platform/SingleInstance.h"
#include "platform/TrayPresence.h"
#include "platform/WakeMonitor.h"
#include "settings/Settings.h"
#include "settings/SettingsFileWatcher.h"
#include "ui/Style.h"

#include <QApplication>
#include <QStyleFactory>
#include <QTextStream>
#include <cstdio>

namespace {

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Snapshots are pictures, drawn offscreen: they never need a display server, and one that is
// named but not there (a stale DISPLAY over ssh) must not abort them. They print only their
// own result or error: Qt's remarks (an unset XDG_RUNTIME_DIR, say) are left out, its
// critical and fatal messages are not.
void prepareSnapshot() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (type == QtCriticalMsg || type == QtFatalMsg) {
                std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
            }
        });
}

// Qt would abort without a display to connect to; say why instead. False when there is none.
bool checkDisplay(QTextStream& err, const char* needs) {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || hasDisplay()) {
        return true;
    }
    err << "lumora: no graphical session found (DISPLAY/WAYLAND_DISPLAY unset); " << needs
        << Qt::endl;
    return false;
}

// The same look on every desktop: Fusion in our own light or dark palette. Without a choice,
// the desktop's colour scheme decides.
void applyLook(std::optional<lumora::Appearance> chosen) {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const lumora::Appearance look = chosen ? *chosen : lumora::ColorScheme::current();
    QApplication::setPalette(look == lumora::Appearance::dark ? lumora::style::darkPalette()
                                                              : lumora::style::lightPalette());
}

// The program a user runs all day: the tray icon, the bar and, on demand, the settings window.
// A second start, with or without --settings, only brings the first one's settings window
// forward: one process owns the bar and writes the settings file.
int runApplication(int& argc, char** argv, const lumora::OutputRequest& output, bool openSettings,
                   QTextStream& err) {
    if (!checkDisplay(err, openSettings ? "--settings needs one"
                                        : "the --snapshot options work without one")) {
        return 1;
    }
    // A Wayland compositor lets no window place itself or stay on top: the platform is picked
    // for the bar before Qt picks its own. Only this process is told; what it starts is not.
    const lumora::PlatformChoice platform =
        lumora::choosePlatform(lumora::SessionEnvironment::current(),
                               lumora::barLikelyInWindow(output), lumora::LayerShellBar::offered);
    if (!platform.platform.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", platform.platform);
    }
    QApplication app(argc, argv);
    if (!platform.platform.isEmpty()) {
        qunsetenv("QT_QPA_PLATFORM");
    }
    QApplication::setWindowIcon(lumora::icons::application());
    applyLook(std::nullopt);

    lumora::SingleInstance guard;
    const lumora::SingleInstance::Role role = guard.start();
    if (role == lumora::SingleInstance::Role::secondary) {
        return 0;
    }
    if (!platform.notice.isEmpty()) {
        err << platform.notice << Qt::endl;
    }
    if (role == lumora::SingleInstance::Role::primary) {
        lumora::Settings::shared().removeOwnerlessLock(); // left by a kill, it stalls writes
    }
    if (role == lumora::SingleInstance::Role::standalone) {
        err << "lumora: cannot make sure only one Lumora runs (" << guard.errorString()
            << "); going on" << Qt::endl;
    }

    // Only the first instance looks for the Touch Bar: it may already hold it.
    // A bar the function keys hold is ours once their service is stopped.
    std::unique_ptr<lumora::BarOutput> bar = lumora::makeBarOutput(
        output, err, QStringLiteral("/dev/dri"),
        !lumora::Settings::shared().functionKeysService().isEmpty(), platform.placement);
    if (!bar) {
        return 1;
    }
    lumora::quitOnTerminationSignals();

    // Only the real Touch Bar is shared with the function keys; the window never is.
    const bool onTouchBar = dynamic_cast<lumora::DrmBarOutput*>(bar.get()) != nullptr;
    lumora::Settings& settings = lumora::Settings::shared();
    lumora::FunctionKeyService keys([&settings] { return settings.functionKeysService(); },
                                    lumora::FunctionKeyService::defaultNoteDirectory(),
                                    QDBusConnection::systemBus());
    lumora::WakeMonitor wake;
    lumora::SessionMonitor session;
    lumora::PowerMonitor power;
    lumora::AppDelegate delegate(std::move(bar));
    // Keys a crashed run left stopped come back now unless the bar takes the panel at once.
    keys.recover(onTouchBar && settings.enabled());
    if (onTouchBar) {
        delegate.useFunctionKeys(keys);
    }
    delegate.watchSession(session);
    delegate.watchPower(power);
    QObject::connect(&guard, &lumora::SingleInstance::activationRequested, &delegate,
                     &lumora::AppDelegate::showSettings);
    delegate.watchWake(wake);
    lumora::SettingsFileWatcher handEdits(lumora::Settings::shared());
    lumora::ControlService control(lumora::Settings::shared());
    QObject::connect(&control, &lumora::ControlService::showSettingsRequested, &delegate,
                     &lumora::AppDelegate::showSettings);
    if (QString why; !control.publish(QDBusConnection::sessionBus(), &why)) {
        err << "lumora: no control over D-Bus (" << why << "); lumora ctl will not reach it"
            << Qt::endl;
    }
    lumora::TrayPresence trays(QDBusConnection::sessionBus());
    const bool tray = trays.available();
    delegate.launch(tray);
    if (!tray) {
        QObject::connect(&trays, &lumora::TrayPresence::appeared, &delegate,
                         &lumora::AppDelegate::showTrayIcon);
        trays.watch();
    }
    if (openSettings) {
        delegate.showSettings();
    }
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    QTextStream out(stdout);
    QTextStream err(stderr);

    const lumora::Command command = lumora::parseCommandLine(args);
    switch (command.mode) {
    case lumora::Mode::help: out << lumora::helpText(); return 0;
    case lumora::Mode::effectStrips: {
        prepareSnapshot();
        QApplication app(argc, argv);
        return lumora::EffectSnapshots::write(command.value, lumora::Settings::shared(), out, err);
    }
    case lumora::Mode::windowTall: {
        prepareSnapshot();
        QApplication app(argc, argv);
        QApplication::setWindowIcon(lumora::icons::application());
        applyLook(command.appearance);
        return lumora::WindowSnapshot::writeTall(command.value, command.part,
                                                 lumora::Settings::shared(),
                                                 lumora::LoginItem::shared(), err);
    }
    case lumora::Mode::settings: break;
    case lumora::Mode::knobSheet: {
        prepareSnapshot();
        QApplication app(argc, argv);
        return lumora::KnobSheet::write(command.value, err);
    }
    case lumora::Mode::window: {
        // The window as a normal start opens it, launch sequence included, grabbed offscreen.
        // A picture changes nothing: the launch leaves the settings file and stderr alone.
        prepareSnapshot();
        QApplication app(argc, argv);
        QApplication::setWindowIcon(lumora::icons::application());
        applyLook(std::nullopt);
        lumora::AppDelegate delegate(std::make_unique<lumora::WindowBarOutput>());
        const int status = lumora::OpenedWindowSnapshot::write(
            command.value,
            [&delegate] {
                delegate.launch(true, lumora::AppDelegate::LaunchMode::snapshot);
                delegate.showSettings();
            },
            err);
        delegate.prepareToQuit();
        return status;
    }
    case lumora::Mode::control: {
        // Only talks to the running instance: no display, no settings file.
        QCoreApplication app(argc, argv);
        return lumora::control::run(args.mid(2), QDBusConnection::sessionBus(), out, err);
    }
    case lumora::Mode::none: break;
    }
    QString problem;
    const std::optional<lumora::OutputRequest> output = lumora::parseOutputRequest(args, &problem);
    if (!output) {
        err << "lumora: " << problem << Qt::endl;
        return 1;
    }
    return runApplication(argc, argv, *output, command.mode == lumora::Mode::settings, err);
}
