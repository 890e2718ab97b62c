// Whole powers x^2 .. x^7 that return exactly what the run-time power function
// (num::Pow) returns, only faster. Private to the geodetic library.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace mGeo::detail {

// out[k] = num::Pow(x, k) for k = 2..maxN (maxN <= 7); out[0], out[1] are untouched.
void IntPowers(double x, int maxN, double* out);

// num::Pow(x, 2) itself: the slow path of Square.
double SquareByPow(double x);

// num::Pow(x, 2), the same double. Inline because the latitude iterations square on
// every step: x * x is returned when its exact rounding error (Dekker's product of the
// Veltkamp halves of x, exact for 2^-100 <= |x| <= 2^100) is below 0.44 ulp, the case
// in which the power function must return it too (see Power.cpp); otherwise, about
// one square in eight, the power function is asked.
inline double Square(double x) {
    const double p = x * x;
    const double ax = std::fabs(x);
    if (ax >= 0x1p-100 && ax <= 0x1p100) {
        const double c = 134217729.0 * x;  // 2^27 + 1
        const double hi = c - (c - x);
        const double lo = x - hi;
        const double err = lo * lo - (((p - hi * hi) - lo * hi) - hi * lo);
        std::uint64_t bits;
        std::memcpy(&bits, &p, sizeof bits);
        // A power of two has a closer neighbour below it: left to the power function.
        if ((bits & 0x000fffffffffffffULL) != 0) {
            const std::uint64_t ulpBits = (bits & 0x7ff0000000000000ULL) - (52ULL << 52);
            double ulp;
            std::memcpy(&ulp, &ulpBits, sizeof ulp);
            if (std::fabs(err) < 0.44 * ulp) return p;
        }
    }
    return SquareByPow(x);
}

}  // namespace mGeo::detail
