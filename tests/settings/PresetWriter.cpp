// Saves presets named PREFIX0..PREFIX<COUNT-1> into the settings file at PATH, one at a time,
// as a second Lumora on the same file would.
#include "settings/Settings.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s PATH PREFIX COUNT\n", argv[0]);
        return 2;
    }
    lumora::Settings settings(QString::fromLocal8Bit(argv[1]));
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const int count = QByteArray(argv[3]).toInt();
    for (int i = 0; i < count; ++i) {
        settings.savePreset(prefix + QString::number(i));
        QCoreApplication::processEvents();
        // Gives the other writer a turn between saves.
        QThread::msleep(3);
    }
    settings.sync();
    return settings.presets().size() >= count ? 0 : 1;
}
