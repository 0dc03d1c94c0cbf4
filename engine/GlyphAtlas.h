#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace lumora {

// Draws text for the glyph atlas. The engine has no text drawing of its own; the platform
// provides one.
class GlyphRasterizer {
public:
    virtual ~GlyphRasterizer() = default;

    // Draws glyphs[i] white on black, centred in cell i of a single row of cells that are
    // cellW x cellH pixels, with a semibold fixed-pitch font of `pixelSize` pixels. The atlas
    // is one coverage byte per pixel, `bytesPerRow` bytes per row, rows top to bottom, and is
    // all zero on entry. Returns false when nothing could be drawn.
    virtual bool drawGlyphs(std::u32string_view glyphs, int cellW, int cellH, double pixelSize,
                            std::uint8_t* atlas, int bytesPerRow) = 0;
};

// Grey coverage of the matrix effect's glyphs, one row of cells side by side.
struct GlyphAtlas {
    static constexpr std::u32string_view glyphSet =
        U"0123456789\uFF71\uFF72\uFF73\uFF74\uFF75\uFF76\uFF77\uFF78\uFF79\uFF7A"
        U"\uFF7B\uFF7C\uFF7D\uFF7E\uFF7F\uFF80\uFF81\uFF82\uFF83\uFF84";

    int glyphW = 4;
    int glyphH = 6;
    int glyphCount = static_cast<int>(glyphSet.size());
    std::vector<std::uint8_t> coverage; // glyphH rows of glyphW * glyphCount bytes

    int bytesPerRow() const { return glyphW * glyphCount; }
    std::uint8_t at(int column, int row) const {
        return coverage[static_cast<std::size_t>(row) * bytesPerRow() + column];
    }

    // Cell size for a frame height; the atlas stays all zero without a rasterizer or when it
    // fails, and the matrix effect then draws black.
    static GlyphAtlas build(int frameHeight, GlyphRasterizer* rasterizer);
    static int cellHeight(int frameHeight);
    static int cellWidth(int cellHeight);
};

} // namespace lumora
