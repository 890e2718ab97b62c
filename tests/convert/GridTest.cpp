// "Rejilla IGN" and the altitudes: the core against PROJ's own results with the same
// grids (tests/data/grid.txt and geoid.txt), the user's 2009 grids (small NTv2 files
// written here), a grid that cannot be opened, and the buttons, sheets and altitude lines
// of both tabs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "ConversionTab.h"
#include "core/Captions.h"
#include "core/Core.h"
#include "fields/Fields.h"
#include "geo/mGeo.h"
#include "support/DataFile.h"
#include "support/Files.h"

namespace {

namespace fs = std::filesystem;
using core::Direction;
using core::Status;
using testing_support::ConversionTab;
using testing_support::kGrid;
using testing_support::kHelmert;

// One NTv2 grid whose every node shifts by dLat, dLon (arc-seconds, east positive),
// over south..north, west..east (degrees) with nodes `step` degrees apart.
void WriteNtv2(const fs::path& file, const char* name, double south, double north, double west,
               double east, double step, double dLat, double dLon) {
    std::ofstream out(file, std::ios::binary);
    // Records of 16 bytes: a key of 8, then a text of 8, a 32-bit integer and padding, or a double.
    const auto key = [&](const char* k, const void* v, int size, const char* text = nullptr) {
        out.write((std::string(k) + "        ").c_str(), 8);
        if (text) return void(out.write((std::string(text) + "        ").c_str(), 8));
        const char zero[8] = {};
        out.write(static_cast<const char*>(v), size).write(zero, 8 - size);
    };
    const auto integer = [&](const char* k, std::int32_t v) { key(k, &v, 4); };
    const auto real = [&](const char* k, double v) { key(k, &v, 8); };
    const auto text = [&](const char* k, const char* v) { key(k, nullptr, 0, v); };
    const int rows = static_cast<int>(std::lround((north - south) / step)) + 1;
    const int cols = static_cast<int>(std::lround((east - west) / step)) + 1;
    integer("NUM_OREC", 11), integer("NUM_SREC", 11), integer("NUM_FILE", 1);
    text("GS_TYPE", "SECONDS"), text("VERSION", "NTv2.0"), text("SYSTEM_F", "ED50");
    text("SYSTEM_T", "ETRS89"), real("MAJOR_F", 6378388.0), real("MINOR_F", 6356911.946);
    real("MAJOR_T", 6378137.0), real("MINOR_T", 6356752.314);
    text("SUB_NAME", name), text("PARENT", "NONE"), text("CREATED", ""), text("UPDATED", "");
    // NTv2 counts longitudes positive west.
    real("S_LAT", south * 3600), real("N_LAT", north * 3600);
    real("E_LONG", -east * 3600), real("W_LONG", -west * 3600);
    real("LAT_INC", step * 3600), real("LONG_INC", step * 3600);
    integer("GS_COUNT", rows * cols);
    const float node[4] = {static_cast<float>(dLat), static_cast<float>(-dLon), 0, 0};
    for (int i = 0; i < rows * cols; ++i) out.write(reinterpret_cast<const char*>(node), 16);
    text("END", "");
}

// The horizontal distance (metres) between two nearby points, on a sphere of the
// Earth's mean radius: good to a few parts in a thousand at these distances.
double Metres(double lat1, double lon1, double lat2, double lon2) {
    constexpr double kDeg = 3.14159265358979323846 / 180 * 6371000.0;
    const double north = (lat2 - lat1) * kDeg;
    const double east = (lon2 - lon1) * kDeg * std::cos(lat1 * 3.14159265358979323846 / 180);
    return std::hypot(north, east);
}

}  // namespace

// tests/data/grid.txt: the grid's shift both ways against PROJ's with the same grid, at
// the cities of the peninsula and the islands and just inside its edges, typed in
// degrees and in UTM, within a millimetre; the height carried as typed. Outside the
// grid, nothing but the mirror.
TEST(IgnGrid, MeetsProjOnEveryReferencePointBothWays) {
    const geo::IgnShiftGrids grids(TALPOR_DATA_DIR, "");
    ASSERT_EQ(grids.Problem(), "");
    for (const auto& c : testing_support::ReadDataFile("grid.txt")) {
        for (Direction d : {Direction::ED50ToWGS84, Direction::WGS84ToED50}) {
            const bool toWgs = d == Direction::ED50ToWGS84;
            SCOPED_TRACE(c.where + (toWgs ? ", to WGS84" : ", to ED50"));
            const double lat = c.Number(1), lon = c.Number(2);
            const core::GeographicInput geo{lat, lon, 650.5};
            const geo::UTMPoint typedUtm = geo::GeoToUTM(lat, lon, core::SourceEllipsoid(d));
            const core::UtmInput utm{typedUtm.E, typedUtm.N, typedUtm.zone, 650.5};
            const core::Result results[] = {core::IgnGrid(geo, d, grids),
                                            core::IgnGrid(utm, d, grids)};
            if (c[toWgs ? 3 : 5] == "outside") {
                const geo::GridShift s = toWgs ? grids.ToETRS89(lat, lon) : grids.ToED50(lat, lon);
                EXPECT_EQ(s.answer, geo::GridAnswer::Outside);
                const bool inZones = core::InZones(typedUtm);
                EXPECT_EQ(results[0].status, inZones ? Status::OutsideArea : Status::OutsideZones);
                EXPECT_EQ(results[1].status, Status::OutsideArea);
                for (const core::Result& r : results)
                    EXPECT_FALSE(r.set || r.point || r.utm || r.error);
                continue;
            }
            const double toLat = c.Number(toWgs ? 3 : 5), toLon = c.Number(toWgs ? 4 : 6);
            for (const core::Result& r : results) {
                SCOPED_TRACE(&r == &results[1] ? "typed in UTM" : "typed in degrees");
                ASSERT_EQ(r.status, Status::Converted);
                ASSERT_TRUE(r.point && r.utm && r.set);
                EXPECT_EQ(*r.set, core::ParameterSet::SPED2ETV2);
                EXPECT_LT(Metres(toLat, toLon, r.point->lat, r.point->lon), 0.001);
                EXPECT_EQ(r.point->h, 650.5);  // carried, not transformed
            }
        }
    }
    // The same points shifted together, as a layer's are (those outside among them, which
    // PROJ fails): each the one-point answer, to the bit.
    std::vector<geo::LatLon> all, inside;
    for (const auto& c : testing_support::ReadDataFile("grid.txt")) {
        all.push_back({c.Number(1), c.Number(2)});
        if (c[3] != "outside" && c[5] != "outside") inside.push_back(all.back());
    }
    for (const auto& points : {all, inside}) {
        std::vector<geo::GridShift> together(points.size());
        for (bool toWgs : {true, false}) {
            if (toWgs)
                grids.ToETRS89(points, together);
            else
                grids.ToED50(points, together);
            for (std::size_t i = 0; i < points.size(); ++i) {
                const geo::GridShift one = toWgs ? grids.ToETRS89(points[i].lat, points[i].lon)
                                                 : grids.ToED50(points[i].lat, points[i].lon);
                EXPECT_EQ(together[i].answer, one.answer) << i;
                EXPECT_EQ(together[i].point.lat, one.point.lat) << i;
                EXPECT_EQ(together[i].point.lon, one.point.lon) << i;
                EXPECT_EQ(together[i].grid, one.grid) << i;
            }
        }
    }
}

// The layers' fast grid: the file's pages where gdalinfo puts them (the nodes are the
// pixels' centres), then the reference points to PROJ's digits, and 20,000 random points
// to the one-point answer; near a subgrid's edge and outside, no answer (PROJ's then).
TEST(IgnGrid, FastGridMeetsProjAndLeavesEdgesToIt) {
    const geo::IgnShiftGrids grids(TALPOR_DATA_DIR, "");
    const std::vector<geo::fast::Subgrid> pages = geo::GridPages(grids.Grids()[0].path);
    ASSERT_EQ(pages.size(), 2u);
    const double baleares[] = {93, 68, 0.8125 + 0.125 / 6, 40.8125 - 0.125 / 6, 0.125 / 3};
    const double peninsula[] = {259, 161, -10.21111111111111 + 1.0 / 36, 44.47222222222222 - 1.0 / 36, 1.0 / 18};
    for (int k = 0; k < 2; ++k) {
        const double* gdal = k == 0 ? baleares : peninsula;
        const geo::fast::Subgrid& p = pages[static_cast<std::size_t>(k)];
        EXPECT_EQ(p.columns, gdal[0]);
        EXPECT_EQ(p.rows, gdal[1]);
        EXPECT_NEAR(p.west, gdal[2], 1e-9);
        EXPECT_NEAR(p.North(), gdal[3], 1e-9);
        EXPECT_NEAR(p.stepLon, gdal[4], 1e-12);
        EXPECT_NEAR(p.stepLat, gdal[4], 1e-12);
    }
    const std::optional<geo::fast::ShiftGrid> fast = grids.Sampled(pages);
    ASSERT_TRUE(fast.has_value());
    int answered = 0;
    for (const auto& c : testing_support::ReadDataFile("grid.txt")) {
        for (bool toWgs : {true, false}) {
            geo::LatLon p{c.Number(1), c.Number(2)};
            if (!(toWgs ? fast->ToETRS89(p) : fast->ToED50(p))) continue;
            SCOPED_TRACE(c.where + (toWgs ? ", to ETRS89" : ", to ED50"));
            ASSERT_NE(c[toWgs ? 3 : 5], "outside");
            EXPECT_NEAR(p.lat, c.Number(toWgs ? 3 : 5), 1.5e-10);  // cct's ten decimals
            EXPECT_NEAR(p.lon, c.Number(toWgs ? 4 : 6), 1.5e-10);
            ++answered;
        }
    }
    EXPECT_GT(answered, 50);
    // The Ebro delta on the Balearic subgrid's western edge, Menorca's east past the
    // peninsula's, the Canaries: PROJ's.
    for (geo::LatLon p : {geo::LatLon{40.70, 0.8333}, geo::LatLon{39.0, 0.8333 + 0.005}, geo::LatLon{28.3, -16.5}})
        EXPECT_FALSE(fast->ToETRS89(p) || fast->ToED50(p)) << p.lat << " " << p.lon;
    geo::LatLon menorca{39.95, 4.25};
    EXPECT_TRUE(fast->ToETRS89(menorca));
    std::mt19937_64 draw(46);
    std::uniform_real_distribution<double> lat(35.4, 44.6), lon(-10.4, 4.9);
    answered = 0;
    for (int i = 0; i < 20000; ++i) {
        const bool toWgs = i % 2 == 0;
        geo::LatLon p{lat(draw), lon(draw)};
        const geo::GridShift one = toWgs ? grids.ToETRS89(p.lat, p.lon) : grids.ToED50(p.lat, p.lon);
        if (!(toWgs ? fast->ToETRS89(p) : fast->ToED50(p))) continue;
        ++answered;
        ASSERT_EQ(one.answer, geo::GridAnswer::Done) << p.lat << " " << p.lon;
        ASSERT_NEAR(p.lat, one.point.lat, 1e-12);
        ASSERT_NEAR(p.lon, one.point.lon, 1e-12);
    }
    EXPECT_GT(answered, 15000);
    // Pages that are not the file's: refused.
    std::vector<geo::fast::Subgrid> shifted = pages;
    shifted[1].west += shifted[1].stepLon / 2;
    EXPECT_FALSE(grids.Sampled(shifted).has_value());
}

// tests/data/geoid.txt: the undulation against PROJ's with the same geoid, at places, at
// the nodes of a cell and between them, at its edges; the altitude is the height less it.
// Outside the nodes, no value.
TEST(IgnGeoid, MeetsProjOnEveryReferencePoint) {
    const geo::IgnGeoid geoid(TALPOR_DATA_DIR);
    ASSERT_EQ(geoid.Problem(), "");
    for (const auto& c : testing_support::ReadDataFile("geoid.txt")) {
        SCOPED_TRACE(c.where);
        const double lat = c.Number(1), lon = c.Number(2);
        const geo::IgnGeoid::Undulation u = geoid.At(lat, lon);
        const core::Altitude a = core::AltitudeOf(lat, lon, 1000.0, geoid);
        if (c[3] == "outside") {
            EXPECT_EQ(u.answer, geo::GridAnswer::Outside);
            EXPECT_EQ(a.answer, geo::GridAnswer::Outside);
            continue;
        }
        ASSERT_EQ(u.answer, geo::GridAnswer::Done);
        ASSERT_EQ(a.answer, geo::GridAnswer::Done);
        EXPECT_NEAR(u.N, c.Number(3), 2e-6);  // PROJ's six decimals
        EXPECT_NEAR(a.N, c.Number(3), 2e-6);
        EXPECT_NEAR(a.H, 1000.0 - c.Number(3), 2e-6);
    }
}

// Each tab converts with the grid and says that the height is not transformed; the
// altitude lines are those of the typed point on tab 0 and of the result on tab 1.
TEST_F(ConversionTab, EachTabConvertsWithTheGridAndShowsTheAltitudes) {
    // PROJ as above, then +proj=utm +zone=30 on the target ellipsoid: tab 0 (inverse)
    // -3.698690953296 40.417847906116, 440722.140422 4474447.495219; tab 1 (forward)
    // -3.701309056390 40.415485385611, 440500.630359 4474109.780236.
    const std::vector<std::string> expected[2] = {
        {"40º 25' 4,2525\" N", "3º 41' 55,2874\" W", "Altura sin transformar = 650,0 m",
         "E= 440.722,14  ±0,2m", "N= 4.474.447,50  ±0,2m", "Huso= 30T"},
        {"40º 24' 55,7474\" N", "3º 42' 4,7126\" W", "Altura sin transformar = 650,0 m",
         "E= 440.500,63  ±0,2m", "N= 4.474.109,78  ±0,2m", "Huso= 30T"},
    };
    const auto grid = [&](int tab) {
        kGrid[tab](form, platform, grids);
        EXPECT_EQ(Results(tab), expected[tab]);
        EXPECT_EQ(form.Get("LblLat", tab == 0 ? 20 : 24).toolTip,
                  "Rejilla IGN: SPED2ETV2. La rejilla desplaza solo la latitud y la longitud: "
                  "la altura es la escrita, sin transformar");
    };
    // PROJ with the geoid (README of data/): at 40º 25' N, 3º 42' W, N = 51,1110 m, so
    // 650 m above the ellipsoid is 598,889 m above sea level. West of 9º 30' W the
    // geoid has no nodes.
    const std::string madrid = "Altitud (EGM08-REDNAP) = 598,9 m";
    const std::string madridTip =
        "Ondulación del geoide N = 51,11 m; altitud sobre el nivel medio del mar en Alicante "
        "= altura sobre el elipsoide WGS84 − N";
    EXPECT_EQ(Text("LblAltitud", 0), "Altitud (EGM08-REDNAP) = ?");
    TypeGeographic(0, "40 25 0", "3 42 0 W", "650,0");
    grid(0);
    for (int frame : {0, 1}) {
        EXPECT_EQ(Text("LblAltitud", frame), madrid);
        EXPECT_EQ(form.Get("LblAltitud", frame).toolTip, madridTip);
    }
    // The same point typed in UTM: the altitude of the point it stands for.
    TypeUtm(0, "440.610,04", "4.474.317,25", 1, "650,0");
    kHelmert[0](form, platform, grids);
    EXPECT_EQ(Text("LblAltitud", 0) + Text("LblAltitud", 1), madrid + madrid);

    // Inside the Helmert area and the grid, west of the geoid.
    TypeGeographic(0, "42 30 0", "9 36 0 W", "100,0");
    kHelmert[0](form, platform, grids);
    EXPECT_EQ(Text("LblAltitud", 0) + "|" + Text("LblAltitud", 1),
              "Altitud (EGM08-REDNAP): fuera del geoide|Altitud (EGM08-REDNAP): fuera del geoide");

    // Tab 1: Helmert gives a WGS84 height and its altitude (PROJ: the EST99 result
    // 40.415486530404, -3.701304527884, 721.958 m, where N = 51.111311 m); the grid gives
    // no WGS84 height.
    TypeGeographic(1, "40 25 0", "3 42 0 W", "650,0");
    kHelmert[1](form, platform, grids);
    EXPECT_EQ(Text("LblAltitud", 2), "Altitud (EGM08-REDNAP) = 670,8 m");
    grid(1);
    EXPECT_EQ(Text("LblAltitud", 2), "Altitud (EGM08-REDNAP): sin altura WGS84");
    EXPECT_TRUE(platform.msgBoxes.empty());
}

// With "sobre el mar" the typed height is an altitude: PROJ 9.1.1 with the shipped geoid
// (vgridshift +multiplier=1: h = H + N) and EST99's Helmert, as in lote_tests: the WGS84
// point 40.4168, -3.7038 at altitude 650 is on ED50 40.41798012, -3.70249539, 629.153 m;
// ED50 UTM 30 440721, 4474447 at altitude 650,2 is on WGS84 40.41666326, -3.70000886,
// 701.311 m. The grid carries the altitude itself; off the geoid the altitude is refused.
TEST_F(ConversionTab, AnAltitudeTypedIsTakenThroughTheGeoid) {
    Select("OptAltura", 1);
    EXPECT_EQ(Text("LblLat", 10) + "|" + Text("LblLat", 14),
              "Altitud sobre el mar (m)=|Altitud sobre el mar (m)=");
    EXPECT_EQ(fields::RangeOf(form, form.Get("TxtWGSg", 6))->title,
              "Altitud sobre el mar ");  // its limits box
    TypeGeographic(0, "40 25 0,48", "3 42 13,68 W", "650,0");
    kHelmert[0](form, platform, grids);
    EXPECT_EQ(Results(0)[0] + " " + Results(0)[1] + " " + Results(0)[2],
              "40º 25' 4,7284\" N 3º 42' 8,9834\" W Altura sobre el elipsoide = 629,2  ±1,5m");
    EXPECT_EQ(Text("LblAltitud", 0), "Altitud (EGM08-REDNAP) = 650,0 m");
    // West of the geoid's nodes: the position as for a height of 100 m (a height of
    // 100 + N would move it by a millimetre), and a line instead of the height.
    TypeGeographic(0, "42 30 0", "9 36 0 W", "100,0");
    kHelmert[0](form, platform, grids);
    EXPECT_TRUE(platform.msgBoxes.empty());
    EXPECT_EQ(Results(0)[2] + "|" + Text("LblAltitud", 0),
              "Altura sobre el elipsoide: sin calcular, altitud fuera del geoide|Altitud "
              "(EGM08-REDNAP): fuera "
              "del geoide");
    const std::string offGeoid = Results(0)[0] + Results(0)[1];
    Select("OptAltura", 0);
    kHelmert[0](form, platform, grids);
    EXPECT_EQ(Results(0)[0] + Results(0)[1], offGeoid);
    Select("OptAltura", 1);

    Select("OptAltura", 3);
    TypeUtm(1, "440.721,00", "4.474.447,00", 1, "650,2");
    kHelmert[1](form, platform, grids);
    EXPECT_EQ(Results(1)[0] + " " + Results(1)[1] + " " + Results(1)[2],
              "40º 24' 59,9877\" N 3º 42' 0,0319\" W Altura sobre el elipsoide = 701,3  ±1,5m");
    EXPECT_EQ(Text("LblAltitud", 2), "Altitud (EGM08-REDNAP) = 650,2 m");
    kGrid[1](form, platform, grids);
    EXPECT_EQ(Results(1)[2] + "|" + Text("LblAltitud", 2),
              "Altura sin transformar = 650,2 m|Altitud (EGM08-REDNAP) = 650,2 m");
    Select("OptAltura", 2);  // back to heights above the ellipsoid: the captions too
    EXPECT_EQ(Text("LblLat", 65) + "|" + Text("LblLat", 68),
              "Altura sobre el elipsoide (m)=|Altura sobre el elipsoide (m)=");
    EXPECT_EQ(fields::RangeOf(form, form.Get("TxtWGSg", 25))->title, "Altura sobre el elipsoide ");
}

TEST_F(ConversionTab, TheUsersGridsComeFirstTheBalearicOneBeforeThePeninsulasOne) {
    // Constant shifts tell the grids apart: PENR2009 moves every point 10" north,
    // BALR2009 20" north and 5" east; SPED2ETV2 moves them some 4" south.
    testing_support::TempFolder user;
    WriteNtv2(user.path / "PENR2009.gsb", "PENR2009", 36, 44, -10, 3.5, 0.5, 10, 0);
    WriteNtv2(user.path / "BALR2009.gsb", "BALR2009", 38.5, 40.5, 1, 4.5, 0.5, 20, 5);
    core::Grids mine(TALPOR_DATA_DIR, user.Str());
    const struct {
        const char *lat, *lon;  // as typed
        double latDeg, lonDeg;  // the same in decimal degrees
        const char* grid;
        double north, east;  // the shift from ED50 to WGS84 (arc-seconds)
    } cases[] = {
        {"39 34 0", "2 39 0 E", 39 + 34.0 / 60, 2.65, "BALR2009", 20, 5},  // Palma: in both
        {"40 25 0", "3 42 0 W", 40 + 25.0 / 60, -3.7, "PENR2009", 10, 0},  // Madrid
        // Cap de Creus, east of the test PENR2009: 4" south and west, as the table above.
        {"42 0 0", "3 48 0 E", 42, 3.8, "SPED2ETV2", 0, 0},
    };
    for (const auto& c : cases) {
        for (int tab : {0, 1}) {
            SCOPED_TRACE(testing::Message() << c.grid << ", tab " << tab);
            TypeGeographic(tab, c.lat, c.lon, "0,0");
            kGrid[tab](form, platform, mine);
            EXPECT_TRUE(form.Get("LblLat", tab == 0 ? 20 : 24)
                            .toolTip.starts_with(std::string("Rejilla IGN: ") + c.grid + "."));
            if (c.north == 0) continue;
            // Tab 0 takes the inverse: the same shift, the other way.
            const Direction d = tab == 1 ? Direction::ED50ToWGS84 : Direction::WGS84ToED50;
            const double sign = tab == 1 ? 1 : -1;
            const auto r =
                core::IgnGrid(core::GeographicInput{c.latDeg, c.lonDeg, 0}, d, mine.Shift());
            ASSERT_TRUE(r.point);
            EXPECT_NEAR((r.point->lat - c.latDeg) * 3600, sign * c.north, 1e-6);
            EXPECT_NEAR((r.point->lon - c.lonDeg) * 3600, sign * c.east, 1e-6);
        }
    }
    // The sheet names the grids in the order they are tried, with their files.
    const std::string sheet = convert::GridSheet(mine);
    const auto bal = sheet.find("BALR2009: Islas Baleares\r\n    EPSG 9409");
    const auto pen = sheet.find("PENR2009: España peninsular\r\n    EPSG 9408");
    const auto sped = sheet.find("SPED2ETV2: España peninsular y Baleares\r\n    EPSG 15932");
    EXPECT_TRUE(bal < pen && pen < sped && sped != std::string::npos) << sheet;
    EXPECT_NE(sheet.find((user.path / "PENR2009.gsb").string()), std::string::npos);
    EXPECT_TRUE(platform.msgBoxes.empty());
}

TEST_F(ConversionTab, AGridThatCannotBeOpenedIsSaidAndTheOtherMethodsWorkOn) {
    testing_support::TempFolder broken;
    std::ofstream(broken.path / "es_ign_SPED2ETV2.tif") << "no es una rejilla";
    std::ofstream(broken.path / "PENR2009.gsb") << "tampoco";
    const struct {
        std::string data, user, says;
    } cases[] = {
        {"", "",
         "No se encuentra la rejilla es_ign_SPED2ETV2.tif: no se conoce la carpeta de "
         "datos del programa."},
        {"/nonexistent", "",
         "No se encuentra la rejilla es_ign_SPED2ETV2.tif en la carpeta de "
         "datos del programa (/nonexistent)."},
        {broken.Str(), broken.Str(),
         "No se puede leer la rejilla " + (broken.path / "es_ign_SPED2ETV2.tif").string() +
             ": el archivo no se puede abrir o no es una rejilla válida."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        core::Grids none(c.data, c.user);
        for (int tab : {0, 1}) {
            TypeGeographic(tab, "40 25 0", "3 42 0 W", "650,0");
            kHelmert[tab](form, platform, none);
            const auto helmert = Results(tab);
            platform.msgBoxes.clear();
            kGrid[tab](form, platform, none);
            EXPECT_EQ(OnlyBox("Talpor", form::MsgIcon::Exclamation),
                      c.says + "\r\nLos métodos Bursa Wolf 7p y Molodensky 3p siguen disponibles.");
            EXPECT_EQ(Results(tab)[0], "00º 00' 0,0000\"");
            EXPECT_EQ(Results(tab)[2], "Altura sobre el elipsoide = 0,0 m");
            kHelmert[tab](form, platform, none);
            EXPECT_EQ(Results(tab), helmert);
            // Without the data folder the geoid is missing too: the line says so.
            if (c.data != broken.Str()) {
                EXPECT_EQ(Text("LblAltitud", tab == 0 ? 0 : 2),
                          "Altitud (EGM08-REDNAP): no disponible");
            }
        }
        EXPECT_NE(convert::GridSheet(none).find("No disponible: " + c.says), std::string::npos);
    }
    // A broken 2009 grid beside a good SPED2ETV2 is left out, and the sheet says so.
    core::Grids mixed(TALPOR_DATA_DIR, broken.Str());
    ASSERT_EQ(mixed.Shift().Grids().size(), 1u);
    EXPECT_NE(convert::GridSheet(mixed).find("PENR2009.gsb: no es una rejilla NTv2 válida"),
              std::string::npos);
}
