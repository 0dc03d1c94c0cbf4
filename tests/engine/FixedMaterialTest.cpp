#include "engine/EffectRenderer.h"
#include "engine/GlyphAtlas.h"
#include "engine/StarTable.h"

#include <gtest/gtest.h>

using namespace lumora;

namespace {

// Fills each cell with its glyph index + 1, or fails on demand.
class PatternRasterizer : public GlyphRasterizer {
public:
    explicit PatternRasterizer(bool fail = false) : m_fail(fail) {}
    bool drawGlyphs(std::u32string_view glyphs, int cellW, int cellH, double pixelSize,
                    std::uint8_t* atlas, int bytesPerRow) override {
        lastPixelSize = pixelSize;
        calls++;
        for (std::size_t i = 0; i < glyphs.size(); ++i) {
            for (int y = 0; y < cellH; ++y) {
                for (int x = 0; x < cellW; ++x) {
                    atlas[y * bytesPerRow + static_cast<int>(i) * cellW + x] =
                        static_cast<std::uint8_t>(i + 1);
                }
            }
        }
        return !m_fail;
    }
    double lastPixelSize = 0;
    int calls = 0;

private:
    bool m_fail;
};

} // namespace

TEST(StarTable, SeventyStarsFromTheFixedSeed) {
    const StarTable stars = makeStarTable();
    ASSERT_EQ(stars.size(), 70u);
    EXPECT_NEAR(stars[0].u, 0.1754598, 5e-8);
    EXPECT_NEAR(stars[0].period, 4.5310792, 5e-8);
    EXPECT_NEAR(stars[0].offset, 0.7022181, 5e-8);
    EXPECT_NEAR(stars[0].hue, 0.7359895, 5e-8);
    for (const Star& star : stars) {
        EXPECT_GE(star.u, 0.0);
        EXPECT_LT(star.u, 1.0);
        EXPECT_GE(star.period, 2.2);
        EXPECT_LT(star.period, 5.7);
        EXPECT_GE(star.offset, 0.0);
        EXPECT_LT(star.offset, 1.0);
        EXPECT_GE(star.hue, 0.0);
        EXPECT_LT(star.hue, 1.0);
    }
    EXPECT_EQ(makeStarTable(), stars);
    EXPECT_EQ(EffectRenderer(7, 3).stars(), EffectRenderer(1085, 30).stars());
}

TEST(GlyphAtlas, CellSizeFollowsTheFrameHeight) {
    struct Case {
        int height, w, h;
    };
    for (Case c : {Case{30, 7, 10}, {20, 5, 7}, {60, 14, 20}, {10, 4, 6}, {19, 4, 6}, {1, 4, 6}}) {
        const GlyphAtlas atlas = GlyphAtlas::build(c.height, nullptr);
        EXPECT_EQ(atlas.glyphW, c.w) << c.height;
        EXPECT_EQ(atlas.glyphH, c.h) << c.height;
        EXPECT_EQ(atlas.glyphCount, 30);
        EXPECT_EQ(atlas.coverage.size(), static_cast<std::size_t>(c.w * 30 * c.h));
    }
}

TEST(GlyphAtlas, GlyphSetIsDigitsThenHalfWidthKatakana) {
    const auto set = GlyphAtlas::glyphSet;
    ASSERT_EQ(set.size(), 30u);
    EXPECT_EQ(set[0], U'0');
    EXPECT_EQ(set[9], U'9');
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(set[10 + i], static_cast<char32_t>(0xFF71 + i));
    }
}

TEST(GlyphAtlas, DrawnByTheRasterizerAtTheTextSize) {
    PatternRasterizer rasterizer;
    const GlyphAtlas atlas = GlyphAtlas::build(30, &rasterizer);
    EXPECT_EQ(rasterizer.calls, 1);
    EXPECT_DOUBLE_EQ(rasterizer.lastPixelSize, 10 * 0.92);
    EXPECT_EQ(atlas.at(0, 0), 1);
    EXPECT_EQ(atlas.at(7 * 29 + 6, 9), 30);
}

TEST(GlyphAtlas, WithoutDrawingTheMatrixIsBlack) {
    PatternRasterizer failing(true);
    Params p;
    p.effect = Effect::matrix;
    p.color = RGB::white;
    for (GlyphRasterizer* r : {static_cast<GlyphRasterizer*>(nullptr),
                               static_cast<GlyphRasterizer*>(&failing)}) {
        EffectRenderer renderer(1085, 30, r);
        for (std::uint8_t b : renderer.glyphAtlas().coverage) {
            ASSERT_EQ(b, 0);
        }
        const Frame frame = renderer.render(p, 2.3);
        for (std::size_t i = 0; i < frame.byteCount(); ++i) {
            ASSERT_EQ(frame.data()[i], i % 4 == 3 ? 255 : 0);
        }
    }
    // And with glyphs, it is not.
    PatternRasterizer drawing;
    EffectRenderer lit(1085, 30, &drawing);
    const Frame frame = lit.render(p, 2.3);
    int nonBlack = 0;
    for (std::size_t i = 0; i < frame.byteCount(); i += 4) {
        nonBlack += frame.data()[i] != 0;
    }
    EXPECT_GT(nonBlack, 1000);
}
