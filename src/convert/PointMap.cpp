#include "convert/PointMap.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "convert/ConversionTab.h"
#include "convert/CopyTexts.h"
#include "text/PointText.h"
#include "geo/Ellipsoid.h"
#include "num/Number.h"

namespace convert {
namespace {

constexpr double kDegree = std::numbers::pi / 180;

// The view that shows the whole area: peninsular Spain and the Balearic Islands.
constexpr double kWest = -10, kEast = 4.6, kSouth = 35.8, kNorth = 44;
// Pixels a degree of latitude: the whole area at most, some half a metre a pixel at least.
constexpr double kMinScale = 10, kMaxScale = 250000;
// The shift arrow is drawn this long until its true length is longer.
constexpr double kArrowPixels = 48;

// The node extents of the shipped grid SPED2ETV2: its peninsular subgrid (a node every
// 200") and its Balearic one (every 150"), from the file's corners.
struct Box {
    double west, east, south, north;
};
constexpr Box kPeninsularGrid{-10.1833333, 4.15, 35.5555556, 44.4444444};
constexpr Box kBalearicGrid{0.8333333, 4.6666667, 38.0, 40.7916667};

bool In(const Box& b, double lat, double lon) {
    return lon >= b.west && lon <= b.east && lat >= b.south && lat <= b.north;
}

// "40,4168º N 3,7038º W"
std::string Degrees(geo::LatLon p) {
    return num::Format(std::fabs(p.lat), "0.0000") + "º " + (p.lat < 0 ? "S" : "N") + " " +
           num::Format(std::fabs(p.lon), "0.0000") + "º " + (p.lon < 0 ? "W" : "E");
}

// "1 km", "200 m": a round length of about `metres`.
double RoundLength(double metres) {
    const double power = std::pow(10.0, std::floor(std::log10(metres)));
    for (double step : {5.0, 2.0, 1.0})
        if (step * power <= metres) return step * power;
    return power;
}

std::string Length(double metres) {
    return metres >= 1000 ? num::Format(metres / 1000, "#,##0.#") + " km" : num::Format(metres, "#,##0") + " m";
}

std::vector<MapXY> Outline(const MapView& view, std::initializer_list<geo::LatLon> corners) {
    std::vector<MapXY> outline;
    for (const geo::LatLon& c : corners) outline.push_back(view.ToScreen(c));
    outline.push_back(outline.front());
    return outline;
}

}  // namespace

void MapView::Fit(int width, int height) {
    width_ = std::max(width, 1);
    height_ = std::max(height, 1);
    lat0_ = (kSouth + kNorth) / 2;
    lon0_ = (kWest + kEast) / 2;
    const double across = (kEast - kWest) * std::cos(lat0_ * kDegree);
    scale_ = std::min(width_ / across, height_ / (kNorth - kSouth)) * 0.96;
}

void MapView::Resize(int width, int height) {
    width_ = std::max(width, 1);
    height_ = std::max(height, 1);
}

void MapView::Zoom(double factor, MapXY at) {
    const geo::LatLon fixed = ToGeo(at);
    scale_ = std::clamp(scale_ * factor, kMinScale, kMaxScale);
    // The place under `at` stays there.
    const MapXY moved = ToScreen(fixed);
    Pan(moved.x - at.x, moved.y - at.y);
}

void MapView::Pan(double dx, double dy) {
    const geo::LatLon c = ToGeo({width_ / 2.0 + dx, height_ / 2.0 + dy});
    lat0_ = std::clamp(c.lat, -80.0, 80.0);
    lon0_ = std::clamp(c.lon, -180.0, 180.0);
}

void MapView::CenterOn(geo::LatLon point) {
    lat0_ = point.lat;
    lon0_ = point.lon;
}

void MapView::Show(geo::LatLon point, double metresPerPixel) {
    CenterOn(point);
    scale_ = std::clamp(111320.0 / metresPerPixel, kMinScale, kMaxScale);
}

MapXY MapView::ToScreen(geo::LatLon p) const {
    return {width_ / 2.0 + (p.lon - lon0_) * scale_ * std::cos(lat0_ * kDegree), height_ / 2.0 - (p.lat - lat0_) * scale_};
}

geo::LatLon MapView::ToGeo(MapXY p) const {
    return {lat0_ - (p.y - height_ / 2.0) / scale_, lon0_ + (p.x - width_ / 2.0) / (scale_ * std::cos(lat0_ * kDegree))};
}

double MapView::MetresPerPixel() const { return 111320.0 / scale_; }

bool InGrid(double lat, double lon) { return In(kPeninsularGrid, lat, lon) || In(kBalearicGrid, lat, lon); }

double ShiftMetres(geo::LatLon a, geo::LatLon b) {
    const geo::Ellipsoid& e = geo::Ellipsoids[geo::kWGS84];
    const double s = std::sin(a.lat * kDegree);
    const double w = 1 - e.E2 * s * s;
    const double meridian = e.A * (1 - e.E2) / (w * std::sqrt(w));  // radii of curvature
    const double normal = e.A / std::sqrt(w);
    const double north = (b.lat - a.lat) * kDegree * meridian;
    const double east = (b.lon - a.lon) * kDegree * normal * std::cos(a.lat * kDegree);
    return std::hypot(north, east);
}

MapPoints PointsOfTab(form::FormModel& form, int tab) {
    MapPoints m;
    m.direction = tab == 0 ? core::Direction::WGS84ToED50 : core::Direction::ED50ToWGS84;
    if (const std::optional<TypedPoint> t = ReadTypedPoint(form, m.direction)) m.typed = t->point;
    const detail::TabControls c = detail::ControlsOf(form, m.direction);
    if (!c.resLat.values.empty() && !c.resLon.values.empty()) {
        m.converted = geo::LatLon{c.resLat.values[0], c.resLon.values[0]};
        m.stale = c.resLat.stale;
    }
    return m;
}

MapScene DrawMap(const MapView& view, const std::vector<geo::MapLine>& lines, const MapPoints& points) {
    MapScene scene;
    // The lines: only their pieces near the window, so that a zoomed view stays cheap.
    const geo::LatLon corner = view.ToGeo({0, 0}), far = view.ToGeo({double(view.Width()), double(view.Height())});
    const double margin = 0.05 * (corner.lat - far.lat) + 0.01;
    const auto near = [&](const geo::LatLon& p) {
        return p.lat <= corner.lat + margin && p.lat >= far.lat - margin && p.lon >= corner.lon - margin &&
               p.lon <= far.lon + margin;
    };
    for (const geo::MapLine& line : lines) {
        auto& to = line.border ? scene.borders : scene.coasts;
        std::vector<MapXY> run;
        for (std::size_t i = 0; i < line.points.size(); ++i) {
            const bool keep = near(line.points[i]) || (i > 0 && near(line.points[i - 1])) ||
                              (i + 1 < line.points.size() && near(line.points[i + 1]));
            if (keep) run.push_back(view.ToScreen(line.points[i]));
            if ((!keep || i + 1 == line.points.size()) && run.size() >= 2) to.push_back(std::move(run));
            if (!keep) run.clear();
        }
    }

    // The Helmert sets' areas as geo::HelmertZoneOfGeo draws them, and the grid's.
    scene.areas.push_back({MapAreaKind::EST99, "EST99",
                           Outline(view, {{35, -10}, {35, 1}, {40.5, 1}, {40.5, 6}, {44, 6}, {44, -4.5}, {41.5, -4.5},
                                          {41.5, -10}}),
                           view.ToScreen({38.2, -6.2})});
    scene.areas.push_back({MapAreaKind::ZNW99, "ZNW99", Outline(view, {{41.5, -10}, {41.5, -4.5}, {44, -4.5}, {44, -10}}),
                           view.ToScreen({43.6, -9.8})});
    scene.areas.push_back({MapAreaKind::BAL99, "BAL99", Outline(view, {{35, 1}, {35, 6}, {40.5, 6}, {40.5, 1}}),
                           view.ToScreen({38.4, 1.2})});
    for (const Box& b : {kPeninsularGrid, kBalearicGrid})
        scene.areas.push_back({MapAreaKind::Grid, "Rejilla IGN",
                               Outline(view, {{b.south, b.west}, {b.south, b.east}, {b.north, b.east}, {b.north, b.west}}),
                               view.ToScreen({b.south + 1.5, b.west + 0.08})});
    scene.areas.back().name.clear();  // the Balearic subgrid goes unnamed: one name is enough

    // The points, the shift and where the point lies.
    const char* from = points.direction == core::Direction::WGS84ToED50 ? "WGS84" : "ED50";
    if (points.typed) {
        const geo::LatLon p = *points.typed;
        scene.typed = view.ToScreen(p);
        const geo::HelmertZone zone = geo::HelmertZoneOfGeo(p.lat, p.lon);
        const char* set = zone == geo::HelmertZone::EST99   ? "EST99"
                          : zone == geo::HelmertZone::ZNW99 ? "ZNW99"
                          : zone == geo::HelmertZone::BAL99 ? "BAL99"
                                                            : nullptr;
        scene.caption = std::string("Punto escrito (") + from + "): " + Degrees(p) + " · ";
        if (set == nullptr && !InGrid(p.lat, p.lon)) {
            scene.caption += "fuera de las áreas de los juegos regionales y de la rejilla";
        } else {
            scene.caption += set != nullptr ? std::string("juego regional ") + set : "fuera de los juegos regionales";
            scene.caption += InGrid(p.lat, p.lon) ? ", dentro de la rejilla IGN" : ", fuera de la rejilla IGN";
        }
    } else {
        scene.caption = "Escriba un punto para verlo en el mapa.";
    }
    if (points.converted) {
        scene.converted = view.ToScreen(*points.converted);
        scene.stale = points.stale;
        if (points.typed && !points.stale) {
            const double metres = ShiftMetres(*points.typed, *points.converted);
            const MapXY a = *scene.typed, b = *scene.converted;
            const double pixels = std::hypot(b.x - a.x, b.y - a.y);
            if (metres > 0 && pixels > 0) {
                const double drawn = std::max(pixels, kArrowPixels);
                scene.shift = MapArrow{a, {a.x + (b.x - a.x) * drawn / pixels, a.y + (b.y - a.y) * drawn / pixels},
                                       num::Format(metres, "#,##0") + " m" + (drawn > pixels ? "" : " (a escala)")};
            }
        }
    }

    // The scale bar, bottom left, about a sixth of the width.
    const double metres = RoundLength(view.MetresPerPixel() * view.Width() / 6);
    scene.scaleFrom = {12, view.Height() - 14.0};
    scene.scaleTo = {12 + metres / view.MetresPerPixel(), view.Height() - 14.0};
    scene.scaleLabel = Length(metres);
    return scene;
}

std::string WebMapAddress(WebMap map, geo::LatLon p) {
    const std::string lat = text::DecimalText(p.lat, 6), lon = text::DecimalText(p.lon, 6);
    if (map == WebMap::GoogleMaps)
        return "https://www.google.com/maps/search/?api=1&query=" + lat + "%2C" + lon;
    return "https://www.openstreetmap.org/?mlat=" + lat + "&mlon=" + lon + "#map=17/" + lat + "/" + lon;
}

void OpenWebMap(form::FormModel& form, form::Platform& platform, int tab, WebMap map) {
    const MapPoints points = PointsOfTab(form, tab);
    const std::optional<geo::LatLon> wgs84 =
        tab == 0 ? points.typed : points.stale ? std::nullopt : points.converted;
    const char* name = kWebMapNames[static_cast<int>(map)];
    if (!wgs84) {
        platform.MsgBox(tab == 0 ? "Escriba un punto WGS84 completo para verlo en " + std::string(name) + "."
                                 : "Convierta el punto a WGS84 para verlo en " + std::string(name) +
                                       ": los mapas web usan WGS84.",
                        "Talpor", form::MsgIcon::Information, form::MsgButtons::OK, form::MsgResult::OK);
        return;
    }
    const std::string address = WebMapAddress(map, *wgs84);
    if (!platform.OpenUrl(address))
        platform.MsgBox("No se ha podido abrir el navegador. La dirección del punto en " + std::string(name) +
                            " es:\r\n\r\n" + address,
                        "Talpor", form::MsgIcon::Information, form::MsgButtons::OK, form::MsgResult::OK);
}

}  // namespace convert
