#include "app/EffectSnapshots.h"

#include "display/EffectView.h"
#include "engine/Effect.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <filesystem>
#include <system_error>

namespace lumora {

int EffectSnapshots::write(const QString& directory, Settings& settings, QTextStream& out,
                           QTextStream& err) {
    if (directory.isEmpty()) {
        // Would otherwise write into the root directory.
        err << "lumora: --snapshot needs a directory name" << Qt::endl;
        return 1;
    }

    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(directory).toStdString(), error);
    if (error) {
        // Every file would fail the same way; one line says it all.
        err << "lumora: cannot create directory " << directory << ": "
            << QString::fromLocal8Bit(error.message().c_str()) << Qt::endl;
        return 1;
    }

    bool ok = true;

    for (Effect effect : allEffects) {
        EffectView view(1085, 30, 60, std::nullopt, effect, false, settings);
        const QString path = directory + QLatin1Char('/') +
                             QString::fromLatin1(rawValue(effect).data(),
                                                 static_cast<qsizetype>(rawValue(effect).size())) +
                             QStringLiteral(".png");
        if (!view.writePNG(path, time)) {
            err << "lumora: cannot write " << path << ": " << view.errorString() << Qt::endl;
            ok = false;
        }
    }
    if (!ok) {
        return 1;
    }
    out << "Wrote " << allEffects.size() << " effect snapshots to "
        << QDir(directory).absolutePath() << Qt::endl;
    return 0;
}

} // namespace lumora
