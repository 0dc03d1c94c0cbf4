#pragma once

#include "Frame.h"
#include "GlyphAtlas.h"
#include "Params.h"
#include "RGB.h"
#include "StarTable.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace lumora {

// Draws one frame of any effect at any animation time. No clock and no memory between frames:
// the same size, parameters and time always give the same bytes.
class EffectRenderer {
public:
    // Width and height of at least 1; anything else throws std::invalid_argument. Without a
    // rasterizer the glyph atlas stays zero (the matrix effect is then black).
    EffectRenderer(int width, int height, GlyphRasterizer* rasterizer = nullptr);

    int w() const { return m_w; }
    int h() const { return m_h; }
    const StarTable& stars() const { return m_stars; }
    const GlyphAtlas& glyphAtlas() const { return m_atlas; }

    // The frame for `params` at animation time `time`. The returned frame never changes,
    // whatever is rendered later.
    Frame render(const Params& params, double time);

private:
    const std::shared_ptr<std::vector<std::uint8_t>>& nextBuffer();
    template <class Shader> void shade(const Shader& shader, double brightness, std::uint8_t* out);

    int m_w;
    int m_h;
    StarTable m_stars;
    GlyphAtlas m_atlas;
    // Frames share their buffer with whoever holds them; a buffer is written again only once
    // nobody else holds it, so steady-state rendering allocates nothing.
    std::array<std::shared_ptr<std::vector<std::uint8_t>>, 3> m_pool;
    std::vector<RGB> m_columns; // the starfield's per-column table, reused every frame
};

} // namespace lumora
