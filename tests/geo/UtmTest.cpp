#include "geo/Utm.h"

#include <cmath>
#include <random>

#include "geo/UtmFast.h"

#include "geo/GeoTest.h"
#include "support/DataFile.h"

using namespace geo;
using namespace geotest;
using testing_support::ReadDataFile;

// tests/data/utm.txt: PROJ's easting and northing of each point in the zone and band the
// UTM standard gives it (places of Spain on both datums, the edges of zones 29-31 and of
// the bands, the equator and the south, Norway and Svalbard), met within a millimetre;
// unprojected again (up to 50º N), within 1e-8º, about a millimetre.
TEST(Utm, ProjectionMeetsProjOnEveryReferencePoint) {
    for (const auto& r : ReadDataFile("utm.txt")) {
        SCOPED_TRACE(r.where);
        const Ellipsoid& ell = EllipsoidNamed(r[0]);
        const double lat = r.Number(1), lon = r.Number(2), E = r.Number(4), N = r.Number(5);
        const UTMPoint u = GeoToUTM(lat, lon, ell);
        EXPECT_EQ(u.zoneText, r[3]);
        EXPECT_EQ(UTMZoneOf(lat, lon), std::stoi(r[3]));  // without projecting
        EXPECT_NEAR(u.E, E, 0.001);
        EXPECT_NEAR(u.N, N, 0.001);
        // The inverse is for points of Spain: south of the equator its footpoint is a first
        // approximation, and north of about 55º its iteration, which stops at the first
        // overshoot, leaves centimetres.
        if (lat < 0 || lat > 50) continue;
        const LatLon g = UTMToGeo(E, N, u.zone, ell, "N");
        EXPECT_NEAR(g.lat, lat, 1e-8);
        EXPECT_NEAR(g.lon, lon - 360 * std::floor((lon + 180) / 360), 1e-8);  // in [-180, 180)
        // The layers' faster evaluation meets PROJ as closely.
        const fast::EastingNorthing f = fast::GeoToUTM(lat, lon, u.zone, ell);
        EXPECT_NEAR(f.E, E, 0.001);
        EXPECT_NEAR(f.N, N, 0.001);
        const LatLon h = fast::UTMToGeo(E, N, u.zone, ell);
        EXPECT_NEAR(h.lat, lat, 1e-8);
        EXPECT_NEAR(h.lon, lon - 360 * std::floor((lon + 180) / 360), 1e-8);
    }
}

// A point projected in a zone not its own, far beyond the zone's band (a whole project
// put in UTM 31, Galicia included), where PROJ puts it (cct, +proj=utm): the series in the
// longitude difference would be centimetres off there.
TEST(Utm, FarBeyondTheZoneAsProj) {
    const struct {
        int ellipsoid, zone;
        double lat, lon, E, N;
    } proj[] = {{kED50, 31, 40.4168, -3.7038, -68973.146833, 4495731.208756},
                {kED50, 31, 36.7, -6.3, -331796.614179, 4102208.261821},
                {kWGS84, 29, 42.1, 3.1, 1501242.839006, 4732320.973406},
                {kWGS84, 31, 43.3, -8.4, -424999.762952, 4857675.382574},
                {kED50, 29, 38.0, -0.5, 1246973.393040, 4240139.306572}};
    for (const auto& p : proj) {
        const UTMPoint u = GeoToUTMInZone(p.lat, p.lon, static_cast<std::int16_t>(p.zone), Ellipsoids[p.ellipsoid]);
        EXPECT_NEAR(u.E, p.E, 1e-5) << p.lat << " " << p.lon;
        EXPECT_NEAR(u.N, p.N, 1e-5) << p.lat << " " << p.lon;
        EXPECT_EQ(u.zone, p.zone);
    }
}

// A layer's coordinates from the faster evaluation stay within a micrometre (1e-11º) of
// the window's, both ways, in and out of the point's own zone within the zone's band, all
// over Spain and its sea.
TEST(Utm, FasterEvaluationForLayersStaysWithinAMicrometre) {
    std::mt19937_64 random(46);
    std::uniform_real_distribution<double> lat(27.5, 44.0), lon(-18.5, 4.5);
    for (int i = 0; i < 20000; ++i) {
        const double a = lat(random), b = lon(random);
        const Ellipsoid& ell = Ellipsoids[i % 2 == 0 ? kWGS84 : kED50];
        for (std::int16_t zone : {std::int16_t{28}, std::int16_t{29}, std::int16_t{30}, std::int16_t{31}}) {
            const UTMPoint u = GeoToUTMInZone(a, b, zone, ell);
            const fast::EastingNorthing f = fast::GeoToUTM(a, b, zone, ell);
            if (std::abs(b - (6 * zone - 183)) <= 3) {
                ASSERT_NEAR(f.E, u.E, 1e-6) << a << " " << b << " zone " << zone;
                ASSERT_NEAR(f.N, u.N, 1e-6) << a << " " << b << " zone " << zone;
            }
            const LatLon g = UTMToGeo(u.E, u.N, zone, ell, "N");
            const LatLon h = fast::UTMToGeo(u.E, u.N, zone, ell);
            ASSERT_NEAR(h.lat, g.lat, 1e-11) << u.E << " " << u.N << " zone " << zone;
            ASSERT_NEAR(h.lon, g.lon, 1e-11) << u.E << " " << u.N << " zone " << zone;
        }
    }
}

// tests/data/utm-factors.txt: PROJ's scale factor and convergence, in the digits it shows.
TEST(Utm, GridFactorsMeetProjOnEveryReferencePoint) {
    for (const auto& r : ReadDataFile("utm-factors.txt")) {
        SCOPED_TRACE(r.where);
        const GridFactors f =
            UTMGridFactors(r.Number(2), r.Number(3), std::stoi(r[1]), EllipsoidNamed(r[0]));
        EXPECT_NEAR(f.scale, r.Number(4), 0.6e-8);
        EXPECT_NEAR(f.convergence, r.Number(5), 1e-7);  // 0,0004"
    }
}

TEST(Utm, BandLetterBoundsAreLowerInclusiveExceptX) {
    const double lats[] = {
        84, 84.0001, 72, 71.9999, 64,  56,       48,  40.5,     32, 8, std::nextafter(8.0, 0.0),
        0,  -1e-9,   -8, -8.0001, -72, -72.0001, -80, -80.0001, 90};
    const char letters[] = "XZXWWVUTSPNNMMLDCCZZ";
    for (int i = 0; i < 20; ++i) EXPECT_EQ(UTMBandLetter(lats[i]), letters[i]) << lats[i];
}

TEST(Utm, AbsurdNumbersRaiseOverflowInsteadOfNonFiniteResults) {
    EXPECT_EQ(ErrorNumber([] { UTMToGeo(500000, 4e6, 6000, Wgs84()); }), 6);  // 6 × zone
    EXPECT_EQ(ErrorNumber([] { UTMToGeo(1e300, 4e6, 30, Wgs84()); }), 6);
    EXPECT_EQ(ErrorNumber([] { GeoToUTM(1e308, 0, Wgs84()); }), 6);
    EXPECT_EQ(ErrorNumber([] { GeoToUTM(40, std::nan(""), Wgs84()); }), 6);
    EXPECT_EQ(ErrorNumber([] { UTMZoneOf(40, std::nan("")); }), 6);
}
