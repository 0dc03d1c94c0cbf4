#pragma once

#include <cmath>
#include <optional>
#include <string>
#include <string_view>

namespace lumora {

// An opaque colour. Channels are nominally 0..1 and deliberately never clamped here: the
// renderer clamps once, when it quantises.
struct RGB {
    double r = 0.0;
    double g = 0.0;
    double b = 0.0;

    static const RGB white;
    static const RGB black;

    // Hue in turns (wraps), saturation and value used as given.
    static RGB hsv(double h, double s, double v) {
        const double hh = (h - std::floor(h)) * 6.0;
        const int i = static_cast<int>(hh) % 6;
        const double f = hh - std::floor(hh);
        const double p = v * (1.0 - s);
        const double q = v * (1.0 - s * f);
        const double t = v * (1.0 - s * (1.0 - f));
        switch (i) {
        case 0: return {v, t, p};
        case 1: return {q, v, p};
        case 2: return {p, v, t};
        case 3: return {p, q, v};
        case 4: return {t, p, v};
        default: return {v, p, q};
        }
    }

    RGB scaled(double k) const { return {k * r, k * g, k * b}; }

    RGB mixed(const RGB& other, double t) const {
        return {r + t * (other.r - r), g + t * (other.g - g), b + t * (other.b - b)};
    }

    // Six upper-case hex digits, no prefix.
    std::string hex() const;
    // Exactly six hex digits (an optional sign as strtoul would take it); nothing otherwise.
    static std::optional<RGB> fromHex(std::string_view text);

    bool operator==(const RGB&) const = default;
};

inline constexpr RGB RGB::white{1.0, 1.0, 1.0};
inline constexpr RGB RGB::black{0.0, 0.0, 0.0};

} // namespace lumora
