#include "display/FrameTicker.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <map>
#include <sys/timerfd.h>
#include <unistd.h>
#include <vector>

namespace lumora {

namespace {

constexpr std::int64_t nanosPerSecond = 1'000'000'000;

thread_local int deliveries = 0;
thread_local void (*afterTicks)() = nullptr;

timespec periodOf(double fps) {
    const auto nanos = static_cast<std::int64_t>(std::llround(1e9 / fps));
    const std::int64_t period = std::max<std::int64_t>(nanos, 1);
    return {static_cast<time_t>(period / nanosPerSecond),
            static_cast<long>(period % nanosPerSecond)};
}

} // namespace

// One timerfd per rate and thread, armed while any ticker at that rate runs.
class TickSource : public QObject {
public:
    // The running source for `fps`, or a new one (see firstDeadline); null when the kernel
    // gives no timerfd.
    static TickSource* join(double fps, FrameTicker* ticker) {
        TickSource*& slot = sources()[fps];
        if (slot == nullptr) {
            const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
            if (fd < 0) {
                sources().erase(fps);
                return nullptr;
            }
            slot = new TickSource(fps, fd);
        }
        slot->m_tickers.push_back(ticker);
        return slot;
    }

    void leave(FrameTicker* ticker) {
        const auto it = std::find(m_tickers.begin(), m_tickers.end(), ticker);
        if (it == m_tickers.end()) {
            return;
        }
        if (m_delivering > 0) {
            *it = nullptr; // the delivery loop is walking the list, and closes when done
            return;
        }
        m_tickers.erase(it);
        if (m_tickers.empty()) {
            delete this;
        }
    }

private:
    // The application owns what is left at its end.
    TickSource(double fps, int fd)
        : QObject(ownerHere()), m_fps(fps), m_fd(fd), m_notifier(fd, QSocketNotifier::Read) {
        m_tickers.reserve(16);
        connect(&m_notifier, &QSocketNotifier::activated, this, &TickSource::expired);
        const timespec period = periodOf(fps);
        const itimerspec every{period, firstDeadline(period)};
        ::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &every, nullptr);
    }

    // A source's deadlines fall on whole periods from the next deadline of one already running,
    // so sources at related rates (the bar's 60, the cards' 30 and the live preview's 45 a
    // second) expire together every few frames and wake the thread once for all of them.
    // The first alone starts one period from now.
    static timespec firstDeadline(timespec period) {
        const auto nanos = [](const timespec& t) {
            return static_cast<std::int64_t>(t.tv_sec) * nanosPerSecond + t.tv_nsec;
        };
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const std::int64_t step = nanos(period);
        std::int64_t next = nanos(now) + step;
        for (const auto& [fps, source] : sources()) {
            itimerspec other{};
            if (source != nullptr && ::timerfd_gettime(source->m_fd, &other) == 0 &&
                nanos(other.it_value) > 0) {
                // The earliest of this source's deadlines from now on, on the other's grid.
                const std::int64_t ahead = nanos(other.it_value) % step;
                next = nanos(now) + (ahead > 0 ? ahead : step);
                break;
            }
        }
        return {static_cast<time_t>(next / nanosPerSecond),
                static_cast<long>(next % nanosPerSecond)};
    }

    ~TickSource() override {
        for (FrameTicker* ticker : m_tickers) {
            if (ticker != nullptr) {
                ticker->m_source = nullptr;
            }
        }
        const auto it = sources().find(m_fps);
        if (it != sources().end() && it->second == this) {
            sources().erase(it);
        }
        ::close(m_fd);
    }

    static QObject* ownerHere() {
        QCoreApplication* app = QCoreApplication::instance();
        return app != nullptr && app->thread() == QThread::currentThread() ? app : nullptr;
    }

    static std::map<double, TickSource*>& sources() {
        thread_local std::map<double, TickSource*> bySpeed;
        return bySpeed;
    }

    void expired() {
        std::uint64_t expirations = 0;
        if (::read(m_fd, &expirations, sizeof expirations) != sizeof expirations ||
            expirations == 0) {
            return; // spurious wake-up (EAGAIN)
        }
        // A handler may stop, start or destroy tickers, this one's included; those that join
        // now wait for the next deadline.
        ++m_delivering;
        ++deliveries;
        const std::size_t count = m_tickers.size();
        for (std::size_t i = 0; i < count; ++i) {
            if (m_tickers[i] != nullptr) {
                m_tickers[i]->deliver(expirations);
            }
        }
        if (--deliveries == 0 && afterTicks != nullptr) {
            afterTicks();
        }
        if (--m_delivering == 0) {
            std::erase(m_tickers, nullptr);
            if (m_tickers.empty()) {
                // Deleting the notifier inside its own signal is not safe: later.
                ::timerfd_settime(m_fd, 0, &stopped, nullptr);
                m_notifier.setEnabled(false);
                sources().erase(m_fps);
                deleteLater();
            }
        }
    }

    static constexpr itimerspec stopped{};
    double m_fps;
    int m_fd;
    QSocketNotifier m_notifier;
    std::vector<FrameTicker*> m_tickers;
    int m_delivering = 0;
};

FrameTicker::FrameTicker(double fps, QObject* parent) : QObject(parent), m_fps(validFps(fps)) {
    m_fallback.setTimerType(Qt::PreciseTimer);
    connect(&m_fallback, &QTimer::timeout, this, [this] { deliver(1); });
}

FrameTicker::~FrameTicker() {
    disarm();
}

bool FrameTicker::delivering() {
    return deliveries > 0;
}

void FrameTicker::setAfterTicks(void (*hook)()) {
    afterTicks = hook;
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
    disarm();
}

void FrameTicker::setFps(double fps) {
    fps = validFps(fps);
    if (fps == m_fps) {
        return;
    }
    m_fps = fps;
    if (m_active) {
        disarm();
        arm();
    }
}

void FrameTicker::arm() {
    m_source = TickSource::join(m_fps, this);
    if (m_source == nullptr) {
        m_fallback.start(std::max(1, static_cast<int>(std::lround(1000.0 / m_fps))));
    }
}

void FrameTicker::disarm() {
    if (m_source != nullptr) {
        m_source->leave(this);
        m_source = nullptr;
    }
    m_fallback.stop();
}

void FrameTicker::deliver(std::uint64_t expirations) {
    m_passed += expirations;
    ++m_ticks;
    emit ticked();
}

} // namespace lumora
