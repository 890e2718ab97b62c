// Low-accuracy solar coordinates for an instant given in Julian centuries T since
// JD 2451545.0 (see JulianCentury). Every function recomputes what it needs from T.
// Angles are in degrees; the non-finite results of absurd T raise the overflow error.
#pragma once

namespace astro {

// Geometric mean longitude L0 of the Sun, degrees, reduced to 0..360 (360 itself
// can be returned, 0 only for an exact multiple of 360 below zero or zero itself).
double SunMeanLongitude(double T);

// Mean anomaly M of the Sun, degrees, NOT reduced (thousands of degrees today).
double SunMeanAnomaly(double T);

// Eccentricity of the Earth's orbit, dimensionless (about 0.0167).
double OrbitEccentricity(double T);

// Equation of the centre C, degrees.
double SunEquationOfCenter(double T);

// True longitude L0 + C, degrees (may leave 0..360 by up to about 2 degrees).
double SunTrueLongitude(double T);

// Apparent longitude lambda, degrees: true longitude corrected for nutation and
// aberration.
double SunApparentLongitude(double T);

// Mean obliquity of the ecliptic epsilon0, degrees (about 23.44).
double MeanObliquity(double T);

// Apparent obliquity epsilon, degrees: mean obliquity corrected for nutation.
double ApparentObliquity(double T);

// Declination delta of the Sun, degrees, -23.45..23.45.
double SunDeclination(double T);

// Equation of time, minutes of time, within about +-17: positive when apparent
// solar time is ahead of mean time.
double EquationOfTime(double T);

}  // namespace astro
