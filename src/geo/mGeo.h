// The geodetic library: ellipsoids, angles, UTM, geocentric coordinates and
// the Helmert transformation, Molodensky shifts, distance, radii, packed degrees.
#pragma once

#include "geo/Angles.h"
#include "geo/DegMin.h"
#include "geo/Distance.h"
#include "geo/Ellipsoid.h"
#include "geo/Geocentric.h"
#include "geo/Helmert.h"
#include "geo/Molodensky.h"
#include "geo/Radii.h"
#include "geo/Utm.h"
