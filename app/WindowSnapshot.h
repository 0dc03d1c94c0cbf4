#pragma once

#include "ui/SnapshotPart.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

class QTextStream;

namespace lumora {

class LoginItem;
class Settings;

// The settings page drawn into a tall image, whole or one part, in the application's current
// style and palette. Needs no screen: the page is laid out and painted without being mapped.
class WindowSnapshot {
public:
    static constexpr QSize tallSize{660, 2000};

    static QImage grabTall(std::optional<SnapshotPart> part, Settings& settings,
                           LoginItem& loginItem);

    // Writes grabTall() to `path` as a PNG, replacing the file only once it is complete.
    // Returns the exit status: 0 when written, 1 with one line on `err` otherwise.
    static int writeTall(const QString& path, std::optional<SnapshotPart> part, Settings& settings,
                         LoginItem& loginItem, QTextStream& err);
};

} // namespace lumora
