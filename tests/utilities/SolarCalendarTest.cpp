// "Salida y puesta del Sol  (pto. 1)": the three solar labels and their tooltips.
#include <gtest/gtest.h>

#include <string>

#include "UtilitiesTab.h"
#include "utilities/ClockTime.h"
#include "utilities/Utilities.h"

namespace {

struct Result {
    std::string orto, ortoTip, culmin, culminTip, ocaso, ocasoTip;
    bool operator==(const Result&) const = default;
};

// Point 1's latitude ("deg min sec N"; empty keeps the initial 38º 25' N, 1º 34' W),
// the date, the zone in hours and summer time (0 or 1 hour).
Result Press(const char* lat, app::Date date, int zone, int summer) {
    testing_support::UtilitiesTab tab;
    tab.Point(1, lat, "");
    auto& f = tab.form;
    f.Get("MonthView1").date = date;
    f.Get("CmbUTC").listIndex = zone + 2;  // "UTC-2" is item 0
    f.Get("CmbHS").listIndex = summer;
    utilities::Command3_Click(f, tab.platform);
    return {f.Get("LblOrto").text,      f.Get("LblOrto").toolTip, f.Get("LblCulmin").text,
            f.Get("LblCulmin").toolTip, f.Get("LblOcaso").text,   f.Get("LblOcaso").toolTip};
}

}  // namespace

TEST(SolarCalendar, InitialPointInSummerAndInWinter) {
    // 38º 25' N, 1º 34' W. By hand: solar noon is 12:06 plus the equation of time (+2 min
    // in June, -2 min in December) plus the zone and summer hours; the noon elevation is
    // 90º - 38,42º ± 23,44º plus refraction; cos(azimuth) = sin(declination) / cos(latitude)
    // at the horizon, refraction moving it 0,8º north.
    EXPECT_EQ(Press("", {2024, 6, 21}, 1, 1),
              (Result{"6:42:44 AM", "Precisión: ±1 minuto; Azimut= 58,72º", "2:08:12 PM",
                      "Elevación=75,02º; Azimut= 180º", "9:33:39 PM",
                      "Precisión: ±1 minuto; Azimut= 301,28º"}));
    EXPECT_EQ(Press("", {2024, 12, 21}, 1, 0),
              (Result{"8:20:01 AM", "Precisión: ±1 minuto; Azimut= 119,75º", "1:04:35 PM",
                      "Elevación=28,17º; Azimut= 180º", "5:49:10 PM",
                      "Precisión: ±1 minuto; Azimut= 240,25º"}));
}

TEST(SolarCalendar, SummerTimeAndEachZoneStepMoveTheTimesOneHour) {
    // 15 October 2024 at the initial point: the same instants on other clocks.
    const Result base = Press("", {2024, 10, 15}, 0, 0);
    struct Row {
        int zone, summer;
        const char *orto, *culmin, *ocaso;
    } rows[] = {{-2, 0, "4:15:34 AM", "9:51:55 AM", "3:27:42 PM"},
                {0, 0, "6:15:34 AM", "11:51:55 AM", "5:27:42 PM"},
                {0, 1, "7:15:34 AM", "12:51:55 PM", "6:27:42 PM"},
                {1, 0, "7:15:34 AM", "12:51:55 PM", "6:27:42 PM"},
                {3, 1, "10:15:34 AM", "3:51:55 PM", "9:27:42 PM"}};
    for (const Row& r : rows)
        EXPECT_EQ(Press("", {2024, 10, 15}, r.zone, r.summer),
                  (Result{r.orto, base.ortoTip, r.culmin, base.culminTip, r.ocaso, base.ocasoTip}));
}

TEST(SolarCalendar, AccuracyAboveSeventyTwoDegreesAndPolarDayAndNight) {
    // At the equinox the Sun rises and sets everywhere; the accuracy drops above 72º.
    const Result at72 = Press("72 0 0 N", {2024, 3, 20}, 1, 1);
    const Result above = Press("72 0 0,0001 N", {2024, 3, 20}, 1, 1);
    EXPECT_TRUE(at72.ortoTip.starts_with("Precisión: ±1 minuto; Azimut= ")) << at72.ortoTip;
    EXPECT_EQ(above.ortoTip, "Precisión: ±10 minuto; Azimut= 87,28º");
    EXPECT_EQ(above.ocasoTip, "Precisión: ±10 minuto; Azimut= 273,38º");
    // No time of another day stays; the transit still shows, at 90º - latitude ± 23,44º
    // plus refraction.
    const std::string day = "Precisión: ±10 minuto; el Sol no se pone en todo el día (día polar)";
    EXPECT_EQ(Press("75 0 0 N", {2024, 6, 21}, 1, 1),
              (Result{"No se pone", day, "2:08:12 PM", "Elevación=38,46º; Azimut= 180º",
                      "No se pone", day}));
    const std::string night = "Precisión: ±1 minuto; el Sol no sale en todo el día (noche polar)";
    EXPECT_EQ(Press("70 0 0 N", {2024, 12, 21}, 1, 0),
              (Result{"No sale", night, "1:04:35 PM", "Elevación=-3,34º; Azimut= 180º", "No sale",
                      night}));
}

TEST(SolarCalendar, TransitInTheTwelveOClockHourWithSecondsRoundingTo60) {
    // The ephemeris puts the transit at the initial point on 8 November 2024 (UTC+1,
    // winter time) at 12 h 49 min 59,98 s.
    EXPECT_EQ(Press("", {2024, 11, 8}, 1, 0).culmin, "12:50:00 PM");
    // Far north in winter the Sun may set before noon: a morning time, not "-1:05:00 PM".
    EXPECT_EQ(utilities::TwelveHourText({11, 5, 0}), "11:05:00 AM");
}
