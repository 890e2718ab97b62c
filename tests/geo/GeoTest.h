// Shared by the geodetic tests: the stored ellipsoids and the number of a raised error.
#pragma once

#include <gtest/gtest.h>

#include <tuple>

#include "geo/Ellipsoid.h"
#include "num/RuntimeError.h"

namespace geotest {

inline const mGeo::Ellipsoid& Wgs84() { return mGeo::Ellipsoids[mGeo::kWGS84]; }
inline const mGeo::Ellipsoid& Ed50() { return mGeo::Ellipsoids[mGeo::kED50]; }

// The run-time error number `call` raises, 0 when it returns.
inline int ErrorNumber(auto&& call) try {
    call();
    return 0;
} catch (const num::RuntimeError& e) {
    return e.Number();
}

}  // namespace geotest
