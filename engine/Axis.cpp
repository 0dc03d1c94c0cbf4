#include "Axis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lumora {

Axis::Axis(double degrees, int width, int height) {
    const double theta = degrees * std::numbers::pi / 180.0;
    cosT = std::cos(theta);
    sinT = std::sin(theta);
    w = static_cast<double>(width);
    h = static_cast<double>(height);
    const auto [lo, hi] = std::minmax({0.0, cosT * w, sinT * h, cosT * w + sinT * h});
    pMin = lo;
    const double pMax = hi;
    const double span = pMax - pMin;
    invSpan = 1.0 / span;
    waveScale = std::abs(cosT) / w + std::abs(sinT) / h;
    extent = span / w;
}

} // namespace lumora
