#include "platform/QtGlyphRasterizer.h"

#include "engine/GlyphAtlas.h"
#include "platform/GlyphFonts.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <vector>

namespace lumora {
namespace {

constexpr std::u32string_view kGlyphs = GlyphAtlas::glyphSet;
using Atlas = std::vector<std::uint8_t>;

// Cells of w x h with no row padding, as the renderer asks for them.
Atlas rasterise(int w, int h, std::u32string_view glyphs = kGlyphs) {
    const int row = w * static_cast<int>(glyphs.size());
    Atlas atlas(static_cast<std::size_t>(row) * h, 0);
    EXPECT_TRUE(QtGlyphRasterizer().drawGlyphs(glyphs, w, h, 0.92 * h, atlas.data(), row));
    return atlas;
}

// Total coverage of cell i and its coverage-weighted centre, from the cell's top-left corner.
std::array<double, 3> inkOf(const Atlas& atlas, int w, int h, int i) {
    const std::size_t row = atlas.size() / static_cast<std::size_t>(h);
    double sum = 0, cx = 0, cy = 0;
    for (std::size_t p = 0; p < atlas.size(); ++p) {
        const double x = static_cast<double>(p % row) - i * w + 0.5, y = (p / row) + 0.5;
        const double v = x > 0 && x < w ? atlas[p] : 0.0;
        sum += v, cx += v * x, cy += v * y;
    }
    return {sum, cx / std::max(sum, 1.0), cy / std::max(sum, 1.0)};
}

TEST(QtGlyphRasterizer, EveryGlyphIsInkedCentredUprightAndRepeatable) {
    for (auto [w, h] : {std::pair{7, 10}, std::pair{5, 7}}) {
        const Atlas atlas = rasterise(w, h);
        double digitsY = 0;
        for (int i = 0; i < static_cast<int>(kGlyphs.size()); ++i) {
            const auto [sum, x, y] = inkOf(atlas, w, h, i);
            EXPECT_GT(sum, 255.0 * 3)
                << "glyph " << i << " of height " << h << " is (nearly) blank";
            if (i < 10) {
                EXPECT_NEAR(x, w / 2.0, 0.5) << "digit " << i;
                digitsY += y / 10;
            }
        }
        EXPECT_NEAR(digitsY, h / 2.0, 0.5);
        // A 7 carries its weight at the top: an atlas drawn upside down would show it low.
        EXPECT_LT(inkOf(atlas, w, h, 7)[2], h / 2.0 - 0.3);
        EXPECT_EQ(atlas, rasterise(w, h));
    }
}

TEST(QtGlyphRasterizer, NoGlyphIsTheMissingGlyphBox) {
    GlyphFonts fonts(9.2);
    for (char32_t c : kGlyphs) {
        EXPECT_NE(fonts.fontFor(c).glyphIndexesForString(QString::fromUcs4(&c, 1)).value(0), 0u)
            << "no glyph for U+" << std::hex << static_cast<unsigned>(c);
    }
}

TEST(QtGlyphRasterizer, RefusesBadBuffersAndWarnsOnceAboutMissingGlyphs) {
    // U+10FFFD is private use in the last plane: no font has it. Two draws lack it, one warning.
    static int warnings = 0;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
            warnings += type == QtWarningMsg;
        });
    const Atlas atlas = rasterise(7, 10, U"0\U0010FFFD");
    Atlas untouched(7 * 30 * 10, 0xAB);
    EXPECT_FALSE(QtGlyphRasterizer().drawGlyphs(kGlyphs, 7, 10, 9.2, untouched.data(), 7 * 30 - 1));
    EXPECT_FALSE(QtGlyphRasterizer().drawGlyphs(U"\U0010FFFD", 7, 10, 9.2, untouched.data(), 7));
    qInstallMessageHandler(previous);

    EXPECT_EQ(untouched, Atlas(untouched.size(), 0xAB));
    EXPECT_EQ(warnings, 1);
    EXPECT_GT(inkOf(atlas, 7, 10, 0)[0], 0.0);
    EXPECT_EQ(inkOf(atlas, 7, 10, 1)[0], 0.0);
}

} // namespace
} // namespace lumora
