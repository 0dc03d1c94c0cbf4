#pragma once

#include "engine/GlyphAtlas.h"

namespace lumora {

// Draws the matrix glyphs with the system's fixed-pitch font, falling back through fontconfig
// for characters it lacks (the half-width katakana). Needs a QGuiApplication.
class QtGlyphRasterizer : public GlyphRasterizer {
public:
    bool drawGlyphs(std::u32string_view glyphs, int cellW, int cellH, double pixelSize,
                    std::uint8_t* atlas, int bytesPerRow) override;
};

} // namespace lumora
