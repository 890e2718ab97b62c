// "Rejilla IGN" in the conversion core: its results against PROJ's own with the same
// grid, both ways, for geographic and UTM input, and the points just outside the grid.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "convert/Core.h"
#include "geo/mGeo.h"

namespace {

using convert::Direction;
using convert::Status;

// The horizontal distance (metres) between two nearby points, on a sphere of the
// Earth's mean radius: good to a few parts in a thousand at these distances.
double Metres(double lat1, double lon1, double lat2, double lon2) {
    constexpr double kDeg = 3.14159265358979323846 / 180 * 6371000.0;
    const double north = (lat2 - lat1) * kDeg;
    const double east = (lon2 - lon1) * kDeg * std::cos(lat1 * 3.14159265358979323846 / 180);
    return std::hypot(north, east);
}

}  // namespace

TEST(IgnGrid, AgreesWithProjBothWaysForGeographicAndUtmInputAndStaysNearHelmert) {
    // PROJ 9.1.1 with PROJ_DATA=data: cct -d 10 +proj=pipeline +step +proj=unitconvert
    // +xy_in=deg +xy_out=rad +step [+inv] +proj=hgridshift +grids=es_ign_SPED2ETV2.tif
    // +step +proj=unitconvert +xy_in=rad +xy_out=deg, forward for the point taken as
    // ED50 (to ETRS89), inverse for it taken as WGS84 (to ED50). cs2cs EPSG:4230
    // EPSG:4258 and back gives the same digits for the cities. The last four lie just
    // inside the edges of the grid (north, west, south; east, in the Balearic subgrid).
    const struct {
        const char* what;
        double lat, lon;          // typed (decimal degrees)
        double toLat, toLon;      // taken as ED50, on ETRS89
        double backLat, backLon;  // taken as WGS84, on ED50
    } cases[] = {
        {"A Coruña", 43.3623, -8.4115, 43.3611621189, -8.4130342401, 43.3634378164, -8.4099657181},
        {"Vigo", 42.2406, -8.7207, 42.2394147375, -8.7222116966, 42.2417852008, -8.7191883320},
        {"Oviedo", 43.3614, -5.8494, 43.3603054008, -5.8508261170, 43.3624945410, -5.8479739230},
        {"Santander", 43.4623, -3.8100, 43.4612245220, -3.8113346818, 43.4633753832, -3.8086654056},
        {"Bilbao", 43.2630, -2.9350, 43.2619085519, -2.9363000426, 43.2640914108, -2.9336999925},
        {"Pamplona", 42.8125, -1.6458, 42.8113962945, -1.6470646836, 42.8136036652, -1.6445353632},
        {"Huesca", 42.1401, -0.4089, 42.1389840767, -0.4101282943, 42.1412158897, -0.4076717337},
        {"Girona", 41.9794, 2.8214, 41.9782950334, 2.8202704407, 41.9805049153, 2.8225295340},
        {"Barcelona", 41.3851, 2.1734, 41.3839759671, 2.1722553633, 41.3862239620, 2.1745445738},
        {"Lleida", 41.6176, 0.6200, 41.6164745118, 0.6188050855, 41.6187254414, 0.6211948956},
        {"Zaragoza", 41.6488, -0.8891, 41.6476702920, -0.8903405532, 41.6499296783, -0.8878594769},
        {"León", 42.5987, -5.5671, 42.5975736790, -5.5685034833, 42.5998262502, -5.5656965530},
        {"Salamanca", 40.9701, -5.6635, 40.9689191225, -5.6648761423, 40.9712808181, -5.6621238635},
        {"Madrid", 40.4168, -3.7038, 40.4156187060, -3.7051091402, 40.4179812521, -3.7024908696},
        {"Cáceres", 39.4753, -6.3724, 39.4740786001, -6.3737579152, 39.4765213539, -6.3710420935},
        {"Badajoz", 38.8794, -6.9707, 38.8781607248, -6.9720597791, 38.8806392535, -6.9693402243},
        {"Valencia", 39.4699, -0.3763, 39.4687153458, -0.3775001873, 39.4710846175, -0.3750998362},
        {"Albacete", 38.9943, -1.8585, 38.9930946740, -1.8597384287, 38.9955052965, -1.8572616033},
        {"Murcia", 37.9922, -1.1307, 37.9909772907, -1.1319094209, 37.9934226590, -1.1294906134},
        {"Sevilla", 37.3891, -5.9845, 37.3878408392, -5.9858393035, 37.3903591475, -5.9831607272},
        {"Huelva", 37.2614, -6.9447, 37.2601387767, -6.9460616596, 37.2626611971, -6.9433383455},
        {"Granada", 37.1773, -3.5986, 37.1760434843, -3.5998783585, 37.1785564738, -3.5973216734},
        {"Almería", 36.8340, -2.4637, 36.8327361512, -2.4649407725, 36.8352638127, -2.4624592586},
        {"Cádiz", 36.5271, -6.2886, 36.5258226229, -6.2899560371, 36.5283773451, -6.2872439969},
        {"Teruel", 40.3456, -1.1065, 40.3444316702, -1.1077340437, 40.3467682909, -1.1052659725},
        {"Palma", 39.5696, 2.6502, 39.5684247335, 2.6490966524, 39.5707752403, 2.6513033346},
        {"Ibiza", 38.9067, 1.4206, 38.9054817937, 1.4194723149, 38.9079181921, 1.4217276874},
        {"Maó", 39.8885, 4.2658, 39.8873427138, 4.2647641740, 39.8896572435, 4.2668358310},
        {"inside N", 44.44, -3.0, 44.4389489588, -3.0013377495, 44.4410509939, -2.9986622407},
        {"inside W", 42.0, -10.18, 41.9988152752, -10.1815186350, 42.0011847012, -10.1784813503},
        {"inside S", 35.56, -5.0, 35.5586952502, -5.0013006991, 35.5613047052, -4.9986993207},
        {"inside E", 39.9, 4.66, 39.8988495863, 4.6589734998, 39.9011503648, 4.6610264883},
    };
    mGeo::InitEllipsoids();
    const mGeo::IgnShiftGrids grids(TALPOR_DATA_DIR, "");
    ASSERT_EQ(grids.Problem(), "");
    double worstToHelmert = 0;
    for (const auto& c : cases) {
        for (Direction d : {Direction::ED50ToWGS84, Direction::WGS84ToED50}) {
            const bool toWgs = d == Direction::ED50ToWGS84;
            const double lat = toWgs ? c.toLat : c.backLat;
            const double lon = toWgs ? c.toLon : c.backLon;
            const convert::GeographicInput geo{c.lat, c.lon, 650.5};
            const mGeo::UTMPoint typedUtm =
                mGeo::GeoToUTM(c.lat, c.lon, convert::SourceEllipsoid(d));
            const convert::UtmInput utm{typedUtm.E, typedUtm.N, typedUtm.zone, 650.5};
            const convert::Result results[] = {convert::IgnGrid(geo, d, grids),
                                               convert::IgnGrid(utm, d, grids)};
            for (const convert::Result& r : results) {
                SCOPED_TRACE(testing::Message() << c.what << (toWgs ? " to WGS84" : " to ED50")
                                                << (&r == &results[1] ? ", UTM" : ""));
                ASSERT_EQ(r.status, Status::Converted);
                ASSERT_TRUE(r.point && r.utm && r.set);
                EXPECT_EQ(*r.set, convert::ParameterSet::SPED2ETV2);
                EXPECT_LT(Metres(lat, lon, r.point->lat, r.point->lon), 0.001);
                EXPECT_EQ(r.point->h, 650.5);  // carried, not transformed
            }
            if (c.what[0] == 'i') continue;  // inside the grid, outside the Helmert sets
            const auto helmert = convert::Helmert(geo, d);
            ASSERT_TRUE(helmert.point);
            const double apart = Metres(lat, lon, helmert.point->lat, helmert.point->lon);
            EXPECT_LT(apart, 2.5);
            worstToHelmert = std::max(worstToHelmert, apart);
        }
    }
    EXPECT_GT(worstToHelmert, 1.0);  // the grid is not Helmert under another name
}

TEST(IgnGrid, PointsJustOutsideTheGridAreOutsideTheArea) {
    // cct reports "Coordinate to transform falls outside grid" for each, both ways; the
    // grid's nodes end at 44º 26' 40" N, 10º 11' W, 35º 33' 20" N and (Balearic subgrid)
    // 4º 40' E.
    mGeo::InitEllipsoids();
    const mGeo::IgnShiftGrids grids(TALPOR_DATA_DIR, "");
    const double outside[][2] = {{44.45, -3.0}, {42.0, -10.19}, {35.55, -5.0}, {39.9, 4.67}};
    for (const auto& p : outside) {
        for (Direction d : {Direction::ED50ToWGS84, Direction::WGS84ToED50}) {
            const auto r = convert::IgnGrid(convert::GeographicInput{p[0], p[1], 0}, d, grids);
            EXPECT_EQ(r.status, Status::OutsideArea) << p[0] << " " << p[1];
            EXPECT_FALSE(r.set || r.point || r.utm || r.error);
            EXPECT_TRUE(r.mirror);
        }
    }
}
