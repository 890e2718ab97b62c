// Local clock times of the solar calendar as the labels show them: whole seconds on
// a 12-hour clock with AM or PM.
#pragma once

#include <string>

#include "astro/DayFraction.h"

namespace utilities {

// A time of day rounded to whole seconds: hour 0..23, minute 0..59, second 0..59, on
// the chosen date (day 0), the day before (-1) or the day after (+1).
struct ClockTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int day = 0;
    bool operator==(const ClockTime&) const = default;
};

// The clock time of hours, minutes and seconds as DayFractionToHMS gives them (H and
// M whole, S with its fraction; H may lie outside 0..23 for a local time on the day
// before or after). The seconds are rounded to whole seconds first, halves away from
// zero as the "00" display pattern rounds them; 60 seconds carry into the minute and
// 60 minutes into the hour; the hour is then taken on the 24-hour dial, so 24:00:00
// reads 0:00:00 of the day after and -1 h reads 23 h of the day before. Throws the
// overflow error for a non-finite value.
ClockTime ToClockTime(const astro::HMS& t);

// "6:58:03 AM", "12:00:00 PM", "9:41:07 PM": hours 0..11 as they stand with " AM"
// (midnight shows 0, as the labels' initial captions do), 12 with " PM", 13..23
// reduced by 12 with " PM". Minutes and seconds have two digits. A time on another
// day than the chosen one says which: "9:41:07 PM (día anterior)", "(día siguiente)".
std::string TwelveHourText(const ClockTime& t);

}  // namespace utilities
