#include "geo/GridFast.h"

#include <cmath>

namespace geo::fast {
namespace {

// PROJ's inverse: at most ten steps, until a step moves less than 1e-12 rad.
constexpr int kSteps = 10;
constexpr double kDegrees = 180 / 3.14159265358979323846;
constexpr double kSettled = 1e-12 * kDegrees;

struct Shift {
    double dlat, dlon;
};

// The shift at p, with PROJ's weights; false outside the nodes or next to a NaN.
bool Interpolate(const Subgrid& g, double lat, double lon, Shift& s) {
    const double x = (lon - g.west) / g.stepLon, y = (lat - g.south) / g.stepLat;
    if (!(x >= 0 && y >= 0 && x < g.columns - 1 && y < g.rows - 1)) return false;
    const int i = static_cast<int>(x), j = static_cast<int>(y);
    double fx = x - i, fy = y - j;
    const std::size_t k = static_cast<std::size_t>(j) * static_cast<std::size_t>(g.columns) + static_cast<std::size_t>(i);
    const std::size_t up = k + static_cast<std::size_t>(g.columns);
    double m10 = fx;
    const double m11 = m10 * fy;
    double m01 = fy;
    fx = 1 - fx;
    fy = 1 - fy;
    const double m00 = fx * fy;
    m10 *= fy;
    m01 *= fx;
    s.dlon = (m00 * g.dlon[k] + m10 * g.dlon[k + 1] + m01 * g.dlon[up] + m11 * g.dlon[up + 1]) * kDegrees;
    s.dlat = (m00 * g.dlat[k] + m10 * g.dlat[k + 1] + m01 * g.dlat[up] + m11 * g.dlat[up + 1]) * kDegrees;
    return std::isfinite(s.dlon) && std::isfinite(s.dlat);
}

}  // namespace

const Subgrid* ShiftGrid::At(const LatLon& p) const {
    for (const Subgrid& g : subgrids_) {
        const double west = g.west, east = g.East(), south = g.south, north = g.North();
        if (!(p.lat >= south - kEdge && p.lat <= north + kEdge && p.lon >= west - kEdge && p.lon <= east + kEdge))
            continue;
        if (p.lat > south + kEdge && p.lat < north - kEdge && p.lon > west + kEdge && p.lon < east - kEdge) return &g;
        return nullptr;
    }
    return nullptr;
}

bool ShiftGrid::ToETRS89(LatLon& p) const {
    const Subgrid* g = At(p);
    Shift s;
    if (g == nullptr || !Interpolate(*g, p.lat, p.lon, s)) return false;
    p.lat += s.dlat;
    p.lon += s.dlon;
    return true;
}

bool ShiftGrid::ToED50(LatLon& p) const {
    const Subgrid* g = At(p);
    Shift s;
    if (g == nullptr || !Interpolate(*g, p.lat, p.lon, s)) return false;
    double lat = p.lat - s.dlat, lon = p.lon - s.dlon;
    for (int step = 0; step < kSteps; ++step) {
        if (!Interpolate(*g, lat, lon, s)) return false;
        const double dlat = lat + s.dlat - p.lat, dlon = lon + s.dlon - p.lon;
        lat -= dlat;
        lon -= dlon;
        if (dlat * dlat + dlon * dlon <= kSettled * kSettled) {
            p = {lat, lon};
            return true;
        }
    }
    return false;
}

}  // namespace geo::fast
