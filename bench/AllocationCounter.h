// Counts every global heap allocation of the benchmark program, so that each
// benchmark can prove its code path does not allocate.
#pragma once

#include <benchmark/benchmark.h>

namespace bench {

long AllocationCount();

// Runs `body` in the benchmark loop and reports the allocations per call as the
// "allocs" counter (0 for an allocation-free path).
template <typename Body>
void MeasureAllocations(benchmark::State& state, Body body) {
    const long before = AllocationCount();
    for (auto _ : state) body();
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(AllocationCount() - before),
                                                  benchmark::Counter::kAvgIterations);
}

}  // namespace bench
