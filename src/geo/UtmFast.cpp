#include "geo/UtmFast.h"

#include <cmath>

#include "geo/Angles.h"
#include "geo/EllipsoidConstants.h"

namespace geo::fast {
namespace {

using detail::EllipsoidConstants;

constexpr double kFalseEasting = 500000;
constexpr double kFalseNorthingSouth = 10000000;

// Sines and cosines of φ, 2φ and 3φ from one sine and cosine.
struct ArcTrig {
    double sin1, cos1, sin2, cos2, sin3, cos3;
};

ArcTrig ArcTrigAt(double phi) {
    ArcTrig t;
    t.sin1 = std::sin(phi);
    t.cos1 = std::cos(phi);
    t.sin2 = 2 * t.sin1 * t.cos1;
    t.cos2 = (t.cos1 - t.sin1) * (t.cos1 + t.sin1);
    t.sin3 = t.sin1 * (3 - 4 * t.sin1 * t.sin1);
    t.cos3 = t.cos1 * (4 * t.cos1 * t.cos1 - 3);
    return t;
}

double MeridianArc(const EllipsoidConstants& c, double phi, const ArcTrig& t) {
    double s = c.arc1 * phi;
    s = s - c.arc2 * t.sin1 * t.cos1;
    s = s + c.arc3 * t.sin2 * t.cos2;
    s = s - c.arc4 * t.sin3 * t.cos3;
    return c.bk0 * s;
}

struct Radii {
    double nu, rho, eta2;
};

Radii RadiiAt(const EllipsoidConstants& c, double sinPhi) {
    const double w = 1 - c.e2 * sinPhi * sinPhi;
    const double m05 = 1 / std::sqrt(w);
    Radii r;
    r.nu = c.ak0 * m05;
    r.rho = c.ak0e * (m05 * m05 * m05);
    r.eta2 = r.nu / r.rho - 1;
    return r;
}

// The latitude whose meridian arc is N: the series of the inverse arc in the third
// flattening, then one Newton step on the arc UTMToGeo uses, whose iteration it meets
// within a few tenths of a micrometre (that iteration stops 0.1 mm short, and each of its
// steps leaves about 0.3 % of the distance). Two sines and cosines instead of six. Below
// 0.1 mm UTMToGeo takes N / (a k0) itself, and so does this. The sine and cosine of the
// step's end are those of its start carried along the step (under 1e-10 rad: the terms
// left out are below 1e-20).
struct Footpoint {
    double phi, sin, cos;
};

Footpoint FootpointLatitude(const EllipsoidConstants& c, double N) {
    if (!(N >= 0.0001)) {
        const double phi = N / c.ak0;
        return {phi, std::sin(phi), std::cos(phi)};
    }
    const double n = c.n, n2 = n * n, n3 = n2 * n, n4 = n2 * n2;
    const double mu = N / (c.bk0 * c.arc1);
    const double s2 = std::sin(2 * mu), c2 = std::cos(2 * mu);
    const double s4 = 2 * s2 * c2, c4 = (c2 - s2) * (c2 + s2);
    const double s6 = s4 * c2 + c4 * s2, s8 = 2 * s4 * c4;
    const double phi = mu + (1.5 * n - 27.0 / 32 * n3) * s2 + (21.0 / 16 * n2 - 55.0 / 32 * n4) * s4 +
                       151.0 / 96 * n3 * s6 + 1097.0 / 512 * n4 * s8;
    const ArcTrig t = ArcTrigAt(phi);
    const double cos4 = 2 * t.cos2 * t.cos2 - 1, cos6 = 2 * t.cos3 * t.cos3 - 1;
    const double slope = c.bk0 * (c.arc1 - c.arc2 * t.cos2 + 2 * c.arc3 * cos4 - 3 * c.arc4 * cos6);
    const double step = (N - MeridianArc(c, phi, t)) / slope;
    return {phi + step, t.sin1 + t.cos1 * step, t.cos1 - t.sin1 * step};
}

}  // namespace

EastingNorthing GeoToUTM(double lat, double lon, int zone, const Ellipsoid& ell) {
    const EllipsoidConstants& d = ell.Derived;
    const double t360 = lon + 180;
    const double lonN = t360 - std::floor(t360 / 360) * 360 - 180;
    const double phi = lat * kPi / 180;
    const double lambda = lonN * kPi / 180;
    const ArcTrig trig = ArcTrigAt(phi);
    const double sinPhi = trig.sin1, cosPhi = trig.cos1;
    const double tanPhi = sinPhi / cosPhi;
    const double tan2 = tanPhi * tanPhi, tan4 = tan2 * tan2;
    const double cos2 = cosPhi * cosPhi, cos3 = cos2 * cosPhi, cos5 = cos3 * cos2;
    const double lambda0 = ((zone - 1) * 6 - 180 + 3) * kPi / 180;

    const Radii r = RadiiAt(d, sinPhi);
    const double nu = r.nu;
    const double I = MeridianArc(d, phi, trig);
    const double II = nu / 2 * sinPhi * cosPhi;
    const double III = nu / 24 * sinPhi * cos3 * (5 - tan2 + 9 * r.eta2);
    const double IIIA = nu / 720 * sinPhi * cos5 * (61 - 58 * tan2 + tan4);
    const double IV = nu * cosPhi;
    const double V = nu / 6 * cos3 * (nu / r.rho - tan2);
    const double VI = nu / 120 * cos5 * (5 - 18 * tan2 + tan4 + 14 * r.eta2 - 58 * tan2 * r.eta2);

    const double P = lambda - lambda0;
    const double P2 = P * P, P3 = P2 * P, P4 = P2 * P2, P5 = P4 * P, P6 = P4 * P2;
    double N = I + II * P2 + III * P4 + IIIA * P6;
    const double E = kFalseEasting + IV * P + V * P3 + VI * P5;
    if (N < 0) N = N + kFalseNorthingSouth;
    return {E, N};
}

LatLon UTMToGeo(double E, double N, int zone, const Ellipsoid& ell) {
    const EllipsoidConstants& d = ell.Derived;
    const Footpoint foot = FootpointLatitude(d, N);
    const double phiF = foot.phi, sinF = foot.sin, cosF = foot.cos;
    const double tanF = sinF / cosF;
    const double secF = 1 / cosF;
    const Radii r = RadiiAt(d, sinF);
    const double nu = r.nu, rho = r.rho, eta2 = r.eta2;
    const double tan2 = tanF * tanF, tan4 = tan2 * tan2, tan6 = tan4 * tan2;
    const double nu3 = nu * nu * nu, nu5 = nu3 * nu * nu, nu7 = nu5 * nu * nu;

    const double VII = tanF / (2 * rho * nu);
    const double VIII = tanF / (24 * rho * nu3) * (5 + 3 * tan2 + eta2 - 9 * tan2 * eta2);
    const double IX = tanF / (720 * rho * nu5) * (61 + 90 * tan2 + 45 * tan4);
    const double X = secF / nu;
    const double XI = secF / (6 * nu3) * (nu / rho + 2 * tan2);
    const double XII = secF / (120 * nu5) * (5 + 28 * tan2 + 24 * tan4);
    const double XIIA = secF / (5040 * nu7) * (61 + 662 * tan2 + 1320 * tan4 + 720 * tan6);

    const double lambda0 = (6 * zone - 183) * kPi / 180;
    const double Q = E - kFalseEasting;
    const double Q2 = Q * Q, Q3 = Q2 * Q, Q4 = Q2 * Q2, Q5 = Q4 * Q, Q6 = Q4 * Q2, Q7 = Q6 * Q;
    const double phi = phiF - VII * Q2 + VIII * Q4 - IX * Q6;
    const double lambda = lambda0 + X * Q - XI * Q3 + XII * Q5 - XIIA * Q7;
    return {phi * 180 / kPi, lambda * 180 / kPi};
}

}  // namespace geo::fast
