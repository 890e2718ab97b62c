// One click of each conversion button, run on the window's control model as the
// window runs it: fields read, the other input frame written, the result labels
// written, the altitudes included. Geographic input on tab 0 and tab 1 with the
// initial or Madrid's point.
// The "allocs" counter shows the strings each click builds for its texts.
#include <benchmark/benchmark.h>

#include "AllocationCounter.h"
#include "BenchWindow.h"
#include "convert/Conversions.h"

namespace {

// The window after start-up, both tabs in geographic input; tab 1 holds Madrid
// (40º 25' N, 3º 42' W, 650 m).
struct Window : bench::Window {
    Window() {
        form.SelectOption(form.Get("OptCoord", 1));
        form.Get("OptUTM", 0).value = true;  // the option group spans both tabs
        form.Get("TxtWGSg", 7).text = "40";
        form.Get("TxtWGSg", 14).text = "25";
        form.Get("TxtWGSg", 16).text = "3";
        form.Get("TxtWGSg", 17).text = "42";
        form.Get("TxtWGSg", 26).text = "650,0";
    }
};

template <typename Click>
void RunClick(benchmark::State& state, Click click) {
    Window w;
    convert::Grids& grids = w.window.Grids();
    bench::MeasureAllocations(state, [&] {
        click(w.form, w.platform, grids);
        benchmark::ClobberMemory();
    });
}

void BM_CmdED50Helmert_Click(benchmark::State& state) {
    RunClick(state, convert::CmdED50Helmert_Click);
}
BENCHMARK(BM_CmdED50Helmert_Click);

void BM_CmdWGS84Helmert_Click(benchmark::State& state) {
    RunClick(state, convert::CmdWGS84Helmert_Click);
}
BENCHMARK(BM_CmdWGS84Helmert_Click);

void BM_CmdED50Molodensky_Click(benchmark::State& state) {
    RunClick(state, convert::CmdED50Molodensky_Click);
}
BENCHMARK(BM_CmdED50Molodensky_Click);

void BM_CmdWGS84Molodensky_Click(benchmark::State& state) {
    RunClick(state, convert::CmdWGS84Molodensky_Click);
}
BENCHMARK(BM_CmdWGS84Molodensky_Click);

void BM_CmdED50Rejilla_Click(benchmark::State& state) {
    RunClick(state, convert::CmdED50Rejilla_Click);
}
BENCHMARK(BM_CmdED50Rejilla_Click);

void BM_CmdWGS84Rejilla_Click(benchmark::State& state) {
    RunClick(state, convert::CmdWGS84Rejilla_Click);
}
BENCHMARK(BM_CmdWGS84Rejilla_Click);

}  // namespace
