// The four buttons of the utilities tab, each a whole click on the control model:
// reading the fields, computing, writing labels or building the message text. The
// message boxes are answered at once by a platform that does nothing else. The
// clicks build texts, so they allocate; the counter shows how much.
#include <benchmark/benchmark.h>

#include "AllocationCounter.h"
#include "BenchWindow.h"
#include "utilities/Utilities.h"

namespace {

// The window as start-up leaves it (21 June 2024, "UTC+1", "Verano   +1"), with the
// initial points of the tab.
using bench::Window;

void BM_Command4_Distance(benchmark::State& state) {
    Window w;
    bench::MeasureAllocations(state, [&] {
        utilities::Command4_Click(w.form, w.platform);
        benchmark::DoNotOptimize(w.form.Get("LblDist").text.data());
    });
}

void BM_Command2_ArcLengths(benchmark::State& state) {
    Window w;
    bench::MeasureAllocations(state, [&] { utilities::Command2_Click(w.form, w.platform); });
}

void BM_Command5_Formats(benchmark::State& state) {
    Window w;
    bench::MeasureAllocations(state, [&] { utilities::Command5_Click(w.form, w.platform); });
}

void BM_Command3_SolarCalendar(benchmark::State& state) {
    Window w;
    auto& date = w.form.Get("MonthView1").date;
    bench::MeasureAllocations(state, [&] {
        utilities::Command3_Click(w.form, w.platform);
        benchmark::DoNotOptimize(w.form.Get("LblOcaso").text.data());
        date.day = date.day >= 28 ? 1 : date.day + 1;
    });
}

// Polar night at 70º N: sunrise and sunset end in the no-rise error.
void BM_Command3_PolarNight(benchmark::State& state) {
    Window w;
    w.form.Get("TxtWGSg", 9).text = "70";
    w.form.Get("MonthView1").date = {2024, 12, 21};
    w.form.Get("CmbHS").listIndex = 0;
    bench::MeasureAllocations(state, [&] {
        utilities::Command3_Click(w.form, w.platform);
        benchmark::DoNotOptimize(w.form.Get("LblOrto").text.data());
    });
}

}  // namespace

BENCHMARK(BM_Command4_Distance);
BENCHMARK(BM_Command2_ArcLengths);
BENCHMARK(BM_Command5_Formats);
BENCHMARK(BM_Command3_SolarCalendar);
BENCHMARK(BM_Command3_PolarNight);
