#include "geo/Places.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace geo {
namespace {

// The box the cells cover: the map's.
constexpr double kWest = -10.5, kSouth = 34.8, kEast = 5.5, kNorth = 44.6;
constexpr double kCell = 0.02;  // degrees
constexpr int kCols = static_cast<int>((kEast - kWest) / kCell + 0.5);
constexpr int kRows = static_cast<int>((kNorth - kSouth) / kCell + 0.5);
constexpr double kKmPerDegree = 111.195;  // of latitude, on the mean sphere

double CellLat(int row) { return kSouth + (row + 0.5) * kCell; }
double CellLon(int col) { return kWest + (col + 0.5) * kCell; }

// Fills with `code` the cells whose centre is inside the rings (even-odd rule across
// them, so that a ring inside another is a hole).
void Fill(std::vector<std::uint8_t>& cells, const std::vector<const MapArea*>& rings, std::uint8_t code) {
    std::vector<double> crossings;
    for (int row = 0; row < kRows; ++row) {
        const double lat = CellLat(row);
        crossings.clear();
        for (const MapArea* ring : rings) {
            const std::vector<LatLon>& p = ring->points;
            for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
                if ((p[i].lat > lat) == (p[j].lat > lat)) continue;
                crossings.push_back(p[j].lon + (lat - p[j].lat) / (p[i].lat - p[j].lat) * (p[i].lon - p[j].lon));
            }
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
            const int from = std::max(0, static_cast<int>(std::ceil((crossings[k] - kWest) / kCell - 0.5)));
            const int to = std::min(kCols - 1, static_cast<int>(std::floor((crossings[k + 1] - kWest) / kCell - 0.5)));
            for (int col = from; col <= to; ++col) cells[static_cast<std::size_t>(row) * kCols + col] = code;
        }
    }
}

}  // namespace

PlaceMap::PlaceMap(const std::vector<MapArea>& areas, std::vector<MapLine> lines) {
    if (areas.empty()) return;
    cells_.assign(static_cast<std::size_t>(kRows) * kCols, kSea);
    std::vector<const MapArea*> spain;
    for (const MapArea& a : areas) {
        if (a.country == "ES") {
            spain.push_back(&a);
            spain_.push_back(a);
            continue;
        }
        auto code = std::find(countries_.begin(), countries_.end(), a.country);
        if (code == countries_.end()) {
            code = countries_.insert(countries_.end(), a.country);
            others_.emplace_back();
        }
        others_[static_cast<std::size_t>(code - countries_.begin())].push_back(a);
    }
    for (std::size_t k = 0; k < countries_.size(); ++k) {
        std::vector<const MapArea*> rings;
        for (const MapArea& a : areas)
            if (a.country == countries_[k]) rings.push_back(&a);
        Fill(cells_, rings, static_cast<std::uint8_t>(kFirstCountry + k));
    }
    Fill(cells_, spain, kSpain);
    // The territorial sea: the sea cells within 12 nautical miles of a cell of Spain's
    // coast (one with sea beside it, or one a point of its outline is in: an islet
    // smaller than a cell).
    const auto at = [&](int row, int col) -> std::uint8_t& { return cells_[static_cast<std::size_t>(row) * kCols + col]; };
    std::vector<bool> outline(cells_.size(), false);
    for (const MapArea& a : areas) {
        for (const LatLon& p : a.points) {
            int row = 0, col = 0;
            if (CellOf(p.lat, p.lon, row, col)) outline[static_cast<std::size_t>(row) * kCols + col] = true;
        }
    }
    std::vector<bool> spanishOutline(cells_.size(), false);
    for (const MapArea& a : spain_) {
        for (const LatLon& p : a.points) {
            int row = 0, col = 0;
            if (CellOf(p.lat, p.lon, row, col)) spanishOutline[static_cast<std::size_t>(row) * kCols + col] = true;
        }
    }
    const int rowsAround = static_cast<int>(std::ceil(kTerritorialSeaKm / (kCell * kKmPerDegree)));
    for (int row = 0; row < kRows; ++row) {
        for (int col = 0; col < kCols; ++col) {
            bool coast = spanishOutline[static_cast<std::size_t>(row) * kCols + col];
            if (at(row, col) != kSpain && !coast) continue;
            for (int dr = -1; dr <= 1 && !coast; ++dr)
                for (int dc = -1; dc <= 1 && !coast; ++dc) {
                    const int r = row + dr, c = col + dc;
                    coast = r >= 0 && r < kRows && c >= 0 && c < kCols && at(r, c) == kSea;
                }
            if (!coast) continue;
            const double kmPerCol = kCell * kKmPerDegree * std::cos(CellLat(row) * M_PI / 180);
            const int colsAround = static_cast<int>(std::ceil(kTerritorialSeaKm / kmPerCol));
            for (int r = std::max(0, row - rowsAround); r <= std::min(kRows - 1, row + rowsAround); ++r) {
                for (int c = std::max(0, col - colsAround); c <= std::min(kCols - 1, col + colsAround); ++c) {
                    const double dy = (r - row) * kCell * kKmPerDegree, dx = (c - col) * kmPerCol;
                    if (at(r, c) == kSea && dx * dx + dy * dy <= kTerritorialSeaKm * kTerritorialSeaKm) at(r, c) = kSpanishSea;
                }
            }
        }
    }
    // A cell an outline goes through holds more than one place: its points are told by
    // the outlines themselves.
    for (std::size_t i = 0; i < cells_.size(); ++i)
        if (outline[i]) cells_[i] = kOutline;
    for (MapLine& line : lines)
        if (!line.border) coasts_.push_back(std::move(line));
}

bool PlaceMap::CellOf(double lat, double lon, int& row, int& col) const {
    if (Empty() || !(lat >= kSouth && lat < kNorth && lon >= kWest && lon < kEast)) return false;
    row = std::min(kRows - 1, static_cast<int>((lat - kSouth) / kCell));
    col = std::min(kCols - 1, static_cast<int>((lon - kWest) / kCell));
    return true;
}

std::uint8_t PlaceMap::Around(int row, int col) const {
    std::uint8_t code = 255;
    for (int r = std::max(0, row - 1); r <= std::min(kRows - 1, row + 1); ++r)
        for (int c = std::max(0, col - 1); c <= std::min(kCols - 1, col + 1); ++c) {
            std::uint8_t cell = cells_[static_cast<std::size_t>(r) * kCols + c];
            if (cell == kSpanishSea) cell = kSpain;  // one place, Spain's
            if (code != 255 && cell != code) return 255;
            code = cell;
        }
    return code;
}

namespace {

// Whether the point is inside the rings (even-odd across them).
bool Inside(double lat, double lon, const std::vector<MapArea>& rings) {
    bool inside = false;
    for (const MapArea& ring : rings) {
        const std::vector<LatLon>& p = ring.points;
        for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++)
            if ((p[i].lat > lat) != (p[j].lat > lat) &&
                lon < p[j].lon + (lat - p[j].lat) / (p[i].lat - p[j].lat) * (p[i].lon - p[j].lon))
                inside = !inside;
    }
    return inside;
}

// The distance (km) from the origin to the segment a-b, on a plane tangent at the origin.
double KmToSegment(double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay, length2 = dx * dx + dy * dy;
    const double t = length2 > 0 ? std::clamp(-(ax * dx + ay * dy) / length2, 0.0, 1.0) : 0;
    return std::hypot(ax + t * dx, ay + t * dy);
}

}  // namespace

double PlaceMap::KmToRings(double lat, double lon, const std::vector<MapArea>& rings) {
    const double kx = kKmPerDegree * std::cos(lat * M_PI / 180), ky = kKmPerDegree;
    double nearest = std::numeric_limits<double>::infinity();
    for (const MapArea& ring : rings) {
        const std::vector<LatLon>& p = ring.points;
        for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++)
            nearest = std::min(nearest, KmToSegment((p[j].lon - lon) * kx, (p[j].lat - lat) * ky,
                                                    (p[i].lon - lon) * kx, (p[i].lat - lat) * ky));
    }
    return nearest;
}

std::uint8_t PlaceMap::Exact(double lat, double lon) const {
    if (Inside(lat, lon, spain_)) return kSpain;
    const double toSpain = KmToRings(lat, lon, spain_);
    if (toSpain <= kOutlineMarginKm) return kSpain;
    for (std::size_t k = 0; k < others_.size(); ++k)
        if (Inside(lat, lon, others_[k])) return static_cast<std::uint8_t>(kFirstCountry + k);
    return toSpain <= kTerritorialSeaKm + kOutlineMarginKm ? kSpain : kSea;
}

Place PlaceMap::Of(double lat, double lon) const {
    int row = 0, col = 0;
    if (!CellOf(lat, lon, row, col)) return {};
    std::uint8_t code = Around(row, col);
    if (code == 255) code = Exact(lat, lon);
    if (code == kSpain) return {Place::Kind::Spain, "ES"};
    if (code >= kFirstCountry) return {Place::Kind::Country, countries_[code - kFirstCountry]};
    return {Place::Kind::Sea, ""};
}

bool PlaceMap::OnSpanishLand(double lat, double lon) const {
    int row = 0, col = 0;
    if (!CellOf(lat, lon, row, col)) return false;
    const std::uint8_t cell = cells_[static_cast<std::size_t>(row) * kCols + col];
    return cell == kSpain || Inside(lat, lon, spain_) || KmToRings(lat, lon, spain_) <= kOutlineMarginKm;
}

double PlaceMap::KmToCoast(double lat, double lon) const {
    // On a plane tangent at the point: enough for a distance of kilometres.
    const double kx = kKmPerDegree * std::cos(lat * M_PI / 180), ky = kKmPerDegree;
    double nearest = std::numeric_limits<double>::infinity();
    for (const MapLine& line : coasts_) {
        for (std::size_t i = 1; i < line.points.size(); ++i)
            nearest = std::min(nearest, KmToSegment((line.points[i - 1].lon - lon) * kx, (line.points[i - 1].lat - lat) * ky,
                                                    (line.points[i].lon - lon) * kx, (line.points[i].lat - lat) * ky));
    }
    return nearest;
}

}  // namespace geo
