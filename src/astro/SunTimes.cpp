// Sunrise, transit and sunset by the hour-angle method with the equation of time:
// a first estimate from the Sun's coordinates at 0h UT, then one refinement with its
// coordinates at the estimated instant.
#include "astro/SunTimes.h"

#include <cmath>
#include <string>

#include "astro/InverseTrig.h"
#include "astro/JulianDay.h"
#include "astro/SunPosition.h"
#include "geo/Angles.h"
#include "num/Number.h"

using geo::DegToRad;
using geo::RadToDeg;

namespace astro {

namespace {

constexpr double kRiseSetZenith = 90.833;  // degrees: 34' refraction + 16' semi-diameter
constexpr double kLatitudeLimit = 89.8;    // keeps cos(latitude) away from zero
constexpr double kMinutesPerDay = 1440;
constexpr double kNoonMinutes = 720;
constexpr double kMinutesPerDegree = 4;

double ClampLatitude(double lat) {
    if (lat > kLatitudeLimit) return kLatitudeLimit;
    if (lat < -kLatitudeLimit) return -kLatitudeLimit;
    return lat;
}

// Minutes after 0h UT of sunrise or sunset (whichever HourAngle gives) on the day
// starting at JD, in two passes.
template <double (*HourAngle)(double, double)>
double EventMinutesUTC(double JD, double lat, double lonW) {
    double T = JulianCentury(JD);
    double eqTime = EquationOfTime(T);
    double decl = SunDeclination(T);
    double h = RadToDeg(HourAngle(lat, decl));
    double t0 = kNoonMinutes + kMinutesPerDegree * (lonW - h) - eqTime;

    double T1 = JulianCentury(JulianCenturyToJD(T) + t0 / kMinutesPerDay);
    eqTime = EquationOfTime(T1);
    decl = SunDeclination(T1);
    h = RadToDeg(HourAngle(lat, decl));
    return kNoonMinutes + kMinutesPerDegree * (lonW - h) - eqTime;
}

double ToLocalFraction(double minutesUTC, double zone, double summer) {
    return num::Finite((minutesUTC + 60 * zone + 60 * summer) / kMinutesPerDay, "hora local");
}

}  // namespace

NoRiseOrSetError::NoRiseOrSetError(NoRiseOrSetReason reason, double cosHourAngle)
    : num::RuntimeError(num::InvalidCall(
          std::string(reason == NoRiseOrSetReason::SunNeverRises ? "el Sol no sale"
                                                                 : "el Sol no se pone") +
          ": cos H =" + num::Str(cosHourAngle))),
      reason_(reason) {}

double RiseHourAngle(double Latitude, double Declination) {
    double phi = DegToRad(Latitude);
    double delta = DegToRad(Declination);
    double x = num::Div(std::cos(DegToRad(kRiseSetZenith)), std::cos(phi) * std::cos(delta)) -
               std::tan(phi) * std::tan(delta);
    // x is the cosine of the rise hour angle: above 1 the Sun's highest point is
    // below the rise altitude, below -1 its lowest point is above it.
    if (x > 1) throw NoRiseOrSetError(NoRiseOrSetReason::SunNeverRises, x);
    if (x < -1) throw NoRiseOrSetError(NoRiseOrSetReason::SunNeverSets, x);
    return ArcCos(x);
}

double SetHourAngle(double Latitude, double Declination) { return -RiseHourAngle(Latitude, Declination); }

double SunriseMinutesUTC(double JD, double Latitude, double LonW) {
    return EventMinutesUTC<RiseHourAngle>(JD, Latitude, LonW);
}

double SunsetMinutesUTC(double JD, double Latitude, double LonW) {
    return EventMinutesUTC<SetHourAngle>(JD, Latitude, LonW);
}

namespace {

// Local clock time (fraction of a day) of sunrise or sunset, whichever MinutesUTC gives.
template <double (*MinutesUTC)(double, double, double)>
double EventLocal(double Latitude, double Longitude, double Year, double Month, double Day,
                  double Zone, double Summer) {
    double lonW = -Longitude;
    double lat = ClampLatitude(Latitude);
    double jd = JulianDay(Year, Month, Day);
    return ToLocalFraction(MinutesUTC(jd, lat, lonW), Zone, Summer);
}

}  // namespace

double SunriseLocal(double Latitude, double Longitude, double Year, double Month, double Day,
                    double Zone, double Summer) {
    return EventLocal<SunriseMinutesUTC>(Latitude, Longitude, Year, Month, Day, Zone, Summer);
}

double SunsetLocal(double Latitude, double Longitude, double Year, double Month, double Day,
                   double Zone, double Summer) {
    return EventLocal<SunsetMinutesUTC>(Latitude, Longitude, Year, Month, Day, Zone, Summer);
}

double TransitLocal(double /*Latitude*/, double Longitude, double Year, double Month, double Day,
                    double Zone, double Summer) {
    double lonW = -Longitude;
    double jd = JulianDay(Year, Month, Day);
    double T = JulianCentury(jd);
    // The equation of time is taken at the approximate instant of local noon.
    double T1 = JulianCentury(JulianCenturyToJD(T) + 0.5 + lonW / 360);
    double eqTime = EquationOfTime(T1);
    double m = kNoonMinutes + kMinutesPerDegree * lonW - eqTime;
    return ToLocalFraction(m, Zone, Summer);
}

}  // namespace astro
