// One click of each conversion button, run on the window's control model as the
// window runs it: fields read, the other input frame written, the result labels
// written, the altitudes included. Geographic input on tab 0 and tab 1; before each click the fields get the
// next of 4096 points of the Spain set (SpainPoints.h), as degrees, minutes and
// seconds with two decimals, so that no click repeats the one before it. Typing them
// is a few short string copies, which never allocate. The "allocs" counter shows the
// strings each click builds for its texts.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "BenchWindow.h"
#include "SpainPoints.h"
#include "convert/Conversions.h"

namespace {

// A point as the fields take it.
struct TypedPoint {
    std::string latDeg, latMin, latSec, lonDeg, lonMin, lonSec, h;
    bool east;
};

// Whole degrees, whole minutes and seconds with two decimals and a decimal comma.
void Sexagesimal(double value, std::string& deg, std::string& min, std::string& sec) {
    const long hundredths = std::lround(std::fabs(value) * 360000);
    deg = std::to_string(hundredths / 360000);
    min = std::to_string(hundredths / 6000 % 60);
    const long s = hundredths % 6000;
    sec = std::to_string(s / 100) + "," + std::to_string(s % 100 / 10) + std::to_string(s % 10);
}

const std::vector<TypedPoint>& TypedPoints() {
    static const std::vector<TypedPoint> points = [] {
        std::vector<TypedPoint> v;
        const auto& set = bench::SpainPoints();
        for (std::size_t i = 0; i < 4096; ++i) {
            TypedPoint t;
            Sexagesimal(set[i].lat, t.latDeg, t.latMin, t.latSec);
            Sexagesimal(set[i].lon, t.lonDeg, t.lonMin, t.lonSec);
            t.east = set[i].lon >= 0;
            t.h = std::to_string(std::lround(set[i].h)) + ",0";
            v.push_back(t);
        }
        return v;
    }();
    return points;
}

// The window after start-up, both tabs in geographic input.
struct Window : bench::Window {
    Window() {
        form.SelectOption(form.Get("OptCoord", 1));
        form.Get("OptUTM", 0).value = true;  // the option group spans both tabs
    }

    // The fields of `tab`'s geographic frame get point t.
    void Type(int tab, const TypedPoint& t) {
        const int f[2][7] = {{0, 1, 2, 3, 4, 5, 6}, {7, 14, 15, 16, 17, 18, 26}};
        const std::string* texts[] = {&t.latDeg, &t.latMin, &t.latSec, &t.lonDeg,
                                      &t.lonMin, &t.lonSec, &t.h};
        for (int k = 0; k < 7; ++k) form.Get("TxtWGSg", f[tab][k]).text = *texts[k];
        form.SelectOption(form.Get("OptLng", (tab == 0 ? 0 : 4) + (t.east ? 1 : 0)));
    }
};

template <typename Click>
void RunClick(benchmark::State& state, int tab, Click click) {
    Window w;
    core::Grids& grids = w.window.Grids();
    const auto& points = TypedPoints();
    for (const TypedPoint& t : points) {  // every string at its longest before the timing
        w.Type(tab, t);
        click(w.form, w.platform, grids);
    }
    std::size_t i = 0;
    bench::MeasureAllocations(state, [&] {
        w.Type(tab, points[i]);
        click(w.form, w.platform, grids);
        benchmark::ClobberMemory();
        i = (i + 1) % points.size();
    });
}

void BM_CmdED50Helmert_Click(benchmark::State& state) {
    RunClick(state, 0, convert::CmdED50Helmert_Click);
}
BENCHMARK(BM_CmdED50Helmert_Click);

void BM_CmdWGS84Helmert_Click(benchmark::State& state) {
    RunClick(state, 1, convert::CmdWGS84Helmert_Click);
}
BENCHMARK(BM_CmdWGS84Helmert_Click);

void BM_CmdED50Molodensky_Click(benchmark::State& state) {
    RunClick(state, 0, convert::CmdED50Molodensky_Click);
}
BENCHMARK(BM_CmdED50Molodensky_Click);

void BM_CmdWGS84Molodensky_Click(benchmark::State& state) {
    RunClick(state, 1, convert::CmdWGS84Molodensky_Click);
}
BENCHMARK(BM_CmdWGS84Molodensky_Click);

void BM_CmdED50Rejilla_Click(benchmark::State& state) {
    RunClick(state, 0, convert::CmdED50Rejilla_Click);
}
BENCHMARK(BM_CmdED50Rejilla_Click);

void BM_CmdWGS84Rejilla_Click(benchmark::State& state) {
    RunClick(state, 1, convert::CmdWGS84Rejilla_Click);
}
BENCHMARK(BM_CmdWGS84Rejilla_Click);

}  // namespace
