#include "geo/Radii.h"

#include <gtest/gtest.h>

#include "geo/Ellipsoid.h"

using namespace mGeo;

// WGS84 principal radii (NIMA TR8350.2): meridian radius 6335439.327 m at the equator
// and 6399593.626 m (= polar radius of curvature) at the pole.
TEST(Radii, EquatorAndPoleOfWgs84) {
    InitEllipsoids();
    const Ellipsoid& wgs = Ellipsoids[kWGS84];
    EXPECT_EQ(ParallelRadius(0, wgs), wgs.A);
    EXPECT_NEAR(MeridianRadius(0, wgs), 6335439.327, 0.001);
    EXPECT_NEAR(MeridianRadius(90, wgs), 6399593.626, 0.001);
    EXPECT_NEAR(ParallelRadius(90, wgs), 0, 1e-6);
    EXPECT_EQ(ParallelRadius(-38.5, wgs), ParallelRadius(38.5, wgs));
}

TEST(Radii, ParallelFallsAndMeridianRisesTowardsThePole) {
    InitEllipsoids();
    const Ellipsoid& wgs = Ellipsoids[kWGS84];
    for (double lat = 0; lat < 90; lat += 0.5) {
        EXPECT_GT(ParallelRadius(lat, wgs), ParallelRadius(lat + 0.5, wgs)) << lat;
        EXPECT_LT(MeridianRadius(lat, wgs), MeridianRadius(lat + 0.5, wgs)) << lat;
    }
}
