#include "engine/Effect.h"
#include "engine/Params.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace lumora;

TEST(Catalogue, RawValuesRoundTripInDeclarationOrder) {
    ASSERT_EQ(allEffects.size(), 10u);
    EXPECT_EQ(allEffects.front(), Effect::rainbowWave);
    EXPECT_EQ(allEffects.back(), Effect::solid);
    std::set<std::string_view> seen;
    for (std::size_t i = 0; i < allEffects.size(); ++i) {
        const Effect effect = allEffects[i];
        EXPECT_EQ(static_cast<std::size_t>(effect), i);
        EXPECT_EQ(effectFromRawValue(rawValue(effect)), effect);
        EXPECT_TRUE(seen.insert(rawValue(effect)).second);
        EXPECT_FALSE(title(effect).empty());
        EXPECT_FALSE(blurb(effect).empty());
    }
    EXPECT_EQ(rawValue(Effect::inferno), "inferno");
    EXPECT_EQ(title(Effect::rainbowWave), "Rainbow Wave");
}

TEST(Catalogue, RawValueLookupIsExactAndCaseSensitive) {
    EXPECT_EQ(effectFromRawValue("rainbowWave"), Effect::rainbowWave);
    EXPECT_EQ(effectFromRawValue("matrix"), Effect::matrix);
    for (const char* bad : {"RainbowWave", "rainbow", "", "plasma", "solid ", "rainbowWave\n"}) {
        EXPECT_FALSE(effectFromRawValue(bad).has_value()) << bad;
    }
}

TEST(Catalogue, ControlFlagsMatchWhatEachEffectDraws) {
    std::string color, width, angle;
    for (Effect effect : allEffects) {
        if (usesColor(effect)) {
            color += std::string(rawValue(effect)) + " ";
        }
        if (usesWidth(effect)) {
            width += std::string(rawValue(effect)) + " ";
        }
        if (usesAngle(effect)) {
            angle += std::string(rawValue(effect)) + " ";
        }
    }
    EXPECT_EQ(color, "breathing heartbeat scanner matrix solid ");
    EXPECT_EQ(width, "rainbowWave ");
    EXPECT_EQ(angle, "rainbowWave spectrumCycle neonBreath heartbeat scanner ");
}

TEST(Catalogue, CornerRadiusIsHalfTheHeightAtFullRounding) {
    EXPECT_EQ(cornerRadius(1.0, 30.0), 15.0);
    EXPECT_EQ(cornerRadius(0.0, 30.0), 0.0);
    EXPECT_EQ(cornerRadius(0.5, 20.0), 5.0);
}
