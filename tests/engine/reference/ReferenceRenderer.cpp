#include "ReferenceRenderer.h"

#include "ReferenceEffects.h"

#include <algorithm>

namespace lumora::reference {
namespace {

std::uint8_t quantise(double v) {
    if (!(v >= 0.0)) { // negative or not a number
        return 0;
    }
    return static_cast<std::uint8_t>(std::min(v, 1.0) * 255.0 + 0.5);
}

} // namespace

ReferenceRenderer::ReferenceRenderer(int width, int height, GlyphRasterizer* rasterizer)
    : m_w(width), m_h(height), m_stars(makeStarTable()),
      m_atlas(GlyphAtlas::build(height, rasterizer)),
      m_pixels(static_cast<std::size_t>(width) * height * 4, 255),
      m_columns(static_cast<std::size_t>(width)) {}

template <class Shader> void ReferenceRenderer::shade(const Shader& shader, double brightness) {
    std::uint8_t* out = m_pixels.data();
    const double w = m_w;
    const double h = m_h;
    for (int y = 0; y < m_h; ++y) {
        const double ny = (y + 0.5) / h;
        for (int x = 0; x < m_w; ++x) {
            const double nx = (x + 0.5) / w;
            const RGB c = shader(nx, ny);
            out[0] = quantise(brightness * c.r);
            out[1] = quantise(brightness * c.g);
            out[2] = quantise(brightness * c.b);
            out += 4;
        }
    }
}

const std::vector<std::uint8_t>& ReferenceRenderer::render(const Params& params, double time) {
    const double b = params.brightness;
    switch (params.effect) {
    case Effect::rainbowWave: shade(RainbowWave(params, time, m_w, m_h), b); break;
    case Effect::spectrumCycle: shade(SpectrumCycle(params, time, m_w, m_h), b); break;
    case Effect::breathing: shade(Breathing(params, time), b); break;
    case Effect::neonBreath: shade(NeonBreath(params, time, m_w, m_h), b); break;
    case Effect::heartbeat: shade(Heartbeat(params, time, m_w, m_h), b); break;
    case Effect::scanner: shade(Scanner(params, time, m_w, m_h), b); break;
    case Effect::inferno: shade(Inferno(time), b); break;
    case Effect::matrix: shade(Matrix(params, time, m_w, m_h, m_atlas), b); break;
    case Effect::starfield:
        fillStarColumns(m_stars, time, m_columns);
        shade(Starfield(m_columns), b);
        break;
    case Effect::solid: shade(Solid(params), b); break;
    }
    return m_pixels;
}

} // namespace lumora::reference
