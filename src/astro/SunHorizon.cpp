// Horizontal coordinates of the Sun from its declination and the true solar time
// (hour angle from the equation of time), with a four-band refraction model for the
// elevation.
#include "astro/SunHorizon.h"

#include <cmath>

#include "astro/InverseTrig.h"
#include "astro/JulianDay.h"
#include "astro/Reduce.h"
#include "astro/SunPosition.h"
#include "geo/Angles.h"
#include "num/Number.h"

using geo::DegToRad;
using geo::RadToDeg;

namespace astro {

namespace {

constexpr double kLatitudeLimit = 89.8;
constexpr double kMinutesPerDay = 1440;
constexpr double kMinutesPerDegree = 4;
// Below this cos(latitude) * sin(zenith distance) the azimuth is undefined.
constexpr double kDegenerateAzimuth = 0.001;

struct Horizon {
    double lat;          // clamped latitude, degrees
    double zenith;       // zenith distance z, degrees, 0..180
    double hourAngle;    // degrees, negative before noon
    double declination;  // degrees
};

Horizon HorizonAt(double Latitude, double Longitude, double Year, double Month, double Day,
                  double Hours, double Minutes, double Seconds, double Zone, double Summer) {
    double lonW = -Longitude;
    double lat = Latitude;
    if (lat > kLatitudeLimit) lat = kLatitudeLimit;
    else if (lat < -kLatitudeLimit) lat = -kLatitudeLimit;
    double z = -Zone;

    double hs = Hours - Summer;  // clock hour without summer time
    double tUT = hs + Minutes / 60 + Seconds / 3600 + z;
    double T = JulianCentury(JulianDay(Year, Month, Day) + tUT / 24);

    double decl = SunDeclination(T);
    double eqTime = EquationOfTime(T);

    double fix = eqTime - kMinutesPerDegree * lonW + 60 * z;  // minutes
    double tst = num::Finite(hs * 60 + Minutes + Seconds / 60 + fix, "tiempo solar verdadero");
    tst = ReduceFromAbove(tst, kMinutesPerDay);  // a negative value is left as it is

    double ha = tst / kMinutesPerDegree - 180;
    if (ha < -180) ha += 360;

    double phi = DegToRad(lat);
    double delta = DegToRad(decl);
    double c = std::sin(phi) * std::sin(delta) + std::cos(phi) * std::cos(delta) * std::cos(DegToRad(ha));
    if (c > 1) c = 1;
    else if (c < -1) c = -1;
    return {lat, RadToDeg(ArcCos(c)), ha, decl};
}

}  // namespace

double SunAzimuth(double Latitude, double Longitude, double Year, double Month, double Day,
                  double Hours, double Minutes, double Seconds, double Zone, double Summer) {
    Horizon h = HorizonAt(Latitude, Longitude, Year, Month, Day, Hours, Minutes, Seconds, Zone, Summer);
    double phi = DegToRad(h.lat);
    double zr = DegToRad(h.zenith);
    double d = std::cos(phi) * std::sin(zr);
    if (!(std::fabs(d) > kDegenerateAzimuth)) return h.lat > 0 ? 180 : 0;

    double a = (std::sin(phi) * std::cos(zr) - std::sin(DegToRad(h.declination))) / d;
    if (std::fabs(a) > 1) a = a < 0 ? -1 : 1;
    double az = 180 - RadToDeg(ArcCos(a));
    if (h.hourAngle > 0) az = -az;
    if (az < 0) az += 360;
    return az;
}

double SunElevation(double Latitude, double Longitude, double Year, double Month, double Day,
                    double Hours, double Minutes, double Seconds, double Zone, double Summer) {
    Horizon h = HorizonAt(Latitude, Longitude, Year, Month, Day, Hours, Minutes, Seconds, Zone, Summer);
    double e0 = 90 - h.zenith;
    // Refraction in arc seconds, by altitude band.
    double r = 0;
    if (!(e0 > 85)) {
        double te = std::tan(DegToRad(e0));
        if (e0 > 5) {
            r = 58.1 / te - 0.07 / num::Pow(te, 3) + 0.000086 / num::Pow(te, 5);
        } else if (e0 > -0.575) {
            r = 1735 + e0 * (-518.2 + e0 * (103.4 + e0 * (-12.79 + e0 * 0.711)));
        } else {
            r = -20.774 / te;
        }
    }
    r = r / 3600;
    return 90 - (h.zenith - r);
}

}  // namespace astro
