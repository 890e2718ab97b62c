// Shared by the geodetic tests: the stored ellipsoids and the number of a raised error.
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>

#include "geo/Ellipsoid.h"
#include "num/RuntimeError.h"

namespace geotest {

inline const geo::Ellipsoid& Wgs84() { return geo::Ellipsoids[geo::kWGS84]; }
inline const geo::Ellipsoid& Ed50() { return geo::Ellipsoids[geo::kED50]; }

// The ellipsoid a reference table names: "WGS84", or "ED50" for the International one.
inline const geo::Ellipsoid& EllipsoidNamed(const std::string& name) {
    if (name == "WGS84") return Wgs84();
    if (name == "ED50") return Ed50();
    throw std::invalid_argument("no ellipsoid " + name);
}

// The run-time error number `call` raises, 0 when it returns.
inline int ErrorNumber(auto&& call) try {
    call();
    return 0;
} catch (const num::RuntimeError& e) {
    return e.Number();
}

}  // namespace geotest
