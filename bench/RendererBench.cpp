// Time per 1085 x 30 frame for every effect, at angle 90 and, where the effect follows the
// light, at an arbitrary angle.

#include "engine/EffectRenderer.h"
#include "tests/engine/PatternRasterizer.h"

#include <benchmark/benchmark.h>
#include <string>

namespace lumora {
namespace {

constexpr int frameW = 1085;
constexpr int frameH = 30;

void renderFrames(benchmark::State& state, Effect effect, double angle) {
    PatternRasterizer rasterizer; // so the matrix effect has glyphs to draw
    EffectRenderer renderer(frameW, frameH, &rasterizer);
    const Params params{effect, 1.0, 0.4, RGB{68.0 / 255.0, 214.0 / 255.0, 44.0 / 255.0}, angle};
    double time = 1.0;
    for (auto _ : state) {
        const Frame frame = renderer.render(params, time);
        benchmark::DoNotOptimize(frame.data());
        time += 1.0 / 60.0;
    }
    state.SetItemsProcessed(state.iterations() * frameW * frameH);
}

void registerAll() {
    for (Effect effect : allEffects) {
        for (double angle : {90.0, 37.0}) {
            if (angle != 90.0 && !usesAngle(effect)) {
                continue;
            }
            const std::string name = "render/" + std::string(rawValue(effect)) + "/" +
                                     std::to_string(static_cast<int>(angle));
            benchmark::RegisterBenchmark(name.c_str(), renderFrames, effect, angle)
                ->Unit(benchmark::kMicrosecond);
        }
    }
}

} // namespace
} // namespace lumora

int main(int argc, char** argv) {
    lumora::registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
