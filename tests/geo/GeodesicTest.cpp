#include "geo/Geodesic.h"

#include <gtest/gtest.h>

#include "support/DataFile.h"

using testing_support::ReadDataFile;

// tests/data/geodesics.txt: PROJ's geod and GeographicLib's own reference geodesics, short
// (millimetres), meridional, equatorial, long and nearly antipodal; the length to a tenth
// of a millimetre, the azimuths to a thousandth of an arc-second.
TEST(Geodesic, MeetsGeodAndGeographicLibOnEveryReferenceGeodesic) {
    for (const auto& r : ReadDataFile("geodesics.txt")) {
        SCOPED_TRACE(r.where + " " + r[0]);
        const geo::Geodesic g =
            geo::InverseGeodesic(r.Number(1), r.Number(2), r.Number(3), r.Number(4));
        ASSERT_TRUE(g.done) << g.problem;
        EXPECT_NEAR(g.azimuth1, r.Number(5), 0.001 / 3600);
        EXPECT_NEAR(g.backAzimuth2, r.Number(6), 0.001 / 3600);
        EXPECT_NEAR(g.metres, r.Number(7), 0.0001);
    }
}
