// Whole powers x^2 .. x^7 that return exactly what the run-time power function
// (num::Pow) returns, only faster. Private to the geodetic library.
#pragma once

namespace mGeo::detail {

// out[k] = num::Pow(x, k) for k = 2..maxN (maxN <= 7); out[0], out[1] are untouched.
void IntPowers(double x, int maxN, double* out);

// num::Pow(x, 2), the same double.
double Square(double x);

}  // namespace mGeo::detail
