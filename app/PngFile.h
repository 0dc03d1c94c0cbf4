#pragma once

#include <QImage>
#include <QString>

class QTextStream;

namespace lumora {

// Writes `image` to `path` as a PNG, replacing the file only once it is complete, so a failed
// snapshot never leaves a truncated picture behind. Returns the exit status: 0 when written,
// 1 with one line on `err` naming the file and the reason otherwise.
// A symbolic link at `path` is replaced, never written through.
int writePngFile(const QImage& image, const QString& path, QTextStream& err);

// Renames `written` over `path` in one step; a symbolic link at `path` is replaced, not
// followed. False with the reason in `error` when that failed.
bool replaceFile(const QString& written, const QString& path, QString* error);

} // namespace lumora
