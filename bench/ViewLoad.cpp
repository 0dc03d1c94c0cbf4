// What showing an effect costs the whole process, Qt's own work included: CPU time (user and
// system) over wall time, as a percentage of one core, and how often the GUI thread woke.
// Runs offscreen with throwaway settings.
//
//   lumora_view_load [--seconds N] [--effect NAME] [--fps F] [--angle DEG] [--page]
//                    [--panel LENGTH [--flush-ms MS] [--xrgb] [--plain]] [--floor [--plain]]
//
// On --panel each flush completes MS milliseconds (8 unless told; 0: at once) after its commit,
// through a descriptor, as the Touch Bar's page-flip event does once a frame has crossed USB.
// Its buffers hold the Touch Bar's own three-byte pixels, or XRGB8888 with --xrgb (which its
// driver then turns into those on the CPU, a cost this does not count).
//
// --floor measures a frame ticker whose ticks do nothing: what waking at that rate through Qt's
// event loop costs on this machine before anything is drawn. Every path stands on it.
// --floor --plain wakes as often with no event loop at all, sleeping to each deadline: what
// waking alone costs here, which no change to the program can take away. --panel with --plain
// renders and composes each frame into the panel in such a loop instead of through the view and
// the bar output: what the Touch Bar path would cost off Qt's event loop (with no outline and
// no close button, which only touch the bar's ends).

#include "bench/MemoryPanel.h"
#include "bench/OffscreenApp.h"
#include "display/EffectView.h"
#include "display/FrameTicker.h"
#include "display/TouchBarPresenter.h"
#include "display/outputs/DrmBarOutput.h"
#include "display/outputs/drm/PanelComposer.h"
#include "engine/Effect.h"
#include "engine/EffectRenderer.h"
#include "platform/QtGlyphRasterizer.h"
#include "settings/Settings.h"
#ifdef LUMORA_VIEW_LOAD_PAGE
#include "platform/LoginItem.h"
#include "ui/SettingsView.h"
#endif

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace lumora {
namespace {

struct Options {
    double seconds = 20.0;
    Effect effect = Effect::inferno;
    double fps = 60.0;
    double angle = 90.0;
    bool page = false;
    bool floor = false;
    bool plain = false;
    int panel = 0; // the Touch Bar path into memory, 60 x panel, instead of a widget
    double flushMs = 8.0;
    bool xrgb = false;
};

const char* const usage =
    "usage: lumora_view_load [--seconds N] [--effect NAME] [--fps F] [--angle DEG] [--page]\n"
    "                        [--panel LENGTH [--flush-ms MS] [--xrgb] [--plain]]\n"
    "                        [--floor [--plain]]\n";

std::optional<double> positiveNumber(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0.0) {
        return std::nullopt;
    }
    return value;
}

// Prints what is wrong on stderr and returns nothing when the arguments make no sense.
std::optional<Options> parse(const QStringList& args) {
    Options options;
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == "--page" || arg == "--floor" || arg == "--plain" || arg == "--xrgb") {
            (arg == "--page"    ? options.page
             : arg == "--floor" ? options.floor
             : arg == "--plain" ? options.plain
                                : options.xrgb) = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            std::exit(0);
        }
        if (arg == "--panel" && i + 1 < args.size()) {
            options.panel = args[++i].toInt();
            if (options.panel < 60) {
                std::fprintf(stderr, "lumora_view_load: --panel wants a length of 60 or more\n");
                return std::nullopt;
            }
            continue;
        }
        if (arg == "--flush-ms" && i + 1 < args.size()) {
            bool ok = false;
            options.flushMs = args[++i].toDouble(&ok);
            if (!ok || !std::isfinite(options.flushMs) || options.flushMs < 0.0) {
                std::fprintf(stderr, "lumora_view_load: --flush-ms wants 0 or more, not '%s'\n",
                             qPrintable(args[i]));
                return std::nullopt;
            }
            continue;
        }
        if (arg != "--seconds" && arg != "--effect" && arg != "--fps" && arg != "--angle") {
            std::fprintf(stderr, "lumora_view_load: unknown option '%s'\n%s", qPrintable(arg),
                         usage);
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "lumora_view_load: %s needs a value\n", qPrintable(arg));
            return std::nullopt;
        }
        const QString value = args[++i];
        if (arg == "--effect") {
            const auto effect = effectFromRawValue(value.toStdString());
            if (!effect) {
                std::string names;
                for (Effect e : allEffects) {
                    names += " " + std::string(rawValue(e));
                }
                std::fprintf(stderr, "lumora_view_load: no effect named '%s'; there are:%s\n",
                             qPrintable(value), names.c_str());
                return std::nullopt;
            }
            options.effect = *effect;
            continue;
        }
        if (arg == "--angle") {
            bool ok = false;
            options.angle = value.toDouble(&ok);
            if (!ok || !std::isfinite(options.angle)) {
                std::fprintf(stderr, "lumora_view_load: --angle wants a number, not '%s'\n",
                             qPrintable(value));
                return std::nullopt;
            }
            continue;
        }
        const auto number = positiveNumber(value);
        if (!number) {
            std::fprintf(stderr, "lumora_view_load: %s wants a positive number, not '%s'\n",
                         qPrintable(arg), qPrintable(value));
            return std::nullopt;
        }
        (arg == "--seconds" ? options.seconds : options.fps) = *number;
    }
    if (options.floor && (options.page || options.panel > 0)) {
        std::fprintf(stderr, "lumora_view_load: --floor draws nothing; it takes no --page or "
                             "--panel\n");
        return std::nullopt;
    }
    if (options.plain && !options.floor && options.panel == 0) {
        std::fprintf(stderr, "lumora_view_load: --plain goes with --floor or --panel\n");
        return std::nullopt;
    }
#ifndef LUMORA_VIEW_LOAD_PAGE
    if (options.page) {
        std::fprintf(stderr, "lumora_view_load: built without the settings page\n");
        return std::nullopt;
    }
#endif
    return options;
}

struct Cpu {
    double user = 0.0;
    double system = 0.0;
};

Cpu processCpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

double cpuClock(clockid_t clock) {
    timespec time{};
    clock_gettime(clock, &time);
    return time.tv_sec + time.tv_nsec / 1e9;
}

// How many times the kernel has put thread `tid` on a CPU: its wake-ups, give or take one.
// Zero when the kernel keeps no such count.
std::uint64_t timesRun(pid_t tid) {
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/schedstat";
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        return 0;
    }
    unsigned long long runtime = 0, waited = 0, runs = 0;
    const int read = std::fscanf(file, "%llu %llu %llu", &runtime, &waited, &runs);
    std::fclose(file);
    return read == 3 ? runs : 0;
}

// Runs the event loop for `seconds` and prints the process's CPU use over that time.
// `extra` is given the wall time, for rates. The end is read by a thread of its own, before
// the loop is woken to stop: waking the GUI thread to end the measurement is not part of
// what is measured (hidden, that wake-up would be all there is), and the reading thread's
// own time is left out. The total is the kernel's exact count; user and system time split it
// in the proportion the kernel samples them.
// `run` stands in for the event loop on this thread: it returns once `stop` is set.
void measure(const char* what, double seconds, const std::function<std::string(double)>& extra = {},
             const std::function<void(const std::atomic<bool>& stop)>& run = {}) {
    QEventLoop loop;
    std::atomic<bool> stop = false;
    const pid_t gui = gettid();
    Cpu before;
    Cpu after;
    double cpu = 0.0;
    std::uint64_t runs = 0;
    double elapsed = 0.0;
    std::thread reader([&] {
        // Everything but this thread, from here on.
        const auto others = [] {
            return cpuClock(CLOCK_PROCESS_CPUTIME_ID) - cpuClock(CLOCK_THREAD_CPUTIME_ID);
        };
        const double cpuBefore = others();
        before = processCpu();
        const std::uint64_t runsBefore = timesRun(gui);
        QElapsedTimer wall;
        wall.start();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        cpu = others() - cpuBefore;
        elapsed = wall.nsecsElapsed() / 1e9;
        runs = timesRun(gui) - runsBefore;
        after = processCpu();
        stop = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    if (run) {
        run(stop);
    } else {
        loop.exec();
    }
    reader.join();
    const double sampledUser = after.user - before.user;
    const double sampled = sampledUser + (after.system - before.system);
    const double total = std::max(cpu, 0.0) / elapsed * 100.0;
    const double user = sampled > 0.0 ? total * std::clamp(sampledUser / sampled, 0.0, 1.0) : total;
    std::printf(
        "%s, %.1f s: CPU %.2f %% of one core (user %.2f %%, sys %.2f %%), %llu wake-up%s%s\n", what,
        elapsed, total, user, std::max(total - user, 0.0), static_cast<unsigned long long>(runs),
        runs == 1 ? "" : "s", extra ? extra(elapsed).c_str() : "");
    std::fflush(stdout);
}

// ", 1200 frames ticked (60.00 per second)"
std::string ticked(std::uint64_t frames, double elapsed) {
    char rate[64];
    std::snprintf(rate, sizeof rate, " (%.2f per second)", elapsed > 0 ? frames / elapsed : 0.0);
    return ", " + std::to_string(frames) + " frames ticked" + rate;
}

// Counts the paints a widget receives.
class PaintCounter : public QObject {
public:
    std::uint64_t paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

void runEffect(const Options& options, Settings& settings) {
    settings.setEffect(options.effect);
    settings.setAngle(options.angle);
    EffectView view(1085, 30, options.fps, QSize(1085, 30), std::nullopt, false, settings);
    view.setPaintsAtOnce(true);          // as the bar's view does
    view.setBackdrop(QColor(Qt::black)); // and on the bar's black
    PaintCounter counter;
    view.installEventFilter(&counter);
    view.show();
    view.start();
    const std::uint64_t ticks = view.tickCount();
    const std::string what = "effect " + std::string(rawValue(options.effect)) + " at " +
                             QString::number(options.angle).toStdString() +
                             " degrees, 1085 x 30 at " +
                             QString::number(options.fps).toStdString() + " fps";
    const std::uint64_t direct = view.directFrames();
    measure(what.c_str(), options.seconds, [&](double elapsed) {
        return ticked(view.tickCount() - ticks, elapsed) + ", " +
               std::to_string(view.directFrames() - direct) + " written straight, " +
               std::to_string(counter.paints) + " painted";
    });
}

void runFloor(const Options& options) {
    FrameTicker ticker(options.fps);
    ticker.start();
    const std::string what =
        "nothing drawn, ticking at " + QString::number(options.fps).toStdString() + " fps";
    measure(what.c_str(), options.seconds,
            [&](double elapsed) { return ticked(ticker.ticks(), elapsed); });
}

// Calls `wake` at each of the rate's deadlines, sleeping to it with no event loop, until `stop`
// is set; the wake-up that finds it set is not counted.
template <class Wake> void eachDeadline(double fps, const std::atomic<bool>& stop, Wake wake) {
    const auto period = static_cast<std::int64_t>(std::llround(1e9 / fps));
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (;;) {
        const std::int64_t nanos = next.tv_nsec + period;
        next.tv_sec += static_cast<time_t>(nanos / 1'000'000'000);
        next.tv_nsec = static_cast<long>(nanos % 1'000'000'000);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
        }
        if (stop.load(std::memory_order_relaxed)) {
            return;
        }
        wake(static_cast<double>(period) / 1e9);
    }
}

void runPlainFloor(const Options& options) {
    std::uint64_t wakes = 0;
    const std::string what = "nothing drawn, plain sleeps (no event loop) at " +
                             QString::number(options.fps).toStdString() + " fps";
    measure(
        what.c_str(), options.seconds, [&](double elapsed) { return ticked(wakes, elapsed); },
        [&](const std::atomic<bool>& stop) {
            eachDeadline(options.fps, stop, [&](double) { ++wakes; });
        });
}

std::unique_ptr<MemoryPanel> memoryPanel(const Options& options) {
    return std::make_unique<MemoryPanel>(60, options.panel, std::lround(options.flushMs * 1000.0),
                                         options.xrgb ? PixelFormat::xrgb8888
                                                      : PixelFormat::bgr888);
}

// "effect inferno at 90 degrees on a 60 x 2008 panel in memory<by>, flushes of 8 ms, BGR888"
std::string panelRun(const Options& options, const char* by) {
    return "effect " + std::string(rawValue(options.effect)) + " at " +
           QString::number(options.angle).toStdString() + " degrees on a 60 x " +
           std::to_string(options.panel) + " panel in memory" + by + ", flushes of " +
           QString::number(options.flushMs).toStdString() + " ms" +
           (options.xrgb ? ", XRGB8888" : ", BGR888");
}

// Each deadline's frame rendered and composed into the panel by a thread that sleeps between
// them, as the bar output does on its ticks (completions read first, frames dropped while a
// flush is in flight), with none of Qt's event loop or widgets.
void runPlainPanel(const Options& options, Settings& settings) {
    settings.setEffect(options.effect);
    settings.setAngle(options.angle);
    QtGlyphRasterizer rasterizer;
    EffectRenderer renderer(TouchBarPresenter::barSize.width(), TouchBarPresenter::barSize.height(),
                            &rasterizer);
    const std::unique_ptr<MemoryPanel> made = memoryPanel(options);
    MemoryPanel& panel = *made;
    PanelComposer composer(panel.layout());
    PanelScene scene;
    scene.format = panel.format();
    scene.frameWidth = renderer.w();
    scene.frameHeight = renderer.h();
    scene.viewWidth = panel.layout().length();
    scene.viewHeight = panel.layout().depth();
    composer.setScene(std::move(scene));
    struct Compose final : BufferPainter {
        PanelComposer& composer;
        const Frame& frame;
        Compose(PanelComposer& c, const Frame& f) : composer(c), frame(f) {}
        void paint(const ScanOut& buffer) const override {
            composer.compose(frame.data(), static_cast<std::size_t>(frame.bytesPerLine()), buffer);
        }
    };
    const Params params = settings.params();
    const double speed = settings.effectiveSpeed();
    std::uint64_t ticks = 0;
    double phase = 0.0;
    const auto frameAtEachDeadline = [&](const std::atomic<bool>& stop) {
        eachDeadline(options.fps, stop, [&](double period) {
            ++ticks;
            phase += period * speed;
            const Frame frame = renderer.render(params, phase);
            pollfd ready{panel.eventFd(), POLLIN, 0};
            if (ready.fd >= 0 && ::poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN) != 0) {
                panel.handleEvents();
            }
            if (panel.wantsFrame()) {
                panel.draw(Compose(composer, frame), nullptr);
            }
        });
    };
    measure(
        panelRun(options, " by a plain thread").c_str(), options.seconds,
        [&](double elapsed) {
            return ticked(ticks, elapsed) + ", " + std::to_string(panel.frames) + " sent";
        },
        frameAtEachDeadline);
}

// The bar as the Touch Bar shows it: the presenter's view (60 fps unless told) painted at the
// panel's resolution and turned into a scan-out buffer, which here is memory (no kernel, no USB).
void runPanel(const Options& options, Settings& settings) {
    settings.setEffect(options.effect);
    settings.setAngle(options.angle);
    MemoryPanel* panel = nullptr;
    auto output = std::make_unique<DrmBarOutput>(
        [&panel, &options](DrmFailure&) {
            auto made = memoryPanel(options);
            panel = made.get();
            return made;
        },
        DrmBarOutput::TouchFactory{});
    TouchBarPresenter bar(std::move(output), settings);
    bar.view().setFps(options.fps); // what the bar runs at on battery
    bar.present();
    const std::uint64_t ticks = bar.view().tickCount();
    measure(panelRun(options, "").c_str(), options.seconds, [&](double elapsed) {
        return ticked(bar.view().tickCount() - ticks, elapsed) + ", " +
               std::to_string(panel ? panel->frames : 0) + " sent";
    });
    bar.dismiss();
}

#ifdef LUMORA_VIEW_LOAD_PAGE
void runPage(const Options& options, Settings& settings, const QString& configDir) {
    // Every preview that follows the light draws at this angle; 37 costs more than 90.
    settings.setEffect(options.effect);
    settings.setAngle(options.angle);
    LoginItem loginItem(configDir + "/autostart", QApplication::applicationFilePath());
    SettingsView page(std::nullopt, settings, loginItem);
    page.resize(660, 800);
    page.show();
    // The previews' ticks, per preview: shown they tick, hidden they must not.
    std::uint64_t before = 0;
    const auto since = [&](double elapsed) {
        const QList<EffectView*> views = page.findChildren<EffectView*>();
        std::uint64_t frames = 0;
        for (const EffectView* view : views) {
            frames += view->tickCount();
        }
        const std::uint64_t interval = frames - before;
        before = frames;
        const auto count = static_cast<std::uint64_t>(std::max<qsizetype>(views.size(), 1));
        return ticked(interval / count, elapsed) + " per preview (" + std::to_string(views.size()) +
               " previews)";
    };
    since(0.0); // tickCount() counts from construction: only each interval's ticks count
    const std::string shown = "settings page 660 x 800 shown, " +
                              std::string(rawValue(options.effect)) + " at " +
                              QString::number(options.angle).toStdString() + " degrees";
    measure(shown.c_str(), options.seconds, since);
    page.hide();
    // What hiding itself costs (a millisecond, once) is not what being hidden costs.
    {
        QEventLoop settle;
        QTimer::singleShot(500, &settle, &QEventLoop::quit);
        settle.exec();
    }
    measure("settings page hidden", options.seconds, since);
}
#endif

} // namespace
} // namespace lumora

int main(int argc, char** argv) {
    // Throwaway settings: the user's own are never read or written.
    lumora::OffscreenApp app(argc, argv, "lumora_view_load");
    if (!app.isValid()) {
        return 1;
    }

    const auto options = lumora::parse(QApplication::arguments());
    if (!options) {
        return 2;
    }
    if (options->floor) {
        options->plain ? lumora::runPlainFloor(*options) : lumora::runFloor(*options);
        return 0;
    }
    lumora::Settings settings(app.configDir() + "/lumora/lumora.conf");
#ifdef LUMORA_VIEW_LOAD_PAGE
    if (options->page) {
        lumora::runPage(*options, settings, app.configDir());
        return 0;
    }
#endif
    if (options->panel > 0) {
        options->plain ? lumora::runPlainPanel(*options, settings)
                       : lumora::runPanel(*options, settings);
        return 0;
    }
    lumora::runEffect(*options, settings);
    return 0;
}
