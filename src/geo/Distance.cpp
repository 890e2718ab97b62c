// Andoyer's ellipsoidal distance with the first-order flattening correction, in the
// form published in Meeus' Astronomical Algorithms, on WGS84 with its own constants.
// Powers give what the run-time power function gives (see Utm.cpp).
#include "geo/Distance.h"

#include <cmath>

#include "geo/Power.h"
#include "num/Number.h"

namespace geo {
namespace {

constexpr double kA = 6378.137;                  // WGS84 semi-major axis (km)
constexpr double kF = 0.0033528106647474805;     // WGS84 flattening 1/298.257223563
constexpr double kRad = 3.14159265358979 / 180;  // the system's pi over 180

bool IsLower(std::string_view a, std::string_view lowerB) {
    if (a.size() != lowerB.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerB[i]) return false;
    }
    return true;
}

double UnitFactor(std::string_view units) {
    while (!units.empty() && units.front() == ' ') units.remove_prefix(1);
    while (!units.empty() && units.back() == ' ') units.remove_suffix(1);
    if (IsLower(units, "millas t")) return 1.609344;
    if (IsLower(units, "millas n")) return 1.852;
    return 1.0;
}

}  // namespace

double GeoDistance(double lat1, double lon1, double lat2, double lon2, std::string_view units) {
    const double factor = UnitFactor(units);
    if (lat1 == lat2 && lon1 == lon2) return 0;

    const double F = (lat1 + lat2) / 2 * kRad;
    const double G = (lat1 - lat2) / 2 * kRad;
    const double L = (lon1 - lon2) / 2 * kRad;
    const double sinF = std::sin(F), cosF = std::cos(F);
    const double sinG = std::sin(G), cosG = std::cos(G);
    const double sinL = std::sin(L), cosL = std::cos(L);

    const double S = detail::Square(sinG * cosL) + detail::Square(cosF * sinL);
    const double C = detail::Square(cosG * cosL) + detail::Square(sinF * sinL);
    const double w = std::atan(num::Sqr(num::Div(S, C)));
    const double R = num::Div(num::Sqr(S * C), w);
    const double D = 2 * w * kA;
    const double H1 = num::Div(3 * R - 1, 2 * C);
    const double H2 = num::Div(3 * R + 1, 2 * S);
    const double s =
        D * ((1 + kF * H1 * detail::Square(sinF * cosG)) - kF * H2 * detail::Square(cosF * sinG));
    return num::Finite(s / factor, "GeoDistance");
}

}  // namespace geo
