#pragma once

#include <benchmark/benchmark.h>

namespace lumora {

// Google Benchmark's own main, for programs that register their benchmarks at run time.
inline int runBenchmarks(int& argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace lumora
