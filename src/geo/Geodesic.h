// The exact geodesic between two points of an ellipsoid, with its azimuths, by Karney's
// method (C. F. F. Karney, Algorithms for geodesics, J. Geodesy 87, 2013) as PROJ
// implements it: accurate to some 15 nanometres at any distance, antipodal points
// included. PROJ runs in the program's module talpor-proj.so, loaded by the first call.
#pragma once

#include <string>

#include "geo/Ellipsoid.h"

namespace geo {

struct Geodesic {
    bool done = false;        // false: the PROJ module cannot be used, see problem
    double metres = 0;        // length of the geodesic (metres)
    double azimuth1 = 0;      // at the first point, towards the second (degrees, [-180, 180])
    double backAzimuth2 = 0;  // at the second point, back towards the first: PROJ's
                              // geod's az21 (degrees, [-180, 180))
    std::string problem;      // not done: why, the end of a Spanish sentence
};

// The geodesic from (lat1, lon1) to (lat2, lon2), decimal degrees (north and east
// positive; latitudes within ±90º, longitudes any) on `ellipsoid`. Azimuths are
// clockwise from north. Coincident points give 0 m, an azimuth of 180º at the first and
// 0º back at the second, as geod gives them. Safe to call from any thread.
Geodesic InverseGeodesic(double lat1, double lon1, double lat2, double lon2,
                         const Ellipsoid& ellipsoid = Ellipsoids[kWGS84]);

}  // namespace geo
