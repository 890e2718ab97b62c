#include "convert/PointMap.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "convert/ConversionTab.h"
#include "convert/CopyTexts.h"
#include "core/Places.h"
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

// A name is put on the place at the view's centre from this close in (a view some 150 km
// across): at the scale of Spain one name would say little.
constexpr double kNamedMetresPerPixel = 250;

// The ring cut to the window and `margin` pixels around it (Sutherland-Hodgman against
// each side in turn), closed along the window's edges: what lies of it in view, with
// coordinates a painter handles however far the map is zoomed in.
std::vector<MapXY> ClipToView(std::vector<MapXY> ring, double width, double height, double margin = 4) {
    const auto clip = [&ring](auto inside, auto cross) {
        std::vector<MapXY> out;
        for (std::size_t i = 0; i < ring.size(); ++i) {
            const MapXY& p = ring[i];
            const MapXY& q = ring[i == 0 ? ring.size() - 1 : i - 1];
            if (inside(p) != inside(q)) out.push_back(cross(q, p));
            if (inside(p)) out.push_back(p);
        }
        ring = std::move(out);
    };
    const auto atX = [](double x) {
        return [x](MapXY a, MapXY b) { return MapXY{x, a.y + (x - a.x) / (b.x - a.x) * (b.y - a.y)}; };
    };
    const auto atY = [](double y) {
        return [y](MapXY a, MapXY b) { return MapXY{a.x + (y - a.y) / (b.y - a.y) * (b.x - a.x), y}; };
    };
    clip([&](MapXY p) { return p.x >= -margin; }, atX(-margin));
    clip([&](MapXY p) { return p.x <= width + margin; }, atX(width + margin));
    clip([&](MapXY p) { return p.y >= -margin; }, atY(-margin));
    clip([&](MapXY p) { return p.y <= height + margin; }, atY(height + margin));
    return ring;
}

// The area (pixels²) a ring encloses.
double Area(const std::vector<MapXY>& ring) {
    double twice = 0;
    for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++)
        twice += (ring[j].x - ring[i].x) * (ring[j].y + ring[i].y);
    return std::fabs(twice) / 2;
}

// "−109 m", "+12 m", "0 m": a change of a coordinate with its sign, in whole metres.
std::string Signed(double metres) {
    const long m = std::lround(metres);
    return (m < 0 ? "−" : m > 0 ? "+" : "") + std::to_string(std::labs(m)) + " m";
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

void MapView::KeepInSight(geo::LatLon point) {
    const MapXY at = ToScreen(point);
    const double marginX = Width() / 10.0, marginY = Height() / 10.0;
    if (at.x < marginX || at.x > Width() - marginX || at.y < marginY || at.y > Height() - marginY) CenterOn(point);
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
    if (const std::optional<TypedPoint> t = ReadTypedPoint(form, m.direction)) {
        m.typed = t->point;
        m.zone = t->utm.zone;
    }
    const detail::TabControls c = detail::ControlsOf(form, m.direction);
    if (!c.resLat.values.empty() && !c.resLon.values.empty()) {
        m.converted = geo::LatLon{c.resLat.values[0], c.resLon.values[0]};
        m.stale = c.resLat.stale;
    }
    return m;
}

namespace {

// The land: each country's rings cut to the window, so that however far the view is
// zoomed in a point inland lies inside its country's fill.
void DrawLand(const MapView& view, const MapData& data, MapScene& scene) {
    const double width = view.Width(), height = view.Height();
    for (const geo::MapArea& area : data.areas) {
        std::vector<MapXY> ring;
        for (const geo::LatLon& p : area.points) ring.push_back(view.ToScreen(p));
        ring = ClipToView(std::move(ring), width, height);
        if (ring.size() < 3) continue;
        auto land = std::find_if(scene.land.begin(), scene.land.end(), [&](const MapLand& l) { return l.country == area.country; });
        if (land == scene.land.end()) land = scene.land.insert(scene.land.end(), MapLand{area.country, {}});
        land->rings.push_back(std::move(ring));
    }
}

// The coasts and borders: only their pieces near the window, so that a zoomed view
// stays cheap.
void DrawLines(const MapView& view, const MapData& data, MapScene& scene) {
    const double width = view.Width(), height = view.Height();
    const geo::LatLon corner = view.ToGeo({0, 0}), far = view.ToGeo({width, height});
    const double margin = 0.05 * (corner.lat - far.lat) + 0.01;
    const auto near = [&](const geo::LatLon& p) {
        return p.lat <= corner.lat + margin && p.lat >= far.lat - margin && p.lon >= corner.lon - margin &&
               p.lon <= far.lon + margin;
    };
    for (const geo::MapLine& line : data.lines) {
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
}

// The Helmert sets' areas as geo::HelmertZoneOfGeo draws them, and the grid's.
void DrawAreas(const MapView& view, MapScene& scene) {
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
}

// The typed point, and the caption: where it lies (the land or sea that holds it, at sea
// how far from the coast), which set's area and whether the grid's.
void DrawTyped(const MapView& view, const geo::PlaceMap& places, const MapPoints& points, MapScene& scene) {
    const bool fromWgs84 = points.direction == core::Direction::WGS84ToED50;
    const std::string from = fromWgs84 ? "WGS84" : "ED50";
    if (points.typed) {
        const geo::LatLon p = *points.typed;
        scene.typed = view.ToScreen(p);
        scene.legend.push_back({MapSymbol::Typed, {}, "Punto escrito (" + from + ")"});
        const geo::HelmertZone zone = geo::HelmertZoneOfGeo(p.lat, p.lon);
        const char* set = zone == geo::HelmertZone::EST99   ? "EST99"
                          : zone == geo::HelmertZone::ZNW99 ? "ZNW99"
                          : zone == geo::HelmertZone::BAL99 ? "BAL99"
                                                            : nullptr;
        scene.caption = "Punto escrito (" + from + "): " + Degrees(p) + " · ";
        // The outlines are WGS84's: an ED50 point is placed by its WGS84 result where the
        // tab holds a fresh one (some 150 m apart, as far as a runway from a border).
        const geo::LatLon at = !fromWgs84 && points.converted && !points.stale ? *points.converted : p;
        if (const std::optional<core::PlaceName> place = core::NameOfPlace(places, at.lat, at.lon)) {
            scene.caption += place->in;
            if (place->sea) scene.caption += ", " + core::DistanceToCoast(places, at.lat, at.lon);
            scene.caption += " · ";
        }
        if (set == nullptr && !InGrid(p.lat, p.lon)) {
            scene.caption += "fuera de las áreas de los juegos regionales y de la rejilla";
        } else {
            scene.caption += set != nullptr ? std::string("juego regional ") + set : "fuera de los juegos regionales";
            scene.caption += InGrid(p.lat, p.lon) ? ", dentro de la rejilla IGN" : ", fuera de la rejilla IGN";
        }
    } else {
        scene.caption = "Escriba un punto para verlo en el mapa.";
    }
}

// The converted point and, for a fresh result, the arrow of the shift with its figures.
void DrawShift(const MapView& view, const MapPoints& points, MapScene& scene) {
    const bool fromWgs84 = points.direction == core::Direction::WGS84ToED50;
    const std::string from = fromWgs84 ? "WGS84" : "ED50", to = fromWgs84 ? "ED50" : "WGS84";
    if (points.converted) {
        scene.converted = view.ToScreen(*points.converted);
        scene.stale = points.stale;
        scene.legend.push_back({points.stale ? MapSymbol::StaleConverted : MapSymbol::Converted, {},
                                "Punto convertido (" + to + ")" + (points.stale ? ", del punto anterior" : "")});
        if (points.typed && !points.stale) {
            const geo::LatLon typed = *points.typed, converted = *points.converted;
            const double metres = ShiftMetres(typed, converted);
            const MapXY a = *scene.typed, b = *scene.converted;
            const double pixels = std::hypot(b.x - a.x, b.y - a.y);
            if (metres > 0 && pixels > 0) {
                const double drawn = std::max(pixels, kArrowPixels);
                // Each point projected on its own datum's ellipsoid, in the typed point's zone.
                const std::int16_t zone = points.zone != 0 ? points.zone : geo::UTMZoneOf(typed.lat, typed.lon);
                const geo::UTMPoint utmTyped =
                    geo::GeoToUTMInZone(typed.lat, typed.lon, zone, core::SourceEllipsoid(points.direction));
                const geo::UTMPoint utmConverted =
                    geo::GeoToUTMInZone(converted.lat, converted.lon, zone, core::TargetEllipsoid(points.direction));
                const double dE = utmConverted.E - utmTyped.E, dN = utmConverted.N - utmTyped.N;
                const std::string shift = num::Format(metres, "#,##0") + " m";
                MapArrow arrow{a, {a.x + (b.x - a.x) * drawn / pixels, a.y + (b.y - a.y) * drawn / pixels},
                               shift + (drawn > pixels ? "" : " (a escala)") + " · ΔE " + Signed(dE) + ", ΔN " + Signed(dN),
                               ""};
                arrow.tooltip =
                    "La flecha va del punto escrito (" + from + ") al convertido (" + to + ").\n" + shift +
                    ": lo que se desplaza el punto sobre el terreno al pasar de " + from + " a " + to + ".\nΔE " +
                    Signed(dE) + ", ΔN " + Signed(dN) + ": lo que cambian sus coordenadas UTM en el huso " +
                    std::to_string(zone) + ", cada una en su datum (" + num::Format(std::hypot(dE, dN), "#,##0") +
                    " m en total).\nNo coinciden porque ED50 y WGS84 tienen elipsoides distintos (el internacional "
                    "de 1924 y el WGS84): la proyección UTM de cada elipsoide pone el mismo lugar en otras "
                    "coordenadas, y al desplazamiento real se suma esa diferencia de las proyecciones.";
                scene.shift = std::move(arrow);
                scene.legend.push_back({MapSymbol::Arrow, {}, "Desplazamiento de " + from + " a " + to});
            }
        }
    }
}

}  // namespace

MapScene DrawMap(const MapView& view, const MapData& data, const geo::PlaceMap& places, const MapPoints& points) {
    MapScene scene;
    const double width = view.Width(), height = view.Height();
    DrawLand(view, data, scene);
    DrawLines(view, data, scene);
    DrawAreas(view, scene);
    DrawTyped(view, places, points, scene);
    DrawShift(view, points, scene);

    // The areas in view, once each (the grid's two subgrids are one).
    for (const MapArea& area : scene.areas) {
        const bool listed = std::any_of(scene.legend.begin(), scene.legend.end(), [&](const MapLegendEntry& e) {
            return e.symbol == MapSymbol::Area && e.area == area.kind;
        });
        if (listed || Area(ClipToView(area.outline, width, height, 0)) < 1) continue;
        scene.legend.push_back({MapSymbol::Area, area.kind,
                                area.kind == MapAreaKind::Grid ? "Área de la rejilla IGN"
                                                               : "Área del juego " + area.name});
    }

    // The scale bar, bottom left, about a sixth of the width.
    const double metres = RoundLength(view.MetresPerPixel() * width / 6);
    scene.scaleFrom = {12, height - 14.0};
    scene.scaleTo = {12 + metres / view.MetresPerPixel(), height - 14.0};
    scene.scaleLabel = Length(metres);

    // The name of the place in the middle of a zoomed-in view.
    if (view.MetresPerPixel() <= kNamedMetresPerPixel) {
        const geo::LatLon centre = view.ToGeo({width / 2, height / 2});
        if (const std::optional<core::PlaceName> place = core::NameOfPlace(places, centre.lat, centre.lon))
            scene.placeName = place->name;
    }
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
