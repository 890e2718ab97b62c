// "Salida y puesta del Sol  (pto. 1)": sunrise, transit and sunset at point 1 for the
// date of the calendar, the chosen zone and summer time, by the hour-angle method of
// the solar ephemeris. Azimuths and the transit elevation go into the tooltips.
#include <cmath>
#include <string>
#include <vector>

#include "astro/mAAlgorit.h"
#include "num/Number.h"
#include "utilities/ClockTime.h"
#include "utilities/PointFields.h"
#include "utilities/Utilities.h"

namespace utilities {

namespace {

// Above this latitude (degrees) the hour-angle method is good to about ten minutes
// instead of one.
constexpr double kLowAccuracyLatitude = 72;

struct Place {
    double lat;  // degrees, always north here
    double lon;  // degrees, east positive
    double year, month, day;
    double zone;    // hours east of UT
    double summer;  // hours of summer time
};

struct LabelTexts {
    std::string caption;
    std::string toolTip;
};

using EventTime = double (*)(double, double, double, double, double, double, double);

double At(EventTime event, const Place& p) {
    return event(p.lat, p.lon, p.year, p.month, p.day, p.zone, p.summer);
}

// Polar day or night: the label says so instead of keeping a time of another date.
LabelTexts NoRiseOrSet(astro::NoRiseOrSetReason reason, const std::string& accuracy) {
    if (reason == astro::NoRiseOrSetReason::SunNeverRises)
        return {"No sale", accuracy + "; el Sol no sale en todo el día (noche polar)"};
    return {"No se pone", accuracy + "; el Sol no se pone en todo el día (día polar)"};
}

// Sunrise or sunset with the Sun's azimuth at that instant.
LabelTexts RiseOrSet(EventTime event, const Place& p, const std::string& accuracy) {
    double fraction;
    try {
        fraction = At(event, p);
    } catch (const astro::NoRiseOrSetError& e) {
        return NoRiseOrSet(e.Reason(), accuracy);
    }
    // The azimuth is taken at the unrounded instant.
    astro::HMS t = astro::DayFractionToHMS(fraction);
    double az = astro::SunAzimuth(p.lat, p.lon, p.year, p.month, p.day, t.H, t.M, t.S, p.zone,
                                      p.summer);
    return {TwelveHourText(ToClockTime(t)), accuracy + "; Azimut= " + num::Format(az, "#,##0.00º")};
}

// Transit with the Sun's elevation; its azimuth is due south by definition.
LabelTexts Transit(const Place& p) {
    astro::HMS t = astro::DayFractionToHMS(At(astro::TransitLocal, p));
    double el = astro::SunElevation(p.lat, p.lon, p.year, p.month, p.day, t.H, t.M, t.S, p.zone,
                                        p.summer);
    return {TwelveHourText(ToClockTime(t)),
            "Elevación=" + num::Format(el, "#,##0.00º") + "; Azimut= 180º"};
}

void Show(form::Control& label, LabelTexts texts) {
    label.stale = false;
    label.text = std::move(texts.caption);
    label.toolTip = std::move(texts.toolTip);
}

}  // namespace

void Command3_Click(form::FormModel& form, form::Platform& platform) {
    if (!AnglesChecked(form, platform, {kPoint1Latitude, kPoint1Longitude})) return;
    Place p{};
    // The calendar always takes point 1 as north; its N/S choice is not read.
    p.lat = ReadAngle(form, kPoint1Latitude, false);
    p.lon = ReadAngle(form, kPoint1Longitude, Point1IsWest(form));
    const form::Date& date = form.Get("MonthView1").date;
    p.year = date.year;
    p.month = date.month;
    p.day = date.day;
    p.zone = form.Get("CmbUTC").listIndex - 2;  // "UTC-2" is the first item
    p.summer = form.Get("CmbHS").listIndex;     // "Invierno =0", "Verano   +1"

    const std::string accuracy =
        std::abs(p.lat) > kLowAccuracyLatitude ? "Precisión: ±10 minutos" : "Precisión: ±1 minuto";
    // Everything is computed before any label changes, so that a failure leaves the
    // three labels as they were rather than half of them updated.
    LabelTexts rise = RiseOrSet(astro::SunriseLocal, p, accuracy);
    LabelTexts transit = Transit(p);
    LabelTexts set = RiseOrSet(astro::SunsetLocal, p, accuracy);

    Show(form.Get("LblOrto"), std::move(rise));
    Show(form.Get("LblCulmin"), std::move(transit));
    Show(form.Get("LblOcaso"), std::move(set));
    SunYear(form.Get("PicAnual"), p.lat, p.lon, date, p.zone);
}

void SunYear(form::Control& chart, double lat, double lon, const form::Date& chosen, double zone) {
    std::vector<double> values;
    const int days = IsLeapYear(chosen.year) ? 366 : 365;
    values.reserve(static_cast<std::size_t>(days) * 4);
    int chosenIndex = 0;
    form::Date d{chosen.year, 1, 1};
    for (int i = 0; i < days; ++i) {
        // Each day as the calendar gives it: that date, Spain's summer-time rule.
        const Place p{lat, lon, double(d.year), double(d.month), double(d.day), zone, SpanishSummerTime(d) ? 1.0 : 0.0};
        double rise = NAN, set = NAN, kind = 0;
        try {
            rise = At(astro::SunriseLocal, p) * 24;
            set = At(astro::SunsetLocal, p) * 24;
        } catch (const astro::NoRiseOrSetError& e) {
            rise = set = NAN;
            kind = e.Reason() == astro::NoRiseOrSetReason::SunNeverSets ? 1 : -1;
        }
        values.insert(values.end(), {rise, At(astro::TransitLocal, p) * 24, set, kind});
        if (d == chosen) chosenIndex = i;
        d = NextDay(d);
    }
    chart.values = std::move(values);
    chart.listIndex = chosenIndex;
    chart.stale = false;
}

namespace {

// Day of the week of a Gregorian date, 0 for Sunday (Sakamoto's method). The calendar
// repeats every 400 years, so any year (negative ones and those near the limits of int
// included) is taken into 0..399 first and nothing overflows.
int Weekday(int year, int month, int day) {
    static constexpr int kOffset[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    int y = year % 400;
    if (y < 0) y += 400;
    if (month < 3) y += 399;  // the year before, still within the cycle
    return (y + y / 4 - y / 100 + y / 400 + kOffset[month - 1] + day) % 7;
}

// Day of the month of the last Sunday of a 31-day month.
int LastSunday(int year, int month) { return 31 - Weekday(year, month, 31); }

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

form::Date NextDay(form::Date d) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int length = d.month == 2 && IsLeapYear(d.year) ? 29 : kDays[d.month - 1];
    if (++d.day <= length) return d;
    d.day = 1;
    if (++d.month <= 12) return d;
    d.month = 1;
    ++d.year;
    return d;
}

bool SpanishSummerTime(const form::Date& date) {
    if (date.month < 3 || date.month > 10) return false;
    if (date.month > 3 && date.month < 10) return true;
    const int change = LastSunday(date.year, date.month);
    return date.month == 3 ? date.day >= change : date.day < change;
}

void MarkResultsStale(form::FormModel& form, const form::Control& changed) {
    const std::string& n = changed.id.name;
    const int i = changed.id.index;
    // Point 2 is the distance's and the geodesic's alone; the date and the clock lists are
    // the sun's alone.
    bool point2 = false;
    for (const SexagesimalFields& f : {kPoint2Latitude, kPoint2Longitude})
        point2 = point2 || (n == "TxtWGSg" && (i == f.deg || i == f.min || i == f.sec));
    point2 = point2 || (n == "OptLng" && i >= 6 && i <= 11 && i != 8 && i != 9);
    const bool sunOnly = n == "MonthView1" || n == "CmbUTC" || n == "CmbHS";
    if (!sunOnly)
        for (const char* label : {"LblDist", "LblGeodesica"}) form.Get(label).stale = true;
    if (!point2)
        for (const char* label : {"LblOrto", "LblCulmin", "LblOcaso", "PicAnual"}) form.Get(label).stale = true;
}

void MonthView1_DateClick(form::FormModel& form) {
    form.Get("CmbHS").listIndex = SpanishSummerTime(form.Get("MonthView1").date) ? 1 : 0;
}

}  // namespace utilities
