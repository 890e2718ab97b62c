// The three methods of the conversion tabs: the seven-parameter Helmert (Bursa-Wolf)
// transformation through geocentric coordinates with the regional sets of Spain, the
// standard three-parameter Molodensky shifts, and the IGN's NTv2 grids (through
// PROJ, geo/IgnGrid.h). The typed point is first projected or unprojected on its own
// datum, so that every input form reaches the methods as latitude, longitude and
// height.
#include "convert/Core.h"

#include "geo/mGeo.h"

namespace convert {
namespace {

// An angular shift (arc-seconds) in decimal degrees, sign kept. Taken through the
// sexagesimal conversion, not as shift / 3600: the two differ in the last bit.
double ShiftDegrees(double seconds) {
    return mGeo::DMSToDeg(0, 0, seconds, false);
}

ParameterSet SetOf(mGeo::HelmertZone zone) {
    if (zone == mGeo::HelmertZone::ZNW99) return ParameterSet::ZNW99;
    if (zone == mGeo::HelmertZone::BAL99) return ParameterSet::BAL99;
    return ParameterSet::EST99;
}

// Helmert with the set just chosen, from lat, lon (decimal degrees) and h (metres)
// on the source datum.
void HelmertFrom(Result& r, double lat, double lon, double h, Direction direction) {
    r.set = SetOf(mGeo::HelmertParamsZone);
    const mGeo::Ellipsoid& target = TargetEllipsoid(direction);
    const mGeo::Geocentric g = mGeo::GeoToGeocentric(lat, lon, h, SourceEllipsoid(direction));
    const mGeo::Geocentric t = mGeo::HelmertTransform(g.X, g.Y, g.Z,
                                                      direction == Direction::WGS84ToED50
                                                          ? mGeo::HelmertDirection::WGS84ToED50
                                                          : mGeo::HelmertDirection::ED50ToWGS84);
    r.point = mGeo::GeocentricToGeo(t.X, t.Y, t.Z, target);
    r.utm = mGeo::GeoToUTM(r.point->lat, r.point->lon, target);
    r.status = Status::Converted;
}

// The shifts are always those of ED50 to WGS84 on the International ellipsoid.
void MolodenskyFrom(Result& r, double lat, double lon, double h, Direction direction,
                    MolodenskySet set) {
    r.set = set == MolodenskySet::IGN ? ParameterSet::IGN : ParameterSet::NIMA;
    const mGeo::MolodenskyShifts s =
        mGeo::MolodenskyShift(lat, lon, h, set == MolodenskySet::IGN ? mGeo::IGN : mGeo::NIMA);
    const bool inverse = direction == Direction::WGS84ToED50;
    mGeo::GeoPoint p;
    p.lat = inverse ? lat - ShiftDegrees(s.dLatSec) : lat + ShiftDegrees(s.dLatSec);
    p.lon = inverse ? lon - ShiftDegrees(s.dLonSec) : lon + ShiftDegrees(s.dLonSec);
    p.h = inverse ? h - s.dH : h + s.dH;
    r.point = p;
    r.utm = mGeo::GeoToUTM(p.lat, p.lon, TargetEllipsoid(direction));
    r.status = Status::Converted;
}

ParameterSet SetOf(mGeo::ShiftGrid grid) {
    if (grid == mGeo::ShiftGrid::PENR2009) return ParameterSet::PENR2009;
    if (grid == mGeo::ShiftGrid::BALR2009) return ParameterSet::BALR2009;
    return ParameterSet::SPED2ETV2;
}

// The grid moves latitude and longitude; the height goes through as typed.
void GridFrom(Result& r, double lat, double lon, double h, Direction direction,
              const mGeo::IgnShiftGrids& grids) {
    const mGeo::GridShift s =
        direction == Direction::ED50ToWGS84 ? grids.ToETRS89(lat, lon) : grids.ToED50(lat, lon);
    if (s.answer == mGeo::GridAnswer::Unavailable) {
        r.status = Status::GridUnavailable;
        return;
    }
    if (s.answer == mGeo::GridAnswer::Outside) {
        r.status = Status::OutsideArea;
        return;
    }
    r.set = SetOf(s.grid);
    r.point = mGeo::GeoPoint{s.point.lat, s.point.lon, h};
    r.utm = mGeo::GeoToUTM(s.point.lat, s.point.lon, TargetEllipsoid(direction));
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

const mGeo::Ellipsoid& SourceEllipsoid(Direction direction) {
    return mGeo::Ellipsoids[direction == Direction::WGS84ToED50 ? mGeo::kWGS84 : mGeo::kED50];
}

const mGeo::Ellipsoid& TargetEllipsoid(Direction direction) {
    return mGeo::Ellipsoids[direction == Direction::WGS84ToED50 ? mGeo::kED50 : mGeo::kWGS84];
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
            return mGeo::NameOf(mGeo::ShiftGrid::SPED2ETV2);
        case ParameterSet::PENR2009:
            return mGeo::NameOf(mGeo::ShiftGrid::PENR2009);
        case ParameterSet::BALR2009:
            return mGeo::NameOf(mGeo::ShiftGrid::BALR2009);
    }
    return "";
}

bool IsGrid(ParameterSet set) {
    return set == ParameterSet::SPED2ETV2 || set == ParameterSet::PENR2009 ||
           set == ParameterSet::BALR2009;
}

mGeo::UTMPoint MirrorOf(const GeographicInput& point, Direction direction) {
    return mGeo::GeoToUTM(point.lat, point.lon, SourceEllipsoid(direction));
}

mGeo::LatLon MirrorOf(const UtmInput& point, Direction direction) {
    return mGeo::UTMToGeo(point.E, point.N, point.zone, SourceEllipsoid(direction), "N");
}

bool InZones(const mGeo::UTMPoint& point) {
    return point.zone >= 29 && point.zone <= 31;
}

GeographicConversion Helmert(const GeographicInput& point, Direction direction) {
    return FromGeographic(point, direction,
                          [direction](Result& r, double lat, double lon, double h) {
                              if (!mGeo::HelmertZoneFromGeo(lat, lon)) {
                                  r.status = Status::OutsideArea;
                                  return;
                              }
                              HelmertFrom(r, lat, lon, h, direction);
                          });
}

// The zone lines of the UTM rule are not those of the geographic rule: in zone 30
// every point west of easting 374900 gets ZNW99, however far south it lies.
UtmConversion Helmert(const UtmInput& point, Direction direction) {
    return FromUtm(point, direction,
                   [&point, direction](Result& r, double lat, double lon, double h) {
                       if (!mGeo::HelmertZoneFromUTM(point.E, point.N, point.zone)) {
                           r.status = Status::OutsideArea;
                           return;
                       }
                       HelmertFrom(r, lat, lon, h, direction);
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

GeographicConversion IgnGrid(const GeographicInput& point, Direction direction,
                             const mGeo::IgnShiftGrids& grids) {
    return FromGeographic(point, direction,
                          [direction, &grids](Result& r, double lat, double lon, double h) {
                              GridFrom(r, lat, lon, h, direction, grids);
                          });
}

UtmConversion IgnGrid(const UtmInput& point, Direction direction,
                      const mGeo::IgnShiftGrids& grids) {
    return FromUtm(point, direction,
                   [direction, &grids](Result& r, double lat, double lon, double h) {
                       GridFrom(r, lat, lon, h, direction, grids);
                   });
}

Altitude AltitudeOf(double lat, double lon, double h, const mGeo::IgnGeoid& geoid) {
    const mGeo::IgnGeoid::Undulation u = geoid.At(lat, lon);
    Altitude a;
    a.answer = u.answer;
    if (u.answer == mGeo::GridAnswer::Done) {
        a.N = u.N;
        a.H = h - u.N;
    }
    return a;
}

}  // namespace convert
