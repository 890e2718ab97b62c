// Geocentric coordinates, which the Helmert chain goes through, and the limits of the
// datum formulas; the conversions themselves are met against PROJ in
// tests/core/CoreTest.cpp.
#include <cmath>

#include "geo/GeoTest.h"
#include "geo/Geocentric.h"
#include "geo/Molodensky.h"
#include "support/DataFile.h"

using namespace geo;
using namespace geotest;
using testing_support::ReadDataFile;

// tests/data/geocentric.txt: PROJ's X, Y, Z of points of Spain and of every quadrant, near
// the poles, on the axes, from 400 m below the ellipsoid to above Everest, within 0,1 mm;
// and back from PROJ's X, Y, Z to the degrees within the iteration's 1e-11 rad, and the
// height within 0,1 mm. Off the X > 0 half-space the longitude gets its quadrant, not
// atan(Y / X) 180º off; on the X axis behind the pole it is 180.
TEST(Geocentric, MeetsProjOnEveryReferencePointBothWays) {
    for (const auto& r : ReadDataFile("geocentric.txt")) {
        SCOPED_TRACE(r.where);
        const Ellipsoid& ell = EllipsoidNamed(r[0]);
        const double lat = r.Number(1), lon = r.Number(2), h = r.Number(3);
        const double X = r.Number(4), Y = r.Number(5), Z = r.Number(6);
        const Geocentric g = GeoToGeocentric(lat, lon, h, ell);
        EXPECT_NEAR(g.X, X, 1e-4);
        EXPECT_NEAR(g.Y, Y, 1e-4);
        EXPECT_NEAR(g.Z, Z, 1e-4);
        const GeoPoint p = GeocentricToGeo(X, Y, Z, ell);
        EXPECT_NEAR(p.lat, lat, 5.7e-10);  // 1e-11 rad
        EXPECT_NEAR(p.lon, lon, 5.7e-10);
        EXPECT_NEAR(p.h, h, 1e-4);
    }
}

// On the polar axis and at the centre there is no longitude: the division error.
TEST(Geocentric, ThePolarAxisRaisesTheDivisionError) {
    EXPECT_EQ(ErrorNumber([] { GeocentricToGeo(0, 0, 6356752.314, Wgs84()); }), 11);
    EXPECT_EQ(ErrorNumber([] { GeocentricToGeo(0, 0, 0, Wgs84()); }), 11);
}

// At the equator M = a(1 − e²) and N = a exactly: a height that cancels either radius
// raises the division error.
TEST(Molodensky, AHeightCancellingARadiusRaises) {
    EXPECT_EQ(ErrorNumber([] { MolodenskyShift(0, 0, -Ed50().A * (1 - Ed50().E2), IGN); }), 11);
    EXPECT_EQ(ErrorNumber([] { MolodenskyShift(0, 0, -Ed50().A, IGN); }), 11);
}
