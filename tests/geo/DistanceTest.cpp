#include "geo/Distance.h"

#include <gtest/gtest.h>

#include <cmath>

#include "geo/Angles.h"

using namespace mGeo;

namespace {
const double kParisLat = DMSToDeg(48, 50, 11, false);
const double kParisLon = DMSToDeg(2, 20, 14, false);
const double kWashingtonLat = DMSToDeg(38, 55, 17, false);
const double kWashingtonLon = DMSToDeg(77, 3, 56, true);
}  // namespace

// Meeus, Astronomical Algorithms, example 11.c gives 6181.63 km. The exact geodesic is
// 6181.631685 km (PROJ 9.1.1: geod +ellps=WGS84 -I on the same points); Andoyer's
// first-order formula is off by order f² × distance, some tens of metres at most.
TEST(GeoDistance, ParisWashingtonWorkedExample) {
    const double d = GeoDistance(kParisLat, kParisLon, kWashingtonLat, kWashingtonLon, "Km");
    EXPECT_NEAR(d, 6181.63, 0.01);
    EXPECT_NEAR(d, 6181.631685, 0.05);
}

TEST(GeoDistance, UnitsAreTrimmedAndCaseInsensitive) {
    const double km = GeoDistance(40, -3, 41, -2, "Km");
    EXPECT_EQ(GeoDistance(40, -3, 41, -2, "Millas N"), km / 1.852);
    EXPECT_EQ(GeoDistance(40, -3, 41, -2, "  mILLAS t  "), km / 1.609344);
    EXPECT_EQ(GeoDistance(40, -3, 41, -2, "MILLAS n"), km / 1.852);
    EXPECT_EQ(GeoDistance(40, -3, 41, -2, "Millas"), km);
    EXPECT_EQ(GeoDistance(40, -3, 41, -2, ""), km);
}

TEST(GeoDistance, EqualPointsGiveZero) {
    EXPECT_EQ(GeoDistance(0, 0, 0, 0, "Km"), 0);
    EXPECT_EQ(GeoDistance(40.5, -3.25, 40.5, -3.25, "Millas N"), 0);
}

// Exact geodesics from PROJ 9.1.1 geod +ellps=WGS84 -I: 111.044261 km for 40..41 N on
// 3 W, 110.574389 km for 0..1 N and 111.319491 km for 1 degree along the equator.
TEST(GeoDistance, OneDegreeAlongMeridianAndEquator) {
    EXPECT_NEAR(GeoDistance(40, -3, 41, -3, "Km"), 111.044261, 0.01);
    const double meridian = GeoDistance(0, 0, 1, 0, "Km");
    const double equator = GeoDistance(0, 0, 0, 1, "Km");
    EXPECT_NEAR(meridian, 110.574389, 0.01);
    EXPECT_NEAR(equator, 111.319491, 0.01);
    EXPECT_GT(equator, meridian);
}

// The exact geodesic (geod +ellps=WGS84 -I) is 20003.931459 km, half a meridian.
// Andoyer's first-order correction degrades near the antipode and lands close to half
// the equator (20037.5 km) instead; what matters is a finite half circumference.
TEST(GeoDistance, NearlyAntipodalPointsStayFinite) {
    const double d = GeoDistance(10, 0, -10, 180, "Km");
    EXPECT_TRUE(std::isfinite(d));
    EXPECT_GT(d, 20003.9);
    EXPECT_LT(d, 20037.6);
}
