#pragma once

#include "engine/GlyphAtlas.h"

namespace lumora {

// Stands in for a font: every cell is fully inked except one hole whose place names the glyph,
// so a frame shows which glyph the matrix effect picked for a cell.
class PatternRasterizer : public GlyphRasterizer {
public:
    explicit PatternRasterizer(bool succeed = true) : m_succeed(succeed) {}

    static bool isHole(int glyph, int x, int y, int cellW, int cellH) {
        return x == glyph % cellW && y == (glyph / cellW) % cellH;
    }

    bool drawGlyphs(std::u32string_view glyphs, int cellW, int cellH, double pixelSize,
                    std::uint8_t* atlas, int bytesPerRow) override {
        lastPixelSize = pixelSize;
        for (int g = 0; g < static_cast<int>(glyphs.size()); ++g) {
            for (int y = 0; y < cellH; ++y) {
                for (int x = 0; x < cellW; ++x) {
                    atlas[y * bytesPerRow + g * cellW + x] =
                        isHole(g, x, y, cellW, cellH) ? 0 : 255;
                }
            }
        }
        return m_succeed;
    }

    double lastPixelSize = 0.0;

private:
    bool m_succeed;
};

} // namespace lumora
