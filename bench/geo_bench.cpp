// Per-point cost of the geodetic conversions, and proof that none of them touches the
// heap: every global allocation of this program is counted, and each benchmark
// reports the allocations per call it saw (the "allocs" counter, which must be 0).
#include <benchmark/benchmark.h>

#include "AllocationCounter.h"
#include "geo/mGeo.h"

namespace {

using namespace mGeo;

template <typename Body>
void Measure(benchmark::State& state, Body body) {
    InitEllipsoids();
    bench::MeasureAllocations(state, body);
}

void BM_GeoToUTM(benchmark::State& state) {
    double lat = 40.4168, lon = -3.7038;
    Measure(state, [&] {
        benchmark::DoNotOptimize(lat);
        benchmark::DoNotOptimize(GeoToUTM(lat, lon, Ellipsoids[kWGS84]));
    });
}
BENCHMARK(BM_GeoToUTM);

void BM_UTMToGeo(benchmark::State& state) {
    double E = 440290.458054, N = 4474257.382006;
    Measure(state, [&] {
        benchmark::DoNotOptimize(E);
        benchmark::DoNotOptimize(UTMToGeo(E, N, 30, Ellipsoids[kWGS84], "N"));
    });
}
BENCHMARK(BM_UTMToGeo);

// What the WGS84 -> ED50 Helmert button computes for one point.
void BM_HelmertChainWGS84ToED50(benchmark::State& state) {
    double lat = 40.4168, lon = -3.7038, h = 600;
    Measure(state, [&] {
        benchmark::DoNotOptimize(lat);
        if (!HelmertZoneFromGeo(lat, lon)) state.SkipWithError("outside the zones");
        const Geocentric g = GeoToGeocentric(lat, lon, h, Ellipsoids[kWGS84]);
        const Geocentric t = HelmertTransform(g.X, g.Y, g.Z, HelmertDirection::WGS84ToED50);
        const GeoPoint p = GeocentricToGeo(t.X, t.Y, t.Z, Ellipsoids[kED50]);
        benchmark::DoNotOptimize(p);
        benchmark::DoNotOptimize(GeoToUTM(p.lat, p.lon, Ellipsoids[kED50]));
    });
}
BENCHMARK(BM_HelmertChainWGS84ToED50);

void BM_MolodenskyShift(benchmark::State& state) {
    double lat = 40.4168, lon = -3.7038, h = 600;
    Measure(state, [&] {
        benchmark::DoNotOptimize(lat);
        benchmark::DoNotOptimize(MolodenskyShift(lat, lon, h, NIMA));
    });
}
BENCHMARK(BM_MolodenskyShift);

void BM_GeoDistance(benchmark::State& state) {
    double lat1 = 48.836388888888891, lon1 = 2.3372222222222223;
    double lat2 = 38.921388888888891, lon2 = -77.065555555555562;
    Measure(state, [&] {
        benchmark::DoNotOptimize(lat1);
        benchmark::DoNotOptimize(GeoDistance(lat1, lon1, lat2, lon2, "Km"));
    });
}
BENCHMARK(BM_GeoDistance);

}  // namespace
