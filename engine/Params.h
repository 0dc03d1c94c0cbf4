#pragma once

#include "Effect.h"
#include "RGB.h"

namespace lumora {

// Everything the renderer needs for one frame besides the time.
struct Params {
    Effect effect = Effect::rainbowWave;
    double brightness = 1.0;
    double width = 0.4;
    RGB color{68.0 / 255.0, 214.0 / 255.0, 44.0 / 255.0};
    double angle = 90.0;

    bool operator==(const Params&) const = default;
};

// Corner radius in points for a corner-rounding fraction: 1 gives semicircular ends.
inline double cornerRadius(double fraction, double height) {
    return fraction * (height * 0.5);
}

} // namespace lumora
