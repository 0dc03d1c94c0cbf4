#include "GlyphAtlas.h"

#include <algorithm>
#include <cmath>

namespace lumora {

int GlyphAtlas::cellHeight(int frameHeight) {
    return std::max(6, static_cast<int>(std::lround(frameHeight / 3.0)));
}

int GlyphAtlas::cellWidth(int cellHeight) {
    return std::max(4, static_cast<int>(std::lround(cellHeight * 0.68)));
}

GlyphAtlas GlyphAtlas::build(int frameHeight, GlyphRasterizer* rasterizer) {
    GlyphAtlas atlas;
    atlas.glyphH = cellHeight(frameHeight);
    atlas.glyphW = cellWidth(atlas.glyphH);
    atlas.coverage.assign(static_cast<std::size_t>(atlas.bytesPerRow()) * atlas.glyphH, 0);
    if (rasterizer != nullptr &&
        !rasterizer->drawGlyphs(glyphSet, atlas.glyphW, atlas.glyphH, atlas.glyphH * 0.92,
                                atlas.coverage.data(), atlas.bytesPerRow())) {
        // A half-drawn atlas would show stray glyph fragments; black is the honest failure.
        std::fill(atlas.coverage.begin(), atlas.coverage.end(), std::uint8_t{0});
    }
    return atlas;
}

} // namespace lumora
