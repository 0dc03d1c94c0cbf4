#pragma once

#include "engine/GlyphAtlas.h"
#include "engine/Params.h"
#include "engine/RGB.h"
#include "engine/StarTable.h"

#include <cstdint>
#include <vector>

namespace lumora::reference {

// Renders frames the straightforward way, into the same RGBA layout as EffectRenderer.
class ReferenceRenderer {
public:
    ReferenceRenderer(int width, int height, GlyphRasterizer* rasterizer = nullptr);

    int w() const { return m_w; }
    int h() const { return m_h; }

    // Returns the frame's bytes; valid until the next call.
    const std::vector<std::uint8_t>& render(const Params& params, double time);

private:
    template <class Shader> void shade(const Shader& shader, double brightness);

    int m_w;
    int m_h;
    StarTable m_stars;
    GlyphAtlas m_atlas;
    std::vector<std::uint8_t> m_pixels;
    std::vector<RGB> m_columns;
};

} // namespace lumora::reference
