#include "geo/Distance.h"

#include "geo/Angles.h"
#include "geo/GeoTest.h"
#include "geo/Radii.h"

using namespace geo;
using namespace geotest;

// Meeus, Astronomical Algorithms, example 11.c (6181.63 km), and exact geodesics from
// PROJ 9.1.1 (geod +ellps=WGS84 -I), which Andoyer's formula meets within f² × distance.
TEST(GeoDistance, MatchesTheWorkedExampleAndProjGeodesics) {
    const double d = GeoDistance(DMSToDeg(48, 50, 11, false), DMSToDeg(2, 20, 14, false),
                                 DMSToDeg(38, 55, 17, false), DMSToDeg(77, 3, 56, true), "Km");
    EXPECT_NEAR(d, 6181.63, 0.01);
    EXPECT_NEAR(d, 6181.631685, 0.05);
    EXPECT_NEAR(GeoDistance(40, -3, 41, -3, "Km"), 111.044261, 0.01);
    EXPECT_NEAR(GeoDistance(0, 0, 1, 0, "Km"), 110.574389, 0.01);  // along the meridian
    EXPECT_NEAR(GeoDistance(0, 0, 0, 1, "Km"), 111.319491, 0.01);  // along the equator
}

TEST(GeoDistance, UnitsAreTrimmedAndCaseInsensitive) {
    const double km = GeoDistance(40, -3, 41, -2, "Km");
    EXPECT_EQ(GeoDistance(40, -3, 41, -2, "MILLAS n"), km / 1.852);
    EXPECT_EQ(GeoDistance(40, -3, 41, -2, "  mILLAS t  "), km / 1.609344);
    EXPECT_EQ(GeoDistance(40, -3, 41, -2, "Millas"), km);
}

// WGS84 principal radii (NIMA TR8350.2): meridian radius 6335439.327 m at the equator
// and 6399593.626 m (= polar radius of curvature) at the pole.
TEST(Radii, EquatorAndPoleOfWgs84) {
    EXPECT_NEAR(MeridianRadius(0, Wgs84()), 6335439.327, 0.001);
    EXPECT_NEAR(MeridianRadius(90, Wgs84()), 6399593.626, 0.001);
}
