// Time per 1085 x 30 frame for every effect, at angle 90 and, where the effect follows the
// light, at an arbitrary angle: the renderer on this CPU's best instruction set, the same
// renderer held to AVX2 (what Touch Bar Macs have), and the straightforward reference. A table
// of medians and speed-ups follows the usual output.

#include "engine/EffectRenderer.h"
#include "engine/Kernels.h"
#include "tests/engine/PatternRasterizer.h"
#include "tests/engine/reference/ReferenceRenderer.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace lumora {
namespace {

constexpr int frameW = 1085;
constexpr int frameH = 30;
constexpr double fastLimitMs = 0.10;
constexpr double avx2LimitMs = 0.20;
constexpr double minSpeedUp = 15.0;

Params paramsFor(Effect effect, double angle) {
    return {effect, 1.0, 0.4, RGB{68.0 / 255.0, 214.0 / 255.0, 44.0 / 255.0}, angle};
}

void fast(benchmark::State& state, Effect effect, double angle, const char* target) {
    if (target != nullptr && !kernels::forceTarget(target)) {
        state.SkipWithError("instruction set not available here");
        return;
    }
    PatternRasterizer rasterizer; // so the matrix effect has glyphs to draw
    EffectRenderer renderer(frameW, frameH, &rasterizer);
    const Params params = paramsFor(effect, angle);
    double time = 1.0;
    for (auto _ : state) {
        const Frame frame = renderer.render(params, time);
        benchmark::DoNotOptimize(frame.data());
        time += 1.0 / 60.0;
    }
    state.SetLabel(kernels::activeTarget());
    kernels::forceTarget("");
}

void reference(benchmark::State& state, Effect effect, double angle) {
    PatternRasterizer rasterizer;
    reference::ReferenceRenderer renderer(frameW, frameH, &rasterizer);
    const Params params = paramsFor(effect, angle);
    double time = 1.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(renderer.render(params, time).data());
        time += 1.0 / 60.0;
    }
}

// Keeps the median of every benchmark for the summary.
class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" &&
                !run.error_occurred) {
                medianMs[run.run_name.function_name] = run.GetAdjustedRealTime() / 1000.0;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medianMs;
};

struct Case {
    Effect effect;
    double angle;
    std::string name;
};

std::vector<Case> registerAll() {
    std::vector<Case> cases;
    for (Effect effect : allEffects) {
        for (double angle : {90.0, 37.0}) {
            if (angle != 90.0 && !usesAngle(effect)) {
                continue;
            }
            const std::string name =
                std::string(rawValue(effect)) + "/" + std::to_string(static_cast<int>(angle));
            cases.push_back({effect, angle, name});
            auto setUp = [](benchmark::internal::Benchmark* b) {
                b->Unit(benchmark::kMicrosecond)
                    ->MinTime(0.05)
                    ->Repetitions(7)
                    ->ReportAggregatesOnly(true);
            };
            setUp(benchmark::RegisterBenchmark(("fast/" + name).c_str(), fast, effect, angle,
                                               nullptr));
            setUp(benchmark::RegisterBenchmark(("avx2/" + name).c_str(), fast, effect, angle,
                                               "AVX2"));
            setUp(benchmark::RegisterBenchmark(("reference/" + name).c_str(), reference, effect,
                                               angle));
        }
    }
    return cases;
}

// One line per effect and angle; marks what misses its target.
void printSummary(const std::vector<Case>& cases, const Collector& collector) {
    auto get = [&](const std::string& name) {
        const auto it = collector.medianMs.find(name);
        return it == collector.medianMs.end() ? -1.0 : it->second;
    };
    std::printf("\nmedian ms per %dx%d frame, fast on %s (limit %.2f), AVX2 (limit %.2f), "
                "reference; speed-up = reference / fast (at least %.0f)\n",
                frameW, frameH, kernels::activeTarget(), fastLimitMs, avx2LimitMs, minSpeedUp);
    std::printf("%-18s %8s %8s %10s %9s\n", "effect/angle", "fast", "avx2", "reference",
                "speed-up");
    bool allMet = true;
    for (const Case& c : cases) {
        const double f = get("fast/" + c.name);
        const double a = get("avx2/" + c.name);
        const double r = get("reference/" + c.name);
        if (f < 0 && a < 0 && r < 0) {
            continue; // filtered out
        }
        const double ratio = f > 0 ? r / f : 0.0;
        const bool met =
            f > 0 && f <= fastLimitMs && (a < 0 || a <= avx2LimitMs) && ratio >= minSpeedUp;
        allMet = allMet && met;
        std::printf("%-18s %8.4f %8.4f %10.4f %8.1fx%s\n", c.name.c_str(), f, a, r, ratio,
                    met ? "" : "  <-- misses a limit");
    }
    std::printf(allMet ? "every effect within its limits\n" : "SOME EFFECTS MISS A LIMIT\n");
}

} // namespace
} // namespace lumora

int main(int argc, char** argv) {
    const auto cases = lumora::registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    lumora::Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    lumora::printSummary(cases, collector);
    benchmark::Shutdown();
    return 0;
}
