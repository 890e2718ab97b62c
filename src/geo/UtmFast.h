// The UTM projection of geo/Utm.h for coordinates written as numbers (a layer's vertices,
// a million at a time), not as captions: the same series with the same constants,
// evaluated faster. Powers are products, the sines and cosines of 2φ and 3φ come from
// those of φ, and there is no zone text and no run-time error (a value that is not finite
// comes out not finite). The results lie within a micrometre of GeoToUTMInZone and
// UTMToGeo, which remain the window's and the tables': a caption is never made from these.
#pragma once

#include "geo/Ellipsoid.h"
#include "geo/Utm.h"

namespace geo::fast {

struct EastingNorthing {
    double E = 0, N = 0;  // metres
};

// GeoToUTMInZone(lat, lon, zone, ell) without its zone text, northern hemisphere.
EastingNorthing GeoToUTM(double lat, double lon, int zone, const Ellipsoid& ell);

// UTMToGeo(E, N, zone, ell, "N").
LatLon UTMToGeo(double E, double N, int zone, const Ellipsoid& ell);

}  // namespace geo::fast
