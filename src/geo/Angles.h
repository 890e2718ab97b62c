// Angle units and sexagesimal values: degrees <-> radians with the system's pi, and
// degrees-minutes-seconds <-> signed decimal degrees.
#pragma once

#include <cstdint>
#include <string>

namespace mGeo {

// pi as the system uses it everywhere (fourteen decimals, not the double closest to pi).
inline constexpr double kPi = 3.14159265358979;

double DegToRad(double x);  // x (degrees) * pi / 180, multiplication first
double RadToDeg(double x);  // x (radians) * 180 / pi, multiplication first
double Sec(double x);       // secant of x (radians); division error when cos x is 0

// Signed decimal degrees of deg degrees, min minutes and sec seconds:
// ((sec / 60) + min) / 60 + deg, negated when `negative`. No range check.
double DMSToDeg(std::int16_t deg, std::int16_t min, double sec, bool negative);

// The sexagesimal parts of a value in decimal degrees. deg and min are never
// negative (only `text` carries the sign); sec keeps the unrounded seconds (0 after
// a carry). `text` reads like 40º 30' 00,00'' or -03º 42' 09,18''.
struct DMS {
    std::int16_t deg = 0;
    std::int16_t min = 0;
    double sec = 0;
    std::string text;
};

// Throws the overflow error when the whole degrees do not fit 16 bits.
DMS DegToDMS(double value);

}  // namespace mGeo
