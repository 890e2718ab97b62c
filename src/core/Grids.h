// The IGN grids of the conversion tabs, each opened the first time it is needed and
// kept for the rest of the program: the shift grids of "Rejilla IGN", the geoid of
// the altitudes above sea level, and the map's outlines that tell where a point lies. Not for concurrent use (see geo/IgnGrid.h).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "geo/IgnGrid.h"
#include "geo/Places.h"

namespace core {

// The folder, inside the user's data folder, where a user puts the 2009 grids
// (PENR2009.gsb, BALR2009.gsb): userDataFolder + "/grids"; "" when userDataFolder is "".
std::string UserGridFolder(std::string_view userDataFolder);

class Grids {
  public:
    // dataFolder: the program's data folder (es_ign_SPED2ETV2.tif, es_ign_egm08-rednap.tif);
    // userGridFolder: the user's grid folder. "" for a folder there is none of.
    Grids(std::string dataFolder, std::string userGridFolder);

    const geo::IgnShiftGrids& Shift();
    const geo::IgnGeoid& Geoid();
    // The places of the map's data file (geo::kMapFile), read at the first call; it knows
    // no place without the file.
    const geo::PlaceMap& Places();
    // Takes the places of `other`, read there if they were not yet: they are only read
    // once made, so that the grids of several threads can share them.
    void SharePlaces(Grids& other);

    const std::string& DataFolder() const { return dataFolder_; }
    const std::string& UserFolder() const { return userGridFolder_; }

  private:
    std::string dataFolder_;
    std::string userGridFolder_;
    std::unique_ptr<geo::IgnShiftGrids> shift_;
    std::unique_ptr<geo::IgnGeoid> geoid_;
    std::shared_ptr<const geo::PlaceMap> places_;
};

}  // namespace core
