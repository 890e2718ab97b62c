// Distance between two points on the WGS84 ellipsoid.
#pragma once

#include <string_view>

namespace geo {

// Distance between (lat1, lon1) and (lat2, lon2), decimal degrees on WGS84, in
// kilometres; units "Millas T" gives statute miles and "Millas N" nautical miles
// (compared trimmed and without regard to case), any other text kilometres.
// Equal points give 0. Throws the overflow error where the formula degenerates
// (points a hair's breadth apart whose squares underflow).
double GeoDistance(double lat1, double lon1, double lat2, double lon2,
                   std::string_view units = "Km");

}  // namespace geo
