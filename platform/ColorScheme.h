#pragma once

#include <QString>
#include <optional>

namespace lumora {

enum class Appearance { light, dark };

// Which palette the desktop wants: the user's LUMORA_APPEARANCE first, then the desktop
// portal's colour-scheme setting, then a dark GTK theme, then how light the current palette is.
class ColorScheme {
public:
    // What the desktop told us; anything may be missing.
    struct Hints {
        QString userChoice;              // LUMORA_APPEARANCE
        std::optional<uint> portal;      // org.freedesktop.appearance color-scheme
        QString gtkTheme;                // GTK_THEME
        std::optional<double> lightness; // the palette's window colour, 0 to 1
    };

    static Appearance decide(const Hints& in);

    // "light" or "dark", exactly; nothing for anything else.
    static std::optional<Appearance> parse(const QString& name);

    // Asks the desktop now. The portal gets timeoutMs to answer. Needs a QGuiApplication.
    static Appearance current(int timeoutMs = 300);

    // The portal's color-scheme (0 no preference, 1 dark, 2 light); nothing when there is no
    // session bus, no portal or no answer in time.
    static std::optional<uint> readPortal(int timeoutMs);
};

} // namespace lumora
