// Click handlers of the "Utilidades" tab, run on the window's control model.
#pragma once

#include "form/Controls.h"
#include "form/Platform.h"

namespace utilities {

void Command4_Click(form::FormModel& form, form::Platform& platform);  // distance, geodesic 1-2
void Command2_Click(form::FormModel& form, form::Platform& platform);  // arc lengths at point 1
void Command5_Click(form::FormModel& form, form::Platform& platform);  // point 1 in decimal formats
void Command3_Click(form::FormModel& form, form::Platform& platform);  // sunrise, transit, sunset

// True when mainland Spain keeps summer time on that date: from the last Sunday of
// March up to the Saturday before the last Sunday of October (the clocks change early
// on those Sundays, so the first is a summer day and the second a winter day).
bool SpanishSummerTime(const form::Date& date);

// The Sun's year at a place (degrees, east positive) in a time zone (hours east of UT):
// every day of `chosen`'s year, sunrise, transit and sunset as the calendar gives them
// for that day with Spain's summer-time rule, into the chart (form::Kind::Chart), the
// chosen day marked. "Salida y puesta del Sol" fills it for point 1.
void SunYear(form::Control& chart, double lat, double lon, const form::Date& chosen, double zone);

bool IsLeapYear(int year);
form::Date NextDay(form::Date date);  // the Gregorian day after

// The user changed an input of "Utilidades" (a field or hemisphere of a point, the date,
// the time zone or summer time): the results it feeds are marked stale, the distance
// and the geodesic for the points, the sun's times for point 1 and the date and clock lists.
void MarkResultsStale(form::FormModel& form, const form::Control& changed);

// The user picked a date in the calendar: summer or winter time follows it (the user
// may still change it afterwards).
void MonthView1_DateClick(form::FormModel& form);

}  // namespace utilities
