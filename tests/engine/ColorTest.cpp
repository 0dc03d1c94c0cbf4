#include "engine/RGB.h"

#include <gtest/gtest.h>

using namespace lumora;

namespace {
void expectNear(const RGB& a, const RGB& b) {
    EXPECT_NEAR(a.r, b.r, 1e-12);
    EXPECT_NEAR(a.g, b.g, 1e-12);
    EXPECT_NEAR(a.b, b.b, 1e-12);
}
} // namespace

TEST(Hsv, PrimariesAndWrapping) {
    EXPECT_EQ(RGB::hsv(0, 1, 1), (RGB{1, 0, 0}));
    expectNear(RGB::hsv(1.0 / 3.0, 1, 1), RGB{0, 1, 0});
    EXPECT_EQ(RGB::hsv(0.75, 1, 1), (RGB{0.5, 0, 1}));
    EXPECT_EQ(RGB::hsv(-0.25, 1, 1), RGB::hsv(0.75, 1, 1));
    EXPECT_EQ(RGB::hsv(2.0, 1, 1), RGB::hsv(0, 1, 1));
    EXPECT_EQ(RGB::hsv(-3.0, 1, 1), RGB::hsv(0, 1, 1));
}

TEST(Hsv, ZeroSaturationIsGreyForEveryHue) {
    for (double h : {0.0, 0.1, 0.5, 0.99, 7.3, -2.6}) {
        EXPECT_EQ(RGB::hsv(h, 0, 0.4), (RGB{0.4, 0.4, 0.4})) << h;
    }
}

TEST(Hsv, HueJustBelowAWholeTurnStaysInRange) {
    // (h - floor(h)) * 6 rounds to exactly 6 here: the sector must wrap to 0, not run off.
    const double h = -1e-17;
    const RGB c = RGB::hsv(h, 1, 1);
    EXPECT_GE(c.r, 0.0);
    EXPECT_LE(c.r, 1.0);
    EXPECT_EQ(c.r, 1.0);
}

TEST(ColorArithmetic, MixAndScale) {
    const RGB a{0.2, 0.4, 0.6};
    EXPECT_EQ(a.mixed(RGB::white, 0.0), a);
    expectNear(a.mixed(RGB::white, 1.0), RGB::white);
    expectNear(a.mixed(RGB::black, 0.5), RGB{0.1, 0.2, 0.3});
    EXPECT_EQ(a.scaled(0.0), RGB::black);
    // Neither clamps: the renderer does that once.
    expectNear(a.scaled(3.0), RGB{0.6, 1.2, 1.8});
    expectNear(a.mixed(RGB::white, 2.0), RGB{1.8, 1.6, 1.4});
}

TEST(HexText, FormatsUpperCaseWithHalfUpRounding) {
    EXPECT_EQ(RGB::white.hex(), "FFFFFF");
    EXPECT_EQ(RGB::black.hex(), "000000");
    EXPECT_EQ((RGB{0.5, 0.5, 0.5}).hex(), "808080");
    // Out-of-range or broken channels never come from the program but must not misbehave.
    EXPECT_EQ((RGB{1.5, -0.5, std::nan("")}).hex(), "FF0000");
}

TEST(HexText, ParsesSixDigitsInEitherCase) {
    const RGB expected{68 / 255.0, 214 / 255.0, 44 / 255.0};
    EXPECT_EQ(RGB::fromHex("44D62C"), expected);
    EXPECT_EQ(RGB::fromHex("44d62c"), expected);
    EXPECT_EQ(RGB::fromHex("44d62c")->hex(), "44D62C");
    EXPECT_EQ(RGB::fromHex("+4D62C"), RGB::fromHex("04D62C"));
    EXPECT_EQ(RGB::fromHex("-00000"), RGB::black);
}

TEST(HexText, RejectsAnythingElse) {
    for (const char* bad : {"#44D62C", "44D62", "44D62CC", "0x1234", "GGGGGG", "44 62C", "-00001",
                            "", "+-1234", "44D62\n", " 44D62"}) {
        EXPECT_FALSE(RGB::fromHex(bad).has_value()) << '"' << bad << '"';
    }
}

TEST(HexText, EveryByteRoundTrips) {
    for (int v = 0; v < 256; ++v) {
        char text[7];
        std::snprintf(text, sizeof text, "%02X%02X%02X", v, 255 - v, v / 2);
        const auto c = RGB::fromHex(text);
        ASSERT_TRUE(c.has_value());
        EXPECT_EQ(c->hex(), text);
    }
}
