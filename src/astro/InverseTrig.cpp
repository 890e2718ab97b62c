// ArcCos and ArcSin from the arctangent and the square root. The endpoints +-1 are
// answered exactly (the general formula would divide by zero there); callers clamp
// cosines to -1..1 and rely on getting 0 and pi for the clamped values.
#include "astro/InverseTrig.h"

#include <cmath>

#include "geo/Angles.h"
#include "num/Number.h"
#include "num/RuntimeError.h"

namespace astro {

double ArcCos(double x) {
    if (x == 1) return 0;
    if (x == -1) return geo::kPi;
    if (std::isnan(x)) throw num::InvalidCall("ArcCos: NaN");
    // num::Sqr raises error 5 when |x| > 1.
    return std::atan(-x / num::Sqr(-x * x + 1)) + 2 * std::atan(1.0);
}

double ArcSin(double x) {
    if (x == 1) return geo::kPi / 2;
    if (x == -1) return -geo::kPi / 2;
    if (std::isnan(x)) throw num::InvalidCall("ArcSin: NaN");
    return std::atan(x / num::Sqr(1 - num::Pow(x, 2)));
}

}  // namespace astro
