// What one frame costs on its way to the real Touch Bar, short of the kernel: the effect's
// tick, the container painted at the panel's resolution, and the turn into the portrait
// scan-out buffer. The panel here is memory, so the DRM ioctl and the USB transfer are not in it.

#include "bench/MemoryPanel.h"
#include "bench/OffscreenApp.h"
#include "bench/RunBenchmarks.h"
#include "display/TouchBarPresenter.h"
#include "display/outputs/DrmBarOutput.h"
#include "display/outputs/drm/PanelComposer.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lumora {
namespace {

QString configDir;

void panelFrame(benchmark::State& state, int length, Effect effect) {
    Settings settings(configDir + "/bench.conf");
    settings.setEffect(effect);
    settings.setSpeed(1.0);
    auto output = std::make_unique<DrmBarOutput>(
        [length](DrmFailure&) { return std::make_unique<MemoryPanel>(60, length); },
        DrmBarOutput::TouchFactory{});
    DrmBarOutput* out = output.get();
    TouchBarPresenter bar(std::move(output), settings);
    bar.present();
    // Let the width fit to the panel, as it does 0.3 s after presenting.
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < TouchBarPresenter::widthFitDelayMs + 100) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    bar.view().stop();
    const quint64 before = out->framesSent();
    for (auto _ : state) {
        bar.view().tick();
    }
    state.counters["sent"] = static_cast<double>(out->framesSent() - before);
    state.counters["barWidth"] = bar.width();
    state.SetItemsProcessed(state.iterations());
    bar.dismiss();
}

void rotateOnly(benchmark::State& state, int length) {
    PanelLayout layout(60, length);
    std::vector<std::uint32_t> image(static_cast<std::size_t>(length) * 60, 0xff336699u);
    std::vector<std::uint32_t> buffer(image.size());
    for (auto _ : state) {
        layout.copyInto(image.data(), static_cast<std::size_t>(length),
                        {reinterpret_cast<std::uint8_t*>(buffer.data()), 60 * 4});
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(state.iterations());
}

// The composer alone: a frame 30 high (1085 wide, or half the panel's length as the bar draws
// it) stretched into the portrait buffer, with rounded ends and a close button's worth of sprite;
// in the Touch Bar's own three-byte pixels, or XRGB8888.
void composeOnly(benchmark::State& state, int length, int frameWidth, PixelFormat format) {
    PanelLayout layout(60, length);
    PanelComposer composer(layout);
    PanelScene scene;
    scene.frameWidth = frameWidth;
    scene.frameHeight = 30;
    scene.viewWidth = length;
    scene.viewHeight = 60;
    scene.coverage.assign(static_cast<std::size_t>(length) * 60, 255);
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 30; ++x) {
            scene.coverage[static_cast<std::size_t>(y * length + x)] = 128;
            scene.coverage[static_cast<std::size_t>(y * length + length - 1 - x)] = 128;
        }
    }
    scene.spriteX = length - 108;
    scene.spriteWidth = 88;
    scene.spriteHeight = 60;
    scene.sprite.assign(88 * 60, 0x80808080u);
    scene.format = format;
    composer.setScene(scene);
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(frameWidth) * 30 * 4, 0x7f);
    const std::size_t pitch = 60 * bytesPerPixel(format);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(length) * pitch);
    for (auto _ : state) {
        composer.compose(frame.data(), static_cast<std::size_t>(frameWidth) * 4,
                         {buffer.data(), pitch, format});
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetLabel(PanelComposer::activeTarget());
    state.SetItemsProcessed(state.iterations());
}

// A preview as the settings page shows it: a small frame stretched into a landscape image with
// rounded ends, either opaque on a card's face or premultiplied over the glow.
void composePreview(benchmark::State& state, int frameWidth, int width, int height, bool card) {
    PanelLayout layout(width, height);
    PanelComposer composer(layout);
    PanelScene scene;
    scene.frameWidth = frameWidth;
    scene.frameHeight = 20;
    scene.viewWidth = width;
    scene.viewHeight = height;
    scene.alpha = !card;
    if (card) {
        scene.backdrop = 0x2a2a2au;
    }
    scene.coverage.assign(static_cast<std::size_t>(width) * height, 255);
    const int radius = height / 2;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < radius; ++x) {
            const auto edge = static_cast<std::uint8_t>(255 * (x + y % radius) / (2 * radius));
            scene.coverage[static_cast<std::size_t>(y * width + x)] = edge;
            scene.coverage[static_cast<std::size_t>(y * width + width - 1 - x)] = edge;
        }
    }
    composer.setScene(scene);
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(frameWidth) * 20 * 4, 0x7f);
    std::vector<std::uint32_t> image(static_cast<std::size_t>(width) * height);
    for (auto _ : state) {
        composer.compose(frame.data(), static_cast<std::size_t>(frameWidth) * 4, image.data(),
                         static_cast<std::size_t>(width));
        benchmark::DoNotOptimize(image.data());
    }
    state.SetLabel(PanelComposer::activeTarget());
    state.SetItemsProcessed(state.iterations());
}

void registerAll() {
    benchmark::RegisterBenchmark("composePreview/card/300x24", composePreview, 240, 300, 24, true)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("composePreview/live/620x30", composePreview, 480, 620, 30, false)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("composePreview/live/1240x60", composePreview, 480, 1240, 60,
                                 false)
        ->Unit(benchmark::kMicrosecond);
    for (int length : {2008, 2170}) {
        const std::string panel = "60x" + std::to_string(length);
        benchmark::RegisterBenchmark(("rotate/" + panel).c_str(), rotateOnly, length)
            ->Unit(benchmark::kMicrosecond);
        for (const auto& [name, format] :
             {std::pair{"", PixelFormat::bgr888}, std::pair{"/xrgb", PixelFormat::xrgb8888}}) {
            benchmark::RegisterBenchmark(("compose/" + panel + name).c_str(), composeOnly, length,
                                         1085, format)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(("compose/" + panel + "/bar" + name).c_str(), composeOnly,
                                         length, length / 2, format)
                ->Unit(benchmark::kMicrosecond);
        }
        for (Effect effect : {Effect::inferno, Effect::rainbowWave}) {
            benchmark::RegisterBenchmark(
                ("tickToPanel/" + panel + "/" + std::string(rawValue(effect))).c_str(), panelFrame,
                length, effect)
                ->Unit(benchmark::kMicrosecond);
        }
    }
}

} // namespace
} // namespace lumora

int main(int argc, char** argv) {
    lumora::OffscreenApp app(argc, argv, "lumora_panel_bench");
    if (!app.isValid()) {
        return 1;
    }
    lumora::configDir = app.configDir();
    lumora::registerAll();
    return lumora::runBenchmarks(argc, argv);
}
