// Solar ephemeris timings. Every call must stay allocation-free on the normal path
// (the polar-day error path may allocate for its message): the global operator new
// of the benchmark program counts allocations, and each benchmark reports them per call.
#include <benchmark/benchmark.h>

#include "AllocationCounter.h"
#include "astro/mAAlgorit.h"

namespace {

using namespace astro;

// Madrid on the June solstice, Zone 1 + summer time; the day changes every call so
// that nothing can be hoisted out of the loop.
constexpr double kLat = 40.4167;
constexpr double kLon = -3.7;

template <typename F>
void Run(benchmark::State& state, F f) {
    double day = 1;
    long before = bench::AllocationCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(f(day));
        day = day >= 28 ? 1 : day + 1;
    }
    state.counters["allocs/call"] = benchmark::Counter(
        static_cast<double>(bench::AllocationCount() - before), benchmark::Counter::kAvgIterations);
}

void BM_SunriseLocal(benchmark::State& state) {
    Run(state, [](double d) { return SunriseLocal(kLat, kLon, 2024, 6, d, 1, 1); });
}
void BM_TransitLocal(benchmark::State& state) {
    Run(state, [](double d) { return TransitLocal(kLat, kLon, 2024, 6, d, 1, 1); });
}
void BM_SunsetLocal(benchmark::State& state) {
    Run(state, [](double d) { return SunsetLocal(kLat, kLon, 2024, 6, d, 1, 1); });
}
void BM_SunAzimuth(benchmark::State& state) {
    Run(state, [](double d) { return SunAzimuth(kLat, kLon, 2024, 6, d, 6, 44, 37.5, 1, 1); });
}

// The polar-night error path: shows that the counter does see allocations (the
// exception and its message).
void BM_SunriseLocalPolarNight(benchmark::State& state) {
    Run(state, [](double d) {
        try {
            return SunriseLocal(70, 20, 2024, 12, d < 10 ? d + 10 : d, 1, 0);
        } catch (const NoRiseOrSetError& e) {
            return static_cast<double>(e.Reason());
        }
    });
}

}  // namespace

BENCHMARK(BM_SunriseLocal);
BENCHMARK(BM_TransitLocal);
BENCHMARK(BM_SunsetLocal);
BENCHMARK(BM_SunAzimuth);
BENCHMARK(BM_SunriseLocalPolarNight);
