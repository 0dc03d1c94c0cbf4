#include "settings/SettingsTestSupport.h"

using namespace lumora;

using Load = SettingsTest;

// A store over a hand-written file.
static std::unique_ptr<Settings> load(const QString& path, const QByteArray& ini) {
    writeText(path, "[General]\n" + ini);
    return std::make_unique<Settings>(path);
}

TEST_F(Load, HandEditedValuesFallBackOneKeyAtATimeAndAnUnparsableFileIsKeptAside) {
    const Params defaults{Effect::rainbowWave, 1.0, 0.4, RGB{68 / 255.0, 214 / 255.0, 44 / 255.0},
                          90.0};
    const QByteArray bad = "enabled=false\nshowClose=0\neffect=Matrix\ncolor=#00FF00\n"
                           "speed=fast\nbrightness=nan\nwidth=inf\ncornerFraction=1e999\n"
                           "angle=2.5x\ndimWhenIdle=maybe\nidleBrightness=nan\nbatteryFps=0\n"
                           "this line is not a setting\n";
    const QString path = m_dir.filePath("bad.conf");
    writeText(path + ".bak", "older"); // someone else's file: left alone
    testing::internal::CaptureStderr();
    auto s = load(path, bad);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(!s->enabled() && s->showClose());
    EXPECT_EQ(s->params(), defaults);
    EXPECT_EQ(numbers(*s), (std::vector<double>{1.0, 1.0, 0.4, 1.0, 90.0}));
    EXPECT_EQ(s->functionKeysService(), "tiny-dfr.service");
    EXPECT_TRUE(s->dimWhenIdle());
    EXPECT_EQ(s->idleBrightness(), 0.3);
    EXPECT_EQ(s->batteryFps(), 30.0);

    // QSettings drops the lines it cannot parse when it rewrites the file.
    s->setSpeed(3.0);
    s->sync();
    EXPECT_EQ(readText(path + ".bak"), "older");
    EXPECT_EQ(readText(path + ".bak2"), "[General]\n" + bad);
    expectOneWarningNaming(err, path + ".bak2");

    // An empty service means none; the Touch Bar's values hold at the ends of their ranges.
    s = load(m_dir.filePath("odd.conf"),
             "effect=matrix\ncolor=00ff00\nspeed=2.5\nbrightness=40\nwidth=-0.25\n"
             "cornerFraction=\nangle=1e-300\nfunctionKeysService=\ndimWhenIdle=false\n"
             "idleBrightness=0\nbatteryFps=60\n");
    EXPECT_EQ(s->params(), (Params{Effect::matrix, 40.0, -0.25, RGB{0, 1, 0}, 1e-300}));
    EXPECT_EQ(numbers(*s), (std::vector<double>{2.5, 40.0, -0.25, 1.0, 1e-300}));
    EXPECT_EQ(s->functionKeysService(), "");
    EXPECT_FALSE(s->dimWhenIdle());
    EXPECT_EQ(s->idleBrightness(), 0.0);
    EXPECT_EQ(s->batteryFps(), 60.0);
    // What is set is what the next start reads.
    s->setFunctionKeysService("my-keys.service");
    s->setBatteryFps(15.0);
    s->sync();
    EXPECT_EQ(Settings(m_dir.filePath("odd.conf")).functionKeysService(), "my-keys.service");
    EXPECT_EQ(Settings(m_dir.filePath("odd.conf")).batteryFps(), 15.0);

    // Text too long for a number is not read at all, however long.
    const QByteArray sixtyFive = "0.5" + QByteArray(62, '0');
    s = load(m_dir.filePath("c.conf"), "effect=plasma\ncolor=zzzzzz\nidleBrightness=1.5\n"
                                       "batteryFps=inf\nspeed=" +
                                           sixtyFive + "\nwidth=" + sixtyFive.chopped(1) +
                                           "\nangle=" + QByteArray(10 * 1024 * 1024, '1') + "\n");
    EXPECT_EQ(s->params(), (Params{defaults.effect, 1.0, 0.5, defaults.color, 90.0}));
    EXPECT_EQ(s->speed(), 1.0);
    EXPECT_EQ(s->idleBrightness(), 0.3);
    EXPECT_EQ(s->batteryFps(), 30.0);
}
