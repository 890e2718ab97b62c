// The one table of the limits of a point on the conversion tabs: the window's fields
// check and clamp to them, a pasted point and a row of talpor-lote are refused beyond
// them, and every message and help text that names them is written from here.
#pragma once

#include <string>

namespace text {

// Whole degrees of north latitude, degrees of longitude by hemisphere, UTM metres, and
// heights in metres above the ellipsoid (limits inclusive). The top height clears the
// highest peaks of the area, Mulhacén (3479 m) and Aneto (3404 m), whose ellipsoidal
// heights are some 50 m more.
inline constexpr int kMinLatitude = 35, kMaxLatitude = 44;
inline constexpr int kMaxWest = 10, kMaxEast = 5;
inline constexpr double kMinEasting = 186062, kMaxEasting = 813939;
inline constexpr double kMinNorthing = 2211509, kMaxNorthing = 6651567;
inline constexpr double kMinHeight = -500, kMaxHeight = 4000;

// The ranges as messages name them, with the Spanish separators whatever the regional
// ones: "de 35º a 44º N", "hasta 10º W o 5º E", "de 186.062 a 813.939 m",
// "de 2.211.509 a 6.651.567 m", "de -500 a 4.000 m".
std::string LatitudeRangeText();
std::string LongitudeRangeText();
std::string EastingRangeText();
std::string NorthingRangeText();
std::string HeightRangeText();

}  // namespace text
