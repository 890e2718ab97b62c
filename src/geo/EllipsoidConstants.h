// Constants the UTM formulas derive from an ellipsoid record (flattening, semi-minor
// axis, third flattening, the meridian-arc series coefficients, the radii factors),
// derived once per record of Ellipsoids instead of on every call. Private to the
// geodetic library.
#pragma once

#include "geo/Ellipsoid.h"

namespace mGeo::detail {

inline constexpr double kK0 = 0.9996;  // UTM scale on the central meridian

// Every value is formed with the operations, in the order, the projection uses them.
struct EllipsoidConstants {
    double a = 0;   // semi-major axis A (metres)
    double e2 = 0;  // E2 as stored
    double b = 0;   // semi-minor axis a (1 − f), f = 1 / InvF (metres)
    double n = 0;   // third flattening (a − b) / (a + b)
    // Meridian arc M = bk0 × (arc1 φ − arc2 sin φ cos φ + arc3 sin 2φ cos 2φ
    // − arc4 sin 3φ cos 3φ), the powers of n from the run-time power function.
    double arc1 = 0, arc2 = 0, arc3 = 0, arc4 = 0;
    double bk0 = 0;   // b × k0 (metres)
    double ak0 = 0;   // a × k0 (metres)
    double ak0e = 0;  // a × k0 × (1 − e²) (metres)
};

// Derives the constants of `ell` now. Throws the division error for an empty
// record (InvF = 0) and the overflow error where a constant is not finite.
EllipsoidConstants DeriveConstants(const Ellipsoid& ell);

// Derives the constants of every record of Ellipsoids; InitEllipsoids calls it.
void DeriveTableConstants();

// The constants of `ell`: those derived for the record of Ellipsoids with the same
// A, E2 and InvF (bit for bit), otherwise derived now into `scratch`.
const EllipsoidConstants& ConstantsOf(const Ellipsoid& ell, EllipsoidConstants& scratch);

}  // namespace mGeo::detail
