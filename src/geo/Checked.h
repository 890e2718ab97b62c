// The finiteness test of the hot paths, inline: a finite value passes through, a
// non-finite one goes to num::Finite, which raises the system's overflow error.
#pragma once

#include <cmath>
#include <string_view>

#include "num/Number.h"

namespace geo::detail {

inline double Finite(double x, std::string_view what = {}) {
    if (std::isfinite(x)) [[likely]]
        return x;
    return num::Finite(x, what);
}

}  // namespace geo::detail
