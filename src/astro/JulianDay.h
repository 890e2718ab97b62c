// Julian Day and Julian centuries: the time scale of the solar ephemeris.
#pragma once

namespace astro {

// Julian Day (days) of a calendar date. Year and Month are rounded to whole numbers
// (halves to even; Month to 16 bits, Year to 32 bits); Day may carry a fraction of a
// day, 0 being 0h UT. Dates from 15 October 1582 on are Gregorian, earlier ones
// Julian. Throws the overflow error when Year or Month do not fit their integer
// sizes, or when a non-finite value reaches the result.
double JulianDay(double Year, double Month, double Day);

// Julian centuries of 36525 days since JD 2451545.0 (2000 January 1.5).
double JulianCentury(double JD);

// Julian Day (days) of T Julian centuries since 2000 January 1.5; inverse of
// JulianCentury up to rounding.
double JulianCenturyToJD(double T);

}  // namespace astro
