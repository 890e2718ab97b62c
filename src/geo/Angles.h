// Angle units and sexagesimal values: degrees <-> radians with the system's pi, and
// degrees-minutes-seconds <-> signed decimal degrees.
#pragma once

#include <cstdint>
#include <string>

#include "geo/Checked.h"

namespace geo {

// pi as the system uses it everywhere (fourteen decimals, not the double closest to pi).
inline constexpr double kPi = 3.14159265358979;

// x (degrees) * pi / 180 in radians, multiplication first; overflow error when the
// product is not finite. Inline: every conversion takes several.
inline double DegToRad(double x) { return detail::Finite(x * kPi) / 180; }

// x (radians) * 180 / pi in degrees, multiplication first; overflow error as above.
inline double RadToDeg(double x) { return detail::Finite(x * 180) / kPi; }

double Sec(double x);  // secant of x (radians); division error when cos x is 0

// Signed decimal degrees of deg degrees, min minutes and sec seconds:
// ((sec / 60) + min) / 60 + deg, negated when `negative`. No range check.
inline double DMSToDeg(std::int16_t deg, std::int16_t min, double sec, bool negative) {
    const double v = ((sec / 60) + min) / 60 + deg;
    return negative ? -v : v;
}

// The sexagesimal parts of a value in decimal degrees. deg and min are never
// negative (only `text` carries the sign); sec keeps the unrounded seconds (0 after
// a carry: seconds that round to 60 at four decimals go into the minute). `text` reads
// like 40º 30' 00,00'' or -03º 42' 09,18''.
struct DMS {
    std::int16_t deg = 0;
    std::int16_t min = 0;
    double sec = 0;
    std::string text;
};

// Throws the overflow error when the whole degrees do not fit 16 bits.
DMS DegToDMS(double value);
// The same parts without `text`, for callers that write their own.
DMS DegToDMSParts(double value);

}  // namespace geo
