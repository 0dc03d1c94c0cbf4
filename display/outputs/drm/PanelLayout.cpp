#include "display/outputs/drm/PanelLayout.h"

#include <algorithm>

namespace lumora {

PanelLayout::PanelLayout(int modeWidth, int modeHeight)
    : m_modeWidth(modeWidth), m_modeHeight(modeHeight) {}

PanelLayout::Position PanelLayout::bufferPosition(int x, int y) const {
    if (portrait()) {
        return {depth() - 1 - y, x};
    }
    return {x, y};
}

void PanelLayout::copyInto(const std::uint32_t* image, std::size_t imageStride,
                           const ScanOut& out) const {
    const auto length = static_cast<std::size_t>(this->length());
    const auto depth = static_cast<std::size_t>(this->depth());
    if (out.format == PixelFormat::bgr888) {
        for (std::size_t y = 0; y < depth; ++y) {
            for (std::size_t x = 0; x < length; ++x) {
                const Position at = bufferPosition(static_cast<int>(x), static_cast<int>(y));
                const std::uint32_t pixel = image[y * imageStride + x];
                std::uint8_t* to = out.pixels +
                                   static_cast<std::size_t>(at.row) * out.bytesPerLine +
                                   static_cast<std::size_t>(at.column) * 3;
                to[0] = static_cast<std::uint8_t>(pixel >> 16);
                to[1] = static_cast<std::uint8_t>(pixel >> 8);
                to[2] = static_cast<std::uint8_t>(pixel);
            }
        }
        return;
    }
    auto* buffer = reinterpret_cast<std::uint32_t*>(out.pixels);
    const std::size_t bufferStride = out.bytesPerLine / 4;
    if (!portrait()) {
        for (std::size_t y = 0; y < depth; ++y) {
            std::copy_n(image + y * imageStride, length, buffer + y * bufferStride);
        }
        return;
    }
    // One buffer row is one image column. Going through the image in strips of a few columns
    // reads each image row a cache line at a time and fills a handful of buffer rows together.
    constexpr std::size_t strip = 16;
    std::size_t x0 = 0;
    for (; x0 + strip <= length; x0 += strip) {
        for (std::size_t column = 0; column < depth; ++column) {
            const std::uint32_t* from = image + (depth - 1 - column) * imageStride + x0;
            std::uint32_t* to = buffer + x0 * bufferStride + column;
            for (std::size_t i = 0; i < strip; ++i) {
                to[i * bufferStride] = from[i];
            }
        }
    }
    for (; x0 < length; ++x0) {
        std::uint32_t* to = buffer + x0 * bufferStride;
        for (std::size_t column = 0; column < depth; ++column) {
            to[column] = image[(depth - 1 - column) * imageStride + x0];
        }
    }
}

double PanelLayout::barWidthPoints(double barHeightPoints) const {
    if (depth() <= 0) {
        return 0.0;
    }
    return static_cast<double>(length()) * barHeightPoints / depth();
}

DumbRequest dumbRequest(std::string_view driver, int modeWidth, int modeHeight) {
    auto width = static_cast<std::uint32_t>(modeWidth > 0 ? modeWidth : 0);
    auto height = static_cast<std::uint32_t>(modeHeight > 0 ? modeHeight : 0);
    if (driver == "adp") {
        auto roundUp = [](std::uint32_t value) { return (value + 63u) / 64u * 64u; };
        return {roundUp(width), roundUp(height)};
    }
    return {width, height};
}

} // namespace lumora
