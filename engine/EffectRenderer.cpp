#include "EffectRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <stdexcept>

namespace lumora {
namespace {

constexpr double twoPi = 2.0 * std::numbers::pi;

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

std::uint8_t quantise(double v) {
    if (!(v >= 0.0)) { // negative or not a number
        return 0;
    }
    return static_cast<std::uint8_t>(std::min(v, 1.0) * 255.0 + 0.5);
}

std::uint32_t pixel(double brightness, const RGB& c) {
    const std::uint8_t bytes[4] = {quantise(brightness * c.r), quantise(brightness * c.g),
                                   quantise(brightness * c.b), 255};
    std::uint32_t px;
    std::memcpy(&px, bytes, 4);
    return px;
}

// 0.03 at every whole breath, 1.0 half-way; the exponent keeps the glow low for longer.
double breath(double phase) {
    const double c = std::cos(phase * twoPi);
    return std::pow(0.5 - 0.5 * c, 1.6) * 0.97 + 0.03;
}

// The final avalanche of xxHash32, over a golden-ratio multiple of n.
std::uint32_t cellHash(std::uint32_t n) {
    std::uint32_t v = n * 0x9E3779B1u;
    v ^= v >> 15;
    v *= 0x85EBCA77u;
    v ^= v >> 13;
    v *= 0xC2B2AE3Du;
    v ^= v >> 16;
    return v;
}

// The integer part of a non-negative time, taken modulo 2^32.
std::uint32_t wrap32(double v) {
    const double whole = std::trunc(v);
    if (!(whole >= 0.0) || std::isinf(whole)) {
        return 0;
    }
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::fmod(whole, 4294967296.0)));
}

std::vector<double> table(int n) {
    return std::vector<double>(static_cast<std::size_t>(n) + kernels::pad, 0.0);
}

} // namespace

EffectRenderer::EffectRenderer(int width, int height, GlyphRasterizer* rasterizer)
    : m_w(width), m_h(height), m_axisAngle(std::numeric_limits<double>::quiet_NaN()),
      m_sineAngle(std::numeric_limits<double>::quiet_NaN()) {
    const std::size_t bytes = checkedByteCount(width, height);
    m_pool[0] = std::make_shared<FramePixels>(bytes, std::uint8_t{255});
    m_stars = makeStarTable();
    m_atlas = GlyphAtlas::build(height, rasterizer);
    buildFixedTables();
}

// Everything that depends only on the frame size: made once, so frames allocate nothing.
void EffectRenderer::buildFixedTables() {
    m_colP = table(m_w);
    m_rowP = table(m_h);
    m_colSin = table(m_w);
    m_colCos = table(m_w);
    m_rowSin = table(m_h);
    m_rowCos = table(m_h);
    m_column.assign(static_cast<std::size_t>(m_h) + kernels::pad, 0);
    m_tailAhead = table(m_w);
    m_tailBack = table(m_w);
    m_tailRows = table(m_h);
    // Narrow frames (the settings page's previews) need fewer nodes; the narrowest are cheap
    // enough pixel by pixel.
    if (m_w >= 64) {
        for (Table* t : {&m_levels, &m_levelsReversed, &m_pulses, &m_pulsesReversed}) {
            t->assign((m_w >= 512 ? 16384 : 4096) + kernels::pad, 0.0);
        }
    }
    buildFlameTables();
    buildCodeTables();
    buildStarTables();
    planFixedTables();
}

void EffectRenderer::buildFlameTables() {
    const double W = m_w;
    const double H = m_h;
    const double frequencies[3] = {80.0, 150.0, 41.0};
    for (int i = 0; i < 3; ++i) {
        m_inferno[2 * i] = table(m_w);
        m_inferno[2 * i + 1] = table(m_w);
        for (int x = 0; x < m_w; ++x) {
            const double nx = (x + 0.5) / W;
            m_inferno[2 * i][x] = std::sin(nx * frequencies[i]);
            m_inferno[2 * i + 1][x] = std::cos(nx * frequencies[i]);
        }
    }
    m_heatBase = table(m_h);
    for (auto& row : m_infernoRow) {
        row = table(m_h);
    }
    for (int y = 0; y < m_h; ++y) {
        m_heatBase[y] = ((y + 0.5) / H) * 0.95 + 0.25;
    }
}

// Cells are glyphW pixels wide from the left edge and glyphH high from the top, so pixel x lies
// in cell column x / glyphW at glyph column x % glyphW: exactly what the per-pixel formula
// gives, since pixel centres never fall on a cell edge.
void EffectRenderer::buildCodeTables() {
    const double H = m_h;
    const int gw = m_atlas.glyphW;
    const double GH = m_atlas.glyphH;
    m_cellColumns = (m_w + gw - 1) / gw;
    m_head = table(m_cellColumns);
    m_cycle = table(m_cellColumns);
    m_speed = table(m_cellColumns);
    m_offset = table(m_cellColumns);
    m_cellHash.assign(static_cast<std::size_t>(m_cellColumns), 0);
    m_matrixScratch = table(4 * (m_cellColumns + kernels::pad));
    m_rowCells = table(m_h);
    m_rowCell.assign(static_cast<std::size_t>(m_h), 0);
    m_glyphRow.assign(static_cast<std::size_t>(m_h), 0);
    for (int y = 0; y < m_h; ++y) {
        const double rf = (((y + 0.5) / H) * H) / GH;
        const double row = std::floor(rf);
        m_rowCells[y] = rf;
        m_rowCell[y] = static_cast<std::int32_t>(row);
        const int gy = std::min(m_atlas.glyphH - 1, static_cast<int>(GH * (rf - row)));
        m_glyphRow[y] = gy * m_atlas.bytesPerRow();
    }
    m_cellRows = m_rowCell[m_h - 1] + 1;
    // Each column's drop: its speed, the length of its cycle and where in it the drop starts.
    constexpr double trail = 7.0;
    const double rows = H / GH;
    for (int col = 0; col < m_cellColumns; ++col) {
        const std::uint32_t hc = cellHash(static_cast<std::uint32_t>(col) + 17u);
        m_cellHash[col] = hc;
        m_speed[col] = static_cast<double>(hc & 0xFFu) / 255.0 * 2.4 + 1.1;
        m_cycle[col] = (rows + trail) + 2.0 + static_cast<double>((hc >> 8) & 0xFu) * 0.7;
        m_offset[col] = static_cast<double>((hc >> 12) & 0xFFFFu) / 65535.0 * m_cycle[col];
    }
    m_glyphOffset.assign(static_cast<std::size_t>(m_cellRows) * m_cellColumns, 0);
    m_glyphTick.reset();
    m_rowScratch.assign(static_cast<std::size_t>(m_cellColumns) * gw + kernels::pad, 0);
    m_coverage.assign(m_atlas.coverage.size() + gw + kernels::pad, 0.0);
    for (std::size_t i = 0; i < m_atlas.coverage.size(); ++i) {
        m_coverage[i] = m_atlas.coverage[i] / 255.0;
    }
    m_dimGlyphs.assign(m_coverage.size(), 0);
}

void EffectRenderer::buildStarTables() {
    const double W = m_w;
    const double H = m_h;
    // Each star's glow across the columns it reaches depends only on the width.
    const double sigma = std::max(W * 0.004, 2.0);
    const double reach = sigma * 4.0;
    for (int i = 0; i < starCount; ++i) {
        m_starHues[i] = RGB::hsv(m_stars[i].hue, 0.75, 1.0);
    }
    m_starColor.assign(3 * starCount, 0.0);
    m_starIndex.assign(starCount, 0);
    m_starSpan.assign(2 * starCount, 0);
    m_starStride = static_cast<int>(2.0 * reach) + 2 + kernels::pad;
    m_starWeights.assign(static_cast<std::size_t>(starCount) * m_starStride, 0.0);
    for (int i = 0; i < starCount; ++i) {
        const double cx = m_stars[i].u * W;
        const int x0 = std::max(static_cast<int>(cx - reach), 0);
        const int x1 = std::min(m_w - 1, static_cast<int>(cx + reach));
        m_starSpan[2 * i] = x0;
        m_starSpan[2 * i + 1] = x1;
        for (int px = x0; px <= x1; ++px) {
            const double r = (px + 0.5 - cx) / sigma;
            m_starWeights[static_cast<std::size_t>(i) * m_starStride + (px - x0)] =
                std::exp(-(r * r));
        }
    }
    for (auto& column : m_columns) {
        column = table(m_w);
    }
    m_rowDim = table(m_h);
    m_columnKinds.assign(static_cast<std::size_t>(m_w) + kernels::pad, 0);
    m_rowSource.assign(static_cast<std::size_t>(m_h), 0);
    m_rowTwin.assign(static_cast<std::size_t>(m_h), -1);
    for (int y = 0; y < m_h; ++y) {
        m_rowDim[y] = 1.0 + 2.0 * (-0.35 * std::abs((y + 0.5) / H - 0.5));
        // Rows the same distance from the middle are dimmed alike: copy instead of redraw.
        m_rowSource[y] = y;
        for (int above = 0; above < y; ++above) {
            if (m_rowDim[above] == m_rowDim[y]) {
                m_rowSource[y] = above;
                if (m_rowTwin[above] < 0) {
                    m_rowTwin[above] = y;
                }
                break;
            }
        }
    }
}

void EffectRenderer::planFixedTables() {
    kernels::Plan& p = m_plan;
    p.w = m_w;
    p.h = m_h;
    p.colP = m_colP.data();
    p.rowP = m_rowP.data();
    p.colSin = m_colSin.data();
    p.colCos = m_colCos.data();
    p.rowSin = m_rowSin.data();
    p.rowCos = m_rowCos.data();
    for (int i = 0; i < 6; ++i) {
        p.infernoCol[i] = m_inferno[i].data();
        p.infernoRow[i] = m_infernoRow[i].data();
    }
    p.heatBase = m_heatBase.data();
    p.head = m_head.data();
    p.cycle = m_cycle.data();
    p.glyphOffset = m_glyphOffset.data();
    p.rowCells = m_rowCells.data();
    p.rowCell = m_rowCell.data();
    p.glyphRow = m_glyphRow.data();
    p.coverage = m_coverage.data();
    p.atlasSize = static_cast<int>(m_atlas.coverage.size());
    p.dimGlyphs = m_dimGlyphs.data();
    p.glyphW = m_atlas.glyphW;
    p.cellColumns = m_cellColumns;
    p.scratch = m_matrixScratch.data();
    p.rowScratch = m_rowScratch.data();
    p.starIndex = m_starIndex.data();
    p.starColor = m_starColor.data();
    p.starSpan = m_starSpan.data();
    p.starWeights = m_starWeights.data();
    p.starStride = m_starStride;
    for (int i = 0; i < 3; ++i) {
        p.columns[i] = m_columns[i].data();
    }
    p.rowDim = m_rowDim.data();
    p.rowSource = m_rowSource.data();
    p.rowTwin = m_rowTwin.data();
    p.columnKinds = m_columnKinds.data();
}

const std::shared_ptr<FramePixels>& EffectRenderer::nextBuffer() {
    for (auto& slot : m_pool) {
        if (!slot) {
            slot = std::make_shared<FramePixels>(m_pool[0]->size(), 255);
            return slot;
        }
        if (slot.use_count() == 1) {
            return slot;
        }
    }
    // Every buffer is still held elsewhere: leave the oldest to its holders for good.
    std::rotate(m_pool.begin(), m_pool.begin() + 1, m_pool.end());
    m_pool.back() = std::make_shared<FramePixels>(m_pool[0]->size(), 255);
    return m_pool.back();
}

// Positions along the light: p = colP[x] + rowP[y], exactly as a pixel's projection.
void EffectRenderer::prepareAxis(double angle) {
    if (angle == m_axisAngle) {
        return;
    }
    m_axis = Axis(angle, m_w, m_h);
    for (int x = 0; x < m_w; ++x) {
        m_colP[x] = (((x + 0.5) / m_w) * m_axis.w) * m_axis.cosT;
    }
    for (int y = 0; y < m_h; ++y) {
        m_rowP[y] = (((y + 0.5) / m_h) * m_axis.h) * m_axis.sinT;
    }
    m_axisAngle = angle;
    m_sineAngle = std::numeric_limits<double>::quiet_NaN();
    kernels::Plan& p = m_plan;
    p.pMin = m_axis.pMin;
    p.invSpan = m_axis.invSpan;
    p.waveScale = m_axis.waveScale;
}

// A sine that is linear along the axis, 2 pi f (u + phase), split by angle addition into a
// column part (fixed for the angle) and a row part.
void EffectRenderer::prepareAxisSine(Effect effect, double angle) {
    if (effect == m_sineEffect && angle == m_sineAngle) {
        return;
    }
    // rainbowWave: 0.8 cycles over the axis; neonBreath: 0.36 turns of 2 pi per unit of u.
    const double kappa = effect == Effect::rainbowWave ? twoPi * 0.8 : twoPi * 0.36;
    for (int x = 0; x < m_w; ++x) {
        const double a = kappa * (m_axis.invSpan * m_colP[x]);
        m_colSin[x] = std::sin(a);
        m_colCos[x] = std::cos(a);
    }
    if (effect == Effect::neonBreath) {
        // Row part of 2 pi 0.36 (u - 0.5): fixed for the angle too.
        for (int y = 0; y < m_h; ++y) {
            const double a = kappa * (m_axis.invSpan * (m_rowP[y] - m_axis.pMin) - 0.5);
            m_rowSin[y] = std::sin(a);
            m_rowCos[y] = std::cos(a);
        }
    }
    m_sineEffect = effect;
    m_sineAngle = angle;
}

void EffectRenderer::prepareRainbow(const Params& params, double time) {
    const double s = time * 0.06;
    m_plan.k = params.width;
    m_plan.s = s;
    // The wobble 0.05 sin((0.8 u - 0.9 s) 2 pi): its row part moves with s every frame.
    for (int y = 0; y < m_h; ++y) {
        const double a = twoPi * (0.8 * (m_axis.invSpan * (m_rowP[y] - m_axis.pMin)) - 0.9 * s);
        m_rowSin[y] = std::sin(a);
        m_rowCos[y] = std::cos(a);
    }
}

void EffectRenderer::prepareNeon(double time) {
    const double a = time * 0.22;
    // Only the fraction of a breath matters to the cosine; keeping it small keeps it exact.
    const double phase = (a - std::floor(a)) * twoPi;
    m_plan.cosA = std::cos(phase);
    m_plan.sinA = std::sin(phase);
    m_plan.hueDrift = time * 0.03;
    m_plan.breathPhase = phase;
    planLevelTable();
}

// The neon breath's levels and the heartbeat's pulse, tabulated over the distance from the
// middle. The distance moves by 2 |cos| invSpan per pixel along a row. With nodes that far
// apart, or a whole fraction of it, every pixel of a row side sits at the same fraction between
// nodes. Nodes stay close enough for interpolation to stay far below a byte: a narrow frame
// steps coarsely, so it gets several nodes per pixel step. Where the table would not fit every
// pixel works out its own value.
void EffectRenderer::planLevelTable() {
    constexpr double finest = 0.0025;
    const double pixelStep = 2.0 * std::abs(m_axis.cosT * m_axis.invSpan);
    const double phases = std::max(1.0, std::ceil(pixelStep / finest));
    const double step = pixelStep / phases;
    const double reach = 1.0 + 40.0 * pixelStep; // both sides of the middle, and a vector
    const double count = std::ceil(2.0 * reach / step) + 4.0;
    const double stride = std::ceil(count / phases) + kernels::pad;
    const bool tabulate = !m_levels.empty() && pixelStep > 0.0 &&
                          phases * stride <= static_cast<double>(m_levels.size());
    m_plan.levels = tabulate ? m_levels.data() : nullptr;
    m_plan.levelsReversed = m_levelsReversed.data();
    m_plan.pulses = m_pulses.data();
    m_plan.pulsesReversed = m_pulsesReversed.data();
    m_plan.levelCount = tabulate ? static_cast<int>(count) : 0;
    m_plan.levelPhases = tabulate ? static_cast<int>(phases) : 1;
    m_plan.levelPhaseStride = tabulate ? static_cast<std::ptrdiff_t>(stride) : 0;
    m_plan.levelStart = -reach;
    m_plan.levelStep = step;
    m_plan.axisCos = m_axis.cosT;
}

// The trail's exponential split into a column and a row factor (see kernels::Plan). Each
// factor stays within e^+-(2 / lambda) or so; past e^600 they could overflow, so such frames
// work it out per pixel.
void EffectRenderer::prepareScanner() {
    kernels::Plan& p = m_plan;
    p.invSigma = 1.0 / p.sigma;
    p.tailColumns = nullptr;
    p.tailRows = nullptr;
    double reach = 0.0;
    for (int x : {0, m_w - 1}) {
        reach = std::max(reach, std::abs(m_colP[x] * m_axis.invSpan));
    }
    if (!((reach + 2.0) / p.lambda <= 600.0)) {
        return;
    }
    Table& columns = p.dir > 0.0 ? m_tailAhead : m_tailBack;
    if (m_tailAngle != m_axisAngle || m_tailLambda != p.lambda) {
        for (int x = 0; x < m_w; ++x) {
            const double u = m_colP[x] * m_axis.invSpan;
            m_tailAhead[x] = std::exp(u / p.lambda);
            m_tailBack[x] = std::exp(-u / p.lambda);
        }
        m_tailAngle = m_axisAngle;
        m_tailLambda = p.lambda;
    }
    for (int y = 0; y < m_h; ++y) {
        const double u = (m_rowP[y] - m_axis.pMin) * m_axis.invSpan;
        m_tailRows[y] = std::exp(p.dir * (u - p.pos) / p.lambda);
    }
    p.tailColumns = columns.data();
    p.tailRows = m_tailRows.data();
}

void EffectRenderer::prepareInferno(double time) {
    const double T = time * 1.4;
    for (int y = 0; y < m_h; ++y) {
        const double ny = (y + 0.5) / m_h;
        const double a = T * 2.3 + 1.6 * std::sin(ny * 6.0 + T * -3.1);
        const double b = ny * 11.0 + T * -1.9;
        const double c = T * 1.1 + ny * -4.0;
        m_infernoRow[0][y] = std::sin(a);
        m_infernoRow[1][y] = std::cos(a);
        m_infernoRow[2][y] = std::sin(b);
        m_infernoRow[3][y] = std::cos(b);
        m_infernoRow[4][y] = std::sin(c);
        m_infernoRow[5][y] = std::cos(c);
    }
}

void EffectRenderer::prepareMatrix(const Params& params, double t) {
    for (int col = 0; col < m_cellColumns; ++col) {
        m_head[col] = std::fmod(t * m_speed[col] + m_offset[col], m_cycle[col]);
    }
    const std::uint32_t tick = wrap32(t * 5.0);
    if (tick != m_glyphTick) {
        m_glyphTick = tick;
        const auto count = static_cast<std::uint32_t>(m_atlas.glyphCount);
        for (int row = 0; row < m_cellRows; ++row) {
            std::int32_t* offsets =
                m_glyphOffset.data() + static_cast<std::size_t>(row) * m_cellColumns;
            for (int col = 0; col < m_cellColumns; ++col) {
                const std::uint32_t gi = cellHash(static_cast<std::uint32_t>(row) * 104729u +
                                                  static_cast<std::uint32_t>(col) * 7919u +
                                                  (m_cellHash[col] & 3u) * tick) %
                                         count;
                offsets[col] = static_cast<std::int32_t>(gi) * m_atlas.glyphW;
            }
        }
    }
    const RGB whitened = params.color.mixed(RGB::white, 0.75);
    const RGB plain = params.color.mixed(RGB::white, 0.0);
    m_plan.whitened[0] = whitened.r;
    m_plan.whitened[1] = whitened.g;
    m_plan.whitened[2] = whitened.b;
    m_plan.color[0] = plain.r;
    m_plan.color[1] = plain.g;
    m_plan.color[2] = plain.b;
}

void EffectRenderer::prepareStarfield(double t) {
    int lit = 0;
    for (int i = 0; i < starCount; ++i) {
        const Star& star = m_stars[i];
        double phase = t / star.period + star.offset;
        phase -= std::trunc(phase);
        // Outside this window sin(phase pi)^6 stays below 0.0088: the star is dark.
        if (!(phase >= 0.15 && phase <= 0.85)) {
            continue;
        }
        // x^6 by multiplication is within a few ulps of pow; only near the threshold could
        // that decide differently whether a star shows.
        const double x = std::max(std::sin(phase * std::numbers::pi), 0.0);
        const double x2 = x * x;
        double twinkle = x2 * x2 * x2;
        if (std::abs(twinkle - 0.01) < 1e-9) {
            twinkle = std::pow(x, 6.0);
        }
        if (twinkle < 0.01) {
            continue;
        }
        const RGB color = m_starHues[i].mixed(RGB::white, twinkle * 0.5).scaled(twinkle);
        m_starIndex[lit] = i;
        m_starColor[3 * lit] = color.r;
        m_starColor[3 * lit + 1] = color.g;
        m_starColor[3 * lit + 2] = color.b;
        ++lit;
    }
    m_plan.starCount = lit;
}

// Every effect keeps its channels within [0, 1] for a colour within [0, 1], except that the
// starfield's stars add up past 1; with a brightness within [0, 1] the clamps then change
// nothing.
void EffectRenderer::setClamping(const Params& params, double time) {
    const auto unit = [](double v) { return v >= 0.0 && v <= 1.0; };
    const bool safe = std::isfinite(time) && std::isfinite(params.width) &&
                      std::isfinite(params.angle) && unit(params.brightness) &&
                      unit(params.color.r) && unit(params.color.g) && unit(params.color.b);
    m_plan.clampLow = !safe;
    m_plan.clampHigh = !safe || params.effect == Effect::starfield;
}

// Effects with one colour per row need no per-pixel work at all.
void EffectRenderer::fillRows(const Params& params, double time) {
    const double level = params.effect == Effect::breathing ? breath(time * 0.28) : 1.0;
    for (int y = 0; y < m_h; ++y) {
        RGB c = params.color;
        if (params.effect == Effect::breathing) {
            const double ny = (y + 0.5) / m_h;
            const double f = 1.0 + 2.0 * (-0.25 * std::abs(ny - 0.5));
            c = params.color.scaled(f * level);
        }
        m_column[y] = pixel(params.brightness, c);
    }
    m_plan.rowPixels = m_column.data();
    kernels::shade(m_plan);
}

Frame EffectRenderer::render(const Params& params, double time) {
    // Nothing below may turn an infinite or NaN time into an integer.
    if (!std::isfinite(time)) {
        time = 0.0;
    }
    const auto& buffer = nextBuffer();
    std::uint8_t* out = buffer->data();
    kernels::Plan& p = m_plan;
    p.effect = params.effect;
    p.out = out;
    p.brightness = params.brightness;
    setClamping(params, time);
    switch (params.effect) {
    case Effect::breathing:
    case Effect::solid: fillRows(params, time); return Frame(buffer, m_w, m_h);
    case Effect::rainbowWave:
        prepareAxis(params.angle);
        prepareAxisSine(params.effect, params.angle);
        prepareRainbow(params, time);
        break;
    case Effect::spectrumCycle:
        prepareAxis(params.angle);
        p.s = time * 0.04;
        break;
    case Effect::neonBreath:
        prepareAxis(params.angle);
        prepareAxisSine(params.effect, params.angle);
        prepareNeon(time);
        break;
    case Effect::heartbeat:
        prepareAxis(params.angle);
        p.beat = std::fmod(time, 1.6);
        p.color[0] = params.color.r;
        p.color[1] = params.color.g;
        p.color[2] = params.color.b;
        planLevelTable();
        break;
    case Effect::scanner: {
        prepareAxis(params.angle);
        constexpr double omega = 0.55;
        p.pos = std::sin(time * omega) * 0.47 + 0.5;
        p.dir = std::cos(time * omega) >= 0.0 ? 1.0 : -1.0;
        const double q = 1.0 / m_axis.extent;
        p.sigma = std::min(std::pow(q, 0.8) * 0.012, 0.2);
        p.lambda = std::min(std::pow(q, 0.5) * 0.09, 0.45);
        p.color[0] = params.color.r;
        p.color[1] = params.color.g;
        p.color[2] = params.color.b;
        prepareScanner();
        break;
    }
    case Effect::inferno: prepareInferno(time); break;
    case Effect::matrix: prepareMatrix(params, time); break;
    case Effect::starfield: prepareStarfield(time); break;
    }
    if (usesAngle(params.effect) && axisAcrossRows()) {
        shadeByRows(params.effect);
    } else {
        kernels::shade(p);
    }
    return Frame(buffer, m_w, m_h);
}

// With the light at 90 or 270 degrees a pixel's position along it moves less than 1e-12 of the
// frame from one end of a row to the other: far below what any byte can show.
bool EffectRenderer::axisAcrossRows() const {
    const double drift = std::max(std::abs(m_colP[0]), std::abs(m_colP[m_w - 1]));
    return drift * m_axis.invSpan < 1e-12;
}

// Whether every pixel of row y takes the same branches as its first one. The heartbeat's wrap
// and the comet's trail jump, so a row that straddles a jump is drawn pixel by pixel.
bool EffectRenderer::rowIsOneColour(Effect effect, int y) const {
    const double u0 = (m_colP[0] + m_rowP[y] - m_axis.pMin) * m_axis.invSpan;
    const double u1 = (m_colP[m_w - 1] + m_rowP[y] - m_axis.pMin) * m_axis.invSpan;
    if (effect == Effect::scanner) {
        const kernels::Plan& p = m_plan;
        return (p.dir * (u0 - p.pos) < 0.0) == (p.dir * (u1 - p.pos) < 0.0);
    }
    if (effect == Effect::heartbeat) {
        if ((u0 - 0.5 < 0.0) != (u1 - 0.5 < 0.0)) {
            return false; // the distance from the middle turns round inside the row
        }
        const double v0 = 1.6 + (m_plan.beat + 2.0 * std::abs(u0 - 0.5) * -0.35);
        const double v1 = 1.6 + (m_plan.beat + 2.0 * std::abs(u1 - 0.5) * -0.35);
        return (v0 >= 1.6) == (v1 >= 1.6) && (v0 >= 3.2) == (v1 >= 3.2);
    }
    return true; // the others are continuous along the light
}

// Draws one pixel per row and spreads it along the row; rows that cannot be one colour are
// drawn in full.
void EffectRenderer::shadeByRows(Effect effect) {
    kernels::Plan column = m_plan;
    column.w = 1;
    column.out = reinterpret_cast<std::uint8_t*>(m_column.data());
    kernels::shade(column);
    m_plan.rowPixels = m_column.data();
    kernels::fill(m_plan);
    for (int y = 0; y < m_h; ++y) {
        if (!rowIsOneColour(effect, y)) {
            kernels::Plan row = m_plan;
            row.h = 1;
            row.rowP += y;
            row.rowSin += y;
            row.rowCos += y;
            if (row.tailRows != nullptr) {
                row.tailRows += y;
            }
            row.out += static_cast<std::size_t>(y) * m_w * 4;
            kernels::shade(row);
        }
    }
}

} // namespace lumora
