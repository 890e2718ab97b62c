#include "geo/Distance.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "geo/GeoTest.h"
#include "geo/Radii.h"
#include "support/DataFile.h"

using namespace geo;
using namespace geotest;
using testing_support::ReadDataFile;

// tests/data/distance.txt: PROJ's exact geodesics, which Andoyer's formula meets within
// f² (1,2e-5) of the distance and a few decimetres, and published values, met to half
// their last digit.
TEST(GeoDistance, MeetsEveryReferenceDistance) {
    for (const auto& r : ReadDataFile("distance.txt")) {
        SCOPED_TRACE(r.where);
        const double km = r.Number(5);
        const std::size_t point = std::min(r[5].find('.'), r[5].size() - 1);
        const double last = std::pow(10.0, double(point) + 1 - double(r[5].size()));  // its digit
        const double within = r[0] == "geod" ? 1.2e-5 * km + 0.0003 : last / 2;
        EXPECT_NEAR(GeoDistance(r.Number(1), r.Number(2), r.Number(3), r.Number(4), "Km"), km,
                    within);
    }
}

TEST(GeoDistance, UnitsAreTrimmedAndCaseInsensitive) {
    const double km = GeoDistance(40, -3, 41, -2, "Km");
    EXPECT_EQ(GeoDistance(40, -3, 41, -2, "MILLAS n"), km / 1.852);
    EXPECT_EQ(GeoDistance(40, -3, 41, -2, "  mILLAS t  "), km / 1.609344);
    EXPECT_EQ(GeoDistance(40, -3, 41, -2, "Millas"), km);
}

// tests/data/radii.txt: the parallels' radii from PROJ, the meridian's as NIMA publishes
// them, within a millimetre.
TEST(Radii, MeetEveryReferenceRadius) {
    for (const auto& r : ReadDataFile("radii.txt")) {
        SCOPED_TRACE(r.where);
        const Ellipsoid& ell = EllipsoidNamed(r[1]);
        ASSERT_TRUE(r[0] == "parallel" || r[0] == "meridian");
        const double lat = r.Number(2);
        EXPECT_NEAR(r[0] == "parallel" ? ParallelRadius(lat, ell) : MeridianRadius(lat, ell),
                    r.Number(3), 0.001);
    }
}
