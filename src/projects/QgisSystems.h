// The systems Talpor writes (ED50, ETRS89 and WGS84, in degrees and in UTM 29 to 31), as
// QGIS writes each in a project's <spatialrefsys>: the fields in QGIS's order.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace projects {

struct QgisSystem {
    int epsg = 0;
    std::vector<std::pair<std::string, std::string>> fields;  // element name, text
};

// Every such system, in no order that matters.
const std::vector<QgisSystem>& QgisSystems();

}  // namespace projects
