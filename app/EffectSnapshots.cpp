#include "app/EffectSnapshots.h"

#include "app/PngFile.h"
#include "display/EffectView.h"
#include "engine/Effect.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
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

    // Each picture is drawn in a fresh private folder and renamed into place: a symbolic link
    // already at its name is replaced, never written through.
    QTemporaryDir scratch(directory + QStringLiteral("/.lumora-snapshot-XXXXXX"));
    if (!scratch.isValid()) {
        err << "lumora: cannot write into " << directory << ": " << scratch.errorString()
            << Qt::endl;
        return 1;
    }

    bool ok = true;

    for (Effect effect : allEffects) {
        EffectView view(1085, 30, 60, std::nullopt, effect, false, settings);
        const QString name = QString::fromLatin1(rawValue(effect).data(),
                                                 static_cast<qsizetype>(rawValue(effect).size())) +
                             QStringLiteral(".png");
        const QString path = directory + QLatin1Char('/') + name;
        QString reason;
        if (!view.writePNG(scratch.filePath(name), time)) {
            reason = view.errorString();
        } else if (!replaceFile(scratch.filePath(name), path, &reason)) {
            QFile::remove(scratch.filePath(name));
        }
        if (!reason.isEmpty()) {
            err << "lumora: cannot write " << path << ": " << reason << Qt::endl;
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
