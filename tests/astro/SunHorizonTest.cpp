#include "astro/SunHorizon.h"

#include <gtest/gtest.h>

#include <cmath>

#include "astro/DayFraction.h"
#include "astro/JulianDay.h"
#include "astro/SunPosition.h"
#include "astro/SunTimes.h"
#include "num/RuntimeError.h"

using namespace mAAlgorit;

TEST(SunHorizon, SunOverheadGivesTheFixedAzimuthOfItsHemisphere) {
    // Standing where the Sun culminates in the zenith: the azimuth is undefined.
    struct Case {
        int month, day;
        double expected;
    };
    for (Case c : {Case{6, 20, 180}, Case{12, 21, 0}}) {
        double transit = TransitLocal(0, 0, 2024, c.month, c.day, 0, 0);
        double lat = SunDeclination(JulianCentury(JulianDay(2024, c.month, c.day) + transit));
        HMS t = DayFractionToHMS(transit);
        EXPECT_EQ(SunAzimuth(lat, 0, 2024, c.month, c.day, t.H, t.M, t.S, 0, 0), c.expected);
        EXPECT_GT(SunElevation(lat, 0, 2024, c.month, c.day, t.H, t.M, t.S, 0, 0), 89.9);
    }
}

TEST(DayFractionToHMS, SplitsADayFractionIntoFlooredHoursAndMinutes) {
    struct Case {
        double x, h, m, s;
    };
    const Case cases[] = {
        {0.5, 12, 0, 0},
        {0.75, 18, 0, 0},
        {(6 * 3600 + 15 * 60 + 30.25) / 86400.0, 6, 15, 30.25},
        {1.25, 30, 0, 0},   // not reduced to one day
        {-0.01, -1, 45, 36},  // floor, not truncation
    };
    for (const Case& c : cases) {
        HMS r = DayFractionToHMS(c.x);
        EXPECT_EQ(r.H, c.h) << c.x;
        EXPECT_EQ(r.M, c.m) << c.x;
        EXPECT_NEAR(r.S, c.s, 1e-6) << c.x;
    }
    EXPECT_THROW(DayFractionToHMS(std::nan("")), num::RuntimeError);
}
