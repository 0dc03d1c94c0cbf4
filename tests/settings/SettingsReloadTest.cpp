#include "SettingsTestSupport.h"
#include "settings/SettingsFileWatcher.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>

namespace lumora {
namespace {

// As editors save: a new file renamed over the old one.
void editByHand(const QString& path, const QByteArray& text) {
    const QString fresh = path + ".edit";
    writeText(fresh, text);
    ASSERT_EQ(
        std::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(path).constData()), 0);
}

class SettingsReloadTest : public ::testing::Test {
protected:
    SettingsReloadTest() {
        writeText(m_path, "[General]\nspeed=1.5\neffect=breathing\n");
        m_settings = std::make_unique<Settings>(m_path);
        m_watcher = std::make_unique<SettingsFileWatcher>(*m_settings);
    }

    // Long enough for any event of a write to have settled and been looked at.
    void settle() { QTest::qWait(SettingsFileWatcher::settleMs * 4); }

    QTemporaryDir m_dir;
    QString m_path = m_dir.filePath("lumora.conf");
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<SettingsFileWatcher> m_watcher;
};

TEST_F(SettingsReloadTest, AHandEditReachesTheObserversWithinASecond) {
    QSignalSpy speeds(m_settings.get(), &Settings::speedChanged);
    QSignalSpy effects(m_settings.get(), &Settings::effectChanged);
    QSignalSpy angles(m_settings.get(), &Settings::angleChanged);
    QSignalSpy announced(m_settings.get(), &Settings::willChange); // what the D-Bus service hears
    editByHand(m_path, "[General]\nspeed=2.5\neffect=scanner\nangle=90\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_watcher->loads() == 1; }, 1000));
    EXPECT_EQ(m_settings->speed(), 2.5);
    EXPECT_EQ(m_settings->effect(), Effect::scanner);
    // Each change is announced once with its value; what did not change is not.
    ASSERT_EQ(speeds.count(), 1);
    EXPECT_EQ(speeds[0][0].toDouble(), 2.5);
    EXPECT_EQ(effects.count(), 1);
    EXPECT_EQ(angles.count(), 0);
    EXPECT_EQ(announced.count(), 2);

    // A second edit is seen too: the watch follows the file that replaced the old one.
    editByHand(m_path, "[General]\nspeed=3\neffect=scanner\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_watcher->loads() == 2; }, 1000));
    EXPECT_EQ(m_settings->speed(), 3.0);
    settle();
    EXPECT_EQ(m_watcher->loads(), 2);
}

// What cannot be read takes its default, and the file is left as the user wrote it.
TEST_F(SettingsReloadTest, HandEditedValuesAreTakenWithTheirFallbacks) {
    QSignalSpy rates(m_settings.get(), &Settings::batteryFpsChanged);
    editByHand(m_path, "[General]\nspeed=1.5\neffect=breathing\nfunctionKeysService=\n"
                       "dimWhenIdle=false\nidleBrightness=0.5\nbatteryFps=15\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_watcher->loads() == 1; }, 1000));
    EXPECT_EQ(m_settings->functionKeysService(), "");
    EXPECT_FALSE(m_settings->dimWhenIdle());
    EXPECT_EQ(m_settings->idleBrightness(), 0.5);
    EXPECT_EQ(m_settings->batteryFps(), 15.0);
    ASSERT_EQ(rates.count(), 1);

    const QByteArray edit = "[General]\nspeed=fast\neffect=hologram\nangle=45\nidleBrightness=7\n"
                            "batteryFps=0\n";
    editByHand(m_path, edit);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_watcher->loads() == 2; }, 1000));
    EXPECT_EQ(m_settings->speed(), 1.0);
    EXPECT_EQ(m_settings->effect(), Effect::rainbowWave);
    EXPECT_EQ(m_settings->angle(), 45.0);
    EXPECT_EQ(m_settings->functionKeysService(), "tiny-dfr.service");
    EXPECT_TRUE(m_settings->dimWhenIdle());
    EXPECT_EQ(m_settings->idleBrightness(), 0.3);
    EXPECT_EQ(m_settings->batteryFps(), 30.0);
    settle();
    EXPECT_EQ(readText(m_path), edit);
}

TEST_F(SettingsReloadTest, OurOwnSavesNeverComeBackAsLoads) {
    for (int i = 0; i < 20; ++i) {
        m_settings->setSpeed(1.0 + i * 0.1);
        m_settings->setAngle(i);
        QTest::qWait(10); // writes reach the file as the event loop turns
    }
    m_settings->setColor(RGB{0.1234, 0.5, 0.9}); // finer than the file's whole bytes
    m_settings->savePreset("Calm");
    m_settings->sync();
    settle();
    const QDateTime written = QFileInfo(m_path).lastModified();
    settle();
    EXPECT_EQ(m_watcher->loads(), 0);
    EXPECT_EQ(QFileInfo(m_path).lastModified(), written) << "the file was written again";
    EXPECT_EQ(m_settings->angle(), 19.0);
    EXPECT_EQ(m_settings->presets().size(), 1);

    // A hand edit after our saves is one load, and nothing follows it.
    editByHand(m_path, readText(m_path).replace("angle=19", "angle=45"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_watcher->loads() == 1; }, 1000));
    EXPECT_EQ(m_settings->angle(), 45.0);
    EXPECT_EQ(m_settings->presets().size(), 1);
    settle();
    EXPECT_EQ(m_watcher->loads(), 1);
}

TEST_F(SettingsReloadTest, PresetsThatCannotBeReadLeaveOursAndAreKeptAside) {
    m_settings->savePreset("Calm");
    m_settings->sync();
    settle();
    testing::internal::CaptureStderr();
    editByHand(m_path, "[General]\npresets=not a list\nangle=30\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_watcher->loads() == 1; }, 1000));
    const std::string err = testing::internal::GetCapturedStderr();
    expectOneWarningNaming(err, "presetsBackup");
    ASSERT_EQ(m_settings->presets().size(), 1);
    EXPECT_EQ(m_settings->angle(), 30.0);

    m_settings->savePreset("Party");
    m_settings->sync();
    const QByteArray text = readText(m_path);
    EXPECT_TRUE(text.contains("presetsBackup=not a list")) << text.toStdString();
    EXPECT_TRUE(text.contains("Calm") && text.contains("Party")) << text.toStdString();
}

} // namespace
} // namespace lumora
