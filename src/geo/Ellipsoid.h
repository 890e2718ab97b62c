// The reference ellipsoids of Talpor's conversions, with the constants the projection
// derives from them, all fixed when the program is compiled.
#pragma once

#include <array>
#include <string_view>

#include "geo/EllipsoidConstants.h"

namespace geo {

// An ellipsoid is made only while the program is compiled, and never changes: its
// derived constants cannot fall out of step with its numbers, and any number of threads
// may read it.
struct Ellipsoid {
    consteval Ellipsoid(std::string_view name, double a, double e2, double invF)
        : Name(name), A(a), E2(e2), InvF(invF), Derived(detail::DeriveConstants(a, e2, invF)) {}

    const std::string_view Name;
    const double A;     // semi-major axis (metres)
    const double E2;    // first eccentricity squared, as stored (not recomputed from InvF)
    const double InvF;  // inverse flattening 1/f
    const detail::EllipsoidConstants Derived;
};

// Positions in the table: 0 is the WGS84 side of every conversion, 1 the ED50 side.
inline constexpr int kWGS84 = 0;
inline constexpr int kED50 = 1;
inline constexpr int kGRS80 = 2;

// WGS84, International ED50, GRS80, in this order.
inline constexpr std::array<Ellipsoid, 3> Ellipsoids{{
    {"WGS84", 6378137, 0.00669437999014, 298.257223563},
    {"International ED50", 6378388, 0.00672267002234, 297},
    {"GRS80", 6378137, 0.0066943800229034, 298.25722210088},
}};

}  // namespace geo
