// The official grids of Spain's national mapping agency (Instituto Geográfico
// Nacional, IGN), read through PROJ: the horizontal shift between ED50 and ETRS89
// (the NTv2 grid SPED2ETV2, or the 2009 grids PENR2009 and BALR2009 where the user
// has them) and the geoid EGM08-REDNAP that turns an ellipsoidal height into an
// altitude above mean sea level.
//
// Each grid is one PROJ transformation built once, when its object is made, in a
// PROJ context of its own whose only search path is the folder the file was found
// in; the network is never used. The objects are not for concurrent use (PROJ's
// transformations keep state between calls). PROJ remembers for the rest of the
// process that a grid file exists: a file replaced by a broken one after it was first
// opened is only found broken when a point is converted (the point is then outside).
//
// PROJ lives in the program's module talpor-proj.so (geo/ProjModule.h), loaded by the
// first grid object made, whatever its thread. A module that cannot be loaded is no
// exception: every grid is then unavailable, and Problem() names the module.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "geo/GridFast.h"
#include "geo/Utm.h"

namespace geo {

// The shift grids between ED50 and ETRS89.
enum class ShiftGrid {
    SPED2ETV2,  // es_ign_SPED2ETV2.tif: peninsula and Balearic Islands (EPSG 15932)
    PENR2009,   // PENR2009.gsb: peninsula (EPSG 9408)
    BALR2009,   // BALR2009.gsb: Balearic Islands (EPSG 9409)
};

// "SPED2ETV2", "PENR2009" or "BALR2009".
std::string_view NameOf(ShiftGrid grid);
// The file PROJ reads: "es_ign_SPED2ETV2.tif", "PENR2009.gsb" or "BALR2009.gsb".
std::string_view FileOf(ShiftGrid grid);

// The geoid grid file, "es_ign_egm08-rednap.tif".
inline constexpr std::string_view kGeoidFile = "es_ign_egm08-rednap.tif";

// What a grid answers for one point.
enum class GridAnswer {
    Done,         // the value is set
    Outside,      // the point lies outside every grid in use
    Unavailable,  // the grid file could not be opened: see Problem()
};

struct GridShift {
    GridAnswer answer = GridAnswer::Unavailable;
    LatLon point;                           // Done: the shifted point (decimal degrees)
    ShiftGrid grid = ShiftGrid::SPED2ETV2;  // Done: the grid that shifted it
};

// The shift grids of "Rejilla IGN", tried in a fixed order: BALR2009, then PENR2009,
// each when its file lies in the user's grid folder, then SPED2ETV2 from the program's
// data folder. A point goes to the first grid that covers it.
class IgnShiftGrids {
  public:
    struct InUse {
        ShiftGrid grid;
        std::string path;  // the file opened
    };

    // dataFolder: the program's data folder, which holds es_ign_SPED2ETV2.tif ("" when
    // unknown). userGridFolder: the folder a user puts PENR2009.gsb and BALR2009.gsb in
    // ("" when there is none). Opens every grid found; a missing or unreadable file is
    // no exception: SPED2ETV2's, or the PROJ module's, makes the method unavailable
    // (Problem), a 2009 grid's is left out with a warning (Warnings).
    IgnShiftGrids(const std::string& dataFolder, const std::string& userGridFolder);
    ~IgnShiftGrids();
    IgnShiftGrids(const IgnShiftGrids&) = delete;
    IgnShiftGrids& operator=(const IgnShiftGrids&) = delete;

    // lat, lon (decimal degrees, north and east positive) on ED50 to ETRS89.
    GridShift ToETRS89(double lat, double lon) const;
    // lat, lon on ETRS89 to ED50: the inverse of the grid that covers the ETRS89 point
    // (PROJ finds it by iteration, to well under a millimetre).
    GridShift ToED50(double lat, double lon) const;
    // out[i] = ToETRS89(points[i]) (or ToED50), the same doubles, for many points in one
    // call into PROJ a grid. Throws std::invalid_argument when the two differ in length.
    void ToETRS89(std::span<const LatLon> points, std::span<GridShift> out) const;
    void ToED50(std::span<const LatLon> points, std::span<GridShift> out) const;

    // SPED2ETV2 for a faster evaluation (geo/GridFast.h): `shapes`, its subgrids as the
    // file lays them out (GridPages), with each node's shift as PROJ gives it. Nullopt when other grids are in use, and when the
    // result and PROJ differ by more than 1e-12 degrees anywhere among a few thousand
    // points of a fixed draw (shapes that are not the file's).
    std::optional<fast::ShiftGrid> Sampled(std::vector<fast::Subgrid> shapes) const;

    // The grids opened, in the order they are tried.
    const std::vector<InUse>& Grids() const;
    // Why the method cannot run, as a Spanish sentence for the user; "" when
    // SPED2ETV2 is open (the method then always runs).
    const std::string& Problem() const;
    // A Spanish sentence for each 2009 grid found in the user's folder that PROJ could
    // not read (it is left out).
    const std::vector<std::string>& Warnings() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The subgrids of a GeoTIFF shift grid, one a page (image) in the file's order, with
// their nodes' places and without their shifts; none when the file is not a TIFF, or
// a page has no georeference of a north-up grid.
std::vector<fast::Subgrid> GridPages(const std::string& path);

// The geoid EGM08-REDNAP of peninsular Spain and the Balearic Islands.
class IgnGeoid {
  public:
    struct Undulation {
        GridAnswer answer = GridAnswer::Unavailable;
        double N = 0;  // Done: geoid height above the ETRS89 ellipsoid (metres)
    };

    // dataFolder: the program's data folder, which holds es_ign_egm08-rednap.tif ("" when
    // unknown). A missing or unreadable file, or PROJ module, is no exception: see Problem.
    explicit IgnGeoid(const std::string& dataFolder);
    ~IgnGeoid();
    IgnGeoid(const IgnGeoid&) = delete;
    IgnGeoid& operator=(const IgnGeoid&) = delete;

    // The undulation at lat, lon (decimal degrees on ETRS89), interpolated bilinearly
    // between the grid's nodes (one minute of arc apart); the altitude above sea level
    // is the ellipsoidal height minus N.
    Undulation At(double lat, double lon) const;
    // Why there is no geoid, as a Spanish sentence; "" when the grid is open.
    const std::string& Problem() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace geo
