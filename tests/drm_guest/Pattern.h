#pragma once

#include <cstdint>

namespace lumora::drm_guest {

// The landscape test picture, one XRGB8888 pixel at a time. No two pixels of a frame share a
// colour: red and the low nibble of blue spell x, green spells y. A rotation, a mirror or a
// one-pixel shift therefore shows as wrong colours everywhere, and the frame number in blue's
// high nibble tells a stale buffer from the current one. Holds for bars up to 4096 x 256.
inline std::uint32_t patternPixel(int x, int y, int frame) {
    const auto red = static_cast<std::uint32_t>(x) & 0xffu;
    const auto green = static_cast<std::uint32_t>(y) & 0xffu;
    const auto blue = ((static_cast<std::uint32_t>(x) >> 8) & 0x0fu) |
                      ((static_cast<std::uint32_t>(frame) & 0x0fu) << 4);
    return (red << 16) | (green << 8) | blue;
}

} // namespace lumora::drm_guest
