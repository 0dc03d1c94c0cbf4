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

std::optional<QString> argumentAt(const QStringList& args, const QString& option, int places) {
    const qsizetype index = args.indexOf(option);
    if (index < 0 || index + places >= args.size()) {
        return std::nullopt;
    }
    return args.at(index + places);
}

std::optional<Appearance> appearanceArgument(const QStringList& args, const QString& option) {
    return ColorScheme::parse(argumentAt(args, option, 2).value_or(QString()));
}

std::optional<SnapshotPart> partArgument(const QStringList& args, const QString& option) {
    const QString part = argumentAt(args, option, 3).value_or(QString());
    if (part == QLatin1String("top")) {
        return SnapshotPart::top;
    }
    if (part == QLatin1String("tuning")) {
        return SnapshotPart::tuning;
    }
    return std::nullopt;
}

Command parseCommandLine(const QStringList& args) {
    if (args.size() > 1 && args.at(1) == QLatin1String("ctl")) {
        return {Mode::control, args.at(1), {}, {}, {}};
    }
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--help") || args.at(i) == QLatin1String("-h")) {
            return {Mode::help, args.at(i), {}, {}, {}};
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
            Command command{entry.mode, entry.option, *value, {}, {}};
            if (entry.mode == Mode::windowTall) {
                command.appearance = appearanceArgument(args, entry.option);
                command.part = partArgument(args, entry.option);
            }
            return command;
        }
    }
    if (args.indexOf(QLatin1String("--settings"), 1) > 0) {
        return {Mode::settings, QStringLiteral("--settings"), {}, {}, {}};
    }
    return {};
}

QString helpText() {
    return QStringLiteral(
        "Usage: lumora [option]\n"
        "Fills the Touch Bar with animated light.\n"
        "\n"
        "With no option, Lumora runs: a tray icon with its menu, and the bar while the\n"
        "lighting is on: on the Touch Bar if there is one, else on a virtual Touch Bar at\n"
        "the bottom of the screen. Starting it again opens the running one's settings\n"
        "window. It needs a graphical session.\n"
        "\n"
        "Options:\n"
        "  --settings        open the settings window\n"
        "  --snapshot DIR    write a 1085 x 30 PNG strip of every effect into DIR, drawn with\n"
        "                    the stored settings; works without a display\n"
        "  --snapshot-knob FILE\n"
        "                    write a PNG sheet of the knob controls at twice their size; works\n"
        "                    without a display\n"
        "  --snapshot-ui-tall FILE [light|dark [top|tuning]]\n"
        "                    write a PNG of the settings page, 660 x 2000, whole or one part,\n"
        "                    in the light or dark look (default: the desktop's); the part can\n"
        "                    only follow a look; works without a display\n"
        "  --snapshot-ui FILE\n"
        "                    write a PNG of the settings window as the application opens it;\n"
        "                    works without a display\n"
        "  --output auto|touchbar|window\n"
        "                    where the bar goes: the real Touch Bar if one can be used, else\n"
        "                    a window (auto, the default); only the Touch Bar; only a window\n"
        "  --touchbar-device PATH\n"
        "                    the Touch Bar's DRM card (e.g. /dev/dri/card1) instead of a search\n"
        "  -h, --help        show this help\n"
        "\n"
        "Controlling the running Lumora (exit status 0 done, 1 an error, 3 not running):\n"
        "  lumora ctl get [KEY]              all settings as key=value lines, or one value\n"
        "  lumora ctl set KEY VALUE          e.g. set effect scanner, set color FF7A00\n"
        "  lumora ctl next | previous        the next or previous effect\n"
        "  lumora ctl preset list | apply NAME | save NAME | delete NAME\n"
        "  lumora ctl preset export [NAME...] [-o FILE]\n"
        "  lumora ctl preset import FILE\n"
        "\n"
        "Settings are read from $XDG_CONFIG_HOME/lumora/lumora.conf.\n"
        "LUMORA_APPEARANCE=light or dark overrides the desktop's colour scheme.\n");
}

} // namespace lumora
