// Geographic coordinates with ellipsoidal height <-> geocentric Cartesian X, Y, Z
// on a given ellipsoid.
#pragma once

#include <span>

#include "geo/Ellipsoid.h"

namespace geo {

// Geocentric Cartesian coordinates (metres): X towards longitude 0 in the equator,
// Y towards longitude 90 east, Z towards the north pole.
struct Geocentric {
    double X = 0;
    double Y = 0;
    double Z = 0;
};

// Geographic position with ellipsoidal height: degrees (north, east positive), metres.
struct GeoPoint {
    double lat = 0;
    double lon = 0;
    double h = 0;
};

// lat, lon in decimal degrees and h (metres above `ell`) to X, Y, Z (metres).
// Uses the stored E2 of `ell`. Throws the overflow error for a non-finite result.
Geocentric GeoToGeocentric(double lat, double lon, double h, const Ellipsoid& ell);

// X, Y, Z (metres) to lat (degrees, −90..90), lon (degrees, −180..180) and h (metres
// above `ell`), iterating the latitude to 1e-11 rad. For X > 0 the longitude is the
// arctangent of Y / X; elsewhere the quadrant is completed (X = 0 gives ±90).
// Throws the division error at the poles and the centre (no longitude there, p = 0).
GeoPoint GeocentricToGeo(double X, double Y, double Z, const Ellipsoid& ell);

// GeocentricToGeo of every point of `in`, bit for bit: out[i] gets what
// GeocentricToGeo(in[i]) returns, or, where that throws, stays as it is and error[i]
// gets the run-time error's number (error[i] is 0 for every other point). Four points
// at a time go through the latitude iteration together, so that their library calls
// overlap instead of waiting on each other. out and error must be as long as in.
void GeocentricToGeo(std::span<const Geocentric> in, const Ellipsoid& ell, std::span<GeoPoint> out,
                     std::span<int> error);

}  // namespace geo
