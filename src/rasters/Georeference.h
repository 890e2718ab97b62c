// Where an image's pixels go when its system changes. Over a sheet of a few kilometres
// the IGN grid's shift, or a Helmert set's, changes by millimetres to centimetres, so the
// image need not be resampled: its georeference alone moves. PlanMove finds by how much:
// it takes a grid of pixel centres over the whole image (corners, edges and inside)
// through the method, fits the image's affine georeference to where they land by least
// squares, north-up where that is close enough, and measures the largest distance
// between a pixel centre as the new georeference puts it and as the method puts it.
// When that distance is within the tolerance the pixels stay as they are; beyond it the
// image must be resampled.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "core/Core.h"
#include "core/Grids.h"

namespace rasters {

// GDAL's affine georeference of an image: the pixel at column c, row r (from the top left
// corner of the top left pixel; its centre at c + 0,5, r + 0,5) lies at
//   x = t[0] + c t[1] + r t[2],   y = t[3] + c t[4] + r t[5].
struct Affine {
    std::array<double, 6> t{};
    // x, y of (c, r).
    double X(double c, double r) const { return t[0] + c * t[1] + r * t[2]; }
    double Y(double c, double r) const { return t[3] + c * t[4] + r * t[5]; }
    // North-up: no rotation terms.
    bool NorthUp() const { return t[2] == 0 && t[4] == 0; }
    // The shorter side of a pixel, in the system's units.
    double PixelSide() const;
};

// Where the method takes a point of the image's system (x, y: easting and northing, or
// longitude and latitude in degrees) in the output's; nullopt outside the method's area.
struct XY {
    double x = 0, y = 0;
};
using PointMap = std::function<std::optional<XY>(double x, double y)>;

// A raster's system as Talpor converts it: a datum and a UTM zone, or degrees.
struct RasterSystem {
    enum class Datum { ED50, ETRS89, WGS84 } datum = Datum::ED50;
    int zone = 0;  // 29..31; 0 for geographic (longitude, latitude)
};

// Which regional set Helmert converts each point of an image with.
enum class HelmertSets {
    EachPoint,  // the set of the point's own place, as the window converts it
    Given,      // the method's set for every point (HelmertSetOf), as the image is resampled
};

// The method's map from `from` to `to` (the other side's datum; to.zone may differ from
// from.zone, or be 0), converting the geographic point through the conversion core as the
// window does, and projecting it in `to`'s zone whatever the point's own. `grids` is
// used for the grid method and must outlive the map. For Helmert, `method` is EST99,
// ZNW99 or BAL99, used as `sets` says.
PointMap MethodMap(const RasterSystem& from, const RasterSystem& to, core::ParameterSet method, core::Grids& grids,
                   HelmertSets sets = HelmertSets::EachPoint);

// The Helmert set a `width` x `height` image georeferenced by `georeference` in `from`
// converts with, whole: the one the core gives the image's centre (at height 0).
// nullopt where it gives none: a centre outside the sets' area or zones 29..31.
std::optional<core::ParameterSet> HelmertSetOf(const RasterSystem& from, const Affine& georeference,
                                               std::int64_t width, std::int64_t height);

// How an image moves to the other system.
struct Move {
    bool untouched = false;   // the pixels stay: `affine` is within the tolerance
    Affine affine;            // the best georeference found (north-up where within the tolerance)
    double worstMetres = 0;   // the largest distance between a pixel centre as `affine` and as
    double worstPixels = 0;   // the method put it: in the output's units and in its pixels
    std::int64_t outside = 0; // sample points the method does not reach (the image is
                              // then not moved untouched)
};

// The samples a side: at least 17, corners and edges included.
inline constexpr int kSamplesASide = 17;

// Fits the georeference of a `width` x `height` image georeferenced by `from` after
// `map`, and compares it with the method on twice as many points a side as it was fitted
// to (the midpoints between them too). Untouched when the largest distance is at most
// `tolerancePixels` of the output's pixel (a quarter by default; 0: never untouched).
// `geographicOut`: the output is in degrees, whose distances are measured in metres on
// the sphere of the mean radius. `squareCells`: the output's format holds only north-up
// square cells (an ASCII grid's cellsize).
Move PlanMove(std::int64_t width, std::int64_t height, const Affine& from, const PointMap& map, bool geographicOut,
              double tolerancePixels = 0.25, bool squareCells = false);

}  // namespace rasters
