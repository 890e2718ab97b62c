// The coasts and borders of the map of the conversion tabs, as the data file holds them
// (data/mapa-iberia.txt, made by scripts/mapdata.py from OpenStreetMap's countries).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "geo/Utm.h"

namespace geo {

// The file of the map's lines, in the program's data folder.
inline constexpr std::string_view kMapFile = "mapa-iberia.txt";

struct MapLine {
    bool border = false;          // a border between countries; a coast otherwise
    std::vector<LatLon> points;   // decimal degrees
};

// Reads the lines of the file's text: one a line, "C" or "B", the number of points, the
// first point (longitude, latitude) in ten-thousandths of a degree and each next one as
// the step from the one before; "#" starts a comment. A line that does not read so is
// left out, and so is the rest of a text that ends in the middle of one.
std::vector<MapLine> ReadMapLines(std::string_view text);

// One ring of a country's outline, cut to the map's box and closed on its first point.
struct MapArea {
    std::string country;         // ISO 3166 code: "ES", "PT", "FR", "AD", "MA", "DZ", "GI"
    std::vector<LatLon> points;  // decimal degrees
};

// Reads the rings of the file's text, the lines that start with "P", the country's code
// and then as the lines; others are left out.
std::vector<MapArea> ReadMapAreas(std::string_view text);

// Reads the rings of a country's land and territorial sea, the lines that start with "M",
// as the areas.
std::vector<MapArea> ReadMapWaters(std::string_view text);

}  // namespace geo
