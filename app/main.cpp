#include "app/CommandLine.h"
#include "app/EffectSnapshots.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QTextStream>
#include <cstdio>

namespace {

// Snapshots are drawn offscreen, so they must not need a display server.
void useOffscreenWithoutDisplay() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
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
    case lumora::Mode::knobSheet:
    case lumora::Mode::windowTall:
    case lumora::Mode::window:
        err << "lumora: " << command.option << " is not available yet" << Qt::endl;
        return 2;
    case lumora::Mode::none: break;
    }
    err << lumora::usageText();
    return 2;
}
