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

PlaceMap::PlaceMap(const std::vector<MapArea>& areas, const std::vector<MapLine>& lines,
                   const std::vector<MapArea>& waters)
    : rings_(areas) {
    if (areas.empty()) return;
    cells_.assign(static_cast<std::size_t>(kRows) * kCols, kSea);
    std::vector<const MapArea*> spain, sea;
    const auto addRing = [](Sides& sides, const std::vector<LatLon>& p) {
        for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) sides.Add(p[j], p[i]);
    };
    for (const MapArea& a : areas) {
        if (a.country == "ES") {
            spain.push_back(&a);
            addRing(spain_, a.points);
            continue;
        }
        auto code = std::find(countries_.begin(), countries_.end(), a.country);
        if (code == countries_.end()) {
            code = countries_.insert(countries_.end(), a.country);
            others_.emplace_back();
        }
        addRing(others_[static_cast<std::size_t>(code - countries_.begin())], a.points);
    }
    // Spain's territorial sea, as the data gives it (its land and the sea around): drawn
    // first, so that the land of every country covers it.
    for (const MapArea& a : waters) {
        if (a.country != "ES") continue;
        sea.push_back(&a);
        addRing(spanishSea_, a.points);
    }
    Fill(cells_, sea, kSpanishSea);
    for (std::size_t k = 0; k < countries_.size(); ++k) {
        std::vector<const MapArea*> rings;
        for (const MapArea& a : areas)
            if (a.country == countries_[k]) rings.push_back(&a);
        const bool coded = k < kOutline - kFirstCountry;
        Fill(cells_, rings, static_cast<std::uint8_t>(coded ? kFirstCountry + k : std::size_t{kOutline}));
    }
    Fill(cells_, spain, kSpain);
    // A cell an outline goes through holds more than one place: its points are told by
    // the outlines themselves. A side is followed in steps of under half a cell, so that
    // no cell it crosses between two points far apart is missed.
    const auto mark = [&](double lat, double lon) {
        int row = 0, col = 0;
        if (CellOf(lat, lon, row, col)) cells_[static_cast<std::size_t>(row) * kCols + col] = kOutline;
    };
    for (const std::vector<MapArea>* rings : {&areas, &waters})
        for (const MapArea& a : *rings)
            for (std::size_t i = 0, j = a.points.size() - 1; i < a.points.size(); j = i++) {
                const LatLon& p = a.points[j];
                const LatLon& q = a.points[i];
                const int steps = 1 + static_cast<int>(std::max(std::abs(q.lat - p.lat), std::abs(q.lon - p.lon)) / (kCell / 3));
                for (int k = 0; k <= steps; ++k)
                    mark(p.lat + (q.lat - p.lat) * k / steps, p.lon + (q.lon - p.lon) * k / steps);
            }
    for (const MapLine& line : lines)
        for (std::size_t i = 1; i < line.points.size(); ++i)
            (line.border ? borders_ : coasts_).Add(line.points[i - 1], line.points[i]);
}

bool PlaceMap::CellOf(double lat, double lon, int& row, int& col) const {
    if (Empty() || !(lat >= kSouth && lat < kNorth && lon >= kWest && lon < kEast)) return false;
    row = std::min(kRows - 1, static_cast<int>((lat - kSouth) / kCell));
    col = std::min(kCols - 1, static_cast<int>((lon - kWest) / kCell));
    return true;
}

std::uint8_t PlaceMap::Around(int row, int col) const {
    std::uint8_t code = kMixed;
    for (int r = std::max(0, row - 1); r <= std::min(kRows - 1, row + 1); ++r)
        for (int c = std::max(0, col - 1); c <= std::min(kCols - 1, col + 1); ++c) {
            std::uint8_t cell = cells_[static_cast<std::size_t>(r) * kCols + c];
            if (cell == kSpanishSea) cell = kSpain;  // one place, Spain's
            // An outline's cell holds more than one place, even when all nine are such.
            if (cell == kOutline || (code != kMixed && cell != code)) return kMixed;
            code = cell;
        }
    return code;
}

namespace {

// The distance (km) from the origin to the segment a-b, on a plane tangent at the origin.
double KmToSegment(double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay, length2 = dx * dx + dy * dy;
    const double t = length2 > 0 ? std::clamp(-(ax * dx + ay * dy) / length2, 0.0, 1.0) : 0;
    return std::hypot(ax + t * dx, ay + t * dy);
}

// The squares the sides are found by for distances.
constexpr double kBucket = 0.2;  // degrees
constexpr int kBucketRows = static_cast<int>((kNorth - kSouth) / kBucket + 0.5);
constexpr int kBucketCols = static_cast<int>((kEast - kWest) / kBucket + 0.5);

int Clamped(double v, int count) { return std::clamp(static_cast<int>(std::floor(v)), 0, count - 1); }

}  // namespace

void PlaceMap::Sides::Add(const LatLon& a, const LatLon& b) {
    if (byRow_.empty()) {
        byRow_.resize(kRows);
        byBucket_.resize(static_cast<std::size_t>(kBucketRows) * kBucketCols);
    }
    const Side side{a, b};
    const auto [south, north] = std::minmax(a.lat, b.lat);
    const auto [west, east] = std::minmax(a.lon, b.lon);
    for (int row = Clamped((south - kSouth) / kCell, kRows); row <= Clamped((north - kSouth) / kCell, kRows); ++row)
        byRow_[row].push_back(side);
    for (int r = Clamped((south - kSouth) / kBucket, kBucketRows); r <= Clamped((north - kSouth) / kBucket, kBucketRows); ++r)
        for (int c = Clamped((west - kWest) / kBucket, kBucketCols); c <= Clamped((east - kWest) / kBucket, kBucketCols); ++c)
            byBucket_[static_cast<std::size_t>(r) * kBucketCols + c].push_back(side);
}

bool PlaceMap::Sides::Inside(double lat, double lon) const {
    if (byRow_.empty()) return false;
    bool inside = false;
    for (const Side& s : byRow_[Clamped((lat - kSouth) / kCell, kRows)])
        if ((s.a.lat > lat) != (s.b.lat > lat) &&
            lon < s.a.lon + (lat - s.a.lat) / (s.b.lat - s.a.lat) * (s.b.lon - s.a.lon))
            inside = !inside;
    return inside;
}

double PlaceMap::Sides::Km(double lat, double lon, double limitKm) const {
    double nearest = std::numeric_limits<double>::infinity();
    if (byBucket_.empty()) return nearest;
    const double kx = kKmPerDegree * std::cos(lat * M_PI / 180), ky = kKmPerDegree;
    const int row = Clamped((lat - kSouth) / kBucket, kBucketRows), col = Clamped((lon - kWest) / kBucket, kBucketCols);
    // Ring by ring of squares around the point's: a side beyond ring r is at least r
    // squares' width away.
    const double ringKm = kBucket * std::min(kx, ky);
    // A square farther than the nearest side found, or than the limit, holds no nearer
    // one: the nearest point of a side lies in a square the side is listed in. So is a side
    // whose squared distance shows it farther, whose exact distance is then not taken.
    const auto beyond = [&](double km) { return km > std::min(nearest, limitKm) * (1 + 1e-9) + 1e-12; };
    for (int ring = 0; ring < std::max(kBucketRows, kBucketCols); ++ring) {
        for (int r = row - ring; r <= row + ring; ++r) {
            for (int c = col - ring; c <= col + ring; ++c) {
                if (r < 0 || r >= kBucketRows || c < 0 || c >= kBucketCols) continue;
                if (std::max(std::abs(r - row), std::abs(c - col)) != ring) continue;
                if (ring > 0) {
                    const double south = kSouth + r * kBucket, west = kWest + c * kBucket;
                    const double dy = std::max({0.0, south - lat, lat - (south + kBucket)}) * ky;
                    const double dx = std::max({0.0, west - lon, lon - (west + kBucket)}) * kx;
                    if (beyond(std::sqrt(dx * dx + dy * dy))) continue;
                }
                for (const Side& s : byBucket_[static_cast<std::size_t>(r) * kBucketCols + c]) {
                    const double ax = (s.a.lon - lon) * kx, ay = (s.a.lat - lat) * ky;
                    const double bx = (s.b.lon - lon) * kx, by = (s.b.lat - lat) * ky;
                    if (nearest < std::numeric_limits<double>::infinity()) {
                        // No nearer than the nearer end's distance along both axes' least.
                        const double dx = std::min(std::fabs(ax), std::fabs(bx)) * ((ax > 0) == (bx > 0));
                        const double dy = std::min(std::fabs(ay), std::fabs(by)) * ((ay > 0) == (by > 0));
                        if (dx * dx + dy * dy > nearest * nearest * (1 + 1e-9)) continue;
                    }
                    nearest = std::min(nearest, KmToSegment(ax, ay, bx, by));
                }
            }
        }
        if (nearest <= ring * ringKm || limitKm < ring * ringKm) break;
    }
    return nearest;
}

std::size_t PlaceMap::Exact(double lat, double lon) const {
    if (spain_.Inside(lat, lon) || spain_.Km(lat, lon, kOutlineMarginKm) <= kOutlineMarginKm) return kSpain;
    for (std::size_t k = 0; k < others_.size(); ++k)
        if (others_[k].Inside(lat, lon)) return kFirstCountry + k;
    const bool spanishSea =
        spanishSea_.Inside(lat, lon) || spanishSea_.Km(lat, lon, kOutlineMarginKm) <= kOutlineMarginKm;
    return spanishSea ? kSpain : kSea;
}

Place PlaceMap::Of(double lat, double lon) const {
    int row = 0, col = 0;
    if (!CellOf(lat, lon, row, col)) return {};
    const std::uint8_t cells = Around(row, col);
    const std::size_t code = cells == kMixed ? Exact(lat, lon) : cells;
    if (code == kSpain) return {Place::Kind::Spain, "ES"};
    // A country's code names one of countries_, whatever code the cells hold.
    if (code >= kFirstCountry && code - kFirstCountry < countries_.size())
        return {Place::Kind::Country, countries_[code - kFirstCountry]};
    return {Place::Kind::Sea, ""};
}

bool PlaceMap::OnSpanishLand(double lat, double lon) const {
    int row = 0, col = 0;
    if (!CellOf(lat, lon, row, col)) return false;
    const std::uint8_t cell = cells_[static_cast<std::size_t>(row) * kCols + col];
    return cell == kSpain || spain_.Inside(lat, lon) || spain_.Km(lat, lon, kOutlineMarginKm) <= kOutlineMarginKm;
}

double PlaceMap::KmToCoast(double lat, double lon) const {
    return coasts_.Km(lat, lon, std::numeric_limits<double>::infinity());
}

double PlaceMap::KmToBorder(double lat, double lon, double limitKm) const { return borders_.Km(lat, lon, limitKm); }

std::string PlaceMap::LandAt(double lat, double lon) const {
    int row = 0, col = 0;
    if (!CellOf(lat, lon, row, col)) return "";
    if (spain_.Inside(lat, lon)) return "ES";
    for (std::size_t k = 0; k < others_.size(); ++k)
        if (others_[k].Inside(lat, lon)) return countries_[k];
    return "";
}

int PlaceMap::RingAt(double lat, double lon, const std::string& country) const {
    int found = -1;
    double smallest = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < rings_.size(); ++k) {
        const std::vector<LatLon>& p = rings_[k].points;
        if (rings_[k].country != country) continue;
        bool inside = false;
        double south = lat, north = lat, west = lon, east = lon;
        for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
            if ((p[i].lat > lat) != (p[j].lat > lat) &&
                lon < p[j].lon + (lat - p[j].lat) / (p[i].lat - p[j].lat) * (p[i].lon - p[j].lon))
                inside = !inside;
            south = std::min(south, p[i].lat), north = std::max(north, p[i].lat);
            west = std::min(west, p[i].lon), east = std::max(east, p[i].lon);
        }
        const double size = (north - south) * (east - west);
        if (inside && size < smallest) found = static_cast<int>(k), smallest = size;
    }
    return found;
}

}  // namespace geo
