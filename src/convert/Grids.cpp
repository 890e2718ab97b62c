#include "convert/Grids.h"

#include <utility>

namespace convert {

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

}  // namespace convert
