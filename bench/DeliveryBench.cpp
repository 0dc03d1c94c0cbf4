// What one frame costs on its way from the renderer to the screen: tick plus a forced,
// synchronous paint, and the paint alone, for the bar (1085 x 30 shown one for one) and for a
// preview (240 x 20 stretched to 300 x 24) translucent as the live one and opaque on a face as
// the cards', offscreen; and the bar's tick that writes its frame straight into the window
// instead.

#include "bench/OffscreenApp.h"
#include "bench/RunBenchmarks.h"
#include "display/EffectView.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QWindow>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace lumora {
namespace {

struct Shape {
    const char* name;
    int renderW;
    int renderH;
    QSize shown;
    bool onFace = false; // opaque on a card's face
};

constexpr double fps = 60.0;

class Bench {
public:
    explicit Bench(const QString& configDir) : m_settings(configDir + "/bench.conf") {}

    // A shown view whose clock moves one frame per tick, so every tick has a new phase.
    std::unique_ptr<EffectView> makeView(const Shape& shape, Effect effect, double corner) {
        m_settings.setEffect(effect);
        m_settings.setCornerFraction(corner);
        m_settings.setSpeed(1.0);
        auto view =
            std::make_unique<EffectView>(shape.renderW, shape.renderH, fps, shape.shown,
                                         std::nullopt, false, m_settings, [this] { return m_now; });
        view->setFixedSize(shape.shown);
        if (shape.onFace) {
            view->setBackdrop(QColor(42, 42, 42));
        }
        view->show();
        for (int i = 0; i < 200 && !(view->windowHandle() && view->windowHandle()->isExposed());
             ++i) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        QApplication::processEvents();
        return view;
    }

    void advance() { m_now += 1.0 / fps; }

private:
    Settings m_settings;
    double m_now = 100.0;
};

Bench* bench = nullptr;

void tickAndPaint(benchmark::State& state, Shape shape, Effect effect, double corner) {
    auto view = bench->makeView(shape, effect, corner);
    for (auto _ : state) {
        bench->advance();
        view->tick();
        view->repaint();
    }
    state.SetItemsProcessed(state.iterations());
}

// The bar's own way: an opaque view on the bar's black whose tick writes the new frame
// straight into the window's memory and flushes it, with no paint event.
void tickWrite(benchmark::State& state, Shape shape, Effect effect, double corner) {
    auto view = bench->makeView(shape, effect, corner);
    view->setPaintsAtOnce(true);
    view->setBackdrop(QColor(Qt::black));
    const std::uint64_t before = view->directFrames();
    for (auto _ : state) {
        bench->advance();
        view->tick();
    }
    // Proof that every frame went the direct way.
    state.counters["written"] = static_cast<double>(view->directFrames() - before);
    state.SetItemsProcessed(state.iterations());
}

void paintOnly(benchmark::State& state, Shape shape, Effect effect, double corner) {
    auto view = bench->makeView(shape, effect, corner);
    for (auto _ : state) {
        view->repaint();
    }
    state.SetItemsProcessed(state.iterations());
}

// What Qt alone spends on a synchronous repaint of a translucent widget that draws nothing.
class Blank : public QWidget {
public:
    std::int64_t paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

void paintNothing(benchmark::State& state, Shape shape) {
    Blank widget;
    widget.setAttribute(Qt::WA_TranslucentBackground);
    widget.setFixedSize(shape.shown);
    widget.show();
    for (int i = 0; i < 200 && !(widget.windowHandle() && widget.windowHandle()->isExposed());
         ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QApplication::processEvents();
    const std::int64_t before = widget.paints;
    for (auto _ : state) {
        widget.repaint();
    }
    // Proof that the repaints happened.
    state.counters["paints"] = static_cast<double>(widget.paints - before);
    state.SetItemsProcessed(state.iterations());
}

void registerAll() {
    const Shape shapes[] = {{"bar", 1085, 30, QSize(1085, 30)},
                            {"preview", 240, 20, QSize(300, 24)},
                            {"card", 240, 20, QSize(300, 24), true}};
    for (const Shape& shape : shapes) {
        benchmark::RegisterBenchmark(("paint/" + std::string(shape.name) + "/emptyWidget").c_str(),
                                     paintNothing, shape)
            ->Unit(benchmark::kMicrosecond);
        for (Effect effect : {Effect::inferno, Effect::solid}) {
            for (double corner : {1.0, 0.0}) {
                const std::string suffix = std::string(shape.name) + "/" +
                                           std::string(rawValue(effect)) + "/corner" +
                                           std::to_string(static_cast<int>(corner));
                benchmark::RegisterBenchmark(("tickPaint/" + suffix).c_str(), tickAndPaint, shape,
                                             effect, corner)
                    ->Unit(benchmark::kMicrosecond);
                if (effect == Effect::inferno) { // what is painted does not matter here
                    benchmark::RegisterBenchmark(("paint/" + suffix).c_str(), paintOnly, shape,
                                                 effect, corner)
                        ->Unit(benchmark::kMicrosecond);
                    if (shape.shown == QSize(shape.renderW, shape.renderH)) {
                        benchmark::RegisterBenchmark(("tickWrite/" + suffix).c_str(), tickWrite,
                                                     shape, effect, corner)
                            ->Unit(benchmark::kMicrosecond);
                    }
                }
            }
        }
    }
}

} // namespace
} // namespace lumora

int main(int argc, char** argv) {
    // Nothing here may read or write the user's settings.
    lumora::OffscreenApp app(argc, argv, "lumora_delivery_bench");
    if (!app.isValid()) {
        return 1;
    }

    lumora::Bench bench(app.configDir());
    lumora::bench = &bench;
    lumora::registerAll();
    return lumora::runBenchmarks(argc, argv);
}
