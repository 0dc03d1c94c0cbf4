#pragma once

#include "display/outputs/BarOutput.h"
#include "display/outputs/BarPlacement.h"

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <memory>
#include <optional>

namespace lumora {

// Where the bar goes: the real Touch Bar when there is one (auto), only the Touch Bar, or
// only the virtual bar window. `device` names the Touch Bar's card instead of searching.
struct OutputRequest {
    enum class Kind { automatic, touchbar, window };
    Kind kind = Kind::automatic;
    QString device;
};

// Reads --output auto|touchbar|window and --touchbar-device PATH. Nothing, with `error` set to
// one line, for a value that is missing or unknown.
std::optional<OutputRequest> parseOutputRequest(const QStringList& args, QString* error);

// Whether the bar will likely be a window on the desktop, asked before the application starts
// so the platform can suit it: a Touch Bar that is there (or busy) keeps the bar off the desktop.
bool barLikelyInWindow(const OutputRequest& request,
                       const QString& directory = QStringLiteral("/dev/dri"));

// The output to run with. The Touch Bar is looked for and checked (free to take) now; with
// auto, a Touch Bar that cannot be had costs one line on `err` and the window is used. With
// touchbar, nothing is returned after one line saying why. With `keysHoldIt`, a bar that is
// busy counts as found: the function keys' service holds it and gives it up when asked.
// A window is placed the way `placement` says.
std::unique_ptr<BarOutput> makeBarOutput(const OutputRequest& request, QTextStream& err,
                                         const QString& directory = QStringLiteral("/dev/dri"),
                                         bool keysHoldIt = false,
                                         BarPlacement placement = BarPlacement::x11);

} // namespace lumora
