// The solar ephemeris of Talpor: Julian Day, the Sun's position, the
// local times of sunrise, transit and sunset, and its azimuth and elevation.
#pragma once

#include "astro/DayFraction.h"
#include "astro/InverseTrig.h"
#include "astro/JulianDay.h"
#include "astro/SunHorizon.h"
#include "astro/SunPosition.h"
#include "astro/SunTimes.h"
