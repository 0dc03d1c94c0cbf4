#pragma once

#include <QIcon>

namespace lumora {

// The program's icons. Each comes from the icon theme when one is installed there, then from
// the program's own resources, then from a drawing, so a build run from its folder looks the
// same as an installed one.
namespace icons {

// Name of the tray icon in the icon theme (installed as hicolor/scalable/status).
inline constexpr const char* trayIconName = "lumora-tray";

// The window and desktop icon: a dark tile with a rainbow strip.
QIcon application();
// The tray icon: a rainbow pill with a dark rim and a light inner rim, so it stands out on
// light and dark panels alike (panels here do not recolour their icons).
QIcon tray();
// The tray icon as drawn when the theme has none, at 1x and 2x of 22 x 22.
QIcon drawnTray();

} // namespace icons

} // namespace lumora
