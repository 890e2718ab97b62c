// Standard (not abridged) Molodensky formulas for a datum shift by a geocentric
// translation and the differences of the two ellipsoids.
// Powers give what the run-time power function gives (see Utm.cpp).
#include "geo/Molodensky.h"

#include <cmath>

#include "geo/Angles.h"
#include "geo/Ellipsoid.h"
#include "geo/Power.h"
#include "num/Number.h"

namespace geo {

MolodenskyShifts MolodenskyShift(double latDeg, double lonDeg, double h,
                                 const MolodenskyParams& p) {
    const Ellipsoid& wgs = Ellipsoids[kWGS84];
    const Ellipsoid& ed50 = Ellipsoids[kED50];
    const double a = ed50.A;
    const double e2 = ed50.E2;
    const double b = a * (1 - num::Div(1, ed50.InvF));
    const double da = wgs.A - ed50.A;
    const double df = num::Div(1, wgs.InvF) - num::Div(1, ed50.InvF);
    const double sin1 = std::sin(DegToRad(DMSToDeg(0, 0, 1, false)));

    const double phi = DegToRad(latDeg);
    const double lambda = DegToRad(lonDeg);
    const double dx = p.DX, dy = p.DY, dz = p.DZ;
    const double sinPhi = std::sin(phi), cosPhi = std::cos(phi);
    const double sinLam = std::sin(lambda), cosLam = std::cos(lambda);
    const double sin2 = detail::Square(sinPhi);

    const double N = a / num::Pow(1 - e2 * sin2, 0.5);
    const double M = a * (1 - e2) / num::Pow(1 - e2 * sin2, 1.5);

    MolodenskyShifts s;
    s.dLatSec =
        (-dx * sinPhi * cosLam - dy * sinPhi * sinLam + dz * cosPhi +
         N * e2 * sinPhi * cosPhi * da / a + (M * a / b + N * b / a) * df * sinPhi * cosPhi) *
        num::Pow((M + h) * sin1, -1);
    s.dLonSec = (-dx * sinLam + dy * cosLam) * num::Pow((N + h) * cosPhi * sin1, -1);
    s.dH = dx * cosPhi * cosLam + dy * cosPhi * sinLam + dz * sinPhi - (a / N) * da +
           (b / a) * df * N * sin2;
    num::Finite(s.dLatSec, "MolodenskyShift dLatSec");
    num::Finite(s.dLonSec, "MolodenskyShift dLonSec");
    num::Finite(s.dH, "MolodenskyShift dH");
    return s;
}

}  // namespace geo
