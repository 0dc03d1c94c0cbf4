#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>

namespace lumora {

class TickSource;

// Ticks at an exact average rate. A whole-millisecond QTimer interval turns 60 frames a second
// into 58.8 (a repeated frame about once a second); here a kernel timer (timerfd) keeps the
// nanosecond period, so deadlines never drift. Deadlines missed while the thread was busy are
// dropped, never caught up in a burst. Tickers running at one rate on a thread share one timer,
// so a window of previews wakes the process once a frame and repaints them in one go.
class FrameTicker : public QObject {
    Q_OBJECT
public:
    explicit FrameTicker(double fps, QObject* parent = nullptr);
    ~FrameTicker() override;

    // A rate that is not a positive finite number means 60.
    static double validFps(double fps);

    void start();
    void stop();
    bool isActive() const { return m_active; }

    double fps() const { return m_fps; }
    // Takes effect at once when running: the next tick comes within one new period.
    void setFps(double fps);

    // Whether a shared timer is handing out its ticks on this thread right now, and what runs
    // on this thread once every ticker due at that deadline has ticked: views that tick
    // together show their frames together.
    static bool delivering();
    static void setAfterTicks(void (*hook)());

    // Since the last start(): deadlines that passed, ticked or dropped, and ticks delivered.
    std::uint64_t deadlinesPassed() const { return m_passed; }
    std::uint64_t ticks() const { return m_ticks; }

signals:
    void ticked();

private:
    friend class TickSource;
    void arm();
    void disarm();
    void deliver(std::uint64_t expirations);

    double m_fps;
    bool m_active = false;
    TickSource* m_source = nullptr; // while active, unless the QTimer stands in
    QTimer m_fallback;
    std::uint64_t m_passed = 0;
    std::uint64_t m_ticks = 0;
};

} // namespace lumora
