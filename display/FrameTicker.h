#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>

class QSocketNotifier;

namespace lumora {

// Ticks at an exact average rate. A whole-millisecond QTimer interval turns 60 frames a second
// into 58.8 (a repeated frame about once a second); here a kernel timer (timerfd) keeps the
// nanosecond period, so deadlines never drift. Deadlines missed while the thread was busy are
// dropped, never caught up in a burst.
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
    // Takes effect at once when running: the next tick comes one new period from now.
    void setFps(double fps);

    // Since the last start(): deadlines that passed, ticked or dropped, and ticks delivered.
    std::uint64_t deadlinesPassed() const { return m_passed; }
    std::uint64_t ticks() const { return m_ticks; }

signals:
    void ticked();

private:
    void arm();
    void expired();

    double m_fps;
    bool m_active = false;
    int m_fd = -1; // -1: no timerfd, the QTimer stands in
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_fallback;
    std::uint64_t m_passed = 0;
    std::uint64_t m_ticks = 0;
};

} // namespace lumora
