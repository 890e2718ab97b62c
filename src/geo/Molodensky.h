// Three-parameter standard Molodensky shifts from ED50 (International ellipsoid)
// to WGS84, with the IGN and NIMA translation sets.
#pragma once

#include <string_view>

namespace geo {

// A translation set: X(WGS84) = X(ED50) + DX (metres), and the accuracy texts that
// the results carry (two blanks, then the value with a decimal comma).
struct MolodenskyParams {
    double DX = 0, DY = 0, DZ = 0;
    std::string_view PrecX, PrecY, PrecZ;
};

inline constexpr MolodenskyParams IGN{-87.835, -105.771, -122.5, "  ±3,5m", "  ±2,5m", "  ±3,0m"};
inline constexpr MolodenskyParams NIMA{-84.0, -107.0, -120.0, "  ±5,0m", "  ±6,0m", "  ±3,0m"};

// ED50-to-WGS84 shifts at a point.
struct MolodenskyShifts {
    double dLatSec = 0;  // latitude shift (arc-seconds)
    double dLonSec = 0;  // longitude shift (arc-seconds)
    double dH = 0;       // height shift (metres)
};

// Shifts for latDeg, lonDeg (decimal degrees) and h (metres above the ellipsoid)
// with set `p`, from the International ellipsoid to WGS84 (Ellipsoids). The
// WGS84-to-ED50 direction evaluates the same shifts at its WGS84 point and subtracts
// them. Throws the division error when h cancels a radius of curvature, the overflow
// error for a non-finite result.
MolodenskyShifts MolodenskyShift(double latDeg, double lonDeg, double h, const MolodenskyParams& p);

}  // namespace geo
