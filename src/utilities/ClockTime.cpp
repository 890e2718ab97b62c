#include "utilities/ClockTime.h"

#include <cmath>

#include "num/Number.h"

namespace utilities {

ClockTime ToClockTime(const astro::HMS& t) {
    double seconds = std::round(num::Finite(t.S, "segundos"));
    double minutes = num::Finite(t.M, "minutos");
    double hours = num::Finite(t.H, "horas");
    if (seconds >= 60) {
        seconds -= 60;
        minutes += 1;
    }
    if (minutes >= 60) {
        minutes -= 60;
        hours += 1;
    }
    const double days = std::floor(hours / 24);
    hours -= 24 * days;
    return {static_cast<int>(hours), static_cast<int>(minutes), static_cast<int>(seconds),
            static_cast<int>(days)};
}

std::string TwelveHourText(const ClockTime& t) {
    bool afternoon = t.hour >= 12;
    int hour = t.hour > 12 ? t.hour - 12 : t.hour;
    return num::Format(hour, "#,##0") + ":" + num::Format(t.minute, "00") + ":" +
           num::Format(t.second, "00") + (afternoon ? " PM" : " AM") +
           (t.day < 0 ? " (día anterior)" : t.day > 0 ? " (día siguiente)" : "");
}

}  // namespace utilities
