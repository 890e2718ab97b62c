// Radii of curvature of an ellipsoid at a latitude.
#pragma once

#include "geo/Ellipsoid.h"

namespace geo {

// Radius of the parallel at lat (decimal degrees) on `ell`, metres: N·cos(lat).
// Equals A at the equator. e² is derived from InvF, not the stored E2.
double ParallelRadius(double lat, const Ellipsoid& ell);

// Radius of curvature of the meridian at lat (decimal degrees) on `ell`, metres;
// smallest at the equator. e² is derived from InvF, not the stored E2.
double MeridianRadius(double lat, const Ellipsoid& ell);

}  // namespace geo
