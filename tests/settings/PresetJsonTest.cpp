#include "settings/Preset.h"

#include <gtest/gtest.h>

using namespace lumora;

TEST(PresetJson, DecodesAllOrNothingAndEncodesCompactlyWithUpperCaseIds) {
    const QByteArray id = "6F1C2A4E-8B3D-4C5E-9F60-718293A4B5C6";
    const QByteArray valid = R"([{"angle":90,"brightness":0.5,"color":"44D62C","corner":1,)"
                             R"("effect":"breathing","id":")" +
                             id + R"(","name":"Calm","speed":1,"width":0.4}])";
    const auto decoded = Preset::decodeList(valid);
    EXPECT_EQ(decoded, (QList<Preset>{{QUuid::fromString(QLatin1StringView(id)), "Calm",
                                       "breathing", 1, 0.5, 0.4, "44D62C", 1, 90}}));
    EXPECT_EQ(Preset::encodeList(*decoded), valid);

    auto decodes = [&](const QByteArray& from, const QByteArray& to) {
        return Preset::decodeList(QByteArray(valid).replace(from, to)).has_value();
    };
    EXPECT_TRUE(decodes(R"("angle":90)", R"("angle":90,"extra":[1])"));
    EXPECT_TRUE(decodes(id, id.toLower()));
    EXPECT_FALSE(decodes("}]", "},7]")); // one bad element spoils the whole list
    EXPECT_FALSE(decodes(valid, "{}"));
    EXPECT_FALSE(decodes(R"("angle":90,)", ""));
    EXPECT_FALSE(decodes(R"("Calm")", "5"));
    EXPECT_FALSE(decodes(R"("speed":1)", R"("speed":"1")"));
    EXPECT_FALSE(decodes(R"("corner":1)", R"("corner":null)"));
    EXPECT_FALSE(decodes(id, "{" + id + "}"));
    EXPECT_FALSE(decodes(id, id + "7"));
    EXPECT_FALSE(decodes("8B3D-", "8B3D0"));
}
