#include "astro/JulianDay.h"

#include <gtest/gtest.h>

#include "num/RuntimeError.h"

using namespace mAAlgorit;

TEST(JulianDay, MatchesPublishedDatesAcrossBothCalendars) {
    struct Case {
        double year, month, day, jd;
    };
    // Meeus, Astronomical Algorithms, 2nd ed., example 7.a and table 7.a; the 1582
    // reform (4 October Julian is followed by 15 October Gregorian) and the 2024 leap
    // day follow from them.
    const Case cases[] = {
        {2000, 1, 1, 2451544.5},      {2000, 1, 1.5, 2451545.0},  {1900, 1, 1, 2415020.5},
        {1957, 10, 4.81, 2436116.31}, {1987, 6, 19.5, 2446966.0}, {1600, 12, 31, 2305812.5},
        {837, 4, 10.3, 2026871.8},    {-1000, 2, 29, 1355866.5},  {-4712, 1, 1.5, 0.0},
        {1582, 10, 4, 2299159.5},     {1582, 10, 15, 2299160.5},  {2024, 2, 29, 2460369.5},
        {2024, 3, 1, 2460370.5},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(JulianDay(c.year, c.month, c.day), c.jd, 1e-9)
            << c.year << "-" << c.month << "-" << c.day;
    }
}

TEST(JulianDay, MonthAndYearBeyondTheirIntegerSizesRaiseOverflow) {
    const double bad[][3] = {
        {2024, 40000, 1},          // Month beyond 16 bits
        {3e9, 6, 1},               // Year beyond 32 bits
        {2000, 32767, 1},          // Month + 1 overflows 16 bits
        {2147483647.0, 6, 1},      // Year + 4716 overflows 32 bits
        {-2147483648.0, 1, 1},     // Year - 1 for January overflows 32 bits
    };
    for (const auto& b : bad) {
        try {
            JulianDay(b[0], b[1], b[2]);
            ADD_FAILURE() << b[0] << " " << b[1];
        } catch (const num::RuntimeError& e) {
            EXPECT_EQ(e.Number(), num::RuntimeError::kOverflow);
        }
    }
}

TEST(JulianCentury, StartsAtJ2000AndInvertsToTheJulianDay) {
    EXPECT_EQ(JulianCentury(2451545.0), 0);
    EXPECT_EQ(JulianCentury(2451545.0 + 36525), 1);
    for (double jd : {2299160.5, 2436116.31, 2460369.5, 2460482.123456}) {
        EXPECT_NEAR(JulianCenturyToJD(JulianCentury(jd)), jd, 1e-9) << jd;
    }
}
