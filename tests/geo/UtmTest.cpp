#include "geo/Utm.h"

#include <cmath>

#include "geo/GeoTest.h"

using namespace geo;
using namespace geotest;

// Reference values from PROJ 9.1.1 (Debian proj-bin), e.g.
//   echo "-3.5 40.5" | cs2cs -f %.6f +proj=longlat +datum=WGS84 +to +proj=utm +zone=30 +datum=WGS84
// with +ellps=intl for ED50 and +south for 33.9 S. PROJ's exact transverse Mercator and
// the series here (P^6, n^3) differ by at most 0.06 mm within 3.5º of the central meridian.
TEST(Utm, ProjectionMatchesProjWithinAMillimetre) {
    const std::tuple<double, double, const Ellipsoid*, double, double, const char*> cases[] = {
        {40.5, -3.5, &Wgs84(), 457632.986468, 4483374.791068, "30T"},
        {40.5, -2.5, &Wgs84(), 542367.013532, 4483374.791068, "30T"},
        {40.4168, -3.7038, &Wgs84(), 440290.458054, 4474257.382006, "30T"},
        {43.0, -8.5, &Wgs84(), 540754.212759, 4760936.073230, "29T"},
        {39.5, 2.65, &Wgs84(), 469907.309054, 4372322.972127, "31S"},
        {36.0, -6.0, &Wgs84(), 229578.629990, 3988111.962343, "30S"},
        {44.0, -0.5, &Wgs84(), 700437.593011, 4874911.478584, "30T"},
        {40.4, -3.7, &Ed50(), 440595.387219, 4472467.209910, "30T"},
        {-33.9, 18.4, &Wgs84(), 259583.221660, 6245888.045441, "34H"}};
    for (const auto& [lat, lon, ell, E, N, zone] : cases) {
        SCOPED_TRACE(testing::Message() << lat << " " << lon);
        const UTMPoint u = GeoToUTM(lat, lon, *ell);
        EXPECT_NEAR(u.E, E, 0.001);
        EXPECT_NEAR(u.N, N, 0.001);
        EXPECT_EQ(u.zoneText, zone);
        if (lat < 0) continue;  // the southern inverse is a first approximation only
        const LatLon g = UTMToGeo(E, N, u.zone, *ell, "N");
        EXPECT_NEAR(g.lat, lat, 1e-8);  // 1e-8 degrees is about a millimetre
        EXPECT_NEAR(g.lon, lon, 1e-8);
    }
}

// Reference: PROJ 9.1.1, `proj -V +proj=utm +zone=Z +ellps=intl` (or WGS84): its
// "Parallel scale (k)" to 8 decimals and "Convergence" in degrees.
TEST(Utm, GridFactorsMatchProjInTheDigitsShown) {
    const struct {
        int ellipsoid, zone;
        double lat, lon, k, convergence;
    } cases[] = {
        {geo::kED50, 29, 43.3, -9.2, 0.99960324, -0.13716397},
        {geo::kED50, 29, 36.1, -6.0, 1.00049889, 1.76865821},
        {geo::kED50, 30, 40.4168, -3.7038, 0.99964389, -0.45631738},
        {geo::kED50, 30, 38.9, 1.45, 1.00143481, 2.79788411},
        {geo::kED50, 30, 36.1, -6.0, 1.00049889, -1.76865821},
        {geo::kED50, 30, 42.5, -1.0, 0.99993228, 1.35148207},
        {geo::kED50, 31, 38.9, 1.45, 0.99982246, -0.97348834},
        {geo::kED50, 31, 39.9, 4.3, 0.99975204, 0.83396975},
        {geo::kED50, 31, 42.5, -1.0, 1.00092948, -2.70477520},
        {geo::kED50, 31, 41.8, 2.9, 0.99960085, -0.06665329},
        {geo::kWGS84, 29, 36.1, -6.0, 1.00049887, 1.76865815},
        {geo::kWGS84, 30, 38.9, 1.45, 1.00143478, 2.79788393},
        {geo::kWGS84, 31, 42.5, -1.0, 1.00092946, -2.70477508},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lat << " " << c.lon << " zone " << c.zone);
        const geo::GridFactors f =
            geo::UTMGridFactors(c.lat, c.lon, c.zone, geo::Ellipsoids[c.ellipsoid]);
        EXPECT_NEAR(f.scale, c.k, 0.6e-8);
        EXPECT_NEAR(f.convergence, c.convergence, 1e-7);  // 0,0004"
    }
}

TEST(Utm, ZoneFollowsLongitudeAndTheNorwaySvalbardExceptions) {
    // Longitudes are normalised to [−180, 180); Norway's lower bounds are in, the upper out.
    const std::tuple<double, double, const char*> cases[] = {
        {40, -6, "30T"},    {40, -6.000001, "29T"}, {40, 0, "31T"},       {40, 183, "1T"},
        {40, -180, "1T"},   {40, 180, "1T"},        {40, 179.999, "60T"}, {40, -543, "60T"},
        {60, 5, "32V"},     {56, 3, "32V"},         {55.999, 3, "31U"},   {60, 2.999, "31V"},
        {60, 12, "33V"},    {64, 5, "31W"},         {75, 10, "33X"},      {72, 0, "31X"},
        {75, 8.999, "31X"}, {75, 9, "33X"},         {75, 21, "35X"},      {75, 33, "37X"},
        {75, 42, "38X"},    {84, 10, "32X"},        {71.999, 10, "32W"}};
    for (const auto& [lat, lon, zone] : cases) {
        const UTMPoint u = GeoToUTM(lat, lon, Wgs84());
        EXPECT_EQ(u.zoneText, zone) << lat << " " << lon;
        EXPECT_EQ(UTMZoneOf(lat, lon), u.zone) << lat << " " << lon;  // without projecting
    }
    EXPECT_EQ(ErrorNumber([] { UTMZoneOf(40, std::nan("")); }), 6);
}

TEST(Utm, BandLetterBoundsAreLowerInclusiveExceptX) {
    const double lats[] = {
        84, 84.0001, 72, 71.9999, 64,  56,       48,  40.5,     32, 8, std::nextafter(8.0, 0.0),
        0,  -1e-9,   -8, -8.0001, -72, -72.0001, -80, -80.0001, 90};
    const char letters[] = "XZXWWVUTSPNNMMLDCCZZ";
    for (int i = 0; i < 20; ++i) EXPECT_EQ(UTMBandLetter(lats[i]), letters[i]) << lats[i];
}

TEST(Utm, RoundTripBetween35And44NorthIsWithinATenThousandthOfAnArcSecond) {
    for (const Ellipsoid* ell : {&Wgs84(), &Ed50()})
        for (double lat = 35; lat <= 44; lat += 0.25)
            for (double lon = -9.75; lon <= 4.5; lon += 0.375) {
                const UTMPoint u = GeoToUTM(lat, lon, *ell);
                const LatLon g = UTMToGeo(u.E, u.N, u.zone, *ell, "N");
                ASSERT_NEAR(g.lat, lat, 1e-4 / 3600) << lat << " " << lon;
                ASSERT_NEAR(g.lon, lon, 1e-4 / 3600) << lat << " " << lon;
            }
    EXPECT_EQ(UTMToGeo(500000, 0, 30, Wgs84(), "N").lat, 0);  // no footpoint iteration
}

TEST(Utm, AbsurdNumbersRaiseOverflowInsteadOfNonFiniteResults) {
    EXPECT_EQ(ErrorNumber([] { UTMToGeo(500000, 4e6, 6000, Wgs84()); }), 6);  // 6 × zone
    EXPECT_EQ(ErrorNumber([] { UTMToGeo(1e300, 4e6, 30, Wgs84()); }), 6);
    EXPECT_EQ(ErrorNumber([] { GeoToUTM(1e308, 0, Wgs84()); }), 6);
    EXPECT_EQ(ErrorNumber([] { GeoToUTM(40, std::nan(""), Wgs84()); }), 6);
}
