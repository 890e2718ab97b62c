#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <tuple>

#include "astro/DayFraction.h"
#include "astro/InverseTrig.h"
#include "astro/JulianDay.h"
#include "astro/SunHorizon.h"
#include "astro/SunPosition.h"
#include "astro/SunTimes.h"
#include "geo/Angles.h"
#include "geo/GeoTest.h"
#include "num/RuntimeError.h"
#include "support/DataFile.h"

using namespace astro;

using geotest::ErrorNumber;

namespace {

// The Sun's azimuth and elevation when `at` says, on a 2024 date (UTC+1, summer time s).
std::pair<double, double> SunAt(auto at, double lat, double lon, int month, int day, int s) {
    const HMS t = DayFractionToHMS(at(lat, lon, 2024, month, day, 1, s));
    return {SunAzimuth(lat, lon, 2024, month, day, t.H, t.M, t.S, 1, s),
            SunElevation(lat, lon, 2024, month, day, t.H, t.M, t.S, 1, s)};
}
}  // namespace

// Meeus, Astronomical Algorithms, 2nd ed., example and table 7.a; the 1582 reform; 2024's leap day.
TEST(JulianDay, MatchesPublishedDatesAcrossBothCalendars) {
    const std::tuple<double, double, double, double> cases[] = {
        {2000, 1, 1, 2451544.5},      {2000, 1, 1.5, 2451545.0},  {1900, 1, 1, 2415020.5},
        {1957, 10, 4.81, 2436116.31}, {1987, 6, 19.5, 2446966.0}, {1600, 12, 31, 2305812.5},
        {837, 4, 10.3, 2026871.8},    {-1000, 2, 29, 1355866.5},  {-4712, 1, 1.5, 0.0},
        {1582, 10, 4, 2299159.5},     {1582, 10, 15, 2299160.5},  {2024, 2, 29, 2460369.5},
        {2024, 3, 1, 2460370.5}};
    for (const auto& [y, m, d, jd] : cases) EXPECT_NEAR(JulianDay(y, m, d), jd, 1e-9) << y;
}

TEST(JulianDay, MonthAndYearBeyondTheirIntegerSizesRaiseOverflow) {
    // Month beyond 16 bits, Year beyond 32; then Month + 1, Year + 4716 and Year − 1.
    const double bad[][3] = {{2024, 40000, 1},
                             {3e9, 6, 1},
                             {2000, 32767, 1},
                             {2147483647.0, 6, 1},
                             {-2147483648.0, 1, 1}};
    for (auto& b : bad) EXPECT_EQ(ErrorNumber([&] { JulianDay(b[0], b[1], b[2]); }), 6) << b[0];
}

// Meeus, Astronomical Algorithms, example 25.a (1992 October 13.0) and 28.b (equation
// of time +13m 42.7s on the same date). The mean anomaly is not reduced to one turn.
TEST(SunPosition, MatchesMeeusExample25a) {
    const double T = JulianCentury(2448908.5);
    EXPECT_NEAR(SunMeanLongitude(T), 201.80720, 1e-5);
    EXPECT_NEAR(SunMeanAnomaly(T) + 7 * 360, 278.99397, 1e-5);
    EXPECT_NEAR(OrbitEccentricity(T), 0.016711668, 1e-9);
    EXPECT_NEAR(SunApparentLongitude(T), 199.90895, 2e-5);
    EXPECT_NEAR(ApparentObliquity(T), 23.43999, 1e-5);
    EXPECT_NEAR(SunDeclination(T), -7.78507, 1e-5);
    EXPECT_NEAR(EquationOfTime(T), 13 + 42.7 / 60, 0.01);
}

// Equation of time extremes about +16.4 min (early November) and −14.2 (mid-February).
TEST(SunPosition, EquationOfTimeAndDeclinationOver2024HaveTheirKnownExtremes) {
    double maxEot = -100, minEot = 100, maxDecl = -100, minDecl = 100;
    for (double jd = JulianDay(2024, 1, 1.5); jd < JulianDay(2025, 1, 1); ++jd) {
        const double T = JulianCentury(jd), eot = EquationOfTime(T), decl = SunDeclination(T);
        maxEot = std::max(maxEot, eot), minEot = std::min(minEot, eot);
        maxDecl = std::max(maxDecl, decl), minDecl = std::min(minDecl, decl);
    }
    EXPECT_NEAR(maxEot, 16.4, 0.2);
    EXPECT_NEAR(minEot, -14.2, 0.2);
    EXPECT_NEAR(maxDecl, 23.44, 0.01);
    EXPECT_NEAR(minDecl, -23.44, 0.01);
    EXPECT_LE(SunMeanLongitude(1e12), 360);  // where a loop of 360º steps would never end
    EXPECT_EQ(ErrorNumber([] { SunMeanLongitude(1e300); }), 6);
    EXPECT_EQ(ErrorNumber([] { EquationOfTime(-1e300); }), 6);
}

TEST(ArcCosArcSin, AnswerTheEndpointsExactlyAndRejectArgumentsBeyondThem) {
    EXPECT_EQ(std::tuple(ArcCos(1), ArcCos(-1)), std::tuple(0.0, geo::kPi));
    EXPECT_EQ(std::tuple(ArcSin(1), ArcSin(-1)), std::tuple(geo::kPi / 2, -geo::kPi / 2));
    for (double x : {1.0000001, -1.5, std::nan("")}) {
        EXPECT_EQ(ErrorNumber([x] { ArcCos(x); }), 5) << x;
        EXPECT_EQ(ErrorNumber([x] { ArcSin(x); }), 5) << x;
    }
}

// The national observatory's tables of sunrise and sunset (tests/data/sun-oan-*.txt), to
// the minute they give, on the clock they state (UTC+1, or UTC+2 in summer).
TEST(SunTimes, AgreeWithTheNationalObservatorysTables) {
    const auto angle = [](const std::string& dms) {
        int d = 0, m = 0;
        double s = 0;
        std::istringstream(dms) >> d >> m >> s;
        return geo::DMSToDeg(static_cast<std::int16_t>(std::abs(d)), static_cast<std::int16_t>(m), s,
                             dms.starts_with("-"));
    };
    for (const testing_support::DataRecord& r : testing_support::ReadDataFile("sun-oan-cuenca-2018.txt")) {
        SCOPED_TRACE(r.where);
        int y = 0, mo = 0, d = 0, h = 0, mi = 0;
        std::sscanf(r[2].c_str(), "%d-%d-%d", &y, &mo, &d);
        const double lat = angle(r[0]), lon = angle(r[1]), summer = r.Number(3) - 1;
        std::sscanf(r[4].c_str(), "%d:%d", &h, &mi);
        EXPECT_NEAR(SunriseLocal(lat, lon, y, mo, d, 1, summer) * 1440, h * 60 + mi, 1);
        std::sscanf(r[5].c_str(), "%d:%d", &h, &mi);
        EXPECT_NEAR(SunsetLocal(lat, lon, y, mo, d, 1, summer) * 1440, h * 60 + mi, 1);
    }
}

// Madrid. Rise and set are at the geometric altitude −0.833º, which refraction lifts to
// about −0.44º.
TEST(SunTimes, AtRiseAndSetRefractionLiftsTheSunToAboutMinus044Degrees) {
    const double lat = 40 + 25 / 60.0, lon = -(3 + 42 / 60.0);
    for (auto [month, day, summer] : {std::tuple(6, 20, 1), std::tuple(12, 21, 0)}) {
        EXPECT_NEAR(SunAt(SunriseLocal, lat, lon, month, day, summer).second, -0.44, 0.01) << month;
        EXPECT_NEAR(SunAt(SunsetLocal, lat, lon, month, day, summer).second, -0.44, 0.01) << month;
    }
}

TEST(SunTimes, PolarDayAndNightRaiseErrorFiveWithTheReason) {
    using enum NoRiseOrSetReason;  // latitude 100 below is clamped to 89.8
    const std::tuple<double, double, int, NoRiseOrSetReason> cases[] = {{75, 0, 6, SunNeverSets},
                                                                        {100, 0, 6, SunNeverSets},
                                                                        {70, 20, 12, SunNeverRises},
                                                                        {-75, 0, 12, SunNeverSets}};
    for (const auto& [lat, lon, month, reason] : cases) {
        SCOPED_TRACE(lat);
        for (auto f : {SunriseLocal, SunsetLocal}) {
            try {
                f(lat, lon, 2024, month, 21, 1, 0);
                ADD_FAILURE() << "no error";
            } catch (const NoRiseOrSetError& e) {
                EXPECT_EQ(std::tuple(e.Number(), e.Reason()), std::tuple(5, reason));
                EXPECT_EQ(e.Description(), "Llamada a procedimiento o argumento no válidos");
            }
        }
        // Transit and the Sun's position still exist: up (down) at noon and midnight.
        const bool up = reason == SunNeverSets;
        EXPECT_EQ(SunAt(TransitLocal, lat, lon, month, 21, 0).second > 0, up);
        EXPECT_EQ(SunElevation(lat, lon, 2024, month, 21, 0, 0, 0, 1, 0) > 0, up);
    }
}

// Where the Sun culminates in the zenith the azimuth is undefined: 180 north, 0 south.
TEST(SunHorizon, SunOverheadGivesTheFixedAzimuthOfItsHemisphere) {
    for (const auto& [month, day, azimuth] : {std::tuple(6, 20, 180.0), std::tuple(12, 21, 0.0)}) {
        const double transit = TransitLocal(0, 0, 2024, month, day, 0, 0);  // UT
        const double lat = SunDeclination(JulianCentury(JulianDay(2024, month, day) + transit));
        const auto [sunAzimuth, sunElevation] = SunAt(TransitLocal, lat, 0, month, day, 0);
        EXPECT_EQ(sunAzimuth, azimuth);
        EXPECT_GT(sunElevation, 89.9);
    }
}

TEST(DayFractionToHMS, FloorsHoursAndMinutesWithoutReducingToOneDay) {
    // Noon, 6:15:30.25, a day and a quarter, and before midnight: floor, not truncation.
    const double cases[][4] = {
        {0.5, 12, 0, 0}, {22530.25 / 86400, 6, 15, 30.25}, {1.25, 30, 0, 0}, {-0.01, -1, 45, 36}};
    for (const auto& c : cases) {
        const HMS r = DayFractionToHMS(c[0]);
        EXPECT_EQ(std::tuple(r.H, r.M), std::tuple(c[1], c[2])) << c[0];
        EXPECT_NEAR(r.S, c[3], 1e-6) << c[0];
    }
    EXPECT_THROW(DayFractionToHMS(std::nan("")), num::RuntimeError);
}
