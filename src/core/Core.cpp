// The three methods of the conversion tabs: the seven-parameter Helmert (Bursa-Wolf)
// transformation through geocentric coordinates with the regional sets of Spain, the
// standard three-parameter Molodensky shifts, and the IGN's NTv2 grids (through
// PROJ, geo/IgnGrid.h). The typed point is first projected or unprojected on its own
// datum, so that every input form reaches the methods as latitude, longitude and
// height.
#include "core/Core.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <vector>

#include "geo/mGeo.h"

namespace core {
namespace {

// An angular shift (arc-seconds) in decimal degrees, sign kept. Taken through the
// sexagesimal conversion, not as shift / 3600: the two differ in the last bit.
double ShiftDegrees(double seconds) {
    return geo::DMSToDeg(0, 0, seconds, false);
}

ParameterSet SetOf(geo::HelmertZone zone) {
    if (zone == geo::HelmertZone::ZNW99) return ParameterSet::ZNW99;
    if (zone == geo::HelmertZone::BAL99) return ParameterSet::BAL99;
    return ParameterSet::EST99;
}

ParameterSet SetOf(MolodenskySet set) {
    return set == MolodenskySet::IGN ? ParameterSet::IGN : ParameterSet::NIMA;
}

// lat, lon (decimal degrees) and h (metres) on the source datum to geocentric
// coordinates on the target datum with the set of `zone`.
geo::Geocentric HelmertGeocentric(double lat, double lon, double h, Direction direction,
                                   geo::HelmertZone zone) {
    const geo::Geocentric g = geo::GeoToGeocentric(lat, lon, h, SourceEllipsoid(direction));
    return geo::HelmertTransform(g.X, g.Y, g.Z,
                                  direction == Direction::WGS84ToED50
                                      ? geo::HelmertDirection::WGS84ToED50
                                      : geo::HelmertDirection::ED50ToWGS84,
                                  geo::ParametersOf(zone));
}

// Helmert with the set of `zone`, from lat, lon (decimal degrees) and h (metres) on
// the source datum.
void HelmertFrom(Result& r, double lat, double lon, double h, Direction direction,
                 geo::HelmertZone zone) {
    r.set = SetOf(zone);
    const geo::Ellipsoid& target = TargetEllipsoid(direction);
    const geo::Geocentric t = HelmertGeocentric(lat, lon, h, direction, zone);
    r.point = geo::GeocentricToGeo(t.X, t.Y, t.Z, target);
    r.utm = geo::GeoToUTM(r.point->lat, r.point->lon, target);
    r.status = Status::Converted;
}

// Helmert with the set the geographic rule gives lat, lon (decimal degrees, source
// datum). A UTM point comes here as its mirror, so typed in UTM or in degrees a point
// gets one set and one area.
void HelmertAt(Result& r, double lat, double lon, double h, Direction direction) {
    const geo::HelmertZone zone = geo::HelmertZoneOfGeo(lat, lon);
    if (zone == geo::HelmertZone::None) {
        r.status = Status::OutsideArea;
        return;
    }
    HelmertFrom(r, lat, lon, h, direction, zone);
}

// The regional set `set` names; std::invalid_argument for a set that is not Helmert's.
geo::HelmertZone HelmertZoneOf(ParameterSet set) {
    if (set == ParameterSet::EST99) return geo::HelmertZone::EST99;
    if (set == ParameterSet::ZNW99) return geo::HelmertZone::ZNW99;
    if (set == ParameterSet::BAL99) return geo::HelmertZone::BAL99;
    throw std::invalid_argument("Helmert: " + std::string(NameOf(set)) + " is no Helmert set");
}

// Helmert with the set of `zone` wherever the geographic rule gives any set: the area
// stays the one of HelmertAt.
void HelmertWith(Result& r, double lat, double lon, double h, Direction direction,
                 geo::HelmertZone zone) {
    if (geo::HelmertZoneOfGeo(lat, lon) == geo::HelmertZone::None) {
        r.status = Status::OutsideArea;
        return;
    }
    HelmertFrom(r, lat, lon, h, direction, zone);
}

// The Molodensky point on the target datum. The shifts are always those of ED50 to
// WGS84 on the International ellipsoid.
geo::GeoPoint MolodenskyPoint(double lat, double lon, double h, Direction direction,
                               MolodenskySet set) {
    const geo::MolodenskyShifts s =
        geo::MolodenskyShift(lat, lon, h, set == MolodenskySet::IGN ? geo::IGN : geo::NIMA);
    const bool inverse = direction == Direction::WGS84ToED50;
    geo::GeoPoint p;
    p.lat = inverse ? lat - ShiftDegrees(s.dLatSec) : lat + ShiftDegrees(s.dLatSec);
    p.lon = inverse ? lon - ShiftDegrees(s.dLonSec) : lon + ShiftDegrees(s.dLonSec);
    p.h = inverse ? h - s.dH : h + s.dH;
    return p;
}

void MolodenskyFrom(Result& r, double lat, double lon, double h, Direction direction,
                    MolodenskySet set) {
    r.set = SetOf(set);
    r.point = MolodenskyPoint(lat, lon, h, direction, set);
    r.utm = geo::GeoToUTM(r.point->lat, r.point->lon, TargetEllipsoid(direction));
    r.status = Status::Converted;
}

ParameterSet SetOf(geo::ShiftGrid grid) {
    if (grid == geo::ShiftGrid::PENR2009) return ParameterSet::PENR2009;
    if (grid == geo::ShiftGrid::BALR2009) return ParameterSet::BALR2009;
    return ParameterSet::SPED2ETV2;
}

// The grid moves latitude and longitude; the height goes through as typed.
void GridFrom(Result& r, double lat, double lon, double h, Direction direction,
              const geo::IgnShiftGrids& grids) {
    const geo::GridShift s =
        direction == Direction::ED50ToWGS84 ? grids.ToETRS89(lat, lon) : grids.ToED50(lat, lon);
    if (s.answer == geo::GridAnswer::Unavailable) {
        r.status = Status::GridUnavailable;
        return;
    }
    if (s.answer == geo::GridAnswer::Outside) {
        r.status = Status::OutsideArea;
        return;
    }
    r.set = SetOf(s.grid);
    r.point = geo::GeoPoint{s.point.lat, s.point.lon, h};
    r.utm = geo::GeoToUTM(s.point.lat, s.point.lon, TargetEllipsoid(direction));
    r.status = Status::Converted;
}

// Runs `method(r, lat, lon, h)` on the typed point once its mirror is known; a
// run-time error ends the computation where it arises.
template <typename Method>
GeographicConversion FromGeographic(const GeographicInput& point, Direction direction,
                                    const Method& method) {
    GeographicConversion r;
    try {
        r.mirror = MirrorOf(point, direction);
        if (InZones(*r.mirror)) {
            method(r, point.lat, point.lon, point.h);
        } else {
            r.status = Status::OutsideZones;
        }
    } catch (const num::RuntimeError& e) {
        r.status = Status::Failed;
        r.error = e;
    }
    return r;
}

// UTM input has no zone test: the window lists only zones 29-31.
template <typename Method>
UtmConversion FromUtm(const UtmInput& point, Direction direction, const Method& method) {
    UtmConversion r;
    try {
        r.mirror = MirrorOf(point, direction);
        method(r, r.mirror->lat, r.mirror->lon, point.h);
    } catch (const num::RuntimeError& e) {
        r.status = Status::Failed;
        r.error = e;
    }
    return r;
}

}  // namespace

const geo::Ellipsoid& SourceEllipsoid(Direction direction) {
    return geo::Ellipsoids[direction == Direction::WGS84ToED50 ? geo::kWGS84 : geo::kED50];
}

const geo::Ellipsoid& TargetEllipsoid(Direction direction) {
    return geo::Ellipsoids[direction == Direction::WGS84ToED50 ? geo::kED50 : geo::kWGS84];
}

std::string_view NameOf(ParameterSet set) {
    switch (set) {
        case ParameterSet::EST99:
            return "EST99";
        case ParameterSet::ZNW99:
            return "ZNW99";
        case ParameterSet::BAL99:
            return "BAL99";
        case ParameterSet::IGN:
            return "IGN";
        case ParameterSet::NIMA:
            return "NIMA";
        case ParameterSet::SPED2ETV2:
            return geo::NameOf(geo::ShiftGrid::SPED2ETV2);
        case ParameterSet::PENR2009:
            return geo::NameOf(geo::ShiftGrid::PENR2009);
        case ParameterSet::BALR2009:
            return geo::NameOf(geo::ShiftGrid::BALR2009);
    }
    return "";
}

bool IsGrid(ParameterSet set) {
    return set == ParameterSet::SPED2ETV2 || set == ParameterSet::PENR2009 ||
           set == ParameterSet::BALR2009;
}

geo::UTMPoint MirrorOf(const GeographicInput& point, Direction direction) {
    return geo::GeoToUTM(point.lat, point.lon, SourceEllipsoid(direction));
}

geo::LatLon MirrorOf(const UtmInput& point, Direction direction) {
    return geo::UTMToGeo(point.E, point.N, point.zone, SourceEllipsoid(direction), "N");
}

bool InZones(const geo::UTMPoint& point) {
    return point.zone >= 29 && point.zone <= 31;
}

GeographicConversion Helmert(const GeographicInput& point, Direction direction) {
    return FromGeographic(point, direction,
                          [direction](Result& r, double lat, double lon, double h) {
                              HelmertAt(r, lat, lon, h, direction);
                          });
}

UtmConversion Helmert(const UtmInput& point, Direction direction) {
    return FromUtm(point, direction, [direction](Result& r, double lat, double lon, double h) {
        HelmertAt(r, lat, lon, h, direction);
    });
}

GeographicConversion Helmert(const GeographicInput& point, Direction direction, ParameterSet set) {
    const geo::HelmertZone zone = HelmertZoneOf(set);
    return FromGeographic(point, direction,
                          [direction, zone](Result& r, double lat, double lon, double h) {
                              HelmertWith(r, lat, lon, h, direction, zone);
                          });
}

UtmConversion Helmert(const UtmInput& point, Direction direction, ParameterSet set) {
    const geo::HelmertZone zone = HelmertZoneOf(set);
    return FromUtm(point, direction, [direction, zone](Result& r, double lat, double lon, double h) {
        HelmertWith(r, lat, lon, h, direction, zone);
    });
}

GeographicConversion Molodensky(const GeographicInput& point, Direction direction,
                                MolodenskySet set) {
    return FromGeographic(point, direction,
                          [direction, set](Result& r, double lat, double lon, double h) {
                              MolodenskyFrom(r, lat, lon, h, direction, set);
                          });
}

UtmConversion Molodensky(const UtmInput& point, Direction direction, MolodenskySet set) {
    return FromUtm(point, direction, [direction, set](Result& r, double lat, double lon, double h) {
        MolodenskyFrom(r, lat, lon, h, direction, set);
    });
}

// Batches. Each step of a point is the one-point call's, in its order; only the
// latitude iterations of Helmert are run for several points together, by geo's batch
// GeocentricToGeo, which gives the one-point call's doubles.
namespace {

void Fail(PointResult& r, const num::RuntimeError& e) {
    r.status = Status::Failed;
    r.error = static_cast<std::uint8_t>(e.Number());
}

void SetUtm(PointResult& r, const geo::UTMPoint& u) {
    r.E = u.E;
    r.N = u.N;
    r.zone = u.zone;
    r.band = u.zoneText.back();  // the zone text is the number, then the letter
    r.hasUtm = true;
}

// The target point is known: its projection ends the conversion.
void ProjectTarget(PointResult& r, const geo::GeoPoint& p, Direction direction) {
    r.point = p;
    r.hasPoint = true;
    try {
        SetUtm(r, geo::GeoToUTM(p.lat, p.lon, TargetEllipsoid(direction)));
        r.status = Status::Converted;
    } catch (const num::RuntimeError& e) {
        Fail(r, e);
    }
}

// An ellipsoid on which GeoToUTM cannot fail for latitudes within ±90 and
// longitudes within ±360 (see UTMZoneOf).
bool RegularEllipsoid(const geo::Ellipsoid& ell) {
    return ell.A > 0 && ell.A <= 1e10 && ell.InvF >= 1 && ell.InvF <= 1e300 && ell.E2 >= 0 &&
           ell.E2 < 1;
}

// The zone test of a geographic point, as the one-point call makes it with its mirror:
// false where the point ends there, outside zones 29-31 or failed. Where the mirror's
// projection cannot fail, only its zone is computed.
bool PassesZoneTest(const GeographicInput& p, Direction direction, PointResult& r) {
    int zone;
    if (p.lat >= -90 && p.lat <= 90 && p.lon >= -360 && p.lon <= 360 &&
        RegularEllipsoid(SourceEllipsoid(direction))) {
        zone = geo::UTMZoneOf(p.lat, p.lon);
    } else {
        try {
            zone = MirrorOf(p, direction).zone;
        } catch (const num::RuntimeError& e) {
            Fail(r, e);
            return false;
        }
    }
    if (zone < 29 || zone > 31) {
        r.status = Status::OutsideZones;
        return false;
    }
    return true;
}

// A typed point, up to the method: lat, lon (decimal degrees) and h (metres) on the
// source datum.
struct Typed {
    double lat, lon, h;
};

// Runs points [begin, end) of a batch through Helmert, a block at a time.
// `prepare(i, r, typed)` takes point i up to its degrees (false where it ends there);
// the set is the one the geographic rule gives them, whatever form the point was typed in.
template <typename Prepare>
void HelmertPart(std::size_t begin, std::size_t end, Direction direction,
                 std::span<PointResult> out, const Prepare& prepare) {
    constexpr std::size_t kBlock = 256;
    geo::Geocentric geocentric[kBlock];
    geo::GeoPoint target[kBlock];
    int error[kBlock];
    std::size_t index[kBlock];
    for (std::size_t b = begin; b < end; b += kBlock) {
        const std::size_t e = std::min(end, b + kBlock);
        std::size_t m = 0;
        for (std::size_t i = b; i < e; ++i) {
            PointResult& r = out[i];
            r = PointResult{};
            Typed t;
            if (!prepare(i, r, t)) continue;
            const geo::HelmertZone zone = geo::HelmertZoneOfGeo(t.lat, t.lon);
            if (zone == geo::HelmertZone::None) {
                r.status = Status::OutsideArea;
                continue;
            }
            r.set = SetOf(zone);
            r.hasSet = true;
            try {
                geocentric[m] = HelmertGeocentric(t.lat, t.lon, t.h, direction, zone);
                index[m++] = i;
            } catch (const num::RuntimeError& err) {
                Fail(r, err);
            }
        }
        geo::GeocentricToGeo(std::span(geocentric, m), TargetEllipsoid(direction),
                              std::span(target, m), std::span(error, m));
        for (std::size_t k = 0; k < m; ++k) {
            PointResult& r = out[index[k]];
            if (error[k] != 0) {
                r.status = Status::Failed;
                r.error = static_cast<std::uint8_t>(error[k]);
            } else {
                ProjectTarget(r, target[k], direction);
            }
        }
    }
}

void MolodenskyTo(PointResult& r, const Typed& t, Direction direction, MolodenskySet set) {
    r.set = SetOf(set);
    r.hasSet = true;
    geo::GeoPoint p;
    try {
        p = MolodenskyPoint(t.lat, t.lon, t.h, direction, set);
    } catch (const num::RuntimeError& e) {
        Fail(r, e);
        return;
    }
    ProjectTarget(r, p, direction);
}

// A UTM point's mirror, the typed point in degrees: false where it fails.
bool UtmTyped(const UtmInput& p, Direction direction, PointResult& r, Typed& t) {
    try {
        const geo::LatLon m = MirrorOf(p, direction);
        t = {m.lat, m.lon, p.h};
        return true;
    } catch (const num::RuntimeError& e) {
        Fail(r, e);
        return false;
    }
}

// Runs part(0, n) once out is known to hold an answer for each of the n points.
template <typename Part>
void RunParts(std::size_t n, std::size_t outSize, const Part& part) {
    if (outSize != n) throw std::invalid_argument("batch: out and points differ in length");
    part(std::size_t{0}, n);
}

}  // namespace

std::string ZoneText(const PointResult& r) {
    return std::to_string(r.zone) + r.band;
}

Result ResultOf(const PointResult& b) {
    Result r;
    r.status = b.status;
    if (b.hasSet) r.set = b.set;
    if (b.hasPoint) r.point = b.point;
    if (b.hasUtm) {
        geo::UTMPoint u;
        u.E = b.E;
        u.N = b.N;
        u.zone = b.zone;
        u.zoneText = ZoneText(b);
        r.utm = std::move(u);
    }
    if (b.status == Status::Failed) {
        switch (b.error) {
            case num::RuntimeError::kDivisionByZero: r.error = num::DivisionByZero(); break;
            case num::RuntimeError::kInvalidCall: r.error = num::InvalidCall(); break;
            default: r.error = num::Overflow(); break;
        }
    }
    return r;
}

void Helmert(std::span<const GeographicInput> points, Direction direction,
             std::span<PointResult> out) {
    RunParts(points.size(), out.size(), [&](std::size_t begin, std::size_t end) {
        HelmertPart(begin, end, direction, out,
                    [&](std::size_t i, PointResult& r, Typed& t) {
                        const GeographicInput& p = points[i];
                        if (!PassesZoneTest(p, direction, r)) return false;
                        t = {p.lat, p.lon, p.h};
                        return true;
                    });
    });
}

void Helmert(std::span<const UtmInput> points, Direction direction, std::span<PointResult> out) {
    RunParts(points.size(), out.size(), [&](std::size_t begin, std::size_t end) {
        HelmertPart(begin, end, direction, out,
                    [&](std::size_t i, PointResult& r, Typed& t) {
                        return UtmTyped(points[i], direction, r, t);
                    });
    });
}

void Molodensky(std::span<const GeographicInput> points, Direction direction, MolodenskySet set,
                std::span<PointResult> out) {
    RunParts(points.size(), out.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            PointResult& r = out[i];
            r = PointResult{};
            const GeographicInput& p = points[i];
            if (PassesZoneTest(p, direction, r)) MolodenskyTo(r, {p.lat, p.lon, p.h}, direction, set);
        }
    });
}

void Molodensky(std::span<const UtmInput> points, Direction direction, MolodenskySet set,
                std::span<PointResult> out) {
    RunParts(points.size(), out.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            PointResult& r = out[i];
            r = PointResult{};
            Typed t;
            if (UtmTyped(points[i], direction, r, t)) MolodenskyTo(r, t, direction, set);
        }
    });
}

GeographicConversion IgnGrid(const GeographicInput& point, Direction direction,
                             const geo::IgnShiftGrids& grids) {
    return FromGeographic(point, direction,
                          [direction, &grids](Result& r, double lat, double lon, double h) {
                              GridFrom(r, lat, lon, h, direction, grids);
                          });
}

UtmConversion IgnGrid(const UtmInput& point, Direction direction,
                      const geo::IgnShiftGrids& grids) {
    return FromUtm(point, direction,
                   [direction, &grids](Result& r, double lat, double lon, double h) {
                       GridFrom(r, lat, lon, h, direction, grids);
                   });
}

Altitude AltitudeOf(double lat, double lon, double h, const geo::IgnGeoid& geoid) {
    const geo::IgnGeoid::Undulation u = geoid.At(lat, lon);
    Altitude a;
    a.answer = u.answer;
    if (u.answer == geo::GridAnswer::Done) {
        a.N = u.N;
        a.H = h - u.N;
    }
    return a;
}

std::optional<double> HeightOfAltitude(double H, Direction direction, const geo::IgnGeoid& geoid,
                                       const std::function<std::optional<geo::GeoPoint>(double h)>& wgs84At) {
    double h = H;
    for (int step = 0; step < 6; ++step) {
        const std::optional<geo::GeoPoint> p = wgs84At(h);
        if (!p) return std::nullopt;
        const geo::IgnGeoid::Undulation u = geoid.At(p->lat, p->lon);
        if (u.answer != geo::GridAnswer::Done) return std::nullopt;
        if (direction == Direction::WGS84ToED50) return H + u.N;
        const double off = H + u.N - p->h;  // metres the WGS84 height misses by
        if (std::fabs(off) < 1e-4) return h;
        h += off;
    }
    return h;
}

}  // namespace core
