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

namespace geo {
namespace {

// Prime vertical radius of curvature (metres) at the latitude whose sine is sinPhi.
double PrimeVertical(double a, double e2, double sinPhi) {
    const double w = 1 - e2 * detail::Square(sinPhi);
    // The hot path of the latitude iteration: with w > 0 nothing below can fail, so
    // the checked helpers are only needed for an impossible ellipsoid (e² >= 1).
    if (w > 0) return a / std::sqrt(w);
    return num::Div(a, num::Sqr(w));
}

// The tangent of the next latitude, (N(phi) e² sin phi + Z) / p, from sin phi.
double LatitudeTangent(double a, double e2, double sinPhi, double Z, double p) {
    return (PrimeVertical(a, e2, sinPhi) * e2 * sinPhi + Z) / p;
}

// One update of the latitude: atan((N(phi) e² sin phi + Z) / p).
double NextLatitude(double a, double e2, double phi, double Z, double p) {
    return std::atan(LatitudeTangent(a, e2, std::sin(phi), Z, p));
}

// Longitude (radians) of X, Y. atan(Y / X) is kept for X > 0, where every conversion
// of the system lies: atan2 differs from it in the last bit for about a quarter of the
// points. The other half-plane gets its quadrant instead of a longitude off by 180
// degrees.
double Longitude(double X, double Y) {
    if (X > 0) return std::atan(Y / X);
    if (X < 0) return std::atan(Y / X) + (Y >= 0 ? kPi : -kPi);
    return Y > 0 ? kPi / 2 : (Y < 0 ? -kPi / 2 : 0);
}

// True when the start value below needs no checked division: r is not zero and every
// quotient is finite.
bool RegularStart(double a, double e2, double Z, double p, double r) {
    const double k = a * e2 / r;
    const double q = (1 - k) * p;
    return r != 0 && std::isfinite(k) && q != 0 && std::isfinite(Z / q);
}

// The latitude iteration's start value (radians) from Z, p and r (metres). The checked
// divisions only run to raise their errors (at the centre, on the polar axis, or for
// an absurd ellipsoid): where every quotient is finite and no divisor zero, they give
// these very doubles.
double StartLatitude(double a, double e2, double Z, double p, double r) {
    const double k = a * e2 / r;
    const double q = (1 - k) * p;
    double t = Z / q;
    if (!(r != 0 && std::isfinite(k) && q != 0 && std::isfinite(t)))
        t = num::Div(Z, (1 - num::Div(a * e2, r)) * p);
    return std::atan(t);
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
    const double lonRad = Longitude(X, Y);

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

    double phi = StartLatitude(a, e2, Z, p, r);
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

namespace {

constexpr int kLanes = 4;

// Up to kLanes points that cannot raise an error before their height.
struct Lanes {
    int count = 0;
    std::size_t index[kLanes];
    double Z[kLanes], p[kLanes], lonRad[kLanes], phi[kLanes];
};

// The latitude iterations of the lanes, pass by pass as GeocentricToGeo makes them,
// each step taken for every lane before the next step: the library calls of different
// points do not wait on each other, so the processor overlaps them.
void Iterate(Lanes& l, double a, double e2) {
    const int n = l.count;
    bool running[kLanes];
    bool any = false;
    for (int j = 0; j < n; ++j) any |= running[j] = std::fabs(l.phi[j]) > 1e-11;
    double s[kLanes], t[kLanes], phi1[kLanes];
    while (any) {
        for (int j = 0; j < n; ++j)
            if (running[j]) s[j] = std::sin(l.phi[j]);
        for (int j = 0; j < n; ++j)
            if (running[j]) t[j] = LatitudeTangent(a, e2, s[j], l.Z[j], l.p[j]);
        for (int j = 0; j < n; ++j)
            if (running[j]) phi1[j] = std::atan(t[j]);
        for (int j = 0; j < n; ++j)
            if (running[j]) s[j] = std::sin(phi1[j]);
        for (int j = 0; j < n; ++j)
            if (running[j]) t[j] = LatitudeTangent(a, e2, s[j], l.Z[j], l.p[j]);
        any = false;
        for (int j = 0; j < n; ++j) {
            if (!running[j]) continue;
            const double phi2 = std::atan(t[j]);
            l.phi[j] = phi2;
            running[j] = !(std::fabs(phi2 - phi1[j]) <= 1e-11);
            any |= running[j];
        }
    }
}

void GeocentricToGeoOne(const Geocentric& g, const Ellipsoid& ell, GeoPoint& out, int& error) {
    try {
        out = GeocentricToGeo(g.X, g.Y, g.Z, ell);
        error = 0;
    } catch (const num::RuntimeError& e) {
        error = e.Number();
    }
}

}  // namespace

void GeocentricToGeo(std::span<const Geocentric> in, const Ellipsoid& ell, std::span<GeoPoint> out,
                     std::span<int> error) {
    const double a = ell.A;
    const double e2 = ell.E2;
    // With 0 <= e² < 1 the radius N(phi) cannot fail, and coordinates within 1e150 m
    // square without overflow. Other points and ellipsoids take the one-point call.
    const bool regularEllipsoid = e2 >= 0 && e2 < 1 && std::isfinite(a);
    constexpr double kLimit = 1e150;
    Lanes l;
    const auto finish = [&] {
        Iterate(l, a, e2);
        for (int j = 0; j < l.count; ++j) {
            const double phi = l.phi[j];
            const double N = PrimeVertical(a, e2, std::sin(phi));
            const double h = l.p[j] / std::cos(phi) - N;
            const std::size_t i = l.index[j];
            if (!std::isfinite(h)) {  // the one-point call raises its error
                GeocentricToGeoOne(in[i], ell, out[i], error[i]);
                continue;
            }
            out[i] = {RadToDeg(phi), RadToDeg(l.lonRad[j]), h};
            error[i] = 0;
        }
        l.count = 0;
    };
    for (std::size_t i = 0; i < in.size(); ++i) {
        const double X = in[i].X, Y = in[i].Y, Z = in[i].Z;
        if (!(regularEllipsoid && std::fabs(X) <= kLimit && std::fabs(Y) <= kLimit &&
              std::fabs(Z) <= kLimit)) {
            GeocentricToGeoOne(in[i], ell, out[i], error[i]);
            continue;
        }
        const double x2y2 = detail::Square(X) + detail::Square(Y);
        const double p = std::sqrt(x2y2);
        const double r = std::sqrt(x2y2 + detail::Square(Z));
        if (!RegularStart(a, e2, Z, p, r)) {
            GeocentricToGeoOne(in[i], ell, out[i], error[i]);
            continue;
        }
        const int j = l.count++;
        l.index[j] = i;
        l.Z[j] = Z;
        l.p[j] = p;
        l.lonRad[j] = Longitude(X, Y);
        l.phi[j] = StartLatitude(a, e2, Z, p, r);
        if (l.count == kLanes) finish();
    }
    finish();
}

}  // namespace geo
