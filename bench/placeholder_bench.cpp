#include <benchmark/benchmark.h>

#include "lumora/LumoraSdk.h"

// Measures the cheapest export, so that the benchmark program has something to run.
static void BM_GetDllVersion(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(Lumora_GetDllVersion());
}
BENCHMARK(BM_GetDllVersion);
