// Shared by the geodetic tests: the stored ellipsoids and the number of a raised error.
#pragma once

#include <gtest/gtest.h>

#include <tuple>

#include "geo/Ellipsoid.h"
#include "num/RuntimeError.h"

namespace geotest {

inline const geo::Ellipsoid& Wgs84() { return geo::Ellipsoids[geo::kWGS84]; }
inline const geo::Ellipsoid& Ed50() { return geo::Ellipsoids[geo::kED50]; }

// The run-time error number `call` raises, 0 when it returns.
inline int ErrorNumber(auto&& call) try {
    call();
    return 0;
} catch (const num::RuntimeError& e) {
    return e.Number();
}

}  // namespace geotest
