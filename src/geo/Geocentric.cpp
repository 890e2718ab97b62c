// Geodetic <-> geocentric coordinates: the closed forward formula with the prime
// vertical radius, and the classical fixed-point iteration of the latitude for the
// inverse (two updates per pass, compared to 1e-11 rad).
// Powers give what the run-time power function gives (see Utm.cpp).
#include "geo/Geocentric.h"

#include <cmath>

#include "geo/Angles.h"
#include "geo/Checked.h"
#include "geo/Power.h"
#include "num/Number.h"
#include "num/RuntimeError.h"

namespace mGeo {
namespace {

// Prime vertical radius of curvature (metres) at the latitude whose sine is sinPhi.
double PrimeVertical(double a, double e2, double sinPhi) {
    const double w = 1 - e2 * detail::Square(sinPhi);
    // The hot path of the latitude iteration: with w > 0 nothing below can fail, so
    // the checked helpers are only needed for an impossible ellipsoid (e² >= 1).
    if (w > 0) return a / std::sqrt(w);
    return num::Div(a, num::Sqr(w));
}

// One update of the latitude: atan((N(phi) e² sin phi + Z) / p).
double NextLatitude(double a, double e2, double phi, double Z, double p) {
    const double sinPhi = std::sin(phi);
    return std::atan((PrimeVertical(a, e2, sinPhi) * e2 * sinPhi + Z) / p);
}

}  // namespace

Geocentric GeoToGeocentric(double lat, double lon, double h, const Ellipsoid& ell) {
    const double phi = DegToRad(lat);
    const double lambda = DegToRad(lon);
    const double a = ell.A;
    const double e2 = ell.E2;
    const double N = PrimeVertical(a, e2, std::sin(phi));
    const double cosPhi = std::cos(phi);
    Geocentric g;
    g.X = detail::Finite((N + h) * cosPhi * std::cos(lambda), "GeoToGeocentric X");
    g.Y = detail::Finite((N + h) * cosPhi * std::sin(lambda), "GeoToGeocentric Y");
    g.Z = detail::Finite(((1 - e2) * N + h) * std::sin(phi), "GeoToGeocentric Z");
    return g;
}

GeoPoint GeocentricToGeo(double X, double Y, double Z, const Ellipsoid& ell) {
    detail::Finite(X, "GeocentricToGeo X");
    detail::Finite(Y, "GeocentricToGeo Y");
    detail::Finite(Z, "GeocentricToGeo Z");
    // atan(Y / X) is kept for X > 0, where every conversion of the system lies: atan2
    // differs from it in the last bit for about a quarter of the points. The other
    // half-plane gets its quadrant instead of a longitude off by 180 degrees.
    double lonRad;
    if (X > 0) {
        lonRad = std::atan(Y / X);
    } else if (X < 0) {
        lonRad = std::atan(Y / X) + (Y >= 0 ? kPi : -kPi);
    } else {
        lonRad = Y > 0 ? kPi / 2 : (Y < 0 ? -kPi / 2 : 0);
    }

    const double x2y2 = detail::Square(X) + detail::Square(Y);
    const double r2 = x2y2 + detail::Square(Z);
    const double a = ell.A;
    const double e2 = ell.E2;
    double p, r;
    if (std::isfinite(r2)) {  // sums of squares: never negative
        p = std::sqrt(x2y2);
        r = std::sqrt(r2);
    } else {
        p = num::Sqr(x2y2);  // raises the overflow error
        r = num::Sqr(r2);
    }

    // Start value. The checked divisions only run to raise their errors (at the
    // centre, on the polar axis, or for an absurd ellipsoid): where every quotient
    // is finite and no divisor zero, they give these very doubles.
    const double k = a * e2 / r;
    const double q = (1 - k) * p;
    double t = Z / q;
    if (!(r != 0 && std::isfinite(k) && q != 0 && std::isfinite(t)))
        t = num::Div(Z, (1 - num::Div(a * e2, r)) * p);
    double phi = std::atan(t);
    if (std::fabs(phi) > 1e-11) {
        // Converges in two passes on the Earth's surface; a pass makes two updates.
        for (;;) {
            const double phi1 = NextLatitude(a, e2, phi, Z, p);
            const double phi2 = NextLatitude(a, e2, phi1, Z, p);
            phi = phi2;
            if (std::fabs(phi2 - phi1) <= 1e-11) break;
        }
    }

    const double N = PrimeVertical(a, e2, std::sin(phi));
    GeoPoint g;
    g.lat = RadToDeg(phi);
    g.lon = RadToDeg(lonRad);
    g.h = detail::Finite(p / std::cos(phi) - N, "GeocentricToGeo h");
    return g;
}

}  // namespace mGeo
