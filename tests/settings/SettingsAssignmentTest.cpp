#include "settings/SettingsTestSupport.h"

using namespace lumora;

using Assignment = SettingsTest;

TEST_F(Assignment, IsAnnouncedDeliveredStoredThenWrittenEvenWhenEqualAndObservedFromTheStart) {
    m_settings.sync();
    EXPECT_FALSE(QFile::exists(m_path));          // nothing is written before an assignment
    QSettings peek(m_path, QSettings::IniFormat); // sees what the store handed to QSettings
    QString log;
    QObject::connect(&m_settings, &Settings::willChange, [&] { log += "will "; });
    QObject::connect(&m_settings, &Settings::brightnessChanged, [&](double value) {
        const QString written = peek.value("brightness").toString();
        log += QString("%1 got %2 has '%3'; ").arg(value).arg(m_settings.brightness()).arg(written);
    });
    // observe() delivers the current value at once, then every assignment while its context lives.
    auto context = std::make_unique<QObject>();
    observe(m_settings, &Settings::brightnessChanged, &Settings::brightness, context.get(),
            [&](double value) { log += QString("seen %1; ").arg(value); });
    m_settings.setBrightness(0.5);
    peek.remove("brightness"); // so that writing the equal value again shows
    m_settings.setBrightness(0.5);
    context.reset();
    m_settings.setBrightness(0.5);
    EXPECT_EQ(log, "seen 1; will 0.5 got 1 has ''; seen 0.5; will 0.5 got 0.5 has ''; seen 0.5; "
                   "will 0.5 got 0.5 has '0.5'; ");
    m_settings.sync();
    EXPECT_EQ(readText(m_path), "[General]\nbrightness=0.5\n");
}

TEST_F(Assignment, EveryValueAndPresetSurvivesARestartExactlyAndStaysActive) {
    m_settings.apply({{}, {}, "neonBreath", 0.1 + 0.2, 1e-300, 1.0 / 3.0, "FF8000", 0.0, 90.5});
    m_settings.setEnabled(false);
    m_settings.setShowClose(false);
    m_settings.savePreset("Ünïcode,\"quoted\"=;");
    m_settings.sync();

    // QSettings hands back cached, typed values for a path it has seen in this process; a copy
    // under a new name is read from disk as text, as the next start of the program reads it.
    const QString copy = m_dir.filePath("restart.conf");
    ASSERT_TRUE(QFile::copy(m_path, copy));
    Settings restarted(copy);
    EXPECT_FALSE(restarted.enabled() || restarted.showClose());
    EXPECT_EQ(restarted.presets(), m_settings.presets());
    // Still active: every value of the look reads back exactly.
    EXPECT_EQ(restarted.activePreset(), m_settings.presets().first());
}
