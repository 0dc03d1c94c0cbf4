#include "EffectRenderer.h"

#include "Effects.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace lumora {
namespace {

std::uint8_t quantise(double v) {
    if (!(v >= 0.0)) { // negative or not a number
        return 0;
    }
    return static_cast<std::uint8_t>(std::min(v, 1.0) * 255.0 + 0.5);
}

std::size_t checkedByteCount(int width, int height) {
    if (width < 1 || height < 1) {
        throw std::invalid_argument("EffectRenderer: width and height must be at least 1");
    }
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    if (w > std::numeric_limits<std::size_t>::max() / 4 / h) {
        throw std::invalid_argument("EffectRenderer: frame size overflows");
    }
    return w * h * 4;
}

} // namespace

EffectRenderer::EffectRenderer(int width, int height, GlyphRasterizer* rasterizer)
    : m_w(width), m_h(height) {
    const std::size_t bytes = checkedByteCount(width, height);
    m_pool[0] = std::make_shared<std::vector<std::uint8_t>>(bytes, std::uint8_t{255});
    m_stars = makeStarTable();
    m_atlas = GlyphAtlas::build(height, rasterizer);
    m_columns.resize(static_cast<std::size_t>(width));
}

const std::shared_ptr<std::vector<std::uint8_t>>& EffectRenderer::nextBuffer() {
    for (auto& slot : m_pool) {
        if (!slot) {
            slot = std::make_shared<std::vector<std::uint8_t>>(m_pool[0]->size(), 255);
            return slot;
        }
        if (slot.use_count() == 1) {
            return slot;
        }
    }
    // Every buffer is still held elsewhere: leave the oldest to its holders for good.
    std::rotate(m_pool.begin(), m_pool.begin() + 1, m_pool.end());
    m_pool.back() = std::make_shared<std::vector<std::uint8_t>>(m_pool[0]->size(), 255);
    return m_pool.back();
}

template <class Shader>
void EffectRenderer::shade(const Shader& shader, double brightness, std::uint8_t* out) {
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
            out += 4; // alpha stays 255
        }
    }
}

Frame EffectRenderer::render(const Params& params, double time) {
    const auto& buffer = nextBuffer();
    std::uint8_t* out = buffer->data();
    const double b = params.brightness;
    using namespace effects;
    switch (params.effect) {
    case Effect::rainbowWave: shade(RainbowWave(params, time, m_w, m_h), b, out); break;
    case Effect::spectrumCycle: shade(SpectrumCycle(params, time, m_w, m_h), b, out); break;
    case Effect::breathing: shade(Breathing(params, time), b, out); break;
    case Effect::neonBreath: shade(NeonBreath(params, time, m_w, m_h), b, out); break;
    case Effect::heartbeat: shade(Heartbeat(params, time, m_w, m_h), b, out); break;
    case Effect::scanner: shade(Scanner(params, time, m_w, m_h), b, out); break;
    case Effect::inferno: shade(Inferno(time), b, out); break;
    case Effect::matrix: shade(Matrix(params, time, m_w, m_h, m_atlas), b, out); break;
    case Effect::starfield:
        fillStarColumns(m_stars, time, m_columns);
        shade(Starfield(m_columns), b, out);
        break;
    case Effect::solid: shade(Solid(params), b, out); break;
    }
    return Frame(buffer, m_w, m_h);
}

} // namespace lumora
