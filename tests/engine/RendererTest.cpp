#include "engine/Axis.h"
#include "engine/EffectRenderer.h"
#include "engine/Effects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

using namespace lumora;

namespace {

Params solid(RGB color, double brightness = 1.0) {
    Params p;
    p.effect = Effect::solid;
    p.color = color;
    p.brightness = brightness;
    return p;
}

bool allAlphaOpaque(const Frame& frame) {
    for (std::size_t i = 3; i < frame.byteCount(); i += 4) {
        if (frame.data()[i] != 255) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(Renderer, RejectsEmptyFrames) {
    EXPECT_THROW(EffectRenderer(0, 30), std::invalid_argument);
    EXPECT_THROW(EffectRenderer(1085, 0), std::invalid_argument);
    EXPECT_THROW(EffectRenderer(-5, 10), std::invalid_argument);
}

TEST(Renderer, QuantisesClampsAndAppliesBrightness) {
    EffectRenderer renderer(7, 3);
    auto first = [&](const Params& p) { return renderer.render(p, 0.0).pixel(0, 0); };
    EXPECT_EQ(first(solid({0.5, 1.0, 1.7})), (std::array<std::uint8_t, 4>{128, 255, 255, 255}));
    EXPECT_EQ(first(solid({-0.2, std::nan(""), 0.4}, 2.0)),
              (std::array<std::uint8_t, 4>{0, 0, 204, 255}));
    EXPECT_EQ(first(solid({0.5, 0.25, 1.0}, 0.5)), (std::array<std::uint8_t, 4>{64, 32, 128, 255}));
    EXPECT_EQ(first(solid({1.0, 1.0, 1.0}, -1.0)), (std::array<std::uint8_t, 4>{0, 0, 0, 255}));
}

TEST(Renderer, EveryEffectAtZeroBrightnessIsOpaqueBlack) {
    EffectRenderer renderer(61, 9);
    for (Effect effect : allEffects) {
        Params p;
        p.effect = effect;
        p.brightness = 0.0;
        const Frame frame = renderer.render(p, 3.7);
        for (std::size_t i = 0; i < frame.byteCount(); ++i) {
            ASSERT_EQ(frame.data()[i], i % 4 == 3 ? 255 : 0) << rawValue(effect) << " byte " << i;
        }
    }
}

TEST(Renderer, EvaluatesEachPixelAtItsCentreInRowMajorOrder) {
    // The flames vary in both directions, so a misplaced sample shows.
    const int w = 1085, h = 30;
    EffectRenderer renderer(w, h);
    Params p;
    p.effect = Effect::inferno;
    const double t = 1.25;
    const Frame frame = renderer.render(p, t);
    const effects::Inferno shader(t);
    for (auto [x, y] : {std::pair{0, 0}, {w - 1, h - 1}, {w - 1, 0}, {0, h - 1}, {542, 17}}) {
        const RGB c = shader((x + 0.5) / w, (y + 0.5) / h);
        const auto px = frame.pixel(x, y);
        EXPECT_EQ(px[0], static_cast<int>(std::min(c.r, 1.0) * 255 + 0.5)) << x << "," << y;
        EXPECT_EQ(px[1], static_cast<int>(std::min(c.g, 1.0) * 255 + 0.5)) << x << "," << y;
    }
    EXPECT_EQ(renderer.render(p, 0.0).pixel(0, 0), (std::array<std::uint8_t, 4>{31, 0, 0, 255}))
        << "top-left flame pixel at time 0 is dark red";
}

TEST(Renderer, FramesAreSnapshotsThatLaterFramesNeverTouch) {
    EffectRenderer renderer(16, 4);
    const Frame red = renderer.render(solid({1, 0, 0}), 0);
    std::vector<Frame> held;
    for (int i = 0; i < 8; ++i) { // more frames held than the renderer keeps buffers
        held.push_back(renderer.render(solid({0, i / 8.0, 1}), 0));
    }
    EXPECT_EQ(red.pixel(3, 2), (std::array<std::uint8_t, 4>{255, 0, 0, 255}));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(held[i].pixel(0, 0)[1], static_cast<int>(i / 8.0 * 255 + 0.5)) << i;
        EXPECT_TRUE(allAlphaOpaque(held[i]));
    }
    const Frame again = renderer.render(solid({0, 0, 0}), 0);
    EXPECT_EQ(red.pixel(0, 0)[0], 255);
    EXPECT_EQ(again.width(), 16);
    EXPECT_EQ(again.height(), 4);
}

TEST(Renderer, SameInputsGiveSameBytesWhateverCameBefore) {
    EffectRenderer a(240, 20), b(240, 20);
    for (Effect effect : allEffects) {
        Params p;
        p.effect = effect;
        p.angle = 37.0;
        const Frame fromA = a.render(p, 12.34);
        Params other = p;
        other.effect = Effect::neonBreath;
        b.render(other, 99.0);
        const Frame fromB = b.render(p, 12.34);
        EXPECT_TRUE(fromA.sameBytes(fromB)) << rawValue(effect);
        EXPECT_TRUE(allAlphaOpaque(fromA)) << rawValue(effect);
    }
}

TEST(Renderer, FrameThatNobodyHoldsIsReusedWithoutGrowing) {
    EffectRenderer renderer(32, 8);
    const std::uint8_t* first = nullptr;
    {
        const Frame f = renderer.render(solid({1, 1, 1}), 0);
        first = f.data();
    }
    const Frame g = renderer.render(solid({0, 0, 0}), 0);
    EXPECT_EQ(g.data(), first);
}

TEST(LightAxis, CornersAndExtentForTheBar) {
    const Axis a0(0.0, 1085, 30);
    EXPECT_EQ(a0.pMin, 0.0);
    EXPECT_DOUBLE_EQ(a0.fraction(a0.project(0.25, 0.7)), 0.25);
    EXPECT_DOUBLE_EQ(a0.extent, 1.0);
    EXPECT_DOUBLE_EQ(a0.waveScale * a0.project(0.3, 0.9), 0.3);

    const Axis a180(180.0, 1085, 30);
    EXPECT_NEAR(a180.fraction(a180.project(0.25, 0.7)), 0.75, 1e-12);

    const Axis a90(90.0, 1085, 30);
    EXPECT_NEAR(a90.fraction(a90.project(0.9, 0.4)), 0.4, 1e-12);
    EXPECT_NEAR(a90.extent, 30.0 / 1085.0, 1e-12);
    EXPECT_NEAR(a90.waveScale * a90.project(0.1, 0.6), 0.6, 1e-12);

    const Axis a270(270.0, 1085, 30);
    EXPECT_NEAR(a270.fraction(a270.project(0.5, 0.25)), 0.75, 1e-12);

    // 45 degrees runs from the top-left corner to the bottom-right one.
    const Axis a45(45.0, 100, 100);
    EXPECT_NEAR(a45.fraction(a45.project(0, 0)), 0.0, 1e-12);
    EXPECT_NEAR(a45.fraction(a45.project(1, 1)), 1.0, 1e-12);
    EXPECT_NEAR(a45.fraction(a45.project(1, 0)), 0.5, 1e-12);
}
