// The IGN shift grid for coordinates written as numbers (a layer's vertices, a million
// at a time), not as captions: PROJ's bilinear interpolation of the grid's nodes, and its
// iteration for the inverse, evaluated in the program on the nodes' shifts as PROJ gives
// them (IgnShiftGrids::Sampled). A point through PROJ costs some 200 ns, more than all the
// rest of a vertex's work; through this, a few tens. Where PROJ's answer could be another
// one's (a point near a subgrid's edge, a cell with a node PROJ answers from another
// subgrid, an inverse that does not settle) there is no answer, and the caller asks PROJ.
#pragma once

#include <vector>

#include "geo/Utm.h"

namespace geo::fast {

// One subgrid of a shift grid: `columns` × `rows` nodes, the first at (south, west), the
// others `stepLon` and `stepLat` degrees apart; the nodes' shifts (ETRS89 minus ED50) in
// radians, in single precision as PROJ holds them, row by row from the south, NaN where
// PROJ gives none or gives another subgrid's.
struct Subgrid {
    double west = 0, south = 0, stepLon = 0, stepLat = 0;
    int columns = 0, rows = 0;
    std::vector<float> dlat, dlon;

    double East() const { return west + (columns - 1) * stepLon; }
    double North() const { return south + (rows - 1) * stepLat; }
};

class ShiftGrid {
  public:
    // Points this close to a subgrid's edge (degrees, about a kilometre: more than any
    // shift) are left to PROJ, which tells which subgrid they belong to.
    static constexpr double kEdge = 0.01;

    // The subgrids in the order PROJ tries them: a point is the first's that holds it.
    explicit ShiftGrid(std::vector<Subgrid> subgrids) : subgrids_(std::move(subgrids)) {}

    // p (ED50) to ETRS89, in place. False, with p untouched, where there is no answer.
    bool ToETRS89(LatLon& p) const;
    // p (ETRS89) to ED50, in place, by PROJ's iteration. False, p untouched, where none.
    bool ToED50(LatLon& p) const;

    const std::vector<Subgrid>& Subgrids() const { return subgrids_; }

  private:
    const Subgrid* At(const LatLon& p) const;

    std::vector<Subgrid> subgrids_;
};

}  // namespace geo::fast
