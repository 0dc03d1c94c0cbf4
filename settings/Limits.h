#pragma once

#include <QtGlobal>
#include <algorithm>

namespace lumora::limits {

// What scripts and preset files may hand us: the store stays small enough to load, show and
// write at once.
inline constexpr qsizetype maxNameLength = 200;
inline constexpr qsizetype maxJsonBytes = 1024 * 1024;
inline constexpr qsizetype maxPresets = 1000;

// The ranges of the settings window's sliders and corner knob; a value from elsewhere is held
// to their ends, as they hold it.
inline constexpr double minSpeed = 0.25, maxSpeed = 4.0;
inline constexpr double minBrightness = 0.1, maxBrightness = 1.0;
inline constexpr double minWidth = 0.15, maxWidth = 3.0;
inline constexpr double minCorner = 0.0, maxCorner = 1.0;

inline double clampSpeed(double v) {
    return std::clamp(v, minSpeed, maxSpeed);
}
inline double clampBrightness(double v) {
    return std::clamp(v, minBrightness, maxBrightness);
}
inline double clampWidth(double v) {
    return std::clamp(v, minWidth, maxWidth);
}
inline double clampCorner(double v) {
    return std::clamp(v, minCorner, maxCorner);
}

} // namespace lumora::limits
