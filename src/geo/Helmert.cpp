// Linearised seven-parameter similarity transformation (Bursa-Wolf) with the
// regional sets of the national mapping agency for ED50 in Spain.
#include "geo/Helmert.h"

#include "geo/Angles.h"
#include "geo/Checked.h"
#include "num/Number.h"

namespace geo {

namespace {

// Arc-seconds to radians through degrees, as every rotation of the system is taken.
double SecondsToRad(double seconds) {
    return DegToRad(DMSToDeg(0, 0, seconds, false));
}

}  // namespace

const HelmertParameters& ParametersOf(HelmertZone zone) {
    static constexpr HelmertParameters kNone{};
    switch (zone) {
        case HelmertZone::EST99:
            return EST99;
        case HelmertZone::ZNW99:
            return ZNW99;
        case HelmertZone::BAL99:
            return BAL99;
        case HelmertZone::None:
            break;
    }
    return kNone;
}

HelmertZone HelmertZoneOfGeo(double lat, double lon) {
    if (!(lon >= -10 && lon <= 6 && lat >= 35 && lat <= 44)) return HelmertZone::None;
    if (lon < -4.5 && lat > 41.5) return HelmertZone::ZNW99;
    if (lon > 1.0 && lat < 40.5) return HelmertZone::BAL99;
    return HelmertZone::EST99;
}

Geocentric HelmertTransform(double X, double Y, double Z, HelmertDirection direction,
                            const HelmertParameters& p) {
    const double rx = SecondsToRad(p.Rx);
    const double ry = SecondsToRad(p.Ry);
    const double rz = SecondsToRad(p.Rz);
    const double s = p.Scale;
    const double tx = p.Tx, ty = p.Ty, tz = p.Tz;
    Geocentric g;
    if (direction == HelmertDirection::ED50ToWGS84) {
        // Position-vector rotation (positive Rz turns the point anticlockwise seen
        // from the north pole), small-angle form.
        g.X = X + tx + s * X - rz * Y + ry * Z;
        g.Y = Y + ty + s * Y + rz * X - rx * Z;
        g.Z = Z + tz + s * Z - ry * X + rx * Y;
    } else {
        // The same set undone to first order: translation removed first, then scale
        // and rotation reversed; the rotation terms are not scaled.
        g.X = (1 - s) * (X - tx) + rz * (Y - ty) - ry * (Z - tz);
        g.Y = (1 - s) * (Y - ty) - rz * (X - tx) + rx * (Z - tz);
        g.Z = (1 - s) * (Z - tz) + ry * (X - tx) - rx * (Y - ty);
    }
    detail::Finite(g.X, "HelmertTransform X");
    detail::Finite(g.Y, "HelmertTransform Y");
    detail::Finite(g.Z, "HelmertTransform Z");
    return g;
}

}  // namespace geo
