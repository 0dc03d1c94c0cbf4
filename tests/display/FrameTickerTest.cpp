// The frame ticker keeps the requested rate on average, and never bursts after a stall.
#include "display/FrameTicker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

using namespace lumora;

namespace {

void runFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

} // namespace

TEST(FrameTicker, DeadlinesFollowTheRequestedRateExactly) {
    // Deadlines are counted by the kernel whether or not a busy machine let us tick on each,
    // so the count read at a tick matches the time of that tick even under load; ticks
    // themselves may only fall short of it.
    EXPECT_EQ(FrameTicker(-1.0).fps(), 60.0); // not a rate: the default
    for (const double fps : {60.0, 30.0}) {
        FrameTicker ticker(fps);
        QElapsedTimer clock;
        std::uint64_t seen = 0;
        double lastTick = 0.0;
        std::uint64_t passedAtLastTick = 0;
        QObject::connect(&ticker, &FrameTicker::ticked, [&] {
            ++seen;
            lastTick = clock.nsecsElapsed() / 1e9;
            passedAtLastTick = ticker.deadlinesPassed();
        });
        ticker.start();
        clock.start();
        runFor(fps == 60.0 ? 3000 : 1500);
        ASSERT_GT(seen, 0u) << fps << " fps";
        // A whole-millisecond interval would fall 2 % short: 58.8 a second at 60.
        EXPECT_NEAR(static_cast<double>(passedAtLastTick), lastTick * fps, 1.5)
            << fps << " fps, last tick at " << lastTick << " s";
        EXPECT_LE(seen, ticker.deadlinesPassed());
        EXPECT_GE(static_cast<double>(seen), 0.5 * lastTick * fps) << fps << " fps";
        ticker.stop();
    }
}

TEST(FrameTicker, AStallIsSkippedNotCaughtUp) {
    FrameTicker ticker(60.0);
    int ticks = 0;
    bool stall = true;
    QObject::connect(&ticker, &FrameTicker::ticked, [&] {
        ++ticks;
        if (stall) {
            stall = false;
            QThread::msleep(300); // eighteen deadlines pass
        }
    });
    ticker.start();
    runFor(200); // the stall and the first ticks after it
    const int afterStall = ticks;
    runFor(100);
    // Eighteen missed frames are not made up: about six ticks in 100 ms, as always.
    EXPECT_LE(ticks - afterStall, 8);
    EXPECT_GE(ticker.deadlinesPassed(), std::uint64_t(18 + 6));
}

TEST(FrameTicker, TickersAtOneRateWakeTogether) {
    // Started half a period apart, they still tick in one wake-up: the second sees the first's
    // tick before the event loop has turned. Stopping one inside its tick leaves the others.
    FrameTicker first(60.0);
    FrameTicker second(60.0);
    FrameTicker third(60.0);
    bool sameTurn = false;
    int together = 0;
    int apart = 0;
    QObject::connect(&first, &FrameTicker::ticked, [&] {
        sameTurn = true;
        QTimer::singleShot(0, [&] { sameTurn = false; });
    });
    bool stopAtThree = true;
    QObject::connect(&second, &FrameTicker::ticked, [&] {
        (sameTurn ? together : apart) += 1;
        if (stopAtThree && second.ticks() == 3) {
            second.stop();
        }
    });
    QObject::connect(&third, &FrameTicker::ticked, [&] { third.stop(); });
    first.start();
    runFor(8);
    second.start();
    third.start();
    runFor(200);
    EXPECT_EQ(together, 3);
    EXPECT_EQ(apart, 0);
    EXPECT_EQ(third.ticks(), 1u);
    EXPECT_GE(first.ticks(), 10u);

    // A ticker that changes rate leaves for a timer of its own, and can come back.
    stopAtThree = false;
    second.start();
    second.setFps(30.0);
    runFor(200);
    EXPECT_GE(second.ticks(), 2u);
    EXPECT_LE(second.ticks(), 7u); // not the twelve of 60 a second
    const std::uint64_t atThirty = second.ticks();
    second.setFps(60.0);
    first.stop();
    runFor(100);
    EXPECT_GT(second.ticks(), atThirty);
}

// Tickers at related rates, started at any moment, tick in the same wake-ups: each of the
// previews' 30 a second lands on one of the bar's 60.
TEST(FrameTicker, TickersAtRelatedRatesWakeTogether) {
    FrameTicker bar(60.0);
    FrameTicker card(30.0);
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> barTicks;
    std::vector<qint64> cardTicks;
    QObject::connect(&bar, &FrameTicker::ticked, [&] { barTicks.push_back(clock.nsecsElapsed()); });
    QObject::connect(&card, &FrameTicker::ticked,
                     [&] { cardTicks.push_back(clock.nsecsElapsed()); });
    bar.start();
    runFor(37); // well away from any of the bar's deadlines
    card.start();
    runFor(300);
    ASSERT_GE(cardTicks.size(), 5u);
    for (const qint64 at : cardTicks) {
        const auto nearest =
            std::min_element(barTicks.begin(), barTicks.end(),
                             [at](auto a, auto b) { return std::abs(a - at) < std::abs(b - at); });
        EXPECT_LT(std::abs(*nearest - at), 1'000'000) << "a card tick on its own";
    }
}
