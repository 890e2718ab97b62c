// Inverse cosine and sine built on the arctangent, as the solar formulas use them.
#pragma once

namespace astro {

// Inverse cosine (radians, 0..pi) of x in -1..1. ArcCos(1) = 0 and ArcCos(-1) = pi,
// pi being geo::kPi. Throws the invalid-call error (5) for x outside -1..1 or NaN.
double ArcCos(double x);

// Inverse sine (radians, -pi/2..pi/2) of x in -1..1; ArcSin(+-1) = +-kPi/2.
// Throws the invalid-call error (5) for x outside -1..1 or NaN.
double ArcSin(double x);

}  // namespace astro
