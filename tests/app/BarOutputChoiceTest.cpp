#include "app/BarOutputChoice.h"

#include "app/TerminationSignals.h"
#include "display/outputs/WindowBarOutput.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

OutputRequest parsed(const QStringList& rest) {
    QString error;
    auto request = parseOutputRequest(QStringList{"lumora"} + rest, &error);
    EXPECT_TRUE(request) << error.toStdString();
    return request.value_or(OutputRequest{});
}

QString parseError(const QStringList& rest) {
    QString error;
    EXPECT_FALSE(parseOutputRequest(QStringList{"lumora"} + rest, &error));
    return error;
}

} // namespace

TEST(BarOutputChoice, ReadsTheOutputAndDeviceOptions) {
    EXPECT_EQ(parsed({}).kind, OutputRequest::Kind::automatic);
    EXPECT_EQ(parsed({"--output", "window"}).kind, OutputRequest::Kind::window);
    const OutputRequest named =
        parsed({"--touchbar-device", "/dev/dri/card0", "--output", "touchbar"});
    EXPECT_EQ(named.kind, OutputRequest::Kind::touchbar);
    EXPECT_EQ(named.device, "/dev/dri/card0");
    // The last one counts, as with most programs.
    EXPECT_EQ(parsed({"--output", "touchbar", "--output", "auto"}).kind,
              OutputRequest::Kind::automatic);

    EXPECT_TRUE(parseError({"--output", "Touchbar"}).contains("\"Touchbar\""));
    EXPECT_TRUE(parseError({"--output"}).contains("--output needs a value"));
    EXPECT_TRUE(parseError({"--touchbar-device", ""}).contains("--touchbar-device"));
}

TEST(BarOutputChoice, FallsBackToTheWindowOnlyWhenAllowed) {
    QTemporaryDir noCards;
    auto choose = [&](OutputRequest request, QString& said) {
        QTextStream err(&said);
        return makeBarOutput(request, err, noCards.path());
    };

    // A desktop without a Touch Bar falling back to the window is run by the end-to-end session.
    // Asked for by name, the Touch Bar is required (a named card: CommandLineTest).
    QString said;
    EXPECT_FALSE(choose({OutputRequest::Kind::touchbar, {}}, said));
    EXPECT_EQ(said.count('\n'), 1);
    EXPECT_TRUE(said.startsWith("lumora: no Touch Bar found")) << said.toStdString();

    // A named card that is not there still leaves auto with a bar, and says which card.
    said.clear();
    auto named = choose({OutputRequest::Kind::automatic, "/nonexistent/card3"}, said);
    EXPECT_TRUE(dynamic_cast<WindowBarOutput*>(named.get()));
    EXPECT_TRUE(said.contains("/nonexistent/card3")) << said.toStdString();
    EXPECT_EQ(said.count('\n'), 1);
}

TEST(TerminationSignals, EndTheEventLoopLikeQuit) {
    quitOnTerminationSignals();
    quitOnTerminationSignals(); // harmless twice
    bool quitting = false;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&] { quitting = true; });
    for (int signal : {SIGTERM, SIGINT}) {
        quitting = false;
        QTimer::singleShot(0, [signal] { std::raise(signal); });
        QTimer failsafe;
        failsafe.setSingleShot(true);
        QObject::connect(&failsafe, &QTimer::timeout, [] { QCoreApplication::exit(2); });
        failsafe.start(5000);
        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_TRUE(quitting);
    }
}
