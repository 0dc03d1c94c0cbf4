// Worked values of the effects: exact bytes at known places and times.

#include "engine/EffectRenderer.h"
#include "tests/engine/reference/ReferenceEffects.h"
#include "tests/engine/PatternRasterizer.h"

#include <gtest/gtest.h>

using namespace lumora;

namespace {

using Bytes = std::array<std::uint8_t, 3>;
const RGB green{68.0 / 255.0, 214.0 / 255.0, 44.0 / 255.0};

Bytes rgb(const Frame& frame, int x, int y) {
    const auto p = frame.pixel(x, y);
    return {p[0], p[1], p[2]};
}

// Brightness 1 and angle 0 unless said otherwise, as the worked values assume.
Frame frameAt(Effect effect, double t, RGB color = green, int w = 1085, int h = 30,
              double angle = 0.0, GlyphRasterizer* rasterizer = nullptr) {
    EffectRenderer renderer(w, h, rasterizer);
    return renderer.render({effect, 1.0, 0.4, color, angle}, t);
}

} // namespace

TEST(EffectPixels, WorkedValues) {
    struct Case {
        Effect effect;
        double t;
        RGB color;
        int w, h, x, y;
        Bytes expected;
    };
    const double breathPeak = 0.5 / 0.28;
    const Case cases[] = {
        {Effect::rainbowWave, 0, green, 1085, 30, 0, 0, {255, 0, 0}},
        {Effect::rainbowWave, 0, green, 1085, 30, 542, 29, {159, 255, 0}},
        {Effect::spectrumCycle, 0, green, 1085, 30, 0, 15, {255, 0, 0}},
        {Effect::spectrumCycle, 0, green, 1085, 30, 1084, 15, {255, 76, 0}},
        {Effect::spectrumCycle, 25.0 / 3.0, green, 1085, 30, 0, 15, {0, 255, 0}},
        {Effect::breathing, 0, RGB::white, 1085, 30, 0, 14, {8, 8, 8}},
        {Effect::breathing, 0, RGB::white, 1085, 30, 1084, 0, {6, 6, 6}},
        {Effect::breathing, breathPeak, RGB::white, 1085, 30, 542, 14, {253, 253, 253}},
        {Effect::breathing, breathPeak, RGB::white, 1085, 30, 0, 0, {193, 193, 193}},
        // At the peak of a breath the middle bleaches to saturation 0.45.
        {Effect::neonBreath, 0.5 / 0.22, green, 1085, 30, 542, 3, {255, 187, 140}},
        // On the middle column the local beat time is the time itself.
        {Effect::heartbeat, 0.12, green, 1085, 30, 542, 10, {141, 221, 128}},
        {Effect::heartbeat, 0.4, green, 1085, 30, 542, 10, {55, 135, 41}},
        {Effect::heartbeat, 1.0, green, 1085, 30, 542, 10, {3, 11, 2}},
        // Frames sized so the worked points of the flames are pixel centres.
        {Effect::inferno, 0, green, 1, 1, 0, 0, {255, 33, 0}},
        {Effect::inferno, 0, green, 1085, 30, 0, 0, {31, 0, 0}},
        {Effect::inferno, 1, green, 2, 5, 0, 4, {255, 255, 111}},
        // The comet is in the middle heading right: ahead of it only the 4 % glow.
        {Effect::scanner, 0, green, 1085, 30, 542 + 108, 15, {3, 9, 2}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rgb(frameAt(c.effect, c.t, c.color, c.w, c.h), c.x, c.y), c.expected)
            << rawValue(c.effect) << " t=" << c.t << " at " << c.x << "," << c.y;
    }
    EffectRenderer renderer(1085, 30);
    for (double t : {0.0, 1e5}) {
        const Frame solid = renderer.render({Effect::solid, 0.5, 0.4, {0.5, 0.25, 1.0}, 37.0}, t);
        EXPECT_EQ(rgb(solid, 1084, 29), (Bytes{64, 32, 128}));
    }
}

TEST(EffectPixels, LightFollowsTheAngle) {
    // Turned to 90 degrees the heartbeat starts on the middle rows, the same in every column,
    // and reaches the edges 0.35 later.
    const Frame thump = frameAt(Effect::heartbeat, 0.12, green, 1085, 30, 90.0);
    EXPECT_EQ(rgb(thump, 0, 14), rgb(thump, 1084, 14));
    EXPECT_GT(rgb(thump, 0, 14)[1], rgb(thump, 0, 0)[1]);
    const Frame later = frameAt(Effect::heartbeat, 0.12 + 0.35, green, 1085, 30, 90.0);
    EXPECT_GT(rgb(later, 0, 0)[1], rgb(later, 0, 14)[1]);

    // The comet's trail lies behind it, on the left at time 0.
    EXPECT_GT(rgb(frameAt(Effect::scanner, 0.0), 542 - 108, 15)[1], 30);
    auto sizes = [](double angle, int w, int h) {
        const reference::Scanner s({Effect::scanner, 1, 0.4, green, angle}, 0.0, w, h);
        return std::pair{s.sigma, s.lambda};
    };
    EXPECT_NEAR(sizes(0, 1085, 30).first, 0.012, 1e-12);
    EXPECT_NEAR(sizes(0, 1085, 30).second, 0.09, 1e-12);
    EXPECT_EQ(sizes(90, 1085, 30), (std::pair{0.2, 0.45}));
    EXPECT_NEAR(sizes(90, 240, 20).first, 0.0876, 5e-5);
    EXPECT_NEAR(sizes(90, 240, 20).second, 0.3118, 5e-5);
}

TEST(EffectPixels, FlamesStayOnTheirRamp) {
    EffectRenderer renderer(240, 20);
    for (double t : {0.0, 0.7, 3.3, 250.5}) {
        const Frame frame = renderer.render({Effect::inferno, 1.0, 0.4, green, 0.0}, t);
        for (int i = 0; i < 240 * 20; ++i) {
            const Bytes b = rgb(frame, i % 240, i / 240);
            ASSERT_LE(b[2], 204) << "blue above 0.8 at pixel " << i << " t=" << t;
            ASSERT_LE(b[1], b[0]) << "green above red at pixel " << i << " t=" << t;
        }
    }
}

TEST(EffectPixels, MatrixPicksGlyphsByCellHash) {
    EXPECT_EQ(reference::cellHash(0 + 17), 0x8474AA4Eu);
    EXPECT_EQ(reference::cellHash(1 + 17), 0xC80356ACu);
    EXPECT_EQ(reference::cellHash(154 + 17), 0x67861B1Fu);
    // At tick 0, cell (row 0, column 0) shows glyph 0 and the cell below it glyph 24: the
    // pattern's hole shows exactly where that glyph's hole is.
    PatternRasterizer rasterizer;
    const Frame frame = frameAt(Effect::matrix, 0.1, RGB::white, 1085, 30, 0.0, &rasterizer);
    for (auto [row, glyph] : {std::pair{0, 0}, std::pair{1, 24}}) {
        for (int i = 0; i < 70; ++i) {
            EXPECT_EQ(rgb(frame, i % 7, row * 10 + i / 7)[0] == 0,
                      PatternRasterizer::isHole(glyph, i % 7, i / 7, 7, 10))
                << "glyph " << glyph << " pixel " << i;
        }
    }
}

TEST(EffectPixels, StarfieldTwinklesOverDeepSpace) {
    EffectRenderer renderer(1085, 30);
    std::vector<RGB> columns(1085);
    reference::fillStarColumns(renderer.stars(), 0.0, columns);
    const Frame frame = renderer.render({Effect::starfield, 1.0, 0.4, green, 0.0}, 0.0);
    int dark = 0;
    for (int x = 0; x < 1085; ++x) {
        if (columns[x] == RGB{0.015, 0.0, 0.045}) {
            ++dark;
            EXPECT_EQ(rgb(frame, x, 14), (Bytes{4, 0, 11}));
            EXPECT_EQ(rgb(frame, x, 0), (Bytes{3, 0, 8}));
        }
    }
    EXPECT_TRUE(dark > 100 && dark < 1000) << dark;
    // The first star (phase 0.70222, twinkle 0.27193) is lit at time 0.
    EXPECT_GT(rgb(frame, static_cast<int>(renderer.stars()[0].u * 1085), 14)[0], 30);
}
