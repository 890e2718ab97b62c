// The map of a conversion tab's point: real places against the areas of the Helmert sets
// and against the shipped grid file itself, the coasts where the places are, places and
// datum shifts against their geodesics measured with the scale bar, and the web maps'
// addresses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "ConversionTab.h"
#include "convert/PointMap.h"
#include "core/Places.h"
#include "geo/Distance.h"
#include "geo/Places.h"
#include "num/Number.h"
#include "support/DataFile.h"

namespace {

using testing_support::ConversionTab;
using testing_support::kGrid;
using testing_support::kHelmert;

// The distance (km) from a place to the nearest point of the map's coasts.
double ToCoast(const std::vector<geo::MapLine>& lines, geo::LatLon p) {
    double nearest = std::numeric_limits<double>::infinity();
    for (const geo::MapLine& line : lines)
        for (const geo::LatLon& q : line.points)
            if (!line.border) nearest = std::min(nearest, geo::GeoDistance(p.lat, p.lon, q.lat, q.lon));
    return nearest;
}

// Metres on the ground from `a` to `b` as a user measures them with the scene's scale bar
// ("200 m", "50 km", "1,5 km").
double ByScaleBar(const convert::MapScene& scene, convert::MapXY a, convert::MapXY b) {
    std::string label = scene.scaleLabel;
    std::erase(label, '.');
    std::replace(label.begin(), label.end(), ',', '.');
    const double stated = std::stod(label) * (label.ends_with(" km") ? 1000 : 1);
    return std::hypot(b.x - a.x, b.y - a.y) / (scene.scaleTo.x - scene.scaleFrom.x) * stated;
}

// The direction from `a` to `b` on the map, degrees clockwise from up (north).
double Bearing(convert::MapXY a, convert::MapXY b) { return std::atan2(b.x - a.x, a.y - b.y) * 180 / std::numbers::pi; }

}  // namespace

// Known places stand as PROJ's geodesics between them say (tests/data/map-geodesics.txt):
// the whole of Spain's view centred half-way between two places puts them the geodesic's
// length apart by the scale bar, in the direction the geodesic runs half-way (its forward
// azimuth turned half-way to the reversed back one). The view takes every degree of
// latitude as 111,32 km, some 0,3 % off the meridian's here: 0,5 % and 0,3º.
TEST(MapGeometry, PlacesStandAsTheirGeodesicsSayByTheScaleBar) {
    for (const testing_support::DataRecord& r : testing_support::ReadDataFile("map-geodesics.txt")) {
        SCOPED_TRACE(r.where + ": " + r[0] + " - " + r[3]);
        const geo::LatLon a{r.Number(1), r.Number(2)}, b{r.Number(4), r.Number(5)};
        convert::MapView view;
        view.Fit(720, 460);
        view.CenterOn({(a.lat + b.lat) / 2, (a.lon + b.lon) / 2});
        const convert::MapScene scene = convert::DrawMap(view, {}, {}, {});
        EXPECT_NEAR(ByScaleBar(scene, view.ToScreen(a), view.ToScreen(b)) / r.Number(8), 1, 0.005);
        const double halfWay = r.Number(6) + std::remainder(r.Number(7) + 180 - r.Number(6), 360) / 2;
        EXPECT_NEAR(std::remainder(Bearing(view.ToScreen(a), view.ToScreen(b)) - halfWay, 360), 0, 0.3);
    }
}

// A point typed anew is followed at the user's zoom: one out of sight (or at the edge) is
// brought to the middle, one in sight leaves the view where the user left it.
TEST(MapGeometry, TheViewFollowsANewPointAtTheSameZoom) {
    const geo::LatLon madrid{40.4169, -3.7036}, palma{39.5696, 2.6502}, nearby{40.4180, -3.7000};
    convert::MapView view;
    view.Fit(720, 460);
    view.Show(madrid, 2);
    view.KeepInSight(nearby);  // some 300 m east, in sight at 2 m a pixel
    EXPECT_NEAR(view.ToScreen(madrid).x, 360, 1);
    view.KeepInSight(palma);
    EXPECT_NEAR(view.ToScreen(palma).x, 360, 1);
    EXPECT_NEAR(view.ToScreen(palma).y, 230, 1);
    EXPECT_NEAR(view.MetresPerPixel(), 2, 0.1);
    const convert::MapXY edge = view.ToScreen({palma.lat, palma.lon + 0.0075});  // 640 m east: 320 px, by the edge
    ASSERT_GT(edge.x, 648);
    view.KeepInSight({palma.lat, palma.lon + 0.0075});
    EXPECT_NEAR(view.ToScreen({palma.lat, palma.lon + 0.0075}).x, 360, 1);
}

// Outlines the map's data does not have: a point whose nine cells around (0,02º) all hold
// a point of an outline (a square with a spike into its middle cell) is told by the
// outlines, and so is a country beyond the 251 the cells have room for.
TEST(MapGeometry, APlaceIsToldWhateverTheOutlinesAround) {
    const geo::PlaceMap spiked({{"FR", {{40.001, 0.001}, {40.001, 0.029}, {40.025, 0.03}, {40.001, 0.031},
                                        {40.001, 0.059}, {40.03, 0.059}, {40.059, 0.059}, {40.059, 0.03},
                                        {40.059, 0.001}, {40.03, 0.001}}}},
                               {});
    EXPECT_EQ(spiked.Of(40.035, 0.025).country, "FR");
    std::vector<geo::MapArea> squares;  // 0,3º a side, 15 rows of 20
    for (int k = 0; k < 300; ++k) {
        const double lat = 35 + k / 20 * 0.6, lon = -10 + k % 20 * 0.6;
        squares.push_back(
            {"C" + std::to_string(k), {{lat, lon}, {lat, lon + 0.3}, {lat + 0.3, lon + 0.3}, {lat + 0.3, lon}}});
    }
    const geo::PlaceMap many(squares, {});
    for (int k : {0, 250, 251, 299})
        EXPECT_EQ(many.Of(35.15 + k / 20 * 0.6, -9.85 + k % 20 * 0.6).country, "C" + std::to_string(k));
}

// The nearest coast is a long side that runs away from the point, listed after a short
// one 5 km off: the distance is to the long side's near end, 1.412 km by PROJ's geod
// (echo "40.1 0.2 40.109 0.2117" | geod +ellps=WGS84 -I +units=km), not the short side's.
TEST(MapGeometry, TheNearestCoastIsFoundPastAFartherSideSeenFirst) {
    const geo::PlaceMap coast({{"FR", {{43, 1}, {43, 1.1}, {43.1, 1.1}}}},
                              {{false, {{40.09, 0.26}, {40.11, 0.26}}}, {false, {{40.109, 0.2117}, {40.55, 0.79}}}});
    EXPECT_NEAR(coast.KmToCoast(40.1, 0.2), 1.412, 0.01);
    // Below 1 km the distance is told to the 100 m: 0,853, 0,298 and 0,051 km by geod.
    for (const auto& [lon, text] : {std::pair{0.2, "a 1 km"}, {0.25, "a 900 m"}, {0.2565, "a 300 m"}, {0.2594, "a menos de 100 m"}})
        EXPECT_EQ(core::DistanceToCoast(coast, 40.1, lon), std::string(text) + " de la costa");
}

// The datum shift's arrow against PROJ (tests/data/map-shifts.txt): its label gives the
// geodesic's metres; zoomed in to the point as "Al punto" does (2 m a pixel), and as far
// as the map zooms, it points along the geodesic's azimuth and spans its length by the
// scale bar.
TEST(MapGeometry, TheShiftArrowRunsAlongTheGeodesicToTheResult) {
    for (const testing_support::DataRecord& r : testing_support::ReadDataFile("map-shifts.txt")) {
        SCOPED_TRACE(r.where + ": " + r[0]);
        const geo::LatLon typed{r.Number(2), r.Number(3)};
        const convert::MapPoints points{r[1] == "WGS84>ED50" ? core::Direction::WGS84ToED50
                                                             : core::Direction::ED50ToWGS84,
                                        typed, geo::LatLon{r.Number(4), r.Number(5)}, false};
        const std::string metres = num::Format(r.Number(7), "#,##0") + " m";
        convert::MapView view;
        view.Fit(720, 460);
        EXPECT_TRUE(convert::DrawMap(view, {}, {}, points).shift->label.starts_with(metres + " · "));  // drawn longer
        for (const double metresPerPixel : {2.0, 0.1}) {
            view.Show(typed, metresPerPixel);
            const convert::MapScene scene = convert::DrawMap(view, {}, {}, points);
            ASSERT_TRUE(scene.shift);
            EXPECT_TRUE(scene.shift->label.starts_with(metres + " (a escala) · ")) << scene.shift->label;
            EXPECT_NEAR(ByScaleBar(scene, scene.shift->from, scene.shift->to) / r.Number(7), 1, 0.005);
            EXPECT_NEAR(std::remainder(Bearing(scene.shift->from, scene.shift->to) - r.Number(6), 360), 0, 0.3);
        }
    }
}

// Places against the outline data and the real coast (tests/data/map-places.txt), as the
// map shows them at the scale of Spain and zoomed in to the point: the land's fill under
// the point is its country's, or none at sea; the caption and the name over a zoomed-in
// view say the place; at sea the caption's distance to the coast is at most the geodesic
// to a real coast point near the nearest (and at least `less` km shorter).
TEST_F(ConversionTab, TheMapTellsLandFromSeaAndNamesThePlace) {
    for (const testing_support::DataRecord& r : testing_support::ReadDataFile("map-places.txt")) {
        SCOPED_TRACE(r.where + ": " + r[0]);
        const geo::LatLon p{r.Number(1), r.Number(2)};
        convert::MapView view;
        view.Fit(720, 460);
        for (const double metresPerPixel : {0.0, 2.0}) {
            if (metresPerPixel > 0) view.Show(p, metresPerPixel);
            const convert::MapScene scene =
                convert::DrawMap(view, window.MapData(), grids.Places(), {core::Direction::WGS84ToED50, p, {}, false});
            // The country whose fill (even-odd across its rings) holds the point's pixel.
            std::string filled = "sea";
            for (const convert::MapLand& land : scene.land) {
                bool inside = false;
                for (const auto& ring : land.rings)
                    for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++)
                        if ((ring[i].y > scene.typed->y) != (ring[j].y > scene.typed->y) &&
                            scene.typed->x < ring[j].x + (scene.typed->y - ring[j].y) / (ring[i].y - ring[j].y) *
                                                             (ring[i].x - ring[j].x))
                            inside = !inside;
                if (inside) filled = land.country;
            }
            if (r[3] != "-") {  // "-": on the coast
                EXPECT_EQ(filled, r[3]) << metresPerPixel << " m a pixel";
            }
            EXPECT_NE(scene.caption.find(r[4] + (r[3] == "sea" ? ", a " : " · ")), std::string::npos) << scene.caption;
            EXPECT_EQ(scene.placeName, metresPerPixel > 0 ? r[4] : "");
            // Typed on ED50 (some 130 m north-east in Spain), the place is its WGS84 result's.
            const convert::MapScene ed50 = convert::DrawMap(
                view, window.MapData(), grids.Places(),
                {core::Direction::ED50ToWGS84, geo::LatLon{p.lat + 0.0012, p.lon + 0.0012}, p, false});
            EXPECT_NE(ed50.caption.find(r[4] + (r[3] == "sea" ? ", a " : " · ")), std::string::npos) << ed50.caption;
            // A stale result is the previous point's, in Madrid: the typed point is placed.
            const convert::MapScene stale = convert::DrawMap(
                view, window.MapData(), grids.Places(),
                {core::Direction::ED50ToWGS84, geo::LatLon{p.lat + 0.0012, p.lon + 0.0012}, geo::LatLon{40.4169, -3.7036}, true});
            if (r[3] == "sea") {
                EXPECT_NE(stale.caption.find(r[4] + ", a "), std::string::npos) << stale.caption;
            }
            if (r[3] != "sea") continue;
            const std::size_t at = scene.caption.find(", a ") + 4;
            const double km = std::stod(scene.caption.substr(at));
            EXPECT_LE(km, r.Number(8) + 1) << scene.caption;
            EXPECT_GE(km, r.Number(8) - r.Number(9)) << scene.caption;
        }
    }
}

// The arrow's two figures as PROJ gives them (tests/data/map-arrows.txt) for a point typed
// in UTM and converted on its tab: the shift on the ground and the change of the UTM
// coordinates, each point on its own datum in the zone typed; the legend names the points
// with their datums.
TEST_F(ConversionTab, TheArrowGivesTheShiftAndTheUtmChangeAsProjDoes) {
    for (const testing_support::DataRecord& r : testing_support::ReadDataFile("map-arrows.txt")) {
        SCOPED_TRACE(r.where + ": " + r[0]);
        const int tab = r[1] == "ED50-WGS84" ? 1 : 0;
        TypeUtm(tab, r[4].c_str(), r[5].c_str(), static_cast<int>(r.Number(3)) - 29, "0,0");
        (r[2] == "grid" ? kGrid : r[2] == "helmert" ? kHelmert : testing_support::kMolodensky)[tab](form, platform, grids);
        convert::MapView view;
        view.Fit(720, 460);
        const convert::MapScene scene = window.MapOfTab(tab, view);
        ASSERT_TRUE(scene.shift) << platform.LastMsgBox().text;
        EXPECT_EQ(scene.shift->label, r[13]);
        EXPECT_NE(scene.shift->tooltip.find("en el huso " + r[3]), std::string::npos) << scene.shift->tooltip;
        const char* datums[2][2] = {{"WGS84", "ED50"}, {"ED50", "WGS84"}};
        EXPECT_EQ(scene.legend[0].text, "Punto escrito (" + std::string(datums[tab][0]) + ")");
        EXPECT_EQ(scene.legend[1].text, "Punto convertido (" + std::string(datums[tab][1]) + ")");
    }
}

TEST_F(ConversionTab, TheMapShowsWhereAPointLiesAndWhichAreasHoldIt) {
    const std::vector<geo::MapLine>& lines = window.MapData().lines;
    ASSERT_GT(lines.size(), 20u);
    convert::MapView view;
    view.Fit(720, 460);
    const struct {
        const char* place;
        geo::LatLon point;
        const char* area;  // as the caption says it
        double coastKm;    // the nearest coast, at most (or at least, when negative)
    } places[] = {
        {"Madrid", {40.4168, -3.7038}, "juego regional EST99, dentro de la rejilla IGN", -250},
        {"Finisterre", {42.8826, -9.2719}, "juego regional ZNW99, dentro de la rejilla IGN", 2},
        {"Ciutadella", {40.0011, 3.8384}, "juego regional BAL99, dentro de la rejilla IGN", 2},
        {"Tarifa", {36.0143, -5.6044}, "juego regional EST99, dentro de la rejilla IGN", 2},
        {"Tenerife", {28.2916, -16.6291}, "fuera de las áreas de los juegos regionales y de la rejilla", 0},
        {"Alborán, en el mar", {35.9, -3.0}, "juego regional EST99, dentro de la rejilla IGN", 6},
    };
    for (const auto& p : places) {
        SCOPED_TRACE(p.place);
        const convert::MapScene scene = convert::DrawMap(view, window.MapData(), grids.Places(), {core::Direction::WGS84ToED50, p.point, {}, false});
        EXPECT_TRUE(scene.caption.ends_with(p.area)) << scene.caption;
        // The map's areas are the ones the conversions use: the set of the point, and the
        // grid file's own answer.
        EXPECT_EQ(convert::InGrid(p.point.lat, p.point.lon),
                  grids.Shift().ToETRS89(p.point.lat, p.point.lon).answer == geo::GridAnswer::Done);
        if (p.coastKm > 0) {
            EXPECT_LT(ToCoast(lines, p.point), p.coastKm);
        }
        if (p.coastKm < 0) {
            EXPECT_GT(ToCoast(lines, p.point), -p.coastKm);
        }
        // Tenerife off the window.
        const bool shown = scene.typed->x >= 0 && scene.typed->x <= 720 && scene.typed->y >= 0 && scene.typed->y <= 460;
        EXPECT_EQ(shown, p.coastKm != 0);
    }
    // The grid's corners: just inside its nodes, and just outside.
    for (const auto& [lat, lon] : {std::pair{35.56, -10.18}, {44.44, 4.14}, {38.01, 4.66}, {35.55, -3.0}, {40.8, 4.5}})
        EXPECT_EQ(convert::InGrid(lat, lon), grids.Shift().ToETRS89(lat, lon).answer == geo::GridAnswer::Done)
            << lat << " " << lon;

    // Madrid converted: the window's map shows the tab's point and result (PROJ's EST99
    // point: 40.41798012, -3.70249539; geod: 171,559 m apart), to scale once zoomed in.
    TypeGeographic(0, "40 25 0,48", "3 42 13,68 W", "650,0");
    kHelmert[0](form, platform, grids);
    const convert::MapPoints points = convert::PointsOfTab(form, 0);
    ASSERT_TRUE(points.typed && points.converted);
    EXPECT_NEAR(points.converted->lat, 40.41798012, 1e-8);
    convert::MapScene scene = window.MapOfTab(0, view);
    EXPECT_TRUE(scene.shift->label.starts_with("172 m · "));
    view.Show(*points.typed, 2);
    scene = window.MapOfTab(0, view);
    EXPECT_TRUE(scene.shift->label.starts_with("172 m (a escala) · "));
    // A changed point leaves the result stale and no arrow.
    window.MoveFocus(&form.Get("TxtWGSg", 1));
    window.Type(form.Get("TxtWGSg", 1), "26");
    scene = window.MapOfTab(0, view);
    EXPECT_TRUE(scene.stale && !scene.shift);

    // The web maps open the WGS84 side: tab 0's typed point; on tab 1 the result.
    EXPECT_EQ(convert::WebMapAddress(convert::WebMap::OpenStreetMap, {40.4168, -3.7038}),
              "https://www.openstreetmap.org/?mlat=40.416800&mlon=-3.703800#map=17/40.416800/-3.703800");
    EXPECT_EQ(convert::WebMapAddress(convert::WebMap::GoogleMaps, {40.4168, -3.7038}),
              "https://www.google.com/maps/search/?api=1&query=40.416800%2C-3.703800");
    window.Click("CmdMapa", 0);
    EXPECT_EQ(platform.shownMaps, std::vector<int>{0});
    window.OpenWebMap(1, convert::WebMap::OpenStreetMap);
    EXPECT_EQ(OnlyBox("Talpor", form::MsgIcon::Information),
              "Convierta el punto a WGS84 para verlo en OpenStreetMap: los mapas web usan WGS84.");
    TypeUtm(1, "440.721,00", "4.474.447,00", 1, "650,2");
    kHelmert[1](form, platform, grids);
    window.OpenWebMap(1, convert::WebMap::GoogleMaps);
    EXPECT_EQ(platform.openedUrls,
              std::vector<std::string>{"https://www.google.com/maps/search/?api=1&query=40.416663%2C-3.700009"});
    platform.browser = false;
    window.OpenWebMap(0, convert::WebMap::OpenStreetMap);
    EXPECT_TRUE(platform.LastMsgBox().text.ends_with("es:\r\n\r\nhttps://www.openstreetmap.org/?mlat=40.433467&"
                                                     "mlon=-3.703800#map=17/40.433467/-3.703800"))
        << platform.LastMsgBox().text;
}
