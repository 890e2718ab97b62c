#include "astro/DayFraction.h"

#include "num/Number.h"

namespace astro {

HMS DayFractionToHMS(double x) {
    num::Finite(x, "DayFractionToHMS");
    HMS r;
    r.H = num::Int(24 * x);
    r.M = num::Int((24 * x - r.H) * 60);
    r.S = ((24 * x - r.H) * 60 - r.M) * 60;
    return r;
}

}  // namespace astro
