// Local clock times of sunrise, solar transit and sunset for a date and place, by
// the hour-angle method with the equation of time. Rise and set are the instants the
// Sun's centre reaches the zenith distance 90.833 degrees (refraction and the solar
// semi-diameter included).
//
// Common arguments:
//   Latitude   degrees, north positive
//   Longitude  degrees, east positive (the formulas use LonW = -Longitude)
//   LonW       degrees, WEST positive
//   Year, Month, Day  as JulianDay takes them; the date's 0h UT is the day's start
//   Zone       hours added to UT to get local standard time, east positive (-2..3)
//   Summer     hours of summer time added on top of Zone (0 or 1)
// Local results are fractions of a day of local clock time, (minutes after 0h UT +
// 60 Zone + 60 Summer) / 1440, not reduced: they may leave 0..1.
// Accuracy: about one minute up to 72 degrees of latitude, about ten beyond.
#pragma once

#include "num/RuntimeError.h"

namespace astro {

// Why a date has no sunrise and sunset at a place.
enum class NoRiseOrSetReason {
    SunNeverRises,  // polar night: the Sun stays below the rise/set altitude all day
    SunNeverSets,   // polar day: the Sun stays above it all day
};

// The run-time error (number 5, like any invalid argument) raised when the Sun does
// not cross the 90.833 degree zenith distance on the date, with the reason, so that a
// window can say which of the two happens.
class NoRiseOrSetError : public num::RuntimeError {
public:
    NoRiseOrSetError(NoRiseOrSetReason reason, double cosHourAngle);
    NoRiseOrSetReason Reason() const noexcept { return reason_; }

private:
    NoRiseOrSetReason reason_;
};

// Hour angle of sunrise, radians, 0..pi, for a latitude and a solar declination
// (degrees). Throws NoRiseOrSetError when the Sun does not reach the rise altitude
// (SunNeverRises) or does not leave it (SunNeverSets) at that declination.
double RiseHourAngle(double Latitude, double Declination);

// Hour angle of sunset, radians: -RiseHourAngle. Same errors.
double SetHourAngle(double Latitude, double Declination);

// Sunrise (sunset), minutes after 0h UT of the date whose 0h UT is Julian Day JD,
// for a latitude (degrees, not clamped) and LonW (degrees west). The estimate is
// refined once with the Sun's coordinates at the estimated instant.
// Throws NoRiseOrSetError on polar days and nights.
double SunriseMinutesUTC(double JD, double Latitude, double LonW);
double SunsetMinutesUTC(double JD, double Latitude, double LonW);

// Sunrise, local clock time as a fraction of a day. Latitude is clamped to
// -89.8..89.8. Throws NoRiseOrSetError on polar days and nights.
double SunriseLocal(double Latitude, double Longitude, double Year, double Month, double Day,
                    double Zone, double Summer);

// Solar transit (zero hour angle), local clock time as a fraction of a day. Does not
// depend on the latitude and exists on every date.
double TransitLocal(double Latitude, double Longitude, double Year, double Month, double Day,
                    double Zone, double Summer);

// Sunset, local clock time as a fraction of a day. Latitude is clamped to
// -89.8..89.8. Throws NoRiseOrSetError on polar days and nights.
double SunsetLocal(double Latitude, double Longitude, double Year, double Month, double Day,
                   double Zone, double Summer);

}  // namespace astro
