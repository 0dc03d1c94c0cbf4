// A whole settings file as a hand edit, another program or a damaged disk may leave it.
#include "settings/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

QTemporaryDir& scratch() {
    static QTemporaryDir dir;
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static int argc = 1;
    static char name[] = "settings_file_fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    // QSettings caches files by name, size and time: every input gets a name of its own.
    static unsigned long count = 0;
    const QString path = scratch().filePath(QStringLiteral("%1.conf").arg(++count));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            std::abort();
        }
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    {
        lumora::Settings settings(path);
        for (double v : {settings.speed(), settings.brightness(), settings.width(),
                         settings.cornerFraction(), settings.angle()}) {
            if (!std::isfinite(v)) {
                std::abort();
            }
        }
        // The presets that were read can always be written back.
        if (!lumora::Preset::encodeList(settings.presets())) {
            std::abort();
        }
    }
    // Copies kept aside of unreadable files go with it.
    for (const QString& file :
         QDir(scratch().path()).entryList({QStringLiteral("%1.conf*").arg(count)}, QDir::Files)) {
        QFile::remove(scratch().filePath(file));
    }
    return 0;
}
