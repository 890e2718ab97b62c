// Constants the UTM formulas derive from an ellipsoid (flattening, semi-minor axis,
// third flattening, the meridian-arc series coefficients, the radii factors), derived
// while the program is compiled by the ellipsoid's constructor. Private to the geodetic
// library.
#pragma once

#include "geo/Power.h"

namespace geo::detail {

inline constexpr double kK0 = 0.9996;  // UTM scale on the central meridian

// Every value is formed with the operations, in the order, the projection uses them.
struct EllipsoidConstants {
    double a = 0;   // semi-major axis A (metres)
    double e2 = 0;  // E2 as stored
    double b = 0;   // semi-minor axis a (1 − f), f = 1 / InvF (metres)
    double n = 0;   // third flattening (a − b) / (a + b)
    // Meridian arc M = bk0 × (arc1 φ − arc2 sin φ cos φ + arc3 sin 2φ cos 2φ
    // − arc4 sin 3φ cos 3φ), the powers of n those of the run-time power function.
    double arc1 = 0, arc2 = 0, arc3 = 0, arc4 = 0;
    double bk0 = 0;   // b × k0 (metres)
    double ak0 = 0;   // a × k0 (metres)
    double ak0e = 0;  // a × k0 × (1 − e²) (metres)
};

// The constants of semi-major axis a (metres), e2 as stored and inverse flattening
// invF (not 0). Only additions, products and quotients, which the compiler rounds as
// the processor does, and the powers of CompileTimePower: the doubles a derivation at
// run time would give.
consteval EllipsoidConstants DeriveConstants(double a, double e2, double invF) {
    EllipsoidConstants c;
    c.a = a;
    c.e2 = e2;
    const double f = 1 / invF;
    c.b = c.a * (1 - f);
    c.n = (c.a - c.b) / (c.a + c.b);
    const double n = c.n;
    const double n2 = CompileTimePower(n, 2);
    const double n3 = CompileTimePower(n, 3);
    c.arc1 = 1 + n + 5.0 / 4 * n2 + 5.0 / 4 * n3;
    c.arc2 = 3 * n + 3 * n2 + 21.0 / 8 * n3;
    c.arc3 = 15.0 / 8 * n2 + 15.0 / 8 * n3;
    c.arc4 = 35.0 / 24 * n3;
    c.bk0 = c.b * kK0;
    c.ak0 = c.a * kK0;
    c.ak0e = c.a * kK0 * (1 - c.e2);
    return c;
}

}  // namespace geo::detail
