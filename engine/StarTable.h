#pragma once

#include <array>

namespace lumora {

struct Star {
    double u = 0.0;      // horizontal position, fraction of the frame width
    double period = 0.0; // one twinkle, in time units
    double offset = 0.0; // phase offset, fraction of the period
    double hue = 0.0;    // turns

    bool operator==(const Star&) const = default;
};

inline constexpr int starCount = 70;
using StarTable = std::array<Star, starCount>;

// The same 70 stars for every renderer in every run: a fixed seed.
StarTable makeStarTable();

} // namespace lumora
