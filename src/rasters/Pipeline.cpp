// The core's methods as PROJ operations: the IGN grids as hgridshift, Helmert as PROJ's
// helmert between geocentric coordinates (cart), Molodensky as PROJ's standard molodensky,
// between PROJ's own UTM on the core's ellipsoids.
#include "rasters/Pipeline.h"

#include <charconv>
#include <stdexcept>

#include "geo/Ellipsoid.h"
#include "geo/Helmert.h"
#include "geo/Molodensky.h"

namespace rasters {
namespace {

// A number as PROJ reads it back, the same double, whatever the locale.
std::string Num(double v) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
}

// The core's ellipsoid by its own numbers, not by a PROJ name: the ETRS89 side is on
// WGS84's ellipsoid, as the core has it.
std::string Ellps(const geo::Ellipsoid& e) { return " +a=" + Num(e.A) + " +rf=" + Num(e.InvF); }

// From `s`'s coordinates to longitude and latitude in radians on `e`.
std::string Into(const RasterSystem& s, const geo::Ellipsoid& e) {
    if (s.zone != 0) return " +step +inv +proj=utm +zone=" + std::to_string(s.zone) + Ellps(e);
    return " +step +proj=axisswap +order=2,1 +step +proj=unitconvert +xy_in=deg +xy_out=rad";
}

std::string OutOf(const RasterSystem& s, const geo::Ellipsoid& e) {
    if (s.zone != 0) return " +step +proj=utm +zone=" + std::to_string(s.zone) + Ellps(e);
    return " +step +proj=unitconvert +xy_in=rad +xy_out=deg +step +proj=axisswap +order=2,1";
}

// PROJ's +grids: the files the core tries, in its order (PROJ takes the first that covers
// the point). Quoted where a path has a space.
std::string GridList(core::Grids& grids) {
    const geo::IgnShiftGrids& shift = grids.Shift();
    if (shift.Grids().empty()) throw std::runtime_error(shift.Problem());
    std::string list;
    for (const geo::IgnShiftGrids::InUse& g : shift.Grids()) {
        if (g.path.find(',') != std::string::npos)
            throw std::runtime_error("PROJ no puede leer la rejilla " + g.path + ": su ruta tiene una coma");
        list += (list.empty() ? "" : ",") + g.path;
    }
    if (list.find_first_of(" \"") == std::string::npos) return list;
    std::string quoted = "\"";
    for (char c : list) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string HelmertOf(core::ParameterSet set, bool inverse) {
    const geo::HelmertParameters& p = geo::ParametersOf(set == core::ParameterSet::ZNW99   ? geo::HelmertZone::ZNW99
                                                        : set == core::ParameterSet::BAL99 ? geo::HelmertZone::BAL99
                                                                                           : geo::HelmertZone::EST99);
    // Position vector, linearised (geo/Helmert.cpp). With R X the rotation's small terms, the
    // core takes X' = T + (1 + s) X + R X, leaving them unscaled, where PROJ's helmert takes
    // T + (1 + s)(X + R X): PROJ gets R / (1 + s). The core's way back,
    // (1 − s)(X' − T) − R (X' − T), is neither PROJ's exact inverse nor the set negated but
    // PROJ's inverse of T with scale s / (1 − s) and rotation R / (1 − s). Both are the
    // core's maps exactly; the sets' own numbers would miss them by up to 0,4 mm.
    const double s = inverse ? p.Scale / (1 - p.Scale) : p.Scale;
    const double k = inverse ? 1 - p.Scale : 1 + p.Scale;
    return std::string(" +step ") + (inverse ? "+inv " : "") + "+proj=helmert +x=" + Num(p.Tx) + " +y=" + Num(p.Ty) +
           " +z=" + Num(p.Tz) + " +rx=" + Num(p.Rx / k) + " +ry=" + Num(p.Ry / k) + " +rz=" + Num(p.Rz / k) +
           " +s=" + Num(s * 1e6) + " +convention=position_vector";
}

// PROJ's molodensky is the core's standard form (geo/Molodensky.cpp): the shifts of ED50 to
// WGS84 on the International ellipsoid, added; its inverse evaluates them at the WGS84
// point and subtracts them, the core's first-order way back.
std::string MolodenskyOf(const geo::MolodenskyParams& p, bool inverse) {
    const geo::Ellipsoid& wgs = geo::Ellipsoids[geo::kWGS84];
    const geo::Ellipsoid& ed50 = geo::Ellipsoids[geo::kED50];
    return std::string(" +step ") + (inverse ? "+inv " : "") + "+proj=molodensky" + Ellps(ed50) +
           " +dx=" + Num(p.DX) + " +dy=" + Num(p.DY) + " +dz=" + Num(p.DZ) + " +da=" + Num(wgs.A - ed50.A) +
           " +df=" + Num(1 / wgs.InvF - 1 / ed50.InvF);
}

}  // namespace

std::string WarpPipeline(const RasterSystem& from, const RasterSystem& to, core::ParameterSet method,
                         core::Grids& grids) {
    const core::Direction direction =
        from.datum == RasterSystem::Datum::ED50 ? core::Direction::ED50ToWGS84 : core::Direction::WGS84ToED50;
    const bool inverse = direction == core::Direction::WGS84ToED50;
    const geo::Ellipsoid& source = core::SourceEllipsoid(direction);
    const geo::Ellipsoid& target = core::TargetEllipsoid(direction);
    // One datum: the projection alone.
    if ((from.datum == RasterSystem::Datum::ED50) == (to.datum == RasterSystem::Datum::ED50))
        return "+proj=pipeline" + Into(from, source) + OutOf(to, source);
    std::string step;
    if (core::IsGrid(method)) {
        step = std::string(" +step ") + (inverse ? "+inv " : "") + "+proj=hgridshift +grids=" + GridList(grids);
    } else if (method == core::ParameterSet::IGN || method == core::ParameterSet::NIMA) {
        step = MolodenskyOf(method == core::ParameterSet::IGN ? geo::IGN : geo::NIMA, inverse);
    } else {
        step = " +step +proj=cart" + Ellps(source) + HelmertOf(method, inverse) + " +step +inv +proj=cart" +
               Ellps(target);
    }
    // The core converts at height 0 on the source ellipsoid, whatever height GDAL passes.
    return "+proj=pipeline" + Into(from, source) + " +step +proj=set +v_3=0" + step + OutOf(to, target);
}

}  // namespace rasters
