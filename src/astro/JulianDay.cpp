// Julian Day by the usual Gregorian/Julian calendar algorithm (Meeus, Astronomical
// Algorithms, ch. 7), with the month and year held in 16- and 32-bit integers.
#include "astro/JulianDay.h"

#include <cstdint>

#include "num/Number.h"
#include "num/RuntimeError.h"

namespace astro {

namespace {

// First Gregorian day, written as Year + Month/100 + Day/10000.
constexpr double kGregorianStart = 1582.1015;
constexpr double kDaysPerCentury = 36525.0;
constexpr double kJ2000 = 2451545.0;

std::int16_t AddInt16(std::int16_t a, int b) {
    int r = a + b;
    if (r < INT16_MIN || r > INT16_MAX) throw num::Overflow("JulianDay: mes");
    return static_cast<std::int16_t>(r);
}

std::int32_t AddInt32(std::int32_t a, std::int32_t b) {
    std::int32_t r = 0;
    if (__builtin_add_overflow(a, b, &r)) throw num::Overflow("JulianDay: año");
    return r;
}

}  // namespace

double JulianDay(double Year, double Month, double Day) {
    std::int16_t mo = num::CInt(Month);
    std::int32_t yr = num::CLng(Year);
    if (Month < 3) {
        yr = AddInt32(yr, -1);
        mo = AddInt16(mo, 12);
    }
    // The calendar is decided on the date as given, the century terms on the
    // adjusted year.
    double b = 0;
    if (Year + Month / 100 + Day / 10000 >= kGregorianStart) {
        double a = num::Int(yr / 100.0);
        b = 2 - a + num::Int(a / 4);
    }
    double jd = num::Int(365.25 * AddInt32(yr, 4716)) + num::Int(30.6001 * AddInt16(mo, 1)) + Day +
                b - 1524.5;
    return num::Finite(jd, "JulianDay");
}

double JulianCentury(double JD) { return num::Finite((JD - kJ2000) / kDaysPerCentury, "JulianCentury"); }

double JulianCenturyToJD(double T) { return num::Finite(T * kDaysPerCentury + kJ2000, "JulianCenturyToJD"); }

}  // namespace astro
