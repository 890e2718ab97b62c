// The points every geodetic benchmark runs over: 1,000,000 points drawn with a fixed
// seed, uniformly over peninsular Spain (a 30-vertex outline of its coast and its
// borders with France and Portugal) and the boxes of Mallorca, Menorca and Ibiza, with
// ellipsoidal heights of 0 to 3000 m. Varied points keep the data-dependent branches
// of the formulas (powers that fall back to the power function) as unpredictable as
// real input makes them; one point repeated would train the branch predictor.
#pragma once

#include <cstddef>
#include <vector>

namespace bench {

struct SpainPoint {
    double lat, lon, h;  // decimal degrees on WGS84, metres
};

inline constexpr std::size_t kSpainPoints = 1000000;

// The set, made on the first call (about 0.1 s).
const std::vector<SpainPoint>& SpainPoints();

}  // namespace bench
