#include "app/PngFile.h"

#include <QFileInfo>
#include <QTemporaryFile>
#include <QTextStream>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace lumora {

bool replaceFile(const QString& written, const QString& path, QString* error) {
    if (std::rename(QFile::encodeName(written).constData(), QFile::encodeName(path).constData()) !=
        0) {
        if (error) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
        }
        return false;
    }
    return true;
}

int writePngFile(const QImage& image, const QString& path, QTextStream& err) {
    const auto fail = [&](const QString& reason) {
        err << "lumora: cannot write " << path << ": " << reason << Qt::endl;
        return 1;
    };
    if (path.isEmpty()) {
        return fail(QStringLiteral("empty file name"));
    }
    if (image.isNull()) {
        return fail(QStringLiteral("the picture could not be drawn"));
    }
    // Not QSaveFile: it writes through a symbolic link at `path`, and creates a dangling
    // link's target. A fresh file of our own renamed over `path` replaces the link itself.
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink()) {
        return fail(QStringLiteral("it is a folder"));
    }
    QTemporaryFile file(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                        QStringLiteral(".XXXXXX"));
    if (!file.open()) {
        return fail(file.errorString());
    }
    if (!image.save(&file, "PNG")) {
        return fail(file.error() != QFileDevice::NoError ? file.errorString()
                                                         : QStringLiteral("PNG encoding failed"));
    }
    if (!file.flush()) {
        return fail(file.errorString());
    }
    // A temporary file is private; a picture is as readable as any new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(file.handle(), 0666 & ~mask);
    QString reason;
    if (!replaceFile(file.fileName(), path, &reason)) {
        return fail(reason);
    }
    file.setAutoRemove(false);
    return 0;
}

} // namespace lumora
