// The map of a conversion tab's point: real places against the areas of the Helmert sets
// and against the shipped grid file itself, the coasts where the places are, the datum
// shift's length, and the web maps' addresses.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ConversionTab.h"
#include "convert/PointMap.h"
#include "geo/Distance.h"
#include "num/Number.h"

namespace {

using testing_support::ConversionTab;
using testing_support::kHelmert;

// The distance (km) from a place to the nearest point of the map's coasts.
double ToCoast(const std::vector<geo::MapLine>& lines, geo::LatLon p) {
    double nearest = std::numeric_limits<double>::infinity();
    for (const geo::MapLine& line : lines)
        for (const geo::LatLon& q : line.points)
            if (!line.border) nearest = std::min(nearest, geo::GeoDistance(p.lat, p.lon, q.lat, q.lon));
    return nearest;
}

}  // namespace

TEST_F(ConversionTab, TheMapShowsWhereAPointLiesAndWhichAreasHoldIt) {
    const std::vector<geo::MapLine>& lines = window.MapLines();
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
        {"Alborán, en el mar", {35.9, -3.0}, "juego regional EST99, dentro de la rejilla IGN", -20},
    };
    double lastX = -1;
    for (const auto& p : places) {
        SCOPED_TRACE(p.place);
        const convert::MapScene scene = convert::DrawMap(view, lines, {core::Direction::WGS84ToED50, p.point, {}, false});
        EXPECT_TRUE(scene.caption.ends_with(p.area)) << scene.caption;
        // The map's areas are the ones the conversions use: the set of the point, and the
        // grid file's own answer.
        EXPECT_EQ(convert::InGrid(p.point.lat, p.point.lon),
                  grids.Shift().ToETRS89(p.point.lat, p.point.lon).answer == geo::GridAnswer::Done);
        if (p.coastKm > 0) EXPECT_LT(ToCoast(lines, p.point), p.coastKm);
        if (p.coastKm < 0) EXPECT_GT(ToCoast(lines, p.point), -p.coastKm);
        // West to east across the window, Tenerife off it.
        const bool shown = scene.typed->x >= 0 && scene.typed->x <= 720 && scene.typed->y >= 0 && scene.typed->y <= 460;
        EXPECT_EQ(shown, p.coastKm != 0);
        if (std::string(p.place) == "Madrid" || std::string(p.place) == "Ciutadella") {
            EXPECT_GT(scene.typed->x, lastX);
            lastX = scene.typed->x;
        }
    }
    // The grid's corners: just inside its nodes, and just outside.
    for (const auto& [lat, lon] : {std::pair{35.56, -10.18}, {44.44, 4.14}, {38.01, 4.66}, {35.55, -3.0}, {40.8, 4.5}})
        EXPECT_EQ(convert::InGrid(lat, lon), grids.Shift().ToETRS89(lat, lon).answer == geo::GridAnswer::Done)
            << lat << " " << lon;

    // Madrid converted: the arrow says how far the datums lie apart there, as a geodesic
    // distance gives it (PROJ's EST99 point: 40.41798012, -3.70249539), at its true
    // length once the map is zoomed in to the point.
    TypeGeographic(0, "40 25 0,48", "3 42 13,68 W", "650,0");
    kHelmert[0](form, platform, grids);
    const convert::MapPoints points = convert::PointsOfTab(form, 0);
    ASSERT_TRUE(points.typed && points.converted);
    EXPECT_NEAR(points.converted->lat, 40.41798012, 1e-8);
    const double metres = geo::GeoDistance(40.4168, -3.7038, 40.41798012, -3.70249539) * 1000;
    EXPECT_NEAR(convert::ShiftMetres(*points.typed, *points.converted), metres, 0.5);
    convert::MapScene scene = window.MapOfTab(0, view);
    EXPECT_EQ(scene.shift->label, num::Format(metres, "#,##0") + " m");
    view.Show(*points.typed, 2);
    scene = window.MapOfTab(0, view);
    EXPECT_EQ(scene.shift->label, num::Format(metres, "#,##0") + " m (a escala)");
    EXPECT_NEAR(std::hypot(scene.converted->x - scene.typed->x, scene.converted->y - scene.typed->y), metres / 2, 2);
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
