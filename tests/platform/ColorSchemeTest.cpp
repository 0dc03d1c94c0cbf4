#include "platform/ColorScheme.h"

#include <gtest/gtest.h>

using namespace lumora;

namespace {

Appearance decide(QString override, std::optional<uint> portal, QString gtkTheme,
                  std::optional<double> lightness) {
    return ColorScheme::decide({override, portal, gtkTheme, lightness});
}

} // namespace

TEST(ColorScheme, TheUsersChoiceThenThePortalThenTheTheme) {
    constexpr auto light = Appearance::light, dark = Appearance::dark;
    // The override beats everything; unknown words are ignored.
    EXPECT_EQ(decide("light", 1u, "Adwaita:dark", 0.1), light);
    EXPECT_EQ(decide(" Dark ", 2u, "", 0.9), dark);
    EXPECT_EQ(decide("dim", 1u, "", 0.9), dark);

    // The portal: 1 dark, 2 light, 0 no preference (falls through).
    EXPECT_EQ(decide("", 1u, "", 0.9), dark);
    EXPECT_EQ(decide("", 2u, "Adwaita:dark", 0.1), light);
    EXPECT_EQ(decide("", 0u, "Adwaita:dark", 0.9), dark);

    // GTK_THEME: a dark variant or a theme named dark.
    EXPECT_EQ(decide("", {}, "Adwaita:dark", 0.9), dark);
    EXPECT_EQ(decide("", {}, "Arc-Dark", 0.9), dark);
    EXPECT_EQ(decide("", {}, "Darkish", 0.9), light);

    // Last, the palette itself; with nothing known, light.
    EXPECT_EQ(decide("", {}, "Adwaita", 0.2), dark);
    EXPECT_EQ(decide("", {}, "", 0.5), light);
    EXPECT_EQ(decide("", {}, "", {}), light);
}
