#include "StarTable.h"

#include <cstdint>

namespace lumora {

StarTable makeStarTable() {
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    auto draw = [&state] {
        state = state * 0x5851F42D4C957F2DULL + 0x14057B7EF767814FULL;
        return static_cast<double>(state >> 11) * 0x1.0p-53;
    };
    StarTable stars{};
    for (Star& star : stars) {
        // Four draws in this order, one per field.
        const double r1 = draw();
        const double r2 = draw();
        const double r3 = draw();
        const double r4 = draw();
        star = {r1, r2 * 3.5 + 2.2, r3, r4};
    }
    return stars;
}

} // namespace lumora
