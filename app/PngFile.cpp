#include "app/PngFile.h"

#include <QSaveFile>
#include <QTextStream>

namespace lumora {

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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return fail(file.errorString());
    }
    if (!image.save(&file, "PNG")) {
        const QString reason = file.error() != QFileDevice::NoError
                                   ? file.errorString()
                                   : QStringLiteral("PNG encoding failed");
        file.cancelWriting();
        return fail(reason);
    }
    if (!file.commit()) {
        return fail(file.errorString());
    }
    return 0;
}

} // namespace lumora
