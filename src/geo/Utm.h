// UTM projection: geographic coordinates on a given ellipsoid to Universal
// Transverse Mercator and back, with the zone ("Huso") and latitude band letter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "geo/Ellipsoid.h"

namespace geo {

// A projected position. zoneText is the zone number followed by the band letter
// ("30T"); it always fits the small-string buffer, so making one never allocates.
struct UTMPoint {
    double E = 0;           // easting (metres), 500000 on the central meridian
    double N = 0;           // northing (metres), +10000000 south of the equator
    std::int16_t zone = 0;  // zone number, 1..60 for every longitude
    std::string zoneText;
};

// Geographic position in decimal degrees, north and east positive.
struct LatLon {
    double lat = 0;
    double lon = 0;
};

// Projects lat (degrees, any value; beyond ±84/−80 it still projects, band Z) and
// lon (degrees, any value, normalised to [−180, 180)) on `ell` (one of Ellipsoids).
// Zone from the longitude with the Norway (32V) and Svalbard (31X..37X) exceptions.
// Throws the overflow error for a non-finite or absurdly large input.
UTMPoint GeoToUTM(double lat, double lon, const Ellipsoid& ell);

// GeoToUTM in the zone given (1..60) whatever the point's own: a layer is projected in
// one zone, its points beyond the zone's band too.
UTMPoint GeoToUTMInZone(double lat, double lon, std::int16_t zone, const Ellipsoid& ell);

// The zone number GeoToUTM gives lat, lon (degrees), without projecting. Throws the
// overflow error for a non-finite input and where the number leaves 16 bits (an
// absurdly large longitude). For lat within ±90, lon within ±360 and an ellipsoid
// with 0 < A <= 1e10 m, 1 <= InvF and 0 <= E2 < 1, GeoToUTM itself cannot fail.
std::int16_t UTMZoneOf(double lat, double lon);

// Inverse projection of E, N (metres) in `zone` (used as given, not checked against
// the easting) on `ell`. hemisphere "N" (exactly) is the northern hemisphere; any
// other text the southern one, where the footpoint is only a first approximation.
// Returns decimal degrees. Throws the overflow error (6) when 6 * zone - 183 leaves
// 16 bits, and for a result that is not finite.
LatLon UTMToGeo(double E, double N, std::int16_t zone, const Ellipsoid& ell,
                std::string_view hemisphere = "N");

// Meridian convergence and point scale factor of a projected point.
struct GridFactors {
    double convergence = 0;  // degrees; positive east of the central meridian, where grid
                             // north lies clockwise from true north
    double scale = 0;        // point scale factor (k0 = 0.9996 on the central meridian)
};

// Convergence and scale at lat, lon (degrees) projected in `zone` (1..60, whose central
// meridian is 6 zone − 183) on `ell`, by Redfearn's series in the longitude difference
// (to its sixth power for the scale, fifth for the convergence): within five degrees of
// the central meridian good to 1e-8 in the scale and 0,001" in the convergence. Throws
// the overflow error for a non-finite input.
GridFactors UTMGridFactors(double lat, double lon, int zone, const Ellipsoid& ell);

// Latitude band letter of lat (degrees): C..X in 8-degree bands (X 72..84 with
// both bounds), Z above 84 or below −80.
char UTMBandLetter(double lat);

// The latitudes UTM is defined for (degrees, both bounds included): 80º S to 84º N. The
// polar caps beyond are no UTM point's, whatever GeoToUTM projects there.
inline constexpr double kUtmSouth = -80, kUtmNorth = 84;
inline bool InUtmLatitudes(double lat) { return lat >= kUtmSouth && lat <= kUtmNorth; }

}  // namespace geo
