#include "app/CommandLine.h"

#include <array>

namespace lumora {

std::optional<QString> argumentAfter(const QStringList& args, const QString& option) {
    const qsizetype index = args.indexOf(option);
    if (index < 0 || index + 1 >= args.size()) {
        return std::nullopt;
    }
    return args.at(index + 1);
}

Command parseCommandLine(const QStringList& args) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--help") || args.at(i) == QLatin1String("-h")) {
            return {Mode::help, args.at(i), {}};
        }
    }
    struct Entry {
        Mode mode;
        QLatin1String option;
    };
    static constexpr std::array<Entry, 4> order = {{
        {Mode::effectStrips, QLatin1String("--snapshot")},
        {Mode::knobSheet, QLatin1String("--snapshot-knob")},
        {Mode::windowTall, QLatin1String("--snapshot-ui-tall")},
        {Mode::window, QLatin1String("--snapshot-ui")},
    }};
    for (const Entry& entry : order) {
        if (std::optional<QString> value = argumentAfter(args, entry.option)) {
            return {entry.mode, entry.option, *value};
        }
    }
    return {};
}

QString helpText() {
    return QStringLiteral(
        "Usage: lumora [option]\n"
        "Fills the Touch Bar with animated light.\n"
        "\n"
        "Options:\n"
        "  --snapshot DIR    write a 1085 x 30 PNG strip of every effect into DIR, drawn with\n"
        "                    the stored settings; works without a display\n"
        "  -h, --help        show this help\n"
        "\n"
        "Settings are read from $XDG_CONFIG_HOME/lumora/lumora.conf.\n");
}

QString usageText() {
    return QStringLiteral("Usage: lumora --snapshot DIR\n"
                          "Try 'lumora --help' for more.\n");
}

} // namespace lumora
