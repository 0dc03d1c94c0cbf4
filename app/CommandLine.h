#pragma once

#include "platform/ColorScheme.h"
#include "ui/SnapshotPart.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace lumora {

// The argument after the first one equal to `option` (argument 0 included); nothing when the
// option is missing or is the last argument.
std::optional<QString> argumentAfter(const QStringList& args, const QString& option);

// The argument `places` after the first one equal to `option`; nothing when there is none.
std::optional<QString> argumentAt(const QStringList& args, const QString& option, int places);

// "light" or "dark" two places after `option`; anything else means the desktop's appearance.
std::optional<Appearance> appearanceArgument(const QStringList& args, const QString& option);

// "top" or "tuning" three places after `option`, so a part can only follow an appearance;
// anything else means the whole page.
std::optional<SnapshotPart> partArgument(const QStringList& args, const QString& option);

enum class Mode {
    help,
    effectStrips,
    knobSheet,
    windowTall,
    window,
    settings,
    control, // lumora ctl ...: the words after "ctl" are the command's own
    none,
};

struct Command {
    Mode mode = Mode::none;
    QString option;                       // the option that chose the mode
    QString value;                        // the argument after it
    std::optional<Appearance> appearance; // windowTall only
    std::optional<SnapshotPart> part;     // windowTall only
};

// The first snapshot option that has a value, in the order --snapshot, --snapshot-knob,
// --snapshot-ui-tall, --snapshot-ui; then --settings; --help or -h anywhere after argument 0
// wins over all.
Command parseCommandLine(const QStringList& args);

QString helpText();

} // namespace lumora
