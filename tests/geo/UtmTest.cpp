#include "geo/Utm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geo/Angles.h"
#include "geo/Ellipsoid.h"
#include "num/RuntimeError.h"

using namespace mGeo;

namespace {

const Ellipsoid& Wgs84() {
    InitEllipsoids();
    return Ellipsoids[kWGS84];
}
const Ellipsoid& Ed50() {
    InitEllipsoids();
    return Ellipsoids[kED50];
}

int ErrorNumber(auto&& call) {
    try {
        call();
    } catch (const num::RuntimeError& e) {
        return e.Number();
    }
    return 0;
}

}  // namespace

// Reference values from PROJ 9.1.1 (Debian proj-bin), e.g.
//   echo "-3.5 40.5" | cs2cs -f %.6f +proj=longlat +datum=WGS84 +to +proj=utm +zone=30 +datum=WGS84
// and +ellps=intl for ED50. PROJ uses the exact (Poder/Engsager) transverse Mercator;
// the series here is truncated at P^6 and n^3, which within 3.5 degrees of the central
// meridian and below 45 N stays well under a millimetre (measured: at most 0.06 mm).
TEST(Utm, ProjectionMatchesProjWithinAMillimetre) {
    struct Case {
        double lat, lon;
        bool ed50;
        double E, N;
        const char* zone;
    } cases[] = {
        {40.5, -3.5, false, 457632.986468, 4483374.791068, "30T"},
        {40.5, -2.5, false, 542367.013532, 4483374.791068, "30T"},
        {40.4168, -3.7038, false, 440290.458054, 4474257.382006, "30T"},
        {43.0, -8.5, false, 540754.212759, 4760936.073230, "29T"},
        {39.5, 2.65, false, 469907.309054, 4372322.972127, "31S"},
        {36.0, -6.0, false, 229578.629990, 3988111.962343, "30S"},
        {44.0, -0.5, false, 700437.593011, 4874911.478584, "30T"},
        {40.4, -3.7, true, 440595.387219, 4472467.209910, "30T"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lat << " " << c.lon);
        UTMPoint u = GeoToUTM(c.lat, c.lon, c.ed50 ? Ed50() : Wgs84());
        EXPECT_NEAR(u.E, c.E, 0.001);
        EXPECT_NEAR(u.N, c.N, 0.001);
        EXPECT_EQ(u.zoneText, c.zone);

        LatLon g = UTMToGeo(c.E, c.N, u.zone, c.ed50 ? Ed50() : Wgs84(), "N");
        EXPECT_NEAR(g.lat, c.lat, 1e-8);  // 1e-8 degrees is about a millimetre
        EXPECT_NEAR(g.lon, c.lon, 1e-8);
    }
}

TEST(Utm, EastingIsSymmetricAboutTheCentralMeridian) {
    UTMPoint west = GeoToUTM(40.5, -3.5, Wgs84());
    UTMPoint east = GeoToUTM(40.5, -2.5, Wgs84());
    EXPECT_LT(west.E, 500000);
    EXPECT_GT(east.E, 500000);
    EXPECT_NEAR(west.E + east.E, 1000000, 1e-6);
    EXPECT_NEAR(west.N, east.N, 1e-6);
}

TEST(Utm, ZoneFollowsLongitudeAndTheNorwaySvalbardExceptions) {
    struct Case {
        double lat, lon;
        const char* zoneText;
    } cases[] = {
        {40, -6, "30T"},          // Int((−6 + 180) / 6) + 1
        {40, -6.000001, "29T"},
        {40, 0, "31T"},
        {40, 183, "1T"},          // normalised to −177
        {40, -180, "1T"},
        {40, 180, "1T"},
        {40, 179.999, "60T"},
        {40, -543, "60T"},        // normalised to 177
        {60, 5, "32V"},           // Norway
        {56, 3, "32V"},           // both lower bounds inclusive
        {55.999, 3, "31U"},
        {60, 2.999, "31V"},
        {60, 12, "33V"},          // upper bound exclusive
        {64, 5, "31W"},
        {75, 10, "33X"},          // Svalbard
        {72, 0, "31X"},
        {75, 8.999, "31X"},
        {75, 9, "33X"},
        {75, 21, "35X"},
        {75, 33, "37X"},
        {75, 42, "38X"},          // past the last exception: the ordinary zone
        {84, 10, "32X"},          // latitude 84 is outside the exception (84 exclusive)
        {71.999, 10, "32W"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lat << " " << c.lon);
        EXPECT_EQ(GeoToUTM(c.lat, c.lon, Wgs84()).zoneText, c.zoneText);
    }
}

TEST(Utm, BandLetterBoundsAreLowerInclusiveExceptX) {
    const double below8 = std::nextafter(8.0, 0.0);
    struct Case {
        double lat;
        char letter;
    } cases[] = {
        {84, 'X'},      {84.0001, 'Z'}, {72, 'X'},  {71.9999, 'W'}, {64, 'W'},
        {56, 'V'},      {48, 'U'},      {40.5, 'T'}, {32, 'S'},     {8, 'P'},
        {below8, 'N'},  {0, 'N'},       {-1e-9, 'M'}, {-8, 'M'},    {-8.0001, 'L'},
        {-72, 'D'},     {-72.0001, 'C'}, {-80, 'C'},     {-80.0001, 'Z'}, {90, 'Z'},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UTMBandLetter(c.lat), c.letter) << c.lat;
    }
}

// Reference: cs2cs -f %.6f +proj=longlat +datum=WGS84 +to +proj=utm +zone=34 +south
// +datum=WGS84 (PROJ 9.1.1) for 33.9 S 18.4 E.
TEST(Utm, SouthernHemisphereNorthingAddsTenMillionMetres) {
    UTMPoint south = GeoToUTM(-33.9, 18.4, Wgs84());
    EXPECT_EQ(south.zoneText, "34H");
    EXPECT_NEAR(south.E, 259583.221660, 0.001);
    EXPECT_NEAR(south.N, 6245888.045441, 0.001);
    UTMPoint north = GeoToUTM(33.9, 18.4, Wgs84());
    EXPECT_EQ(south.N, 10000000 - north.N);
}

TEST(Utm, RoundTripBetween35And44NorthIsWithinATenThousandthOfAnArcSecond) {
    for (const Ellipsoid* ell : {&Wgs84(), &Ed50()}) {
        for (double lat = 35; lat <= 44; lat += 0.25) {
            for (double lon = -9.75; lon <= 4.5; lon += 0.375) {
                UTMPoint u = GeoToUTM(lat, lon, *ell);
                LatLon g = UTMToGeo(u.E, u.N, u.zone, *ell, "N");
                ASSERT_NEAR(g.lat, lat, 1e-4 / 3600) << lat << " " << lon;
                ASSERT_NEAR(g.lon, lon, 1e-4 / 3600) << lat << " " << lon;
            }
        }
    }
}

TEST(Utm, ZeroNorthingMakesNoIterationAndGivesTheEquator) {
    LatLon g = UTMToGeo(500000, 0, 30, Wgs84(), "N");
    EXPECT_EQ(g.lat, 0);
    EXPECT_NEAR(g.lon, -3, 1e-12);
}

TEST(Utm, AbsurdNumbersRaiseOverflowInsteadOfNonFiniteResults) {
    EXPECT_EQ(ErrorNumber([] { UTMToGeo(500000, 4e6, 6000, Wgs84()); }), 6);  // 6 × zone
    EXPECT_EQ(ErrorNumber([] { UTMToGeo(1e300, 4e6, 30, Wgs84()); }), 6);
    EXPECT_EQ(ErrorNumber([] { GeoToUTM(1e308, 0, Wgs84()); }), 6);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(ErrorNumber([&] { GeoToUTM(40, nan, Wgs84()); }), 6);
    // An ellipsoid record that InitEllipsoids never filled.
    EXPECT_EQ(ErrorNumber([] { GeoToUTM(40, -3, Ellipsoid{}); }), 11);
}
