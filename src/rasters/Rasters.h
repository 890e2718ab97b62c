// Images and grids (orthophotos, scanned sheets, elevation models) converted to the other
// datum: read through the GDAL module in talpor-capas, as layers are, and moved with their
// pixels untouched where the method's shift over the image is an affine change of its
// georeference within the tolerance (Georeference.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "layers/LayerWorker.h"
#include "tables/Run.h"

namespace rasters {

// Whether `path` is an image Talpor converts, by its extension: GeoTIFF (.tif, .tiff),
// JPEG or PNG with a world file, and ESRI's ASCII grids (.asc).
bool IsRasterFile(std::string_view path);

// How far from the method a pixel may be for the pixels to stay, in pixels (--tolerancia).
inline constexpr double kDefaultTolerance = 0.25;

struct RasterSummary {
    std::int64_t width = 0, height = 0;
    int bands = 0;
    std::string type;              // "Byte", "Float32"
    std::string from, to;          // "ED50 UTM 30 (EPSG:23030)"
    bool northUp = true;           // the new georeference has no rotation terms
    double worstMetres = 0, worstPixels = 0;
    std::vector<std::string> written;  // besides the destination: its world file, .prj
    // How it was resampled ("near", "bilinear", "cubic"); "" for pixels untouched.
    std::string resampled;
};

// Converts the image `input` to `output` (a file, replaced when it exists; files beside it
// only with settings.layers.replace), nothing left under the names when it fails: its
// pixels untouched where the method allows it, else resampled through the IGN grid into
// a GeoTIFF.
// Throws batch::RunError.
RasterSummary ConvertRaster(const std::string& input, const std::string& output, const batch::Settings& settings,
                            double tolerance = kDefaultTolerance);

// The summary for standard error: "talpor-lote: orto.tif: imagen de 10.000 × 8.000
// píxeles, 3 bandas Byte; ED50 UTM 30 (EPSG:23030) a ETRS89 UTM 30 (EPSG:25830): píxeles
// intactos, georreferencia movida (a lo sumo 0,03 m, 0,07 píxeles de donde los pone el método)".
std::string RasterSummaryText(const RasterSummary& summary, std::string_view inputName);
// The same words without the program and the file: "imagen de 10.000 × 8.000 píxeles, …".
std::string RasterSummaryLine(const RasterSummary& summary);

// talpor-capas' job "imagen": the input's georeference planned and written.
void RasterJob(const std::vector<std::string>& args, const batch::Settings& settings,
               const std::function<void(const batch::Record&)>& send);

}  // namespace rasters
