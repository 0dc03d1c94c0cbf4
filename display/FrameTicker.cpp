#include "display/FrameTicker.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cmath>
#include <sys/timerfd.h>
#include <unistd.h>

namespace lumora {

namespace {

constexpr std::int64_t nanosPerSecond = 1'000'000'000;

timespec periodOf(double fps) {
    const auto nanos = static_cast<std::int64_t>(std::llround(1e9 / fps));
    const std::int64_t period = std::max<std::int64_t>(nanos, 1);
    return {static_cast<time_t>(period / nanosPerSecond),
            static_cast<long>(period % nanosPerSecond)};
}

} // namespace

FrameTicker::FrameTicker(double fps, QObject* parent) : QObject(parent), m_fps(validFps(fps)) {
    m_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        m_notifier->setEnabled(false);
        connect(m_notifier, &QSocketNotifier::activated, this, &FrameTicker::expired);
    } else {
        m_fallback.setTimerType(Qt::PreciseTimer);
        connect(&m_fallback, &QTimer::timeout, this, [this] {
            ++m_passed;
            ++m_ticks;
            emit ticked();
        });
    }
}

FrameTicker::~FrameTicker() {
    if (m_fd >= 0) {
        delete m_notifier;
        ::close(m_fd);
    }
}

double FrameTicker::validFps(double fps) {
    return fps > 0.0 && std::isfinite(fps) ? fps : 60.0;
}

void FrameTicker::start() {
    if (m_active) {
        return;
    }
    m_active = true;
    m_passed = 0;
    m_ticks = 0;
    arm();
}

void FrameTicker::stop() {
    if (!m_active) {
        return;
    }
    m_active = false;
    if (m_fd >= 0) {
        const itimerspec off{};
        ::timerfd_settime(m_fd, 0, &off, nullptr);
        m_notifier->setEnabled(false);
        // An expiry already counted must not fire after a later start.
        std::uint64_t drained = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_fd, &drained, sizeof drained);
    } else {
        m_fallback.stop();
    }
}

void FrameTicker::setFps(double fps) {
    fps = validFps(fps);
    if (fps == m_fps) {
        return;
    }
    m_fps = fps;
    if (m_active) {
        arm();
    }
}

void FrameTicker::arm() {
    if (m_fd >= 0) {
        const timespec period = periodOf(m_fps);
        const itimerspec every{period, period};
        ::timerfd_settime(m_fd, 0, &every, nullptr);
        m_notifier->setEnabled(true);
    } else {
        m_fallback.start(std::max(1, static_cast<int>(std::lround(1000.0 / m_fps))));
    }
}

void FrameTicker::expired() {
    std::uint64_t expirations = 0;
    if (::read(m_fd, &expirations, sizeof expirations) != sizeof expirations ||
        expirations == 0) {
        return; // spurious wake-up (EAGAIN) or stopped in between
    }
    m_passed += expirations;
    ++m_ticks;
    emit ticked();
}

} // namespace lumora
