#include "app/CommandLine.h"
#include "app/EffectSnapshots.h"
#include "app/WindowSnapshot.h"
#include "platform/ColorScheme.h"
#include "platform/LoginItem.h"
#include "settings/Settings.h"
#include "ui/SettingsView.h"
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

// Snapshots are drawn offscreen, so they must not need a display server.
void useOffscreenWithoutDisplay() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !hasDisplay()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

// The same look on every desktop: Fusion in our own light or dark palette. Without a choice,
// the desktop's colour scheme decides.
void applyLook(std::optional<lumora::Appearance> chosen) {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const lumora::Appearance look = chosen ? *chosen : lumora::ColorScheme::current();
    QApplication::setPalette(look == lumora::Appearance::dark ? lumora::style::darkPalette()
                                                              : lumora::style::lightPalette());
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
        useOffscreenWithoutDisplay();
        QApplication app(argc, argv);
        return lumora::EffectSnapshots::write(command.value, lumora::Settings::shared(), out, err);
    }
    case lumora::Mode::windowTall: {
        useOffscreenWithoutDisplay();
        QApplication app(argc, argv);
        applyLook(command.appearance);
        return lumora::WindowSnapshot::writeTall(command.value, command.part,
                                                 lumora::Settings::shared(),
                                                 lumora::LoginItem::shared(), err);
    }
    case lumora::Mode::settings: {
        // Qt would abort without a display to connect to; say why instead.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !hasDisplay()) {
            err << "lumora: no graphical session found (neither DISPLAY nor WAYLAND_DISPLAY is "
                   "set); --settings needs one"
                << Qt::endl;
            return 1;
        }
        QApplication app(argc, argv);
        applyLook(std::nullopt);
        lumora::SettingsView view;
        view.setWindowTitle(QStringLiteral("Lumora"));
        view.resize(660, 800);
        view.show();
        return app.exec();
    }
    case lumora::Mode::knobSheet:
    case lumora::Mode::window:
        err << "lumora: " << command.option << " is not available yet" << Qt::endl;
        return 2;
    case lumora::Mode::none: break;
    }
    err << lumora::usageText();
    return 2;
}
