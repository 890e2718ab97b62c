// Principal radii of curvature from the semi-major axis and the flattening.
// Powers give what the run-time power function gives (see Utm.cpp).
#include "geo/Radii.h"

#include <cmath>

#include "geo/Angles.h"
#include "geo/Power.h"
#include "num/Number.h"

namespace geo {
namespace {

// 1 − e²·sin²φ with e = Sqr(2f − f²) and e² = e^2.
struct Curvature {
    double phi, e2, w;
};

Curvature CurvatureAt(double lat, const Ellipsoid& ell) {
    Curvature c;
    c.phi = DegToRad(lat);
    const double f = num::Div(1, ell.InvF);
    const double e = num::Sqr(2 * f - detail::Square(f));
    c.e2 = detail::Square(e);
    c.w = 1 - c.e2 * detail::Square(std::sin(c.phi));
    return c;
}

}  // namespace

double ParallelRadius(double lat, const Ellipsoid& ell) {
    const Curvature c = CurvatureAt(lat, ell);
    return num::Div(ell.A * std::cos(c.phi), num::Sqr(c.w));
}

double MeridianRadius(double lat, const Ellipsoid& ell) {
    const Curvature c = CurvatureAt(lat, ell);
    return num::Div(ell.A * (1 - c.e2), num::Pow(c.w, 3.0 / 2));
}

}  // namespace geo
