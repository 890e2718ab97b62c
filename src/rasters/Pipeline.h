// The PROJ pipeline an image is resampled through by GDAL's warper (gdalwarp -ct): the
// method of the conversion core written as PROJ's steps, so that every pixel moves as
// MethodMap moves it.
#pragma once

#include <string>

#include "core/Core.h"
#include "core/Grids.h"
#include "rasters/Georeference.h"

namespace rasters {

// The pipeline from the coordinates of `from` to those of `to`, as MethodMap(from, to,
// method, grids, HelmertSets::Given) computes them: the same grids tried in the same
// order, the core's Helmert and Molodensky formulas and ellipsoids, its height 0 on the
// source ellipsoid, `to`'s zone whatever the point's own. PROJ's UTM is exact, the core's
// series leaves it by 0,25 mm 3º from the central meridian. Coordinates are in the axis
// order of the systems' EPSG definitions, the order GDAL gives a pipeline when it knows
// the systems by their codes (-s_srs, -t_srs): easting, northing (metres) for UTM;
// latitude, longitude (degrees) for geographic systems, which MethodMap takes the other
// way round. For Helmert, `method` is the one set of the whole image (HelmertSetOf).
// The warper runs the pipeline backwards, from each output pixel at height 0: Helmert's
// and Molodensky's ways back are not exact inverses in the plane, and put a pixel up to
// 5 mm from where MethodMap does; the grid's is exact. Throws std::runtime_error, with a
// Spanish sentence, when no shift grid is open or a grid's path holds a comma (PROJ takes
// it for the end of the name).
std::string WarpPipeline(const RasterSystem& from, const RasterSystem& to, core::ParameterSet method,
                         core::Grids& grids);

}  // namespace rasters
