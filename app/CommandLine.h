#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace lumora {

// The argument after the first one equal to `option` (argument 0 included); nothing when the
// option is missing or is the last argument.
std::optional<QString> argumentAfter(const QStringList& args, const QString& option);

enum class Mode {
    help,
    effectStrips,
    knobSheet,
    windowTall,
    window,
    none,
};

struct Command {
    Mode mode = Mode::none;
    QString option; // the option that chose the mode
    QString value;  // the argument after it
};

// The first snapshot option that has a value, in the order --snapshot, --snapshot-knob,
// --snapshot-ui-tall, --snapshot-ui; --help or -h anywhere after argument 0 wins over all.
Command parseCommandLine(const QStringList& args);

QString helpText();
QString usageText();

} // namespace lumora
