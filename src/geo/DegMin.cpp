#include "geo/DegMin.h"

#include <cmath>

#include "num/Number.h"
#include "num/RuntimeError.h"

namespace geo {

double DegToDegMin(double value, std::int16_t decimals) {
    if (decimals < 0) throw num::InvalidCall("DegToDegMin decimales");
    const bool negative = value < 0;
    const double v = std::fabs(value);
    const std::int16_t g = num::CInt(num::Int(v));
    // Single precision as the packed format has always been computed.
    const float mn = static_cast<float>((v - g) * 60);
    const int g100 = g * 100;
    if (g100 > 32767) throw num::Overflow("DegToDegMin grados × 100");
    float packed = static_cast<float>(g100) + mn;
    if (negative) packed = -packed;
    return num::Round(packed, decimals != 0 ? decimals : 4);
}

}  // namespace geo
