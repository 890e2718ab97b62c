#include "astro/SunTimes.h"

#include <gtest/gtest.h>

#include "astro/DayFraction.h"
#include "astro/SunHorizon.h"
#include "geo/Angles.h"

using namespace mAAlgorit;

namespace {

// Madrid, Puerta del Sol: central Spain.
constexpr double kMadridLat = 40 + 25 / 60.0;
constexpr double kMadridLon = -(3 + 42 / 60.0);

double Hours(double dayFraction) { return dayFraction * 24; }

}  // namespace

TEST(SunTimes, AgreeWithTheNationalObservatoryTableForCuenca2018) {
    // "Cuenca, salida y puesta de Sol para 2018", Observatorio Astronómico Nacional
    // (Instituto Geográfico Nacional): 40º 04' 40'' N, 2º 07' 49'' W, peninsular
    // official time (UTC+1, summer time from 25 March to 28 October), first day of
    // each month, times to the minute. Our stated accuracy is about one minute.
    const int rise[12] = {831, 817, 742, 753, 709, 642, 643, 707, 736, 805, 737, 811};
    const int set[12] = {1754, 1827, 1900, 2033, 2103, 2131, 2142, 2123, 2040, 1951, 1806, 1744};
    double lat = mGeo::DMSToDeg(40, 4, 40, false);
    double lon = mGeo::DMSToDeg(2, 7, 49, true);
    for (int month = 1; month <= 12; ++month) {
        double summer = (month >= 4 && month <= 10) ? 1 : 0;
        double r = SunriseLocal(lat, lon, 2018, month, 1, 1, summer) * 1440;
        double s = SunsetLocal(lat, lon, 2018, month, 1, 1, summer) * 1440;
        int tr = rise[month - 1], ts = set[month - 1];
        EXPECT_NEAR(r, tr / 100 * 60 + tr % 100, 1.0) << "sunrise, month " << month;
        EXPECT_NEAR(s, ts / 100 * 60 + ts % 100, 1.0) << "sunset, month " << month;
    }
}

TEST(SunTimes, EquatorAtTheMarchEquinoxRisesAndSetsAboutSixAndEighteen) {
    double rise = SunriseLocal(0, 0, 2024, 3, 20, 0, 0) * 1440;
    double transit = TransitLocal(0, 0, 2024, 3, 20, 0, 0) * 1440;
    double set = SunsetLocal(0, 0, 2024, 3, 20, 0, 0) * 1440;
    // Transit is 12 h minus the equation of time, which is about -7.3 minutes.
    EXPECT_NEAR(transit, 12 * 60 + 7.3, 0.1);
    // With the Sun on the equator the rise hour angle is the zenith distance itself,
    // 90.833 degrees = 363.3 minutes from transit.
    EXPECT_NEAR(transit - rise, 363.3, 0.5);
    EXPECT_NEAR(set - transit, 363.3, 0.5);
    EXPECT_NEAR(rise, 6 * 60, 5);
    EXPECT_NEAR(set, 18 * 60, 11);
}

TEST(SunTimes, CentralSpainSolsticesRiseNorthOfEastInJuneAndSouthOfEastInDecember) {
    struct Case {
        int month, day;
        double summer;
        bool june;
    };
    for (Case c : {Case{6, 20, 1, true}, Case{12, 21, 0, false}}) {
        SCOPED_TRACE(c.month);
        double rise = SunriseLocal(kMadridLat, kMadridLon, 2024, c.month, c.day, 1, c.summer);
        double transit = TransitLocal(kMadridLat, kMadridLon, 2024, c.month, c.day, 1, c.summer);
        double set = SunsetLocal(kMadridLat, kMadridLon, 2024, c.month, c.day, 1, c.summer);
        auto at = [&](double fraction, bool azimuth) {
            HMS t = DayFractionToHMS(fraction);
            return azimuth ? SunAzimuth(kMadridLat, kMadridLon, 2024, c.month, c.day, t.H, t.M, t.S, 1, c.summer)
                           : SunElevation(kMadridLat, kMadridLon, 2024, c.month, c.day, t.H, t.M, t.S, 1, c.summer);
        };
        double riseAz = at(rise, true), setAz = at(set, true);
        if (c.june) {
            EXPECT_GT(Hours(rise), 6.5);
            EXPECT_LT(Hours(rise), 7);
            EXPECT_GT(Hours(transit), 14);
            EXPECT_GT(Hours(set), 21.5);
            EXPECT_LT(riseAz, 90);
            EXPECT_GT(setAz, 270);
            EXPECT_NEAR(at(transit, false), 90 - kMadridLat + 23.44, 0.05);
            // Local midnight: far below the horizon, in the lowest refraction band.
            EXPECT_NEAR(SunElevation(kMadridLat, kMadridLon, 2024, 6, 20, 0, 0, 0, 1, 1), -19, 1.5);
        } else {
            EXPECT_GT(riseAz, 90);
            EXPECT_LT(setAz, 270);
            EXPECT_NEAR(at(transit, false), 90 - kMadridLat - 23.44, 0.1);  // + ~2' refraction
        }
        EXPECT_NEAR(riseAz + setAz, 360, 0.05);  // symmetric about the meridian
        EXPECT_NEAR(at(transit, true), 180, 0.001);
        // Rise and set are defined by the geometric altitude -0.833; refraction
        // below -0.575 lifts the reported elevation to about -0.44.
        EXPECT_NEAR(at(rise, false), -0.44, 0.01);
        EXPECT_NEAR(at(set, false), -0.44, 0.01);
    }
}

TEST(SunTimes, TransitIgnoresLatitudeAndClockSettingsShiftTimesByWholeHours) {
    double t = TransitLocal(0, kMadridLon, 2024, 6, 20, 1, 0);
    double r = SunriseLocal(kMadridLat, kMadridLon, 2024, 6, 20, 1, 0);
    EXPECT_EQ(TransitLocal(60, kMadridLon, 2024, 6, 20, 1, 0), t);
    EXPECT_NEAR(TransitLocal(0, kMadridLon, 2024, 6, 20, 1, 1) - t, 1 / 24.0, 1e-12);
    EXPECT_NEAR(SunriseLocal(kMadridLat, kMadridLon, 2024, 6, 20, 2, 0) - r, 1 / 24.0, 1e-12);
}

TEST(SunTimes, PolarDayAndNightRaiseErrorFiveWithTheReason) {
    struct Case {
        double lat, lon;
        int month;
        NoRiseOrSetReason reason;
        bool sunUpAtTransit;
    };
    const Case cases[] = {
        {75, 0, 6, NoRiseOrSetReason::SunNeverSets, true},      // midnight sun
        {100, 0, 6, NoRiseOrSetReason::SunNeverSets, true},     // clamped to 89.8
        {70, 20, 12, NoRiseOrSetReason::SunNeverRises, false},  // polar night
        {-75, 0, 12, NoRiseOrSetReason::SunNeverSets, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lat);
        for (auto f : {SunriseLocal, SunsetLocal}) {
            try {
                f(c.lat, c.lon, 2024, c.month, 21, 1, 0);
                ADD_FAILURE() << "no error";
            } catch (const NoRiseOrSetError& e) {
                EXPECT_EQ(e.Number(), 5);
                EXPECT_EQ(e.Description(), "Llamada a procedimiento o argumento no válidos");
                EXPECT_EQ(e.Reason(), c.reason);
            }
        }
        // Transit and the Sun's position still exist on such dates.
        HMS t = DayFractionToHMS(TransitLocal(c.lat, c.lon, 2024, c.month, 21, 1, 0));
        double el = SunElevation(c.lat, c.lon, 2024, c.month, 21, t.H, t.M, t.S, 1, 0);
        EXPECT_EQ(el > 0, c.sunUpAtTransit) << el;
        double midnightEl = SunElevation(c.lat, c.lon, 2024, c.month, 21, 0, 0, 0, 1, 0);
        EXPECT_EQ(midnightEl > 0, c.reason == NoRiseOrSetReason::SunNeverSets) << midnightEl;
    }
}
