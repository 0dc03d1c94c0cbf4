#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumora {

// How a scan-out buffer holds its pixels: XRGB8888 (B, G, R, X in memory), or DRM's BGR888,
// three bytes R, G, B, which the Touch Bar takes as it is; its driver turns every XRGB8888
// frame into that on the CPU first.
enum class PixelFormat { xrgb8888, bgr888 };

inline std::size_t bytesPerPixel(PixelFormat format) {
    return format == PixelFormat::bgr888 ? 3 : 4;
}

// A scan-out buffer to draw one frame into: the mode's size, rows bytesPerLine apart.
struct ScanOut {
    std::uint8_t* pixels = nullptr;
    std::size_t bytesPerLine = 0;
    PixelFormat format = PixelFormat::xrgb8888;
};

// How the landscape bar image maps onto the panel's scan-out. The bar is drawn landscape,
// `length` x `depth` pixels; a portrait panel (the Touch Bar's native 60 x N) gets it turned
// so that logical (x, y) lands in buffer column depth - 1 - y, row x.
class PanelLayout {
public:
    PanelLayout(int modeWidth, int modeHeight);

    int modeWidth() const { return m_modeWidth; }
    int modeHeight() const { return m_modeHeight; }
    bool portrait() const { return m_modeHeight > m_modeWidth; }
    // The landscape image's size: the panel's long side by its short side.
    int length() const { return portrait() ? m_modeHeight : m_modeWidth; }
    int depth() const { return portrait() ? m_modeWidth : m_modeHeight; }

    struct Position {
        int column = 0;
        int row = 0;
        friend bool operator==(const Position&, const Position&) = default;
    };
    Position bufferPosition(int x, int y) const;

    // Copies a length() x depth() XRGB8888 image (stride in pixels) into a scan-out buffer
    // of the mode's size, turning it for a portrait panel.
    void copyInto(const std::uint32_t* image, std::size_t imageStride, const ScanOut& buffer) const;

    // The bar's width in points when its 30-point height fills the panel's depth: 1004 for a
    // 2008-pixel panel.
    double barWidthPoints(double barHeightPoints = 30.0) const;

private:
    int m_modeWidth;
    int m_modeHeight;
};

// The size to ask CREATE_DUMB for. Apple Silicon's display pipe scans out whole 64-line
// tiles with 64-pixel-aligned rows, so `adp` gets both rounded up; other drivers get the
// mode's size. The pitch the kernel returns is still the one to write with.
struct DumbRequest {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    friend bool operator==(const DumbRequest&, const DumbRequest&) = default;
};
DumbRequest dumbRequest(std::string_view driver, int modeWidth, int modeHeight);

} // namespace lumora
