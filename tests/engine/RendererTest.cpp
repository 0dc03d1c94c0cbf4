#include "engine/Axis.h"
#include "engine/EffectRenderer.h"
#include "tests/engine/PatternRasterizer.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <stdexcept>

using namespace lumora;

namespace {

using Pixel = std::array<std::uint8_t, 4>;

Params solid(RGB color, double brightness = 1.0) {
    return {Effect::solid, brightness, 0.4, color, 90.0};
}

} // namespace

TEST(Renderer, RejectsEmptyFrames) {
    EXPECT_THROW(EffectRenderer(0, 30), std::invalid_argument);
    EXPECT_THROW(EffectRenderer(1085, -1), std::invalid_argument);
}

// Under the sanitizer build a non-finite value converted to an integer stops the test.
TEST(Renderer, AnyTimeAtAllDrawsAFrame) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double huge = std::numeric_limits<double>::max();
    EffectRenderer renderer(64, 12);
    for (Effect effect : allEffects) {
        const Params params{effect, 1.0, 0.4, RGB{0.2, 0.5, 0.9}, 90.0};
        for (double time : {inf, -inf, std::nan(""), huge, -huge, 1e300}) {
            EXPECT_FALSE(renderer.render(params, time).isNull()) << rawValue(effect) << " " << time;
        }
        // What is not a time draws as the start.
        const Frame atInfinity = renderer.render(params, inf);
        EXPECT_TRUE(atInfinity.sameBytes(renderer.render(params, 0.0))) << rawValue(effect);
    }
}

TEST(Renderer, AppliesBrightnessThenClampsAndRounds) {
    EffectRenderer renderer(7, 3);
    auto first = [&](const Params& p) { return renderer.render(p, 0.0).pixel(0, 0); };
    EXPECT_EQ(first(solid({0.5, 1.0, 1.7})), (Pixel{128, 255, 255, 255}));
    EXPECT_EQ(first(solid({-0.2, std::nan(""), 0.4}, 2.0)), (Pixel{0, 0, 204, 255}));
    EXPECT_EQ(first(solid({0.5, 0.25, 1.0}, 0.5)), (Pixel{64, 32, 128, 255}));
    for (Effect effect : allEffects) {
        const Frame frame = renderer.render({effect, 0.0, 0.4, RGB::white, 37.0}, 3.7);
        for (std::size_t i = 0; i < frame.byteCount(); ++i) {
            ASSERT_EQ(frame.data()[i], i % 4 == 3 ? 255 : 0) << rawValue(effect) << " byte " << i;
        }
    }
}

TEST(Renderer, FramesAreSnapshotsAndDependOnlyOnTheirInputs) {
    EffectRenderer renderer(16, 4);
    const Frame red = renderer.render(solid({1, 0, 0}), 0);
    std::vector<Frame> held; // more frames held at once than the renderer keeps buffers
    for (int i = 0; i < 8; ++i) {
        held.push_back(renderer.render(solid({0, i / 8.0, 1}), 0));
    }
    EXPECT_EQ(red.pixel(3, 2), (Pixel{255, 0, 0, 255}));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(held[i].pixel(0, 0)[1], static_cast<int>(i / 8.0 * 255 + 0.5)) << i;
    }

    // Whatever either renderer drew before, another effect at another angle included, leaves
    // no trace; glyphs, so the matrix has a picture to get wrong.
    PatternRasterizer glyphs;
    EffectRenderer a(240, 20, &glyphs), b(240, 20, &glyphs);
    for (Effect effect : allEffects) {
        const Params p{effect, 0.8, 0.7, RGB{0.3, 0.6, 0.9}, 37.0};
        const Frame fromA = a.render(p, 12.34);
        b.render({Effect::neonBreath, 1.0, 0.4, RGB::white, 0.0}, 99.0);
        a.render({Effect::neonBreath, 1.0, 0.4, RGB::white, 200.0}, 3.0);
        a.render({Effect::rainbowWave, 1.0, 2.0, RGB::white, 10.0}, 9.0);
        EXPECT_TRUE(fromA.sameBytes(b.render(p, 12.34))) << rawValue(effect);
        EXPECT_TRUE(fromA.sameBytes(a.render(p, 12.34))) << rawValue(effect);
    }
}

TEST(LightAxis, RunsAlongTheAngleFromCornerToCorner) {
    struct Case {
        double degrees, nx, ny, u;
    };
    for (Case c : {Case{0, 0.25, 0.7, 0.25},
                   {180, 0.25, 0.7, 0.75},
                   {90, 0.9, 0.4, 0.4},
                   {270, 0.5, 0.25, 0.75}}) {
        const Axis axis(c.degrees, 1085, 30);
        EXPECT_NEAR(axis.fraction(axis.project(c.nx, c.ny)), c.u, 1e-12) << c.degrees;
    }
    EXPECT_DOUBLE_EQ(Axis(0, 1085, 30).extent, 1.0);
    EXPECT_NEAR(Axis(90, 1085, 30).extent, 30.0 / 1085.0, 1e-12);
    const Axis down(90.0, 1085, 30);
    EXPECT_NEAR(down.waveScale * down.project(0.1, 0.6), 0.6, 1e-12);
    const Axis diagonal(45.0, 100, 100);
    EXPECT_NEAR(diagonal.fraction(diagonal.project(1, 0)), 0.5, 1e-12);
}
