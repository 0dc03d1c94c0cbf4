#include "engine/EffectRenderer.h"
#include "tests/engine/PatternRasterizer.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace lumora;

TEST(StarTable, SeventyStarsFromTheFixedSeed) {
    const StarTable stars = makeStarTable();
    EXPECT_NEAR(stars[0].u, 0.1754598, 5e-8);
    EXPECT_NEAR(stars[0].period, 4.5310792, 5e-8);
    EXPECT_NEAR(stars[0].offset, 0.7022181, 5e-8);
    EXPECT_NEAR(stars[0].hue, 0.7359895, 5e-8);
    for (const Star& s : stars) {
        EXPECT_TRUE(s.u >= 0 && s.u < 1 && s.offset >= 0 && s.offset < 1 && s.hue >= 0 &&
                    s.hue < 1 && s.period >= 2.2 && s.period < 5.7);
    }
    EXPECT_EQ(EffectRenderer(7, 3).stars(), EffectRenderer(1085, 30).stars());
}

TEST(GlyphAtlas, CellSizeFollowsTheFrameHeight) {
    struct Case {
        int height, w, h;
    };
    for (Case c : {Case{30, 7, 10}, {20, 5, 7}, {60, 14, 20}, {10, 4, 6}, {19, 4, 6}}) {
        const GlyphAtlas atlas = GlyphAtlas::build(c.height, nullptr);
        EXPECT_EQ(atlas.glyphW, c.w) << c.height;
        EXPECT_EQ(atlas.glyphH, c.h) << c.height;
        EXPECT_EQ(atlas.coverage.size(), static_cast<std::size_t>(c.w * 30 * c.h));
    }
    PatternRasterizer rasterizer;
    GlyphAtlas::build(30, &rasterizer);
    EXPECT_DOUBLE_EQ(rasterizer.lastPixelSize, 10 * 0.92);
}

TEST(GlyphAtlas, WithoutGlyphsTheMatrixIsBlack) {
    PatternRasterizer failing(false);
    const Params p{Effect::matrix, 1.0, 0.4, RGB::white, 90.0};
    for (GlyphRasterizer* r :
         {static_cast<GlyphRasterizer*>(nullptr), static_cast<GlyphRasterizer*>(&failing)}) {
        EffectRenderer renderer(1085, 30, r);
        const Frame frame = renderer.render(p, 2.3);
        for (std::size_t i = 0; i < frame.byteCount(); ++i) {
            ASSERT_EQ(frame.data()[i], i % 4 == 3 ? 255 : 0);
        }
    }
    PatternRasterizer drawing;
    EffectRenderer lit(1085, 30, &drawing);
    const Frame frame = lit.render(p, 2.3);
    EXPECT_GT(std::count_if(frame.data(), frame.data() + frame.byteCount(),
                            [](std::uint8_t b) { return b != 0 && b != 255; }),
              1000);
}
