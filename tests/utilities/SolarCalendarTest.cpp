#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "UtilitiesTab.h"
#include "entry/mText.h"
#include "utilities/ClockTime.h"
#include "utilities/Utilities.h"

using testing_support::UtilitiesTab;
using utilities::ClockTime;

namespace {

constexpr int kUtcIndexOf(int zone) {
    return zone + 2;
}
constexpr int kWinter = 0, kSummer = 1;

// Seconds after midnight of a caption "h:mm:ss AM" or "h:mm:ss PM".
int SecondsOfDay(const std::string& caption) {
    std::smatch m;
    static const std::regex re(R"(^(\d{1,2}):([0-5]\d):([0-5]\d) (AM|PM)$)");
    if (!std::regex_match(caption, m, re)) {
        ADD_FAILURE() << "not a clock time: \"" << caption << "\"";
        return -1;
    }
    int h = std::stoi(m[1]);
    if (m[4] == "PM" && h != 12) h += 12;
    return (h * 60 + std::stoi(m[2])) * 60 + std::stoi(m[3]);
}

// The number written after `key` in a tooltip ("Azimut= 61,23º" -> 61.23).
double NumberAfter(const std::string& toolTip, const std::string& key) {
    auto at = toolTip.find(key);
    if (at == std::string::npos) {
        ADD_FAILURE() << "\"" << key << "\" not in \"" << toolTip << "\"";
        return 0;
    }
    return mText::FieldValue(toolTip.substr(at + key.size()));
}

struct Result {
    std::string orto, ortoTip, culmin, culminTip, ocaso, ocasoTip;
    bool operator==(const Result&) const = default;
};

Result Press(UtilitiesTab& tab) {
    utilities::Command3_Click(tab.form, tab.platform);
    return {tab.Caption("LblOrto"),   tab.ToolTip("LblOrto"),  tab.Caption("LblCulmin"),
            tab.ToolTip("LblCulmin"), tab.Caption("LblOcaso"), tab.ToolTip("LblOcaso")};
}

void ExpectStartsWith(const std::string& text, const std::string& start) {
    EXPECT_EQ(text.substr(0, start.size()), start) << text;
}

}  // namespace

TEST(SolarCalendar, InitialPointInSummerRisesNorthOfEastAndSetsNorthOfWest) {
    UtilitiesTab tab;  // 38º 25' 0'' N, 1º 34' 0'' W, UTC+1, summer time, 21 June 2024
    Result r = Press(tab);

    // Day length at 38.4º N on the June solstice is about 14 h 47 min, and solar noon at
    // 1º 34' W in UTC+2 falls at about 14:08; so sunrise near 6:45, sunset near 21:32.
    EXPECT_NEAR(SecondsOfDay(r.orto), (6 * 60 + 45) * 60, 5 * 60) << r.orto;
    EXPECT_NEAR(SecondsOfDay(r.culmin), (14 * 60 + 8) * 60, 3 * 60) << r.culmin;
    EXPECT_NEAR(SecondsOfDay(r.ocaso), (21 * 60 + 32) * 60, 5 * 60) << r.ocaso;
    EXPECT_TRUE(r.orto.ends_with(" AM"));
    EXPECT_TRUE(r.culmin.starts_with("2:") && r.culmin.ends_with(" PM")) << r.culmin;
    EXPECT_TRUE(r.ocaso.starts_with("9:") && r.ocaso.ends_with(" PM")) << r.ocaso;

    ExpectStartsWith(r.ortoTip, "Precisión: ±1 minuto; Azimut= ");
    EXPECT_TRUE(r.ortoTip.ends_with("º"));
    EXPECT_LT(NumberAfter(r.ortoTip, "Azimut= "), 90);
    ExpectStartsWith(r.culminTip, "Elevación=");
    EXPECT_TRUE(r.culminTip.ends_with("º; Azimut= 180º")) << r.culminTip;
    // Noon elevation: 90 - latitude + declination (23.44º at the solstice), plus a few
    // hundredths of refraction.
    EXPECT_NEAR(NumberAfter(r.culminTip, "Elevación="), 90 - 38.4167 + 23.44, 0.05);
    ExpectStartsWith(r.ocasoTip, "Precisión: ±1 minuto; Azimut= ");
    EXPECT_GT(NumberAfter(r.ocasoTip, "Azimut= "), 270);
}

TEST(SolarCalendar, InitialPointInWinterRisesSouthOfEastWithALowerNoonSun) {
    UtilitiesTab tab;
    double summerElevation = NumberAfter(Press(tab).culminTip, "Elevación=");

    tab.form.Get("MonthView1").date = {2024, 12, 21};
    tab.form.Get("CmbHS").listIndex = kWinter;
    Result r = Press(tab);
    EXPECT_TRUE(r.orto.ends_with(" AM"));
    EXPECT_TRUE(r.culmin.ends_with(" PM"));
    EXPECT_TRUE(r.ocaso.ends_with(" PM"));
    EXPECT_GT(NumberAfter(r.ortoTip, "Azimut= "), 90);
    EXPECT_LT(NumberAfter(r.ocasoTip, "Azimut= "), 270);
    double winterElevation = NumberAfter(r.culminTip, "Elevación=");
    // Declination -23.44º: the noon Sun stands twice the obliquity lower.
    EXPECT_NEAR(summerElevation - winterElevation, 2 * 23.44, 0.1);
}

TEST(SolarCalendar, SummerTimeAndEachZoneStepMoveTheTimesOneHourAndNothingElse) {
    UtilitiesTab tab;
    tab.form.Get("MonthView1").date = {2024, 10, 15};
    tab.form.Get("CmbUTC").listIndex = kUtcIndexOf(0);
    tab.form.Get("CmbHS").listIndex = kWinter;
    Result base = Press(tab);

    struct Shift {
        int zone, summer;
        int hours;
    };
    for (Shift s : {Shift{0, kSummer, 1}, Shift{1, kWinter, 1}, Shift{-1, kWinter, -1},
                    Shift{3, kSummer, 4}, Shift{-2, kWinter, -2}}) {
        SCOPED_TRACE(testing::Message() << "zone " << s.zone << ", summer " << s.summer);
        tab.form.Get("CmbUTC").listIndex = kUtcIndexOf(s.zone);
        tab.form.Get("CmbHS").listIndex = s.summer;
        Result r = Press(tab);
        // The same instant on another clock: one second of slack for the rounding of
        // the seconds, computed afresh from the shifted fraction of a day.
        EXPECT_NEAR(SecondsOfDay(r.orto) - SecondsOfDay(base.orto), s.hours * 3600, 1);
        EXPECT_NEAR(SecondsOfDay(r.culmin) - SecondsOfDay(base.culmin), s.hours * 3600, 1);
        EXPECT_NEAR(SecondsOfDay(r.ocaso) - SecondsOfDay(base.ocaso), s.hours * 3600, 1);
        EXPECT_EQ(r.ortoTip, base.ortoTip);
        EXPECT_EQ(r.culminTip, base.culminTip);
        EXPECT_EQ(r.ocasoTip, base.ocasoTip);
    }
}

TEST(SolarCalendar, SouthForPointOneChangesNothing) {
    UtilitiesTab tab;
    Result north = Press(tab);
    tab.Point(1, "38 25 0,0000 S", "");
    EXPECT_EQ(Press(tab), north);
}

TEST(SolarCalendar, AccuracyIsTenMinutesOnlyAboveSeventyTwoDegrees) {
    struct Case {
        const char* lat;
        const char* accuracy;
    };
    for (Case c : {Case{"72 0 0 N", "Precisión: ±1 minuto; Azimut= "},
                   Case{"72 0 0,0001 N", "Precisión: ±10 minuto; Azimut= "},
                   Case{"78 30 0 N", "Precisión: ±10 minuto; Azimut= "}}) {
        SCOPED_TRACE(c.lat);
        UtilitiesTab tab;
        tab.form.Get("MonthView1").date = {2024, 3, 20};  // equinox: rises everywhere
        tab.Point(1, c.lat, "");
        Result r = Press(tab);
        ExpectStartsWith(r.ortoTip, c.accuracy);
        ExpectStartsWith(r.ocasoTip, c.accuracy);
        EXPECT_TRUE(r.orto.ends_with(" AM")) << r.orto;
        EXPECT_TRUE(r.ocaso.ends_with(" PM")) << r.ocaso;
    }
}

TEST(SolarCalendar, PolarDayAndNightSayTheSunDoesNotRiseOrSetAndStillShowTransit) {
    struct Case {
        const char* lat;
        const char* lon;
        app::Date date;
        int summer;
        const char* caption;
        const char* toolTip;
        double noonElevation;  // 90 - latitude + declination (±23.44º at the solstices)
    };
    for (Case c : {
             Case{"75 0 0 N",
                  "1 34 0 W",
                  {2024, 6, 21},
                  kSummer,
                  "No se pone",
                  "Precisión: ±10 minuto; el Sol no se pone en todo el día (día polar)",
                  90 - 75 + 23.44},
             Case{"70 0 0 N",
                  "20 0 0 E",
                  {2024, 12, 21},
                  kWinter,
                  "No sale",
                  "Precisión: ±1 minuto; el Sol no sale en todo el día (noche polar)",
                  // Below the horizon: the low-altitude refraction band adds ~0.14º.
                  90 - 70 - 23.44},
         }) {
        SCOPED_TRACE(c.caption);
        UtilitiesTab tab;
        Press(tab);  // times of the initial point first: none of them may survive
        tab.Point(1, c.lat, c.lon);
        tab.form.Get("MonthView1").date = c.date;
        tab.form.Get("CmbHS").listIndex = c.summer;
        Result r = Press(tab);
        EXPECT_EQ(r.orto, c.caption);
        EXPECT_EQ(r.ortoTip, c.toolTip);
        EXPECT_EQ(r.ocaso, c.caption);
        EXPECT_EQ(r.ocasoTip, c.toolTip);
        EXPECT_TRUE(r.culmin.ends_with(" PM") || r.culmin.ends_with(" AM")) << r.culmin;
        EXPECT_NEAR(NumberAfter(r.culminTip, "Elevación="), c.noonElevation, 0.3);
        EXPECT_TRUE(r.culminTip.ends_with("; Azimut= 180º"));
        EXPECT_TRUE(tab.platform.msgBoxes.empty());
    }
}

TEST(SolarCalendar, TransitInTheTwelveOClockHourIsAnAfternoonTime) {
    // Greenwich meridian, UTC=0, winter time, 11 February: transit is 12 h minus the
    // equation of time, whose yearly minimum of about -14 min 13 s falls on this date.
    UtilitiesTab tab;
    tab.Point(1, "", "0 0 0,0000 E");
    tab.form.Get("MonthView1").date = {2024, 2, 11};
    tab.form.Get("CmbUTC").listIndex = kUtcIndexOf(0);
    tab.form.Get("CmbHS").listIndex = kWinter;
    Result r = Press(tab);
    ExpectStartsWith(r.culmin, "12:14:");
    EXPECT_TRUE(r.culmin.ends_with(" PM")) << r.culmin;
}

TEST(SolarCalendar, EveryDayOfTheYearShowsWellFormedClockTimes) {
    // Seconds rounding to 60 must carry into the minute; 366 days x 3 labels meet that
    // case several times.
    UtilitiesTab tab;
    static const std::regex clock(R"(^(\d|1[0-2]):[0-5]\d:[0-5]\d (AM|PM)$)");
    const int days[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int month = 1; month <= 12; ++month) {
        for (int day = 1; day <= days[month - 1]; ++day) {
            tab.form.Get("MonthView1").date = {2024, month, day};
            tab.form.Get("CmbHS").listIndex = (month >= 4 && month <= 10) ? kSummer : kWinter;
            Result r = Press(tab);
            for (const std::string& caption : {r.orto, r.culmin, r.ocaso})
                EXPECT_TRUE(std::regex_match(caption, clock))
                    << caption << " on " << day << "/" << month;
        }
    }
}

TEST(SolarCalendar, SunsetBeforeNoonFarNorthIsAMorningTime) {
    // 66º 30' N, 30º E on UTC=0 in early December: the Sun crosses the meridian about
    // 10 h local and is up for about an hour and a half, so it sets before noon.
    UtilitiesTab tab;
    tab.Point(1, "66 30 0,0000 N", "30 0 0,0000 E");
    tab.form.Get("MonthView1").date = {2024, 12, 5};
    tab.form.Get("CmbUTC").listIndex = kUtcIndexOf(0);
    tab.form.Get("CmbHS").listIndex = kWinter;
    Result r = Press(tab);
    EXPECT_TRUE(r.orto.ends_with(" AM")) << r.orto;
    EXPECT_TRUE(r.culmin.ends_with(" AM")) << r.culmin;
    EXPECT_TRUE(r.ocaso.ends_with(" AM")) << r.ocaso;
    EXPECT_LT(SecondsOfDay(r.orto), SecondsOfDay(r.culmin));
    EXPECT_LT(SecondsOfDay(r.culmin), SecondsOfDay(r.ocaso));
    EXPECT_LT(SecondsOfDay(r.ocaso), 12 * 3600);
}

TEST(ClockTime, RoundsSecondsFirstAndCarriesIntoMinuteAndHour) {
    struct Case {
        mAAlgorit::HMS in;
        ClockTime out;
        const char* text;
    };
    for (Case c : {
             Case{{6, 59, 59.6}, {7, 0, 0}, "7:00:00 AM"},
             Case{{6, 58, 59.4}, {6, 58, 59}, "6:58:59 AM"},
             Case{{6, 58, 29.5}, {6, 58, 30}, "6:58:30 AM"},  // halves away from zero
             Case{{11, 59, 59.7}, {12, 0, 0}, "12:00:00 PM"},
             Case{{12, 0, 0}, {12, 0, 0}, "12:00:00 PM"},
             Case{{12, 30, 5}, {12, 30, 5}, "12:30:05 PM"},
             Case{{13, 7, 9}, {13, 7, 9}, "1:07:09 PM"}, Case{{0, 5, 3}, {0, 5, 3}, "0:05:03 AM"},
             Case{{23, 59, 59.5}, {0, 0, 0}, "0:00:00 AM"},
             Case{{-1, 30, 0}, {23, 30, 0}, "11:30:00 PM"},  // the evening before
             Case{{25, 10, 0}, {1, 10, 0}, "1:10:00 AM"},    // the morning after
         }) {
        SCOPED_TRACE(c.text);
        ClockTime t = utilities::ToClockTime(c.in);
        EXPECT_EQ(t, c.out);
        EXPECT_EQ(utilities::TwelveHourText(t), c.text);
    }
}
