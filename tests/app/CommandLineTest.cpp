#include "app/CommandLine.h"

#include "engine/Effect.h"
#include "support/TextFiles.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;

TEST(CommandLine, TakesTheFirstModeWithAValueInTableOrder) {
    // The first occurrence counts; an option that is last has no value.
    EXPECT_EQ(argumentAfter({"lumora", "--snapshot", "a", "--snapshot", "b"}, "--snapshot"), "a");
    EXPECT_EQ(argumentAfter({"lumora", "x", "--snapshot"}, "--snapshot"), std::nullopt);

    const auto mode = [](const QStringList& args) { return parseCommandLine(args).mode; };
    EXPECT_EQ(mode({"lumora", "--snapshot-ui", "f", "--snapshot", "d"}), Mode::effectStrips);
    EXPECT_EQ(mode({"lumora", "--snapshot-ui", "f", "--snapshot"}), Mode::window);
    EXPECT_EQ(mode({"lumora", "--snapshot-ui", "f", "--snapshot-knob", "k"}), Mode::knobSheet);
    EXPECT_EQ(mode({"lumora", "--snapshot-ui", "f", "--snapshot-ui-tall", "t"}), Mode::windowTall);
    EXPECT_EQ(mode({"lumora", "--snapshot", "d", "-h"}), Mode::help);
    // Argument 0 is a program name, not a request for help.
    EXPECT_EQ(mode({"--help"}), Mode::none);
    // The settings window is the fallback when no snapshot has a value.
    EXPECT_EQ(mode({"lumora", "--settings"}), Mode::settings);
    EXPECT_EQ(mode({"lumora", "--settings", "--snapshot-ui-tall", "t"}), Mode::windowTall);
    EXPECT_EQ(mode({"lumora", "--settings", "--snapshot-ui-tall"}), Mode::settings);
    EXPECT_EQ(mode({"--settings"}), Mode::none);
    // "ctl" first hands every later word, help included, to the control command.
    EXPECT_EQ(mode({"lumora", "ctl", "set", "effect", "--help"}), Mode::control);
    EXPECT_EQ(mode({"lumora", "--snapshot", "ctl"}), Mode::effectStrips);
}

TEST(CommandLine, TallSnapshotReadsTheLookAndPartByPosition) {
    const auto tall = [](const QStringList& args) {
        const Command command = parseCommandLine(args);
        EXPECT_EQ(command.mode, Mode::windowTall);
        return std::pair(command.appearance, command.part);
    };
    using Look = std::optional<Appearance>;
    using Part = std::optional<SnapshotPart>;
    const QString o = "--snapshot-ui-tall";
    EXPECT_EQ(tall({"lumora", o, "f"}), std::pair(Look{}, Part{}));
    EXPECT_EQ(tall({"lumora", o, "f", "dark", "tuning"}),
              std::pair(Look{Appearance::dark}, Part{SnapshotPart::tuning}));
    // A part alone sits where the look goes: neither is taken.
    EXPECT_EQ(tall({"lumora", o, "f", "tuning"}), std::pair(Look{}, Part{}));
    // An unknown look still lets the part through; words are exact.
    EXPECT_EQ(tall({"lumora", o, "f", "dim", "top"}), std::pair(Look{}, Part{SnapshotPart::top}));
    EXPECT_EQ(tall({"lumora", o, "f", "Dark", "Top"}), std::pair(Look{}, Part{}));
    // Only the first occurrence of the option counts, and positions are counted from it.
    EXPECT_EQ(tall({"lumora", o, "f", "x", o, "g", "dark"}), std::pair(Look{}, Part{}));
}

#ifdef LUMORA_BINARY

namespace {

struct Outcome {
    int exitCode = -1;
    QString err;
};

class ProgramTest : public ::testing::Test {
protected:
    // Runs the real program with no display and a private configuration.
    Outcome run(const QStringList& args, const QStringList& extraEnv = {}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "LUMORA_APPEARANCE", "GTK_THEME"}) {
            env.remove(name);
        }
        env.insert("XDG_CONFIG_HOME", config.path());
        for (const QString& entry : extraEnv) {
            env.insert(entry.section('=', 0, 0), entry.section('=', 1));
        }
        process.setProcessEnvironment(env);
        process.start(LUMORA_BINARY, args);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromLocal8Bit(process.readAllStandardError())};
    }

    // Exit status 1 and exactly one error line, which names `what`.
    void expectOneError(const QStringList& args, const QString& what) {
        const Outcome result = run(args);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err.count("lumora:"), 1) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(what)) << result.err.toStdString();
    }

    // The user's settings file, replaced with `text`.
    QString writeConf(const QByteArray& text) {
        QDir(config.path()).mkpath("lumora");
        writeText(config.filePath("lumora/lumora.conf"), text);
        return config.filePath("lumora/lumora.conf");
    }

    QTemporaryDir config, out;
};

// Mean lightness of an image, 0 to 255.
double meanLightness(const QImage& image) {
    double sum = 0;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) {
            sum += QColor(image.pixel(x, y)).lightness();
        }
    }
    return sum / ((image.height() + 3) / 4) / ((image.width() + 3) / 4);
}

} // namespace

TEST_F(ProgramTest, SnapshotWritesEveryEffectWithoutADisplayAndReplacesLinksAtItsNames) {
    writeConf("[General]\neffect=matrix\ncolor=FF0000\ncornerFraction=0\n");

    // The directory is made with its parents.
    const QString first = out.filePath("new/nested");
    const Outcome result = run({"--snapshot", first});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    // Links at two of the names, to a file of the user's and dangling, are replaced, never
    // written through.
    const QString second = out.filePath("links");
    ASSERT_TRUE(QDir().mkpath(second));
    const QString victim = out.filePath("victim.txt");
    writeText(victim, "keep me");
    ASSERT_TRUE(QFile::link(victim, second + "/solid.png"));
    ASSERT_TRUE(QFile::link(out.filePath("planted.png"), second + "/matrix.png"));
    ASSERT_EQ(run({"--snapshot", second}).exitCode, 0);
    EXPECT_EQ(readText(victim), "keep me");
    EXPECT_FALSE(QFileInfo::exists(out.filePath("planted.png")));

    QStringList expected;
    for (Effect effect : allEffects) {
        expected << QString::fromLatin1(rawValue(effect).data(), rawValue(effect).size()) + ".png";
    }
    expected.sort();
    EXPECT_EQ(QDir(first).entryList(QDir::Files, QDir::Name), expected);
    // Nothing else is left beside them, no temporary file either.
    EXPECT_EQ(
        QDir(second).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
        expected);
    for (const QString& name : expected) {
        EXPECT_EQ(QImage(first + "/" + name).size(), QSize(1085, 30)) << name.toStdString();
        EXPECT_FALSE(QFileInfo(second + "/" + name).isSymLink()) << name.toStdString();
        EXPECT_EQ(readText(first + "/" + name), readText(second + "/" + name))
            << name.toStdString();
    }
    // The stored colour and square corners reach the strips.
    EXPECT_EQ(QImage(first + "/solid.png").pixel(0, 0), qRgb(255, 0, 0));
}

TEST_F(ProgramTest, SnapshotsChangeNothingSayNothingAndNeedNoDisplay) {
    // A user's file before the first launch: snapshots must not mark it as done, nor rewrite
    // it, not even to set aside presets that cannot be read.
    const QByteArray goodPresets =
        R"("[{\"id\":\"0B5A1C8E-2D3F-4A6B-8C9D-0E1F2A3B4C5D\",\"name\":\"R&B\",)"
        R"(\"effect\":\"solid\",\"speed\":1,\"brightness\":1,\"width\":0.4,)"
        R"(\"color\":\"FF0000\",\"corner\":1,\"angle\":90}]")";

    // A display that is named but not there, as over ssh: the pictures never need one.
    const QStringList absentDisplay{"DISPLAY=:77"};
    const QList<QStringList> modes{{"--snapshot", out.filePath("strips")},
                                   {"--snapshot-knob", out.filePath("knobs.png")},
                                   {"--snapshot-ui-tall", out.filePath("tall.png"), "dark"},
                                   {"--snapshot-ui", out.filePath("window.png")}};
    for (const QByteArray& presets : {goodPresets, QByteArray(R"("[{\"id\":1}]")")}) {
        const QString conf =
            writeConf("[General]\neffect=solid\nspeed=2.5\npresets=" + presets + "\n");
        const QByteArray before = readText(conf);
        for (const QStringList& mode : modes) {
            const Outcome result = run(mode, absentDisplay);
            EXPECT_EQ(result.exitCode, 0) << mode.first().toStdString();
            if (presets == goodPresets) {
                EXPECT_EQ(result.err, "") << mode.first().toStdString();
            }
            EXPECT_EQ(readText(conf), before) << mode.first().toStdString() << " changed the file";
        }
    }
    // The window as the application opens it (the other pictures' sizes are checked elsewhere).
    EXPECT_EQ(QImage(out.filePath("window.png")).size(), QSize(660, 800));
}

TEST_F(ProgramTest, TallPageSnapshotsInBothLooksWithoutADisplay) {
    const QString light = out.filePath("light.png"), dark = out.filePath("dark.png");
    Outcome result = run({"--snapshot-ui-tall", light, "light"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    result = run({"--snapshot-ui-tall", dark, "dark", "tuning"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QImage lightImage(light), darkImage(dark);
    EXPECT_EQ(lightImage.size(), QSize(660, 2000));
    EXPECT_EQ(darkImage.size(), QSize(660, 2000));
    EXPECT_GT(meanLightness(lightImage), meanLightness(darkImage) + 60);
    // Without a look on the command line, the user's override decides.
    const QString chosen = out.filePath("chosen.png");
    ASSERT_EQ(run({"--snapshot-ui-tall", chosen}, {"LUMORA_APPEARANCE=dark"}).exitCode, 0);
    EXPECT_LT(meanLightness(QImage(chosen)), meanLightness(lightImage) - 60);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files).size(), 3) << "no temporary files left";
}

TEST_F(ProgramTest, BadRequestsExitOneWithOneLineNamingTheProblem) {
    // An empty name would otherwise mean the root directory; a folder in the way is reported
    // and left alone.
    ASSERT_TRUE(QDir(out.path()).mkpath("folder.png/inside"));
    const QString folder = out.filePath("folder.png");
    const QString noSession = "no graphical session found (DISPLAY/WAYLAND_DISPLAY unset); ";
    const QList<std::pair<QStringList, QString>> cases = {
        {{"--snapshot", "/proc/lumora-test/x"}, "/proc/lumora-test/x"},
        {{"--snapshot", ""}, "--snapshot"},
        {{"--snapshot-knob", "/proc/lumora-test/k.png"}, "/proc/lumora-test/k.png"},
        {{"--snapshot-knob", ""}, "--snapshot-knob"},
        {{"--snapshot-ui-tall", "/proc/lumora-test/page.png", "dark"},
         "/proc/lumora-test/page.png"},
        {{"--snapshot-ui-tall", ""}, "--snapshot-ui-tall"},
        {{"--snapshot-ui-tall", folder}, folder},
        {{"--output", "bar"}, "--output takes auto, touchbar or window"},
        // The window cannot open without a desktop session; Qt alone would abort. No option,
        // or an option missing its value, starts the application.
        {{"--settings"}, noSession + "--settings needs one"},
        {{}, noSession + "the --snapshot options work without one"},
        {{"--snapshot"}, noSession + "the --snapshot options work without one"},
    };
    for (const auto& [args, what] : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        expectOneError(args, what);
    }
    EXPECT_TRUE(QFileInfo(folder + "/inside").isDir());
    EXPECT_FALSE(QFileInfo::exists(config.filePath("lumora/lumora.conf")))
        << "nothing is written before the session check";

    // A folder in the way of one strip: that file fails, the other nine are still written.
    ASSERT_TRUE(QDir(out.path()).mkpath("strips/matrix.png"));
    expectOneError({"--snapshot", out.filePath("strips")}, "matrix.png");
    EXPECT_EQ(QDir(out.filePath("strips")).entryList(QDir::Files).size(), 9);
}

TEST_F(ProgramTest, HelpSucceedsAndATouchBarThatCannotBeHadIsAnError) {
    EXPECT_EQ(run({"--help"}).exitCode, 0);
    // The Touch Bar asked for by name: exit 1 with the reason, never a bar elsewhere.
    const Outcome result = run({"--output", "touchbar", "--touchbar-device", "/nonexistent/card0"},
                               {"QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("lumora: no Touch Bar at /nonexistent/card0"))
        << result.err.toStdString();
}

#endif
