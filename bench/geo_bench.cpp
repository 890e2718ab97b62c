// The geodetic conversions over the Spain point set (SpainPoints.h), against PROJ
// running the same pipeline over the same points in the same process.
//
// Each comparison runs five rounds; a round passes every contender once over all the
// points, in an order that rotates from round to round, so that no contender always
// follows the same one (caches, frequency). Counters: the median time per point of
// each contender, and its ratio to PROJ's time in the same round, as the minimum and
// median over the rounds (below 1: faster than PROJ). PROJ takes radians, converted
// before its pass starts; Talpor takes the decimal degrees it is typed.
//
// The PROJ pipelines give our numbers within a millimetre (checked once over the
// 127,601 points of the set that get EST99 and fall in zone 30: projected WGS84 points
// within 0.07 mm, the Helmert chain within 0.1 mm horizontally and 0.6 mm in height).
//
// The other benchmarks time one call at a time, stepping through the set, and count
// the heap allocations per call (the "allocs" counter, which must be 0).
#include <benchmark/benchmark.h>
#include <proj.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "SpainPoints.h"
#include "core/Core.h"
#include "geo/mGeo.h"

namespace {

using namespace geo;
using bench::SpainPoints;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 5;

// WGS84 geographic + height -> ED50 by EST99 (position vector, the ED50 -> WGS84 set
// undone) -> UTM zone 30 on the International ellipsoid.
constexpr const char* kProjHelmertChain =
    "+proj=pipeline +step +proj=cart +ellps=WGS84 "
    "+step +inv +proj=helmert +x=-131.032 +y=-100.251 +z=-163.354 +rx=-1.2438 +ry=-0.0195 "
    "+rz=-1.1436 +s=9.39 +convention=position_vector "
    "+step +inv +proj=cart +ellps=intl +step +proj=utm +zone=30 +ellps=intl";
constexpr const char* kProjUtm = "+proj=utm +zone=30 +ellps=WGS84";

// A PROJ pipeline and the arrays it transforms in place.
class ProjPipeline {
  public:
    ProjPipeline(const char* definition, bool withHeight)
        : context_(proj_context_create()),
          pj_(proj_create(context_, definition)),
          withHeight_(withHeight) {}
    ~ProjPipeline() {
        if (pj_ != nullptr) proj_destroy(pj_);
        proj_context_destroy(context_);
    }
    ProjPipeline(const ProjPipeline&) = delete;
    ProjPipeline& operator=(const ProjPipeline&) = delete;

    bool Ok() const { return pj_ != nullptr; }

    // The points in radians and metres, ready for the next Run (not timed).
    void Load() {
        const auto& points = SpainPoints();
        x_.resize(points.size());
        y_.resize(points.size());
        z_.resize(points.size());
        for (std::size_t i = 0; i < points.size(); ++i) {
            x_[i] = points[i].lon * (M_PI / 180);
            y_[i] = points[i].lat * (M_PI / 180);
            z_[i] = points[i].h;
        }
    }

    void Run() {
        const std::size_t n = x_.size();
        proj_trans_generic(pj_, PJ_FWD, x_.data(), sizeof(double), n, y_.data(), sizeof(double), n,
                           withHeight_ ? z_.data() : nullptr, sizeof(double), withHeight_ ? n : 0,
                           nullptr, 0, 0);
        benchmark::DoNotOptimize(x_.data());
    }

  private:
    PJ_CONTEXT* context_;
    PJ* pj_;
    bool withHeight_;
    std::vector<double> x_, y_, z_;
};

struct Contender {
    std::string name;
    std::function<void()> run;  // one pass over every point
    std::vector<double> ns;     // per point, one value per round
    long allocations = 0;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The rounds described above, PROJ first in the list of contenders.
void Compare(benchmark::State& state, ProjPipeline& proj, std::vector<Contender> talpor) {
    if (!proj.Ok()) {
        state.SkipWithError("PROJ could not create the pipeline");
        return;
    }
    const double n = static_cast<double>(SpainPoints().size());
    std::vector<Contender> all;
    all.push_back({"proj", [&proj] { proj.Run(); }, {}, 0});
    for (Contender& c : talpor) all.push_back(std::move(c));
    for (auto _ : state) {
        for (Contender& c : all) {  // warm-up: page faults, caches, the lazy set-ups
            proj.Load();
            c.run();
        }
        for (int round = 0; round < kRounds; ++round) {
            for (std::size_t k = 0; k < all.size(); ++k) {
                Contender& c = all[(k + round) % all.size()];
                proj.Load();
                const long before = bench::AllocationCount();
                const auto start = Clock::now();
                c.run();
                const auto end = Clock::now();
                c.allocations += bench::AllocationCount() - before;
                c.ns.push_back(std::chrono::duration<double, std::nano>(end - start).count() / n);
            }
        }
    }
    const Contender& p = all[0];
    state.counters["proj_ns"] = Median(p.ns);
    for (std::size_t k = 1; k < all.size(); ++k) {
        const Contender& c = all[k];
        std::vector<double> ratio;
        for (int round = 0; round < kRounds; ++round) ratio.push_back(c.ns[round] / p.ns[round]);
        state.counters[c.name + "_ns"] = Median(c.ns);
        state.counters[c.name + "/proj_min"] = *std::min_element(ratio.begin(), ratio.end());
        state.counters[c.name + "/proj_med"] = Median(ratio);
        state.counters[c.name + "_allocs/pt"] = static_cast<double>(c.allocations) / (n * kRounds);
    }
}

// GeoToUTM of every point on WGS84 (its own zone, 29 to 31) against PROJ's UTM 30.
void BM_GeoToUTM_vsPROJ(benchmark::State& state) {
    const auto& points = SpainPoints();
    std::vector<double> E(points.size()), N(points.size());
    ProjPipeline proj(kProjUtm, false);
    Compare(state, proj,
            {{"GeoToUTM",
              [&] {
                  for (std::size_t i = 0; i < points.size(); ++i) {
                      const UTMPoint u = GeoToUTM(points[i].lat, points[i].lon, Ellipsoids[kWGS84]);
                      E[i] = u.E;
                      N[i] = u.N;
                  }
              },
              {},
              0}});
}
BENCHMARK(BM_GeoToUTM_vsPROJ)->Iterations(1)->Unit(benchmark::kMillisecond);

// The Helmert chain WGS84 -> ED50 -> UTM: one point at a time as the window's button
// computes it (set, geocentric, transform, geographic, projection); the one-point core
// call per point, as the window and talpor-lote make it (with the typed point's
// projection for the zone test, and the whole Result); and the core's batch call (zone
// test and answer of each point too).
void BM_HelmertChain_vsPROJ(benchmark::State& state) {
    const auto& points = SpainPoints();
    std::vector<core::GeographicInput> typed;
    for (const auto& p : points) typed.push_back({p.lat, p.lon, p.h});
    std::vector<GeoPoint> target(points.size());
    std::vector<double> E(points.size()), N(points.size());
    std::vector<core::PointResult> out(points.size());
    std::vector<core::GeographicConversion> one(points.size());
    ProjPipeline proj(kProjHelmertChain, true);
    Compare(state, proj,
            {{"point",
              [&] {
                  for (std::size_t i = 0; i < points.size(); ++i) {
                      const bench::SpainPoint& p = points[i];
                      const HelmertZone zone = HelmertZoneOfGeo(p.lat, p.lon);
                      const Geocentric g = GeoToGeocentric(p.lat, p.lon, p.h, Ellipsoids[kWGS84]);
                      const Geocentric t = HelmertTransform(g.X, g.Y, g.Z, HelmertDirection::WGS84ToED50,
                                                            ParametersOf(zone));
                      target[i] = GeocentricToGeo(t.X, t.Y, t.Z, Ellipsoids[kED50]);
                      const UTMPoint u = GeoToUTM(target[i].lat, target[i].lon, Ellipsoids[kED50]);
                      E[i] = u.E;
                      N[i] = u.N;
                  }
              },
              {},
              0},
             {"core1pt",
              [&] {
                  for (std::size_t i = 0; i < typed.size(); ++i)
                      one[i] = core::Helmert(typed[i], core::Direction::WGS84ToED50);
              },
              {},
              0},
             {"batch", [&] { core::Helmert(typed, core::Direction::WGS84ToED50, out); }, {}, 0}});
}
BENCHMARK(BM_HelmertChain_vsPROJ)->Iterations(1)->Unit(benchmark::kMillisecond);

// One call at a time, stepping through the set.
template <typename Body>
void Step(benchmark::State& state, Body body) {
    const auto& points = SpainPoints();
    std::size_t i = 0;
    bench::MeasureAllocations(state, [&] {
        body(points[i], points[i + 1 == points.size() ? 0 : i + 1]);
        i = i + 1 == points.size() ? 0 : i + 1;
    });
}

void BM_UTMToGeo(benchmark::State& state) {
    // The set projected once, outside the timing.
    std::vector<UTMPoint> utm;
    for (const auto& p : SpainPoints()) utm.push_back(GeoToUTM(p.lat, p.lon, Ellipsoids[kWGS84]));
    std::size_t i = 0;
    bench::MeasureAllocations(state, [&] {
        const UTMPoint& u = utm[i];
        benchmark::DoNotOptimize(UTMToGeo(u.E, u.N, u.zone, Ellipsoids[kWGS84], "N"));
        i = i + 1 == utm.size() ? 0 : i + 1;
    });
}
BENCHMARK(BM_UTMToGeo);

void BM_MolodenskyShift(benchmark::State& state) {
    Step(state, [](const bench::SpainPoint& p, const bench::SpainPoint&) {
        benchmark::DoNotOptimize(MolodenskyShift(p.lat, p.lon, p.h, NIMA));
    });
}
BENCHMARK(BM_MolodenskyShift);

// From each point to the next one of the set.
void BM_GeoDistance(benchmark::State& state) {
    Step(state, [](const bench::SpainPoint& p, const bench::SpainPoint& q) {
        benchmark::DoNotOptimize(GeoDistance(p.lat, p.lon, q.lat, q.lon, "Km"));
    });
}
BENCHMARK(BM_GeoDistance);

// The whole one-point core call of the WGS84 -> ED50 Helmert button: mirror, zone
// test, set, conversion, projection, every value in its Result.
void BM_CoreHelmertWGS84ToED50(benchmark::State& state) {
    Step(state, [](const bench::SpainPoint& p, const bench::SpainPoint&) {
        benchmark::DoNotOptimize(
            core::Helmert(core::GeographicInput{p.lat, p.lon, p.h}, core::Direction::WGS84ToED50));
    });
}
BENCHMARK(BM_CoreHelmertWGS84ToED50);

}  // namespace
