#include "geo/MapLines.h"

#include <charconv>

namespace geo {
namespace {

// The next whole number of `text` from `at`, blanks before it passed over.
bool Next(std::string_view text, std::size_t& at, long& value) {
    while (at < text.size() && text[at] == ' ') ++at;
    const char* end = text.data() + text.size();
    const auto [next, error] = std::from_chars(text.data() + at, end, value);
    if (error != std::errc()) return false;
    at = static_cast<std::size_t>(next - text.data());
    return true;
}

// The points of a line or a ring from `at`: their number, the first whole, the steps.
bool ReadPoints(std::string_view line, std::size_t at, std::size_t least, std::vector<LatLon>& points) {
    long count = 0, x = 0, y = 0, dx = 0, dy = 0;
    if (!Next(line, at, count) || count < static_cast<long>(least) || !Next(line, at, x) || !Next(line, at, y))
        return false;
    points.push_back({y / 1e4, x / 1e4});
    for (long i = 1; i < count; ++i) {
        if (!Next(line, at, dx) || !Next(line, at, dy)) return false;
        x += dx;
        y += dy;
        points.push_back({y / 1e4, x / 1e4});
    }
    return true;
}

// Calls `read` with each line of the text.
template <class Read>
void EachLine(std::string_view text, Read read) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        read(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
}

}  // namespace

namespace {

// The rings of the lines that start with `kind`: the country's code, then the points.
std::vector<MapArea> ReadRings(std::string_view text, char kind) {
    std::vector<MapArea> areas;
    EachLine(text, [&](std::string_view line) {
        const std::size_t code = line.find(' ', 2);
        if (line.size() < 2 || line[0] != kind || line[1] != ' ' || code == std::string_view::npos) return;
        MapArea a;
        a.country = std::string(line.substr(2, code - 2));
        if (ReadPoints(line, code, 3, a.points)) areas.push_back(std::move(a));
    });
    return areas;
}

}  // namespace

std::vector<MapArea> ReadMapAreas(std::string_view text) { return ReadRings(text, 'P'); }

std::vector<MapArea> ReadMapWaters(std::string_view text) { return ReadRings(text, 'M'); }

std::vector<MapLine> ReadMapLines(std::string_view text) {
    std::vector<MapLine> lines;
    EachLine(text, [&](std::string_view line) {
        if (line.size() < 2 || (line[0] != 'C' && line[0] != 'B') || line[1] != ' ') return;
        MapLine m;
        m.border = line[0] == 'B';
        if (ReadPoints(line, 2, 2, m.points)) lines.push_back(std::move(m));
    });
    return lines;
}

}  // namespace geo
