#include "SpainPoints.h"

#include <random>

namespace bench {
namespace {

// Longitude, latitude (degrees) of a coarse outline of peninsular Spain, clockwise
// from Cape Finisterre.
constexpr double kOutline[][2] = {
    {-9.3, 43.0},  {-8.0, 43.75}, {-5.0, 43.6},   {-1.8, 43.38},  {-1.4, 43.05}, {0.7, 42.85},
    {3.2, 42.45},  {3.2, 41.9},   {2.1, 41.25},   {0.9, 41.0},    {0.2, 40.1},   {-0.3, 39.4},
    {0.2, 38.8},   {-0.5, 38.3},  {-0.75, 37.6},  {-1.65, 37.35}, {-2.1, 36.72}, {-4.4, 36.7},
    {-5.6, 36.0},  {-6.3, 36.5},  {-7.4, 37.2},   {-7.5, 38.0},   {-7.0, 38.2},  {-7.3, 39.5},
    {-6.9, 40.2},  {-6.8, 41.0},  {-6.2, 41.6},   {-6.6, 41.95},  {-8.2, 42.0},  {-8.9, 41.9}};

// Mallorca, Menorca, Ibiza: west, east, south, north.
constexpr double kIslands[][4] = {
    {2.35, 3.45, 39.3, 39.95}, {3.8, 4.3, 39.8, 40.08}, {1.2, 1.6, 38.85, 39.1}};

bool InOutline(double lon, double lat) {
    bool inside = false;
    const std::size_t n = std::size(kOutline);
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        const double xi = kOutline[i][0], yi = kOutline[i][1];
        const double xj = kOutline[j][0], yj = kOutline[j][1];
        if ((yi > lat) != (yj > lat) && lon < (xj - xi) * (lat - yi) / (yj - yi) + xi)
            inside = !inside;
    }
    return inside;
}

bool OnIsland(double lon, double lat) {
    for (const auto& b : kIslands)
        if (lon > b[0] && lon < b[1] && lat > b[2] && lat < b[3]) return true;
    return false;
}

}  // namespace

const std::vector<SpainPoint>& SpainPoints() {
    static const std::vector<SpainPoint> points = [] {
        std::mt19937_64 random(13);
        std::uniform_real_distribution<double> lon(-9.3, 4.4), lat(35.9, 43.8), h(0, 3000);
        std::vector<SpainPoint> v;
        v.reserve(kSpainPoints);
        while (v.size() < kSpainPoints) {
            const double x = lon(random), y = lat(random);
            if (InOutline(x, y) || OnIsland(x, y)) v.push_back({y, x, h(random)});
        }
        return v;
    }();
    return points;
}

}  // namespace bench
