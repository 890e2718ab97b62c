// Seven-parameter Helmert (Bursa-Wolf) transformation between ED50 and WGS84
// geocentric coordinates, with the regional parameter sets EST99, ZNW99 and BAL99
// for peninsular Spain and the Balearic Islands and the rule that picks one.
#pragma once

#include "geo/Geocentric.h"

namespace geo {

// One parameter set, for the direction ED50 to WGS84.
struct HelmertParameters {
    double Tx = 0, Ty = 0, Tz = 0;  // translation (metres)
    double Rx = 0, Ry = 0, Rz = 0;  // rotations about X, Y, Z (arc-seconds)
    double Scale = 0;               // scale correction, ppm × 1e-6 (9.39 ppm is 9.39e-6)
};

inline constexpr HelmertParameters EST99{-131.032, -100.251, -163.354, -1.2438,
                                         -0.0195,  -1.1436,  9.39e-6};
inline constexpr HelmertParameters ZNW99{-178.383, -83.172, -221.293, 0.5401,
                                         -0.5319,  -0.1263, 2.12e-5};
inline constexpr HelmertParameters BAL99{-181.4609, -90.2931, -187.1902, 0.1435,
                                         0.4922,    -0.3935,  1.757e-5};

enum class HelmertZone { None, EST99, ZNW99, BAL99 };

// The parameters of `zone`: EST99, ZNW99 or BAL99, all zeros for None.
const HelmertParameters& ParametersOf(HelmertZone zone);

// The set for lat, lon (decimal degrees on the point's own datum): the box −10..6
// east, 35..44 north (bounds inside); ZNW99 north of 41.5 and west of −4.5, BAL99 east
// of 1 and south of 40.5 (all strict), else EST99. None outside the box.
HelmertZone HelmertZoneOfGeo(double lat, double lon);

enum class HelmertDirection { ED50ToWGS84, WGS84ToED50 };

// Transforms geocentric X, Y, Z (metres) with the set `p`. ED50ToWGS84 takes
// International-ellipsoid coordinates to WGS84; WGS84ToED50 applies the same set
// backwards to first order. Throws the overflow error for a non-finite result.
Geocentric HelmertTransform(double X, double Y, double Z, HelmertDirection direction,
                            const HelmertParameters& p);

}  // namespace geo
