// Packed degrees and decimal minutes (gggmm.mmmmm).
#pragma once

#include <cstdint>

namespace geo {

// value (signed decimal degrees) as degrees × 100 + minutes with the sign of the
// angle: 38.4166667 gives 3825, −1.5666667 gives −134. The minutes are single
// precision, as is their sum with degrees × 100. Rounded half to even to `decimals`
// places, or to 4 when decimals is 0. Throws the overflow error for 328 degrees or
// more (degrees × 100 leaves 16 bits) and the invalid-call error for decimals < 0.
double DegToDegMin(double value, std::int16_t decimals);

}  // namespace geo
