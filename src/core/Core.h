// The datum conversions of the two conversion tabs as plain computation, with no
// control and no message: a typed point on one datum in, the point on the other datum
// out, with everything the result frame shows and the typed point in the form it was
// not typed in. Being outside a method's area and a run-time error are answers, not
// messages, so the window's buttons and any other caller share these calls. They keep
// no state between calls: Helmert and Molodensky may run in any number of threads at
// once; the grid calls as far as the grids they are given allow (geo/IgnGrid.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "geo/Ellipsoid.h"
#include "geo/Geocentric.h"
#include "geo/IgnGrid.h"
#include "geo/Utm.h"
#include "num/RuntimeError.h"

namespace core {

// Tab 0 converts WGS84 to ED50, tab 1 ED50 (International ellipsoid) to WGS84.
enum class Direction { WGS84ToED50 = 0, ED50ToWGS84 = 1 };

// Ellipsoid of the typed point (source) and of the results (target).
const geo::Ellipsoid& SourceEllipsoid(Direction direction);
const geo::Ellipsoid& TargetEllipsoid(Direction direction);

// The translation sets of "Molodensky 3p".
enum class MolodenskySet { IGN, NIMA };

// The parameter set a conversion used: a regional Helmert set, a Molodensky set, or
// the IGN grid that shifted the point ("Rejilla IGN").
enum class ParameterSet { EST99, ZNW99, BAL99, IGN, NIMA, SPED2ETV2, PENR2009, BALR2009 };

// "EST99", "ZNW99", "BAL99", "IGN" or "NIMA", as the parameter sheets name them;
// "SPED2ETV2", "PENR2009" or "BALR2009" for a grid.
std::string_view NameOf(ParameterSet set);

// True for the three grids. A grid shifts latitude and longitude only: its results
// carry the typed height unchanged, which is no height on the other datum.
bool IsGrid(ParameterSet set);

// A point typed as geographic coordinates on the source datum.
struct GeographicInput {
    double lat = 0;  // decimal degrees, north positive
    double lon = 0;  // decimal degrees, east positive
    double h = 0;    // metres above the source ellipsoid
};

// A point typed as UTM coordinates on the source datum, northern hemisphere.
struct UtmInput {
    double E = 0;            // easting (metres)
    double N = 0;            // northing (metres)
    std::int16_t zone = 30;  // 29, 30 or 31 as the window lists them; any other is taken as given
    double h = 0;            // metres above the source ellipsoid
};

enum class Status {
    Converted,        // every value below is set
    OutsideZones,     // geographic input outside UTM zones 29-31: only the mirror is set
    OutsideArea,      // Helmert, outside EST99, ZNW99 and BAL99, or the grid, outside
                      // every grid in use: only the mirror is set
    Failed,           // a run-time error stopped the computation: see Result::error
    GridUnavailable,  // the grid, whose file could not be opened (IgnShiftGrids::Problem):
                      // only the mirror is set
};

// What the result frame shows, as values. A value is set once it is computed, in
// this order: the set, the point, its projection. A run-time error stops the
// computation where it arises and leaves the later values unset; the conversion calls
// below answer it here and never throw it.
struct Result {
    Status status = Status::Failed;
    std::optional<ParameterSet> set;
    // The converted point on the target datum: decimal degrees, metres.
    std::optional<geo::GeoPoint> point;
    // The converted point projected on the target ellipsoid: easting and northing
    // (metres), zone and zone text ("30T").
    std::optional<geo::UTMPoint> utm;
    // The error that stopped the computation (overflow, division by zero).
    std::optional<num::RuntimeError> error;
};

// Geographic input: the mirror is the typed point projected on the source
// ellipsoid, set also outside zones 29-31; only an error of that projection leaves it
// unset.
struct GeographicConversion : Result {
    std::optional<geo::UTMPoint> mirror;
};

// UTM input: the mirror is the typed point in decimal degrees on the source
// ellipsoid; only an error of the inverse projection leaves it unset.
struct UtmConversion : Result {
    std::optional<geo::LatLon> mirror;
};

// "Bursa Wolf 7p": the seven-parameter Helmert transformation through geocentric
// coordinates with the regional set of the point. The set, and the area, come from
// latitude and longitude on the source datum: for UTM input, those of its mirror, so a
// point typed in UTM gets the set it gets typed in degrees.
GeographicConversion Helmert(const GeographicInput& point, Direction direction);
UtmConversion Helmert(const UtmInput& point, Direction direction);

// Helmert with the regional set `set` (EST99, ZNW99 or BAL99) for the point wherever
// it lies within the area above: an image converts with one set, so that no set's
// boundary cuts it in two. Throws std::invalid_argument for any other set.
GeographicConversion Helmert(const GeographicInput& point, Direction direction, ParameterSet set);
UtmConversion Helmert(const UtmInput& point, Direction direction, ParameterSet set);

// "Molodensky 3p": the standard Molodensky shifts of ED50 to WGS84 with `set`, added
// to an ED50 point, or evaluated at a WGS84 point and subtracted (a first-order
// inverse). Any point inside zones 29-31 is converted.
GeographicConversion Molodensky(const GeographicInput& point, Direction direction,
                                MolodenskySet set);
UtmConversion Molodensky(const UtmInput& point, Direction direction, MolodenskySet set);

// "Rejilla IGN": the official NTv2 shift of the IGN between ED50 and ETRS89, WGS84
// taken as ETRS89 (in Spain the two differ by well under a metre, less than the
// other methods' own error). ED50 to WGS84 is the grid's shift, WGS84 to ED50 its
// inverse. Result::set names the grid that shifted the point. The grid is
// horizontal: the result's height is the typed height, unchanged. Any point the
// grids in use cover is converted; outside them the status is OutsideArea, and
// GridUnavailable when `grids` has no grid open.
GeographicConversion IgnGrid(const GeographicInput& point, Direction direction,
                             const geo::IgnShiftGrids& grids);
UtmConversion IgnGrid(const UtmInput& point, Direction direction, const geo::IgnShiftGrids& grids);

// The altitude above mean sea level of a WGS84 point from the geoid EGM08-REDNAP
// (WGS84 taken as ETRS89).
struct Altitude {
    geo::GridAnswer answer = geo::GridAnswer::Unavailable;  // Done: H and N are set
    double H = 0;  // orthometric height (metres above mean sea level at Alicante)
    double N = 0;  // geoid undulation (metres): H = h − N
};

// lat, lon (decimal degrees) and h (metres above the WGS84 ellipsoid).
Altitude AltitudeOf(double lat, double lon, double h, const geo::IgnGeoid& geoid);

// The height above the source ellipsoid of a point typed with its altitude H above mean
// sea level. `wgs84At(h)` converts the point typed at height h and gives its point on
// WGS84: the typed one (a UTM point's mirror) from WGS84, the converted one to WGS84;
// nullopt when it cannot. From WGS84 the height is H + N at the point; from ED50 it is
// the height the method carries to H + N at the converted point, found in a few steps to
// 0,1 mm (the method's height shift hardly changes with the height). nullopt outside the
// geoid, or where wgs84At gives nothing.
std::optional<double> HeightOfAltitude(double H, Direction direction, const geo::IgnGeoid& geoid,
                                       const std::function<std::optional<geo::GeoPoint>(double h)>& wgs84At);

// The mirror alone, as the calls above compute it. Throws the projection's run-time
// error (overflow).
geo::UTMPoint MirrorOf(const GeographicInput& point, Direction direction);
geo::LatLon MirrorOf(const UtmInput& point, Direction direction);

// True for zones 29, 30 and 31, the zones the conversions accept.
bool InZones(const geo::UTMPoint& point);

// One point's answer in a batch: the values of the one-point call's Result, flat (56
// bytes here, against 208 of a Result). The mirror is not part of it (MirrorOf gives
// it): a geographic point's zone test takes only the zone of its projection, except
// where that projection could fail, which then fails the point as the one-point call
// does.
struct PointResult {
    geo::GeoPoint point;       // when hasPoint: the converted point, decimal degrees, metres
    double E = 0, N = 0;        // when hasUtm: its easting and northing (metres)
    Status status = Status::Failed;
    std::int16_t zone = 0;      // when hasUtm: its zone number
    char band = 0;              // when hasUtm: its latitude band letter
    std::uint8_t error = 0;     // when Failed: the run-time error's number (5, 6 or 11)
    ParameterSet set = ParameterSet::EST99;  // when hasSet
    bool hasSet = false, hasPoint = false, hasUtm = false;
};

// The zone text of a batch answer with hasUtm, as UTMPoint::zoneText has it ("30T").
std::string ZoneText(const PointResult& r);

// A batch answer as the one-point call's Result (without the mirror): the same status,
// values and run-time error (by its number, with its factory's description).
Result ResultOf(const PointResult& r);

// Batch conversions: out[i] gets, for every i, what the one-point call above gives
// for points[i], bit for bit, in the calling thread; several batches may run in
// several threads at once. The latitude iterations of Helmert run four points at a
// time. Throws std::invalid_argument when out and points differ in length.
void Helmert(std::span<const GeographicInput> points, Direction direction,
             std::span<PointResult> out);
void Helmert(std::span<const UtmInput> points, Direction direction, std::span<PointResult> out);
void Molodensky(std::span<const GeographicInput> points, Direction direction, MolodenskySet set,
                std::span<PointResult> out);
void Molodensky(std::span<const UtmInput> points, Direction direction, MolodenskySet set,
                std::span<PointResult> out);

}  // namespace core
