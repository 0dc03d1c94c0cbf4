#include "ReferenceEffects.h"

namespace lumora::reference {

void fillStarColumns(const StarTable& stars, double t, std::vector<RGB>& columns) {
    const RGB deepSpace{0.015, 0.0, 0.045};
    std::fill(columns.begin(), columns.end(), deepSpace);
    const int w = static_cast<int>(columns.size());
    const double W = static_cast<double>(w);
    const double sigma = std::max(W * 0.004, 2.0);
    const double reach = sigma * 4.0;
    for (const Star& star : stars) {
        double phase = t / star.period + star.offset;
        phase -= std::trunc(phase);
        const double twinkle = std::pow(std::max(std::sin(phase * std::numbers::pi), 0.0), 6.0);
        if (twinkle < 0.01) {
            continue;
        }
        const RGB color =
            RGB::hsv(star.hue, 0.75, 1.0).mixed(RGB::white, twinkle * 0.5).scaled(twinkle);
        const double cx = star.u * W;
        const int x0 = std::max(static_cast<int>(cx - reach), 0);
        const int x1 = std::min(w - 1, static_cast<int>(cx + reach));
        for (int px = x0; px <= x1; ++px) {
            const double r = (px + 0.5 - cx) / sigma;
            const double g = std::exp(-(r * r));
            RGB& c = columns[static_cast<std::size_t>(px)];
            c.r += color.r * g;
            c.g += color.g * g;
            c.b += color.b * g;
        }
    }
}

} // namespace lumora::reference
