// The map of a conversion tab's point: where it lies among the coasts and borders of the
// peninsula and the Balearic Islands, in which area of the Helmert sets and of the IGN
// grid, and what the conversion did to it (the datum shift, an arrow scaled up with its
// true length). Everything here is plain geometry in pixels; the front end only paints
// the scene. And the addresses of the point on web maps.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/Core.h"
#include "form/Controls.h"
#include "form/Platform.h"
#include "geo/Helmert.h"
#include "geo/MapLines.h"
#include "geo/Places.h"
#include "geo/Utm.h"

namespace convert {

struct MapXY {
    double x = 0, y = 0;  // pixels, y downwards
};

// A window onto the map: an equirectangular view of `width` x `height` pixels centred on
// a point, `scale` pixels a degree of latitude (a degree of longitude takes the cosine
// of the centre's latitude of that).
class MapView {
  public:
    // The peninsula and the Balearic Islands whole in `width` x `height`.
    void Fit(int width, int height);
    // A new size around the same centre and scale.
    void Resize(int width, int height);
    // Zooms by `factor` keeping the place under `at` where it is; between the whole of
    // Spain and some half a metre a pixel.
    void Zoom(double factor, MapXY at);
    void Pan(double dx, double dy);  // pixels
    void CenterOn(geo::LatLon point);
    // Brings `point` to the middle, at the same scale, when it lies out of sight or within
    // a tenth of the view of its edge: the map follows a point typed elsewhere.
    void KeepInSight(geo::LatLon point);
    // Centres on `point` at `metresPerPixel`.
    void Show(geo::LatLon point, double metresPerPixel);

    MapXY ToScreen(geo::LatLon point) const;
    geo::LatLon ToGeo(MapXY point) const;
    double MetresPerPixel() const;
    int Width() const { return width_; }
    int Height() const { return height_; }

  private:
    double lat0_ = 40, lon0_ = -3.5, scale_ = 50;
    int width_ = 640, height_ = 480;
};

// The areas the map names: the Helmert sets' and the shipped IGN grid's.
enum class MapAreaKind { EST99, ZNW99, BAL99, Grid };

struct MapArea {
    MapAreaKind kind = MapAreaKind::EST99;
    std::string name;  // "EST99", "Rejilla IGN"
    std::vector<MapXY> outline;
    MapXY label;  // where its name goes
};

// The datum shift: an arrow from the typed point towards the converted one, drawn at a
// length that can be seen (its true length when the map is zoomed in enough).
struct MapArrow {
    MapXY from, to;
    // The shift on the ground and the change of the UTM coordinates, each point on its
    // own datum in the typed point's zone: "173 m · ΔE −109 m, ΔN −207 m".
    std::string label;
    std::string tooltip;  // why the two differ
};

// A country's land in the view: its rings cut to the window, filled by the even-odd rule
// across them (a ring inside another is a hole: Llívia in France).
struct MapLand {
    std::string country;  // ISO 3166 code: "ES", "PT"
    std::vector<std::vector<MapXY>> rings;
};

// What the legend names, with the symbol the map draws it with.
enum class MapSymbol { Typed, Converted, StaleConverted, Arrow, Area };

struct MapLegendEntry {
    MapSymbol symbol = MapSymbol::Typed;
    MapAreaKind area = MapAreaKind::EST99;  // for Area
    std::string text;  // "Punto escrito (ED50)", "Área del juego EST99"
};

struct MapScene {
    std::vector<MapLand> land;  // over the sea, which is all the rest
    std::vector<std::vector<MapXY>> coasts, borders;
    std::vector<MapArea> areas;
    std::optional<MapXY> typed;      // the typed point
    std::optional<MapXY> converted;  // the result, on the other datum
    bool stale = false;              // the result is the previous point's
    std::optional<MapArrow> shift;
    std::string caption;  // where the point lies, in a sentence
    MapXY scaleFrom, scaleTo;  // the scale bar
    std::string scaleLabel;    // "10 km", "50 m"
    // The place at the centre of a zoomed-in view ("Mallorca", "mar Mediterráneo"); ""
    // at the scale of Spain or where the outlines name none.
    std::string placeName;
    std::vector<MapLegendEntry> legend;  // the points, the arrow and the areas in view
};

// The map's outlines (data/mapa-iberia.txt): the lines drawn and the countries' rings
// filled as land.
struct MapData {
    std::vector<geo::MapLine> lines;
    std::vector<geo::MapArea> areas;
};

// What the map shows of a conversion tab: the typed point on the tab's source datum and
// the result on the target one.
struct MapPoints {
    core::Direction direction = core::Direction::WGS84ToED50;
    std::optional<geo::LatLon> typed;
    std::optional<geo::LatLon> converted;
    bool stale = false;
    std::int16_t zone = 0;  // the typed point's UTM zone; 0: its own by its longitude
};

// The points of tab 0 or 1 as its fields and results hold them now: the typed point in
// the tab's input mode (a UTM point through its zone on the source ellipsoid), none
// while a field does not hold a number; the result when the tab shows one.
MapPoints PointsOfTab(form::FormModel& form, int tab);

// The scene of `points` in `view`: the land, the lines, the areas, the points, the shift,
// the legend and a caption that says where the typed point lies (the land or sea that
// holds it by `places`, at sea how far from the coast), which set's area and whether the
// grid covers it, or that it lies outside them.
MapScene DrawMap(const MapView& view, const MapData& data, const geo::PlaceMap& places, const MapPoints& points);

// Whether the shipped grid (SPED2ETV2) covers a point: inside the nodes of its
// peninsular or Balearic subgrid.
bool InGrid(double lat, double lon);

// The length in metres of the step from `a` to `b` (decimal degrees, a few hundred
// metres apart) on the WGS84 ellipsoid.
double ShiftMetres(geo::LatLon a, geo::LatLon b);

// Web maps that show a point from its address; their forms are documented and stable.
enum class WebMap { OpenStreetMap, GoogleMaps };
inline constexpr const char* kWebMapNames[] = {"OpenStreetMap", "Google Maps"};

// The address that opens `map` at a WGS84 point (decimal degrees) with a marker on it:
// OpenStreetMap's "?mlat=..&mlon=..#map=17/../..", Google's Maps URLs "?api=1&query=..".
std::string WebMapAddress(WebMap map, geo::LatLon point);

// Opens `map` at the WGS84 side of tab 0 or 1's point: tab 0's typed point, tab 1's
// result while it is the typed point's. Without a browser a box gives the address to
// copy; without such a point a box says how to have one.
void OpenWebMap(form::FormModel& form, form::Platform& platform, int tab, WebMap map);

}  // namespace convert
