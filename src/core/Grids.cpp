#include "core/Grids.h"

#include <fstream>
#include <sstream>
#include <utility>

namespace core {

std::string UserGridFolder(std::string_view userDataFolder) {
    if (userDataFolder.empty()) return "";
    return std::string(userDataFolder) + "/grids";
}

Grids::Grids(std::string dataFolder, std::string userGridFolder)
    : dataFolder_(std::move(dataFolder)), userGridFolder_(std::move(userGridFolder)) {}

const geo::IgnShiftGrids& Grids::Shift() {
    if (!shift_) shift_ = std::make_unique<geo::IgnShiftGrids>(dataFolder_, userGridFolder_);
    return *shift_;
}

const geo::IgnGeoid& Grids::Geoid() {
    if (!geoid_) geoid_ = std::make_unique<geo::IgnGeoid>(dataFolder_);
    return *geoid_;
}

const geo::PlaceMap& Grids::Places() {
    if (!places_) {
        std::ifstream file(dataFolder_ + "/" + std::string(geo::kMapFile), std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        places_ = std::make_shared<const geo::PlaceMap>(geo::ReadMapAreas(text.str()), geo::ReadMapLines(text.str()),
                                                        geo::ReadMapWaters(text.str()));
    }
    return *places_;
}

void Grids::SharePlaces(Grids& other) {
    other.Places();
    places_ = other.places_;
}

}  // namespace core
