#pragma once

#include "display/outputs/drm/PanelLayout.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace lumora {

// Everything about the bar's picture that stays put from one frame to the next. Positions and
// sizes are in landscape panel pixels: x along the bar, y down.
struct PanelScene {
    // The effect frame: RGBA8888 bytes, frameWidth x frameHeight. Zero: no frame, black.
    int frameWidth = 0;
    int frameHeight = 0;
    // Where the frame is stretched to.
    double viewX = 0.0;
    double viewY = 0.0;
    double viewWidth = 0.0;
    double viewHeight = 0.0;
    // The view's outline as coverage, length x depth bytes (255 inside); empty: all inside.
    std::vector<std::uint8_t> coverage;
    // Drawn over everything: premultiplied 0xAARRGGBB, spriteWidth x spriteHeight.
    std::vector<std::uint32_t> sprite;
    int spriteX = 0;
    int spriteY = 0;
    int spriteWidth = 0;
    int spriteHeight = 0;
    // The fourth byte of each pixel: 255 for a scan-out buffer, or the picture's own alpha,
    // which makes the result premultiplied ARGB32 to draw over something else.
    bool alpha = false;
    // Without alpha: the colour (0xRRGGBB) that shows where the outline leaves the view, as
    // when the picture stands on a plain background; none is black.
    std::optional<std::uint32_t> backdrop;
    // The buffer's pixels. BGR888 takes no alpha.
    PixelFormat format = PixelFormat::xrgb8888;
};

// Draws the bar straight into the panel's scan-out buffer: the frame stretched bilinearly to
// the panel's resolution, turned for a portrait panel, with the outline's coverage and a sprite
// folded in, in one pass per buffer row. The tables behind it are built by setScene(); compose()
// allocates nothing.
class PanelComposer {
public:
    explicit PanelComposer(PanelLayout layout);

    const PanelLayout& layout() const { return m_layout; }
    void setScene(PanelScene scene);
    const PanelScene& scene() const { return m_scene; }

    // `frame` is frameWidth x frameHeight RGBA8888 as set in the scene, or null for none.
    // `out` is the mode's buffer in the scene's format; in any other, nothing is drawn.
    void compose(const std::uint8_t* frame, std::size_t bytesPerLine, const ScanOut& out);
    // The same for a scene in XRGB8888: into an XRGB8888 buffer (or premultiplied ARGB32 with
    // alpha), stride in pixels.
    void compose(const std::uint8_t* frame, std::size_t bytesPerLine, std::uint32_t* buffer,
                 std::size_t bufferStride);

    // Buffer rows (columns of the bar) that the coverage or the sprite touch.
    std::size_t overlaidRows() const { return m_tables.overlaidRows(); }

    // Copies RGBA8888 pixels as opaque 0xAARRGGBB (QImage's RGB32), on the same instruction set.
    static void toArgb(const std::uint8_t* rgba, std::uint32_t* out, std::size_t pixels);

    // The instruction set compose() runs with.
    static const char* activeTarget();

    // What the kernels read. Public for them; not for callers.
    struct Tables {
        int srcWidth = 0;
        int srcHeight = 0;
        int length = 0;
        int depth = 0;
        // Per buffer column c (landscape row depth - 1 - c): the two frame rows, the weight of
        // the second (0..128), and how many quarters that is when it is whole (else 5).
        std::vector<std::int32_t> row0, row1;
        std::vector<std::int16_t> rowWeight;
        std::vector<std::int8_t> rowQuarter;
        // When every buffer column is a whole number of quarters between two neighbouring
        // rows: per buffer column, the byte offsets in `rows` of the two rows it averages.
        bool quarterRows = false;
        std::vector<std::int32_t> rowFirst, rowSecond;
        // Per bar column x: the two frame columns and the weight of the second; first < 0
        // for a column outside the view.
        std::vector<std::int32_t> col0, col1;
        std::vector<std::int16_t> colWeight;
        // Per bar column x: its weight in both halves of 32 bits, for a landscape picture.
        std::vector<std::uint32_t> colPair;
        // The same blend as byte pairs (128 - w, then w), twice, for x86's multiply-add of
        // bytes, which takes no weight of 128: there a column at weight 0 or 128 reads its one
        // frame column twice at 64 and 64 instead. The frame columns it reads, so adjusted.
        std::vector<std::uint32_t> colBytePairs;
        std::vector<std::int32_t> pairCol0, pairCol1;
        // Per bar column x: -1, or its slot among the overlaid rows.
        std::vector<std::int32_t> overlay;
        // The overlaid columns as runs of neighbours: first column, how many, and the first's
        // slot.
        struct Run {
            std::size_t x = 0;
            std::size_t count = 0;
            std::size_t first = 0;
        };
        std::vector<Run> runs;
        // Per overlaid row, per channel byte in buffer order: the multiplier (0..255, times 257)
        // and the premultiplied sprite added after it.
        std::vector<std::uint16_t> multiply;
        std::vector<std::uint8_t> add;
        std::size_t rowBytes = 0; // depth * 4, or 3 when narrow
        // Channel bytes in the order the buffer holds them, from the frame's R, G, B, A: B, G,
        // R, A for XRGB8888, as they are for BGR888 (whose fourth byte is then dropped), twice.
        std::uint8_t order[32] = {};
        // Three bytes a pixel. Portrait (narrow): the turned runs are packed once stretched,
        // and everything after works on three-byte pixels (rowBytes is depth * 3, and so are
        // multiply and add). Landscape: each buffer row is made in packLine, then packed.
        bool narrow = false;
        bool packLines = false;
        std::vector<std::uint32_t> packLine;

        std::size_t overlaidRows() const { return rowBytes ? add.size() / rowBytes : 0; }
        // For a landscape picture, the same per landscape row y, per overlaid column j, per
        // channel byte: index (y * overlaid + j) * 4 + channel.
        std::vector<std::uint16_t> rowMultiply;
        std::vector<std::uint8_t> rowAdd;
        // Scratch: the frame stretched to the depth and turned, one row of tStride pixels per
        // frame column, frame column i in row i % ring: a few blocks of them at a time.
        static constexpr std::size_t ring = 64;
        std::vector<std::uint32_t> turned;
        std::size_t tStride = 0;
        // Scratch for a landscape picture: one buffer row's two frame rows blended.
        std::vector<std::uint32_t> line;
        // Scratch for quarterRows: a block of each frame row, swapped, then the averages of
        // neighbouring rows, rowBytesMax bytes apart.
        static constexpr std::size_t rowBytesMax = 64;
        std::vector<std::uint8_t> rows;
    };

private:
    void build();

    PanelLayout m_layout;
    PanelScene m_scene;
    Tables m_tables;
};

} // namespace lumora
