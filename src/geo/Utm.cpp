// Transverse Mercator by the series in the third flattening n (meridian arc in n,
// northing and easting as power series in the longitude difference; the inverse
// with an iterated footpoint latitude). Every expression keeps the order of
// operations of the reference formulas, because results are compared to the last
// bit with other implementations. Powers are those of the run-time power function
// (num::Pow, or detail::IntPowersInline, which returns the same doubles faster) in every
// build: the compiler would otherwise turn pow(x, 2) into x * x in optimised builds
// only, and pow(x, 2) and x * x differ in the last bit for about one x in a thousand.
#include "geo/Utm.h"

#include <charconv>
#include <cmath>

#include "geo/Angles.h"
#include "geo/Checked.h"
#include "geo/EllipsoidConstants.h"
#include "geo/Power.h"
#include "num/Number.h"
#include "num/RuntimeError.h"

namespace geo {
namespace {

constexpr double kFalseEasting = 500000;          // metres
constexpr double kFalseNorthingSouth = 10000000;  // metres, southern hemisphere

using detail::EllipsoidConstants;

// Sines and cosines of phi, 2 phi and 3 phi (radians) that the meridian arc takes.
struct ArcTrig {
    double sin1, cos1, sin2, cos2, sin3, cos3;
};

ArcTrig ArcTrigAt(double phi) {
    return {std::sin(phi),     std::cos(phi),     std::sin(2 * phi),
            std::cos(2 * phi), std::sin(3 * phi), std::cos(3 * phi)};
}

// Meridian arc from the equator to phi (radians), scaled by k0, metres.
double MeridianArc(const EllipsoidConstants& c, double phi, const ArcTrig& t) {
    double s = c.arc1 * phi;
    s = s - c.arc2 * t.sin1 * t.cos1;
    s = s + c.arc3 * t.sin2 * t.cos2;
    s = s - c.arc4 * t.sin3 * t.cos3;
    return c.bk0 * s;
}

double MeridianArc(const EllipsoidConstants& c, double phi) {
    return MeridianArc(c, phi, ArcTrigAt(phi));
}

// Radii of curvature times k0 at phi: nu (prime vertical), rho (meridian), eta2.
struct Radii {
    double nu, rho, eta2;
};

[[gnu::always_inline]] inline Radii RadiiAt(const EllipsoidConstants& c, double sinPhi) {
    Radii r;
    const double w = 1 - c.e2 * detail::Square(sinPhi);
    double m05, m15;
    detail::InverseRootPowers(w, m05, m15);
    r.nu = c.ak0 * m05;
    r.rho = c.ak0e * m15;
    r.eta2 = r.nu / r.rho - 1;
    return r;
}

// 16-bit integer arithmetic of the zone numbers: overflow outside −32768..32767.
int Checked16(int v) {
    if (v < -32768 || v > 32767) throw num::Overflow("aritmética de husos");
    return v;
}

// lon (degrees) in [−180, 180), as the projection takes it.
double NormalisedLongitude(double lon) {
    const double t = lon + 180;
    return t - num::Int(t / 360) * 360 - 180;
}

// Zone of lat (degrees) and the normalised longitude lonN (degrees), with the Norway
// and Svalbard exceptions. Overflow error when the number leaves 16 bits.
int ZoneOf(double lat, double lonN) {
    int z = num::CInt(num::Int((lonN + 180) / 6) + 1);
    if (lat >= 56 && lat < 64 && lonN >= 3 && lonN < 12) z = 32;
    if (lat >= 72 && lat < 84) {
        if (lonN >= 0 && lonN < 9) {
            z = 31;
        } else if (lonN >= 9 && lonN < 21) {
            z = 33;
        } else if (lonN >= 21 && lonN < 33) {
            z = 35;
        } else if (lonN >= 33 && lonN < 42) {
            z = 37;
        }
    }
    return z;
}

}  // namespace

std::int16_t UTMZoneOf(double lat, double lon) {
    detail::Finite(lat, "UTMZoneOf lat");
    detail::Finite(lon, "UTMZoneOf lon");
    return static_cast<std::int16_t>(ZoneOf(lat, NormalisedLongitude(lon)));
}

char UTMBandLetter(double lat) {
    if (lat >= 72 && lat <= 84) return 'X';
    // C from −80 up to W below 72, skipping I and O. The bounds are compared as
    // given (whole degrees), never through a division that could round across them.
    static constexpr char kBands[] = "CDEFGHJKLMNPQRSTUVW";
    if (lat < 72) {
        for (int i = 18; i >= 0; --i) {
            if (lat >= -80 + 8 * i) return kBands[i];
        }
    }
    return 'Z';
}

namespace {

// The projection in `zone`, or in the zone of the point when `zone` is 0.
[[gnu::always_inline]] inline UTMPoint Project(double lat, double lon, const Ellipsoid& ell, int zone) {
    detail::Finite(lat, "GeoToUTM lat");
    detail::Finite(lon, "GeoToUTM lon");
    const EllipsoidConstants& d = ell.Derived;

    const double lonN = NormalisedLongitude(lon);
    const double phi = DegToRad(lat);
    const double lambda = DegToRad(lonN);

    // The latitude's sines, cosines and powers first: the longest chain of the
    // projection starts from them, and none of them can fail.
    const ArcTrig trig = ArcTrigAt(phi);
    const double sinPhi = trig.sin1;
    const double cosPhi = trig.cos1;
    const double tanPhi = std::tan(phi);
    double pt[5], pc[6];
    detail::IntPowersInline<4>(tanPhi, pt);
    detail::IntPowersInline<5>(cosPhi, pc);
    const double tan2 = pt[2];
    const double tan4 = pt[4];
    const double cos3 = pc[3];
    const double cos5 = pc[5];

    const int z = zone != 0 ? zone : ZoneOf(lat, lonN);
    const double lambda0 = DegToRad(Checked16(Checked16(Checked16((z - 1) * 6) - 180) + 3));

    UTMPoint out;
    out.zone = static_cast<std::int16_t>(z);
    char text[8];
    char* end = std::to_chars(text, text + sizeof text - 1, z).ptr;
    *end++ = UTMBandLetter(lat);
    out.zoneText.assign(text, end);

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
    double pp[7];
    detail::IntPowersInline<6>(P, pp);
    double N = I + II * pp[2] + III * pp[4] + IIIA * pp[6];
    const double E = kFalseEasting + IV * P + V * pp[3] + VI * pp[5];
    if (N < 0) N = N + kFalseNorthingSouth;
    out.E = detail::Finite(E, "GeoToUTM E");
    out.N = detail::Finite(N, "GeoToUTM N");
    return out;
}

}  // namespace

TALPOR_FMA_CLONES UTMPoint GeoToUTM(double lat, double lon, const Ellipsoid& ell) { return Project(lat, lon, ell, 0); }

namespace {

// Krüger's series of the transverse Mercator in the third flattening n, to n⁶ (Karney,
// "Transverse Mercator with an accuracy of a few nanometers", 2011), as PROJ evaluates it:
// within micrometres anywhere a zone's neighbours reach, where Project's series in the
// longitude difference, exact to a fraction of a millimetre within the zone's band, drifts
// by a centimetre at 6º from the central meridian.
UTMPoint ProjectFar(double lat, const Ellipsoid& ell, int zone, double lambda) {
    const double f = 1 / ell.InvF, n = f / (2 - f), e = std::sqrt(f * (2 - f));
    const double n2 = n * n, n3 = n2 * n, n4 = n3 * n, n5 = n4 * n, n6 = n5 * n;
    const double alpha[6] = {
        n / 2 - 2 * n2 / 3 + 5 * n3 / 16 + 41 * n4 / 180 - 127 * n5 / 288 + 7891 * n6 / 37800,
        13 * n2 / 48 - 3 * n3 / 5 + 557 * n4 / 1440 + 281 * n5 / 630 - 1983433 * n6 / 1935360,
        61 * n3 / 240 - 103 * n4 / 140 + 15061 * n5 / 26880 + 167603 * n6 / 181440,
        49561 * n4 / 161280 - 179 * n5 / 168 + 6601661 * n6 / 7257600,
        34729 * n5 / 80640 - 3418889 * n6 / 1995840,
        212378941 * n6 / 319334400};
    const double A = ell.A / (1 + n) * (1 + n2 / 4 + n4 / 64 + n6 / 256);
    const double sinPhi = std::sin(DegToRad(lat));
    const double t = std::sinh(std::atanh(sinPhi) - e * std::atanh(e * sinPhi));
    const double xi0 = std::atan2(t, std::cos(lambda)), eta0 = std::atanh(std::sin(lambda) / std::hypot(1, t));
    double xi = xi0, eta = eta0;
    for (int j = 1; j <= 6; ++j) {
        xi += alpha[j - 1] * std::sin(2 * j * xi0) * std::cosh(2 * j * eta0);
        eta += alpha[j - 1] * std::cos(2 * j * xi0) * std::sinh(2 * j * eta0);
    }
    UTMPoint out;
    out.zone = static_cast<std::int16_t>(zone);
    out.zoneText = std::to_string(zone) + UTMBandLetter(lat);
    out.E = detail::Finite(kFalseEasting + detail::kK0 * A * eta, "GeoToUTM E");
    double N = detail::kK0 * A * xi;
    if (N < 0) N = N + kFalseNorthingSouth;
    out.N = detail::Finite(N, "GeoToUTM N");
    return out;
}

}  // namespace

TALPOR_FMA_CLONES UTMPoint GeoToUTMInZone(double lat, double lon, std::int16_t zone, const Ellipsoid& ell) {
    detail::Finite(lat, "GeoToUTM lat");
    detail::Finite(lon, "GeoToUTM lon");
    // Beyond the zone's band (a layer projected in one zone), the series that holds there.
    const double lonN = NormalisedLongitude(lon);
    const double fromCentre = lonN - (6.0 * zone - 183);
    if (std::abs(fromCentre) > 3 && std::abs(fromCentre) < 60 && std::abs(lat) < 84)
        return ProjectFar(lat, ell, zone, DegToRad(fromCentre));
    return Project(lat, lon, ell, zone);
}

TALPOR_FMA_CLONES LatLon UTMToGeo(double E, double N, std::int16_t zone, const Ellipsoid& ell,
                                  std::string_view hemisphere) {
    detail::Finite(E, "UTMToGeo E");
    detail::Finite(N, "UTMToGeo N");
    const EllipsoidConstants& d = ell.Derived;
    const double n0 = hemisphere == "N" ? 0 : kFalseNorthingSouth;
    const double ak0 = d.ak0;

    // Footpoint latitude. The test is signed: it stops at the first overshoot.
    double phiF = num::Div(N - n0, ak0);
    double M = 0;
    while (N - n0 - M >= 0.0001) {
        M = MeridianArc(d, phiF);
        phiF = phiF + (N - n0 - M) / ak0;
    }

    const double sinF = std::sin(phiF);
    const double tanF = std::tan(phiF);
    const double secF = Sec(phiF);
    const Radii r = RadiiAt(d, sinF);
    const double nu = r.nu;
    const double rho = r.rho;
    const double eta2 = r.eta2;
    double pt[7], pn[8];
    detail::IntPowersInline<6>(tanF, pt);
    detail::IntPowersInline<7>(nu, pn);
    const double tan2 = pt[2];
    const double tan4 = pt[4];
    const double tan6 = pt[6];
    const double nu3 = pn[3];
    const double nu5 = pn[5];
    const double nu7 = pn[7];

    const double VII = tanF / (2 * rho * nu);
    const double VIII = tanF / (24 * rho * nu3) * (5 + 3 * tan2 + eta2 - 9 * tan2 * eta2);
    const double IX = tanF / (720 * rho * nu5) * (61 + 90 * tan2 + 45 * tan4);
    const double X = secF / nu;
    const double XI = secF / (6 * nu3) * (nu / rho + 2 * tan2);
    const double XII = secF / (120 * nu5) * (5 + 28 * tan2 + 24 * tan4);
    const double XIIA = secF / (5040 * nu7) * (61 + 662 * tan2 + 1320 * tan4 + 720 * tan6);

    const double lambda0 = DegToRad(Checked16(Checked16(6 * zone) - 183));
    const double Q = E - kFalseEasting;
    double pq[8];
    detail::IntPowersInline<7>(Q, pq);
    const double phi = phiF - VII * pq[2] + VIII * pq[4] - IX * pq[6];
    const double lambda = lambda0 + X * Q - XI * pq[3] + XII * pq[5] - XIIA * pq[7];
    // RadToDeg raises the overflow error for a non-finite value.
    return {RadToDeg(phi), RadToDeg(lambda)};
}

GridFactors UTMGridFactors(double lat, double lon, int zone, const Ellipsoid& ell) {
    detail::Finite(lat, "UTMGridFactors lat");
    detail::Finite(lon, "UTMGridFactors lon");
    const EllipsoidConstants& d = ell.Derived;
    const double phi = lat * (M_PI / 180);
    double dLon = lon - (6.0 * zone - 183);
    dLon -= 360 * std::floor((dLon + 180) / 360);
    const double l = dLon * (M_PI / 180);

    // Redfearn's series with eta2 = e'2 cos2 phi.
    const double s = std::sin(phi), c = std::cos(phi), t2 = std::tan(phi) * std::tan(phi);
    const double eta2 = d.e2 / (1 - d.e2) * c * c;
    const double lc2 = l * l * c * c;
    const double gamma =
        l * s *
        (1 + lc2 / 3 * (1 + 3 * eta2 + 2 * eta2 * eta2) + lc2 * lc2 / 15 * (2 - t2));
    const double k =
        detail::kK0 * (1 + lc2 / 2 * (1 + eta2) +
                       lc2 * lc2 / 24 * (5 - 4 * t2 + 14 * eta2 - 28 * t2 * eta2) +
                       lc2 * lc2 * lc2 / 720 * (61 - 148 * t2 + 16 * t2 * t2));
    return {detail::Finite(gamma * (180 / M_PI), "UTMGridFactors"), detail::Finite(k, "UTMGridFactors")};
}

}  // namespace geo
