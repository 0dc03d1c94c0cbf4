#include "engine/Effect.h"
#include "engine/Params.h"
#include "engine/RGB.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>

using namespace lumora;

TEST(Catalogue, RawValuesAreExactAndInCatalogueOrder) {
    EXPECT_EQ(allEffects.front(), Effect::rainbowWave);
    EXPECT_EQ(allEffects.back(), Effect::solid);
    std::string flags;
    for (Effect effect : allEffects) {
        EXPECT_EQ(effectFromRawValue(rawValue(effect)), effect);
        flags += std::to_string(usesColor(effect)) + std::to_string(usesWidth(effect)) +
                 std::to_string(usesAngle(effect)) + " ";
    }
    // Which tuning controls each effect shows, in catalogue order.
    EXPECT_EQ(flags, "011 001 100 001 101 101 000 100 000 100 ");
    for (const char* bad : {"RainbowWave", "rainbow", "", "plasma", "solid "}) {
        EXPECT_FALSE(effectFromRawValue(bad).has_value()) << bad;
    }
}

TEST(Colour, HsvWrapsHueAndKeepsSaturationAndValue) {
    EXPECT_EQ(RGB::hsv(0, 1, 1), (RGB{1, 0, 0}));
    EXPECT_NEAR(RGB::hsv(1.0 / 3.0, 1, 1).g, 1.0, 1e-12);
    EXPECT_NEAR(RGB::hsv(1.0 / 3.0, 1, 1).r, 0.0, 1e-12);
    EXPECT_EQ(RGB::hsv(0.75, 1, 1), (RGB{0.5, 0, 1}));
    EXPECT_EQ(RGB::hsv(-0.25, 1, 1), RGB::hsv(0.75, 1, 1));
    EXPECT_EQ(RGB::hsv(2.0, 1, 1), RGB::hsv(0, 1, 1));
    // Just below a whole turn the sector rounds to 6 and must wrap to red.
    EXPECT_EQ(RGB::hsv(-1e-17, 1, 1), (RGB{1, 0, 0}));
    for (double h : {0.0, 0.1, 0.99, 7.3, -2.6}) {
        EXPECT_EQ(RGB::hsv(h, 0, 0.4), (RGB{0.4, 0.4, 0.4})) << h;
    }
}

TEST(Colour, MixAndScaleNeverClamp) {
    const RGB a{0.2, 0.4, 0.6};
    EXPECT_EQ(a.mixed(RGB::white, 0.0), a);
    EXPECT_NEAR(a.mixed(RGB::white, 1.0).r, 1.0, 1e-15);
    EXPECT_NEAR(a.mixed(RGB::white, 2.0).r, 1.8, 1e-15);
    EXPECT_EQ(a.scaled(0.0), RGB::black);
    EXPECT_NEAR(a.scaled(3.0).b, 1.8, 1e-15);
    EXPECT_EQ(cornerRadius(1.0, 30.0), 15.0);
    EXPECT_EQ(cornerRadius(0.0, 30.0), 0.0);
}

TEST(Colour, HexTextRoundTripsSixDigitsOnly) {
    EXPECT_EQ(RGB::white.hex(), "FFFFFF");
    EXPECT_EQ((RGB{0.5, 0.5, 0.5}).hex(), "808080");
    EXPECT_EQ((RGB{1.5, -0.5, std::nan("")}).hex(), "FF0000"); // must not misbehave
    const RGB expected{68 / 255.0, 214 / 255.0, 44 / 255.0};
    EXPECT_EQ(RGB::fromHex("44D62C"), expected);
    EXPECT_EQ(RGB::fromHex("44d62c"), expected);
    EXPECT_EQ(RGB::fromHex("44d62c")->hex(), "44D62C");
    // The unsigned-integer grammar: one optional sign, a minus only in front of zero.
    EXPECT_EQ(RGB::fromHex("+4D62C"), RGB::fromHex("04D62C"));
    EXPECT_EQ(RGB::fromHex("-00000"), RGB::black);
    for (const char* bad : {"#44D62C", "44D62", "44D62CC", "0x1234", "GGGGGG", "44 62C", "-00001",
                            "+-1234", " 44D62"}) {
        EXPECT_FALSE(RGB::fromHex(bad).has_value()) << '"' << bad << '"';
    }
}
