// Reduction of angles and times to one turn, shared by the solar formulas.
//
// The formulas are defined as repeated subtraction (or addition) of one period. For
// |x| < 2^53 every intermediate step of that loop is exact (x and the whole period
// are multiples of ulp(x), and each step shrinks the magnitude), so its result is the
// exact remainder std::fmod gives; only a final addition to a negative remainder
// rounds, and it is done here once, just as the loop does it. fmod keeps absurd
// inputs (where the loop would never end) from hanging the program.
#pragma once

#include <cmath>

namespace astro {

// x while x <= period; otherwise x minus as many periods as leave it in (0, period]
// (an exact multiple gives `period`, not 0). Negative x is returned unchanged.
inline double ReduceFromAbove(double x, double period) {
    if (!(x > period)) return x;
    double r = std::fmod(x, period);
    return r == 0 ? period : r;
}

// x reduced to 0..360 degrees: above 360 as ReduceFromAbove, below 0 by adding 360
// until it is no longer negative (the last addition may round up to exactly 360).
inline double ReduceTo0To360(double x) {
    if (x > 360) return ReduceFromAbove(x, 360);
    if (!(x < 0)) return x;
    double r = std::fmod(x, 360.0);  // exact, in (-360, 0]
    return r == 0 ? 0.0 : r + 360;
}

}  // namespace astro
