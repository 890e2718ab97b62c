// Clock time of a fraction of a day.
#pragma once

namespace astro {

// Hours, minutes and seconds of a fraction of a day. H and M are whole numbers
// (floored, held in doubles); S keeps its fraction. A fraction outside 0..1 gives an
// hour outside 0..23 (e.g. 1.25 gives 30 h), a negative one a negative hour.
struct HMS {
    double H = 0;
    double M = 0;
    double S = 0;
};

// Throws the overflow error for a non-finite fraction.
HMS DayFractionToHMS(double x);

}  // namespace astro
