// Counts every global allocation of this test program, to show that the conversions
// a workflow runs per point never touch the heap.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "geo/mGeo.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

using namespace mGeo;

TEST(NoAllocation, ConversionsOfOnePointNeverAllocate) {
    InitEllipsoids();
    const Ellipsoid& wgs = Ellipsoids[kWGS84];
    const Ellipsoid& ed50 = Ellipsoids[kED50];
    const long before = allocations.load();

    UTMPoint u = GeoToUTM(40.4, -3.7, wgs);
    LatLon g = UTMToGeo(u.E, u.N, u.zone, wgs, "N");
    ASSERT_TRUE(HelmertZoneFromGeo(g.lat, g.lon));
    Geocentric c = GeoToGeocentric(g.lat, g.lon, 600, wgs);
    Geocentric t = HelmertTransform(c.X, c.Y, c.Z, HelmertDirection::WGS84ToED50);
    GeoPoint p = GeocentricToGeo(t.X, t.Y, t.Z, ed50);
    UTMPoint r = GeoToUTM(p.lat, p.lon, ed50);
    MolodenskyShifts m = MolodenskyShift(p.lat, p.lon, p.h, NIMA);
    double d = GeoDistance(40, -3, 41, -2, "Millas N");

    EXPECT_EQ(allocations.load() - before, 0);
    EXPECT_EQ(r.zoneText, "30T");
    EXPECT_GT(m.dH + d, 0);
}
