// `lumora ctl` end to end: the real program against a service on a private bus.
#include "app/ControlService.h"
#include "settings/PresetFile.h"
#include "support/PrivateBus.h"
#include "support/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <array>

#ifdef LUMORA_BINARY

namespace lumora {
namespace {

struct CtlRun {
    int status = -1;
    QString out;
    QString err;
};

class ControlClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString why;
        if (m_bus.start(&why).isEmpty()) {
            GTEST_SKIP() << why.toStdString();
        }
        m_serviceBus.emplace(m_bus.connect("service"));
        ASSERT_TRUE(m_service.publish(*m_serviceBus, &why)) << why.toStdString();
    }

    // Runs `lumora ctl ARGS` while this process keeps answering on the bus.
    CtlRun ctl(const QStringList& args, const QString& address = {}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", address.isEmpty() ? m_bus.address() : address);
        // Its own configuration folder, to see that it never writes a settings file.
        env.insert("XDG_CONFIG_HOME", m_clientConfig.path());
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            env.remove(name);
        }
        process.setProcessEnvironment(env);
        process.start(LUMORA_BINARY, QStringList{"ctl"} + args);
        const bool done =
            QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000);
        if (!done) {
            process.kill();
            process.waitForFinished();
            return {};
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    static void expectOneErrorLine(const CtlRun& run, const QString& text) {
        EXPECT_EQ(run.status, 1) << run.err.toStdString();
        EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith("lumora: ")) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(text)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    }

    PrivateBus m_bus;
    std::optional<QDBusConnection> m_serviceBus;
    QTemporaryDir m_dir;
    QTemporaryDir m_clientConfig;
    Settings m_settings{m_dir.filePath("lumora.conf")};
    ControlService m_service{m_settings};
};

TEST_F(ControlClientTest, GetPrintsEveryKeyOrOneValue) {
    m_settings.setSpeed(2.5);
    m_settings.setColor(*RGB::fromHex("FF7A00"));
    const CtlRun all = ctl({"get"});
    EXPECT_EQ(all.status, 0) << all.err.toStdString();
    EXPECT_EQ(all.out, "enabled=true\neffect=rainbowWave\nspeed=2.5\nbrightness=1\nwidth=0.4\n"
                       "color=FF7A00\nshowClose=true\ncornerFraction=1\nangle=90\n");
    EXPECT_TRUE(all.err.isEmpty());

    const CtlRun one = ctl({"get", "speed"});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out, "2.5\n");
    EXPECT_EQ(ctl({"get", "showclose"}).out, "true\n"); // keys in any case

    expectOneErrorLine(ctl({"get", "volume"}), "unknown key \"volume\"");
    EXPECT_TRUE(QDir(m_clientConfig.path()).isEmpty()) << "ctl wrote a settings file";
}

TEST_F(ControlClientTest, SetChangesTheRunningInstanceOrSaysWhatWasWrong) {
    // Every key, read back from the running instance: numbers as the window's controls hold
    // them, colours in upper case.
    const QList<std::array<QString, 3>> writes = {
        {"effect", "scanner", "scanner"},
        {"color", "ff7a00", "FF7A00"},
        {"enabled", "false", "false"},
        {"speed", "100", "4"},
        {"angle", "-45", "315"},
        {"brightness", "-1", "0.1"},
        {"width", "9", "3"},
        {"cornerFraction", "0.3", "0.3"},
        {"showClose", "false", "false"},
    };
    for (const auto& [key, value, held] : writes) {
        EXPECT_EQ(ctl({"set", key, value}).status, 0) << key.toStdString();
        EXPECT_EQ(ctl({"get", key}).out, held + "\n") << key.toStdString();
    }

    // The running instance's refusal, then the command's own.
    expectOneErrorLine(ctl({"set", "effect", "hologram"}), "Effect: unknown effect \"hologram\"");
    expectOneErrorLine(ctl({"set", "speed", "fast"}), "speed: \"fast\" is not a number");
    expectOneErrorLine(ctl({"set", "enabled", "maybe"}), "enabled: \"maybe\" is not true or false");
    expectOneErrorLine(ctl({"set", "volume", "3"}), "unknown key \"volume\"");
    expectOneErrorLine(ctl({"set", "speed"}), "usage: lumora ctl set KEY VALUE");
    expectOneErrorLine(ctl({"dance"}), "unknown command \"dance\"");
    expectOneErrorLine(ctl({}), "needs a command");
    EXPECT_EQ(m_settings.effect(), Effect::scanner);
    EXPECT_EQ(m_settings.speed(), 4.0);
}

TEST_F(ControlClientTest, NextAndPreviousWrap) {
    m_settings.setEffect(Effect::rainbowWave);
    EXPECT_EQ(ctl({"previous"}).status, 0);
    EXPECT_EQ(m_settings.effect(), Effect::solid);
    EXPECT_EQ(ctl({"next"}).status, 0);
    EXPECT_EQ(m_settings.effect(), Effect::rainbowWave);
}

TEST_F(ControlClientTest, PresetsFromSaveToImport) {
    m_settings.setEffect(Effect::inferno);
    const CtlRun saved = ctl({"preset", "save", "Fire"});
    EXPECT_EQ(saved.status, 0) << saved.err.toStdString();
    const QString id = m_settings.presets().value(0).id.toString(QUuid::WithoutBraces).toUpper();
    EXPECT_EQ(saved.out, id + "\n");
    m_settings.setEffect(Effect::matrix);
    EXPECT_EQ(ctl({"preset", "save", "Code rain"}).status, 0);

    EXPECT_EQ(ctl({"preset", "list"}).out.section(u'\n', 0, 0), id + "\tFire");
    EXPECT_EQ(ctl({"preset", "apply", "fire"}).status, 0);
    EXPECT_EQ(m_settings.effect(), Effect::inferno);
    expectOneErrorLine(ctl({"preset", "apply", "Ice"}), "no preset named \"Ice\"");

    // Export to stdout and to a file; the file imports back under new names.
    const CtlRun printed = ctl({"preset", "export", "Fire"});
    EXPECT_EQ(printed.status, 0);
    EXPECT_EQ(presetFile::decode(printed.out.toUtf8()).presets.size(), 1);
    const QString file = m_dir.filePath("shared.json");
    const CtlRun written = ctl({"preset", "export", "-o", file});
    EXPECT_EQ(written.status, 0) << written.err.toStdString();
    EXPECT_TRUE(written.out.isEmpty());
    const CtlRun imported = ctl({"preset", "import", file});
    EXPECT_EQ(imported.status, 0) << imported.err.toStdString();
    EXPECT_EQ(imported.out, "Fire (2)\nCode rain (2)\n");
    EXPECT_TRUE(imported.err.isEmpty());

    EXPECT_EQ(ctl({"preset", "delete", "Fire (2)"}).status, 0);
    EXPECT_EQ(m_settings.presets().size(), 3);

    // Bad files change nothing and say why.
    const QString bad = m_dir.filePath("bad.json");
    writeText(bad, "");
    expectOneErrorLine(ctl({"preset", "import", bad}),
                       "nothing imported from " + bad + ": the file is empty");
    expectOneErrorLine(ctl({"preset", "import", m_dir.filePath("missing.json")}), "cannot read");
    expectOneErrorLine(ctl({"preset", "export", "-o", m_dir.filePath("no/such/dir.json")}),
                       "cannot write");
    EXPECT_EQ(m_settings.presets().size(), 3);
}

TEST_F(ControlClientTest, ImportSaysWhatItSkipped) {
    QJsonArray entries{
        Preset{QUuid::createUuid(), "Good", "solid", 1, 1, 0.4, "FFFFFF", 1, 0}.toJson(), 42};
    const QString file = m_dir.filePath("mixed.json");
    writeText(file,
              QJsonDocument(
                  QJsonObject{{"format", "lumora-presets"}, {"version", 1}, {"presets", entries}})
                  .toJson());
    const CtlRun run = ctl({"preset", "import", file});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Good\n");
    EXPECT_EQ(run.err, "lumora: Imported 1 preset. Skipped 1 invalid entry.\n");
}

TEST_F(ControlClientTest, ExitsWithThreeWhenLumoraIsNotRunning) {
    // A bus where nobody holds the name, then no bus at all.
    PrivateBus empty;
    QString why;
    const QString address = empty.start(&why);
    ASSERT_FALSE(address.isEmpty()) << why.toStdString();
    for (const QString& at : {address, QString("unix:path=" + m_dir.filePath("no-bus"))}) {
        for (const QStringList& args : {QStringList{"get"}, QStringList{"set", "speed", "2"},
                                        QStringList{"next"}, QStringList{"preset", "list"}}) {
            const CtlRun run = ctl(args, at);
            EXPECT_EQ(run.status, 3) << args.join(' ').toStdString() << run.err.toStdString();
            EXPECT_EQ(run.err, "lumora: Lumora is not running\n");
        }
    }
    EXPECT_TRUE(QDir(m_clientConfig.path()).isEmpty());
}

} // namespace
} // namespace lumora

#endif
