#include "settings/SettingsTestSupport.h"

#include <cmath>

using namespace lumora;

using Presets = SettingsTest;

TEST_F(Presets, SavingTrimsIgnoresBlankNamesAndReplacesTheSameNameInPlace) {
    m_settings.savePreset(" \n\t ");
    m_settings.savePreset(QString());
    EXPECT_EQ(m_willChange, 0);

    m_settings.setEffect(Effect::scanner);
    m_settings.savePreset("  Calm\n");
    m_settings.setSpeed(3.0);
    m_settings.savePreset("Party");
    const QUuid partyId = m_settings.presets().value(1).id;
    m_settings.setSpeed(4.0);
    m_settings.savePreset("PARTY");
    const QList<Preset> list = m_settings.presets();
    EXPECT_EQ(list,
              (QList<Preset>{{list.value(0).id, "Calm", "scanner", 1, 1, 0.4, "44D62C", 1, 90},
                             {partyId, "PARTY", "scanner", 4, 1, 0.4, "44D62C", 1, 90}}));
}

TEST_F(Presets, ApplyingAssignsEachValueOnceAndKeepsWhatItCannotRead) {
    m_settings.setEffect(Effect::matrix);
    m_settings.setColor(RGB{0, 0, 1});
    m_willChange = 0;
    m_settings.apply({{}, "Odd", "plasma", 2.0, 0.25, 0.8, "zzzzzz", 0.5, 180.0});
    EXPECT_EQ(m_willChange, 7);
    EXPECT_EQ(m_settings.params(), (Params{Effect::matrix, 0.25, 0.8, RGB{0, 0, 1}, 180.0}));
    EXPECT_EQ(numbers(m_settings), (std::vector<double>{2.0, 0.25, 0.8, 0.5, 180.0}));

    // A lower-case colour applies, but its text never equals the current hex.
    const Preset lower{{}, "Lower", "solid", 1, 1, 1, "00ff00", 1, 90};
    m_settings.setPresets({lower});
    m_settings.apply(lower);
    EXPECT_EQ(m_settings.params(), (Params{Effect::solid, 1, 1, RGB{0, 1, 0}, 90}));
    EXPECT_FALSE(m_settings.activePreset().has_value());
}

TEST_F(Presets, TheEarliestOfIdenticalLooksIsActiveAndAnyChangeEndsIt) {
    m_settings.savePreset("First");
    m_settings.savePreset("Second");
    const QList<Preset> list = m_settings.presets();
    m_settings.apply(list[1]);
    EXPECT_EQ(m_settings.activePreset(), list[0]);
    m_settings.deletePreset(list[0]); // by id, not by look
    EXPECT_EQ(m_settings.activePreset(), list[1]);
    m_settings.setAngle(90.5);
    EXPECT_FALSE(m_settings.activePreset().has_value());

    // Deleting publishes even when nothing is removed.
    m_willChange = 0;
    m_settings.deletePreset(Preset{});
    EXPECT_EQ(m_willChange, 1);
    EXPECT_EQ(m_settings.presets(), QList<Preset>{list[1]});
}

TEST_F(Presets, StoredPresetsThatCannotBeReadOrWrittenAreNeverLost) {
    const QString path = m_dir.filePath("old.conf");
    const QString missingAngle = QString(*Preset::encodeList({Preset{}})).remove("\"angle\":90,");
    QSettings ini(path, QSettings::IniFormat);
    ini.setValue("presets", missingAngle); // text, as read from disk
    ini.setValue("presetsBackup", "an older backup");
    testing::internal::CaptureStderr();
    Settings settings(path);
    expectOneWarningNaming(testing::internal::GetCapturedStderr(), path);
    EXPECT_TRUE(settings.presets().isEmpty());

    // A list with a non-finite number cannot be written: what is stored stays.
    settings.setSpeed(std::nan(""));
    testing::internal::CaptureStderr();
    settings.savePreset("Broken");
    expectOneWarningNaming(testing::internal::GetCapturedStderr(), path);
    EXPECT_EQ(settings.presets().size(), 1);
    EXPECT_EQ(ini.value("presets").toString(), missingAngle);

    settings.setSpeed(2.0);
    settings.savePreset("Broken");
    settings.savePreset("New");
    EXPECT_EQ(ini.value("presetsBackup").toString(), "an older backup");
    EXPECT_EQ(ini.value("presetsBackup2").toString(), missingAngle);
    EXPECT_FALSE(ini.contains("presetsBackup3"));
    EXPECT_EQ(Preset::decodeList(ini.value("presets").toString().toUtf8())->size(), 2);
}
