// The Sun's low-accuracy coordinates after Meeus, Astronomical Algorithms (ch. 25,
// 22 and 28): mean elements as polynomials in T, obliquity from the 21.448''/46.815''
// polynomial, equation of time from y = tan^2(epsilon/2). The constants and the order
// of every operation are fixed: results must agree to the last bit with other
// implementations of the same formulas, so do not "simplify" them.
#include "astro/SunPosition.h"

#include <cmath>

#include "astro/InverseTrig.h"
#include "astro/Reduce.h"
#include "geo/Angles.h"
#include "num/Number.h"

using geo::DegToRad;
using geo::RadToDeg;

namespace astro {

namespace {

// Longitude of the Moon's ascending node (degrees), driving the nutation terms.
double NodeLongitude(double T) { return 125.04 - 1934.136 * T; }

}  // namespace

double SunMeanLongitude(double T) {
    double L0 = num::Finite(280.46646 + T * (36000.76983 + 0.0003032 * T), "SunMeanLongitude");
    return ReduceTo0To360(L0);
}

double SunMeanAnomaly(double T) {
    return num::Finite(357.52911 + T * (35999.05029 - 0.0001537 * T), "SunMeanAnomaly");
}

double OrbitEccentricity(double T) {
    return num::Finite(0.016708634 - T * (0.000042037 + 0.0000001267 * T), "OrbitEccentricity");
}

double SunEquationOfCenter(double T) {
    double m = DegToRad(SunMeanAnomaly(T));
    return num::Finite(std::sin(m) * (1.914602 - T * (0.004817 + 0.000014 * T)) +
                           std::sin(2 * m) * (0.019993 - 0.000101 * T) +
                           std::sin(3 * m) * 0.000289,
                       "SunEquationOfCenter");
}

double SunTrueLongitude(double T) { return SunMeanLongitude(T) + SunEquationOfCenter(T); }

double SunApparentLongitude(double T) {
    double omega = NodeLongitude(T);
    return SunTrueLongitude(T) - 0.00569 - 0.00478 * std::sin(DegToRad(omega));
}

double MeanObliquity(double T) {
    double seconds = num::Finite(21.448 - T * (46.815 + T * (0.00059 - T * 0.001813)), "MeanObliquity");
    return 23 + (26 + seconds / 60) / 60;
}

double ApparentObliquity(double T) {
    double omega = NodeLongitude(T);
    return MeanObliquity(T) + 0.00256 * std::cos(DegToRad(omega));
}

double SunDeclination(double T) {
    double epsilon = ApparentObliquity(T);
    double lambda = SunApparentLongitude(T);
    return RadToDeg(ArcSin(std::sin(DegToRad(epsilon)) * std::sin(DegToRad(lambda))));
}

double EquationOfTime(double T) {
    double epsilon = ApparentObliquity(T);
    double l0 = DegToRad(SunMeanLongitude(T));
    double e = OrbitEccentricity(T);
    double m = DegToRad(SunMeanAnomaly(T));

    double y = num::Pow(std::tan(DegToRad(epsilon) / 2), 2);
    double E = y * std::sin(2 * l0) - 2 * e * std::sin(m) + 4 * e * y * std::sin(m) * std::cos(2 * l0) -
               0.5 * num::Pow(y, 2) * std::sin(4 * l0) - 1.25 * num::Pow(e, 2) * std::sin(2 * m);
    // Four minutes of time per degree of hour angle.
    return 4 * RadToDeg(E);
}

}  // namespace astro
