// The reference ellipsoids of Talpor's conversions.
#pragma once

#include <array>
#include <string>

namespace mGeo {

struct Ellipsoid {
    std::string Name;
    double A = 0;     // semi-major axis (metres)
    double E2 = 0;    // first eccentricity squared, as stored (not recomputed from InvF)
    double InvF = 0;  // inverse flattening 1/f
};

// Positions in the table: 0 is the WGS84 side of every conversion, 1 the ED50 side.
inline constexpr int kWGS84 = 0;
inline constexpr int kED50 = 1;
inline constexpr int kGRS80 = 2;

// WGS84, International ED50, GRS80, in this order; empty until InitEllipsoids runs.
extern std::array<Ellipsoid, 3> Ellipsoids;

// Fills Ellipsoids; start-up calls it once, before any conversion.
void InitEllipsoids();

}  // namespace mGeo
