// The Sun's azimuth and refraction-corrected elevation at a local clock time.
//
// Arguments: Latitude (degrees north, clamped to -89.8..89.8), Longitude (degrees
// east), Year, Month, Day as JulianDay takes them, Hours, Minutes, Seconds of local
// clock time (summer time included), Zone and Summer (hours, as in SunTimes.h).
#pragma once

namespace astro {

// Azimuth of the Sun, degrees from north through east, 0..360. Where
// cos(latitude) * sin(zenith distance) is 0.001 or less (the Sun within a few
// hundredths of a degree of the zenith or nadir) the azimuth is undefined and 180
// is returned for northern latitudes, 0 otherwise.
double SunAzimuth(double Latitude, double Longitude, double Year, double Month, double Day,
                  double Hours, double Minutes, double Seconds, double Zone, double Summer);

// Elevation of the Sun above the horizon, degrees, -90..90, including an approximate
// atmospheric refraction (about +0.4 degrees at the horizon).
double SunElevation(double Latitude, double Longitude, double Year, double Month, double Day,
                    double Hours, double Minutes, double Seconds, double Zone, double Summer);

}  // namespace astro
