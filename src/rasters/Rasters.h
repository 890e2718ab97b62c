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

// Whether `path` is an image Talpor converts, by what the file is (tables::WhatIs), or by
// its extension while it cannot be read: GeoTIFF (.tif, .tiff), JPEG or PNG with a world
// file, ESRI's ASCII grids (.asc), VRT, JPEG 2000 (.jp2, .j2k), Erdas Imagine and ENVI
// (.img), ESRI's .hdr labelled grids (.bil, .bip, .bsq), XYZ grids (.xyz), and ECW and
// MrSID (.ecw, .sid), which are refused with a sentence. A GeoPackage is one when it holds
// raster tiles and no layers.
bool IsRasterFile(std::string_view path);

// The image the existing file `path` is by its content (tables::WhatIs), as GDAL's driver
// names it: "GTiff", "PNG", "JPEG", "JP2OpenJPEG", "HFA", "GPKG" (raster tiles and no
// layers), "VRT", "AAIGrid", "ENVI" and "EHdr" (by the .hdr beside it), "XYZ"; "" for none
// of them, and for ECW and MrSID, which GDAL here does not read.
std::string ImageFormatOfContent(const std::string& path);

// Whether the GeoPackage `path` holds raster tiles besides its layers: it is converted as
// layers, and kTilesLeft says what became of its tiles.
bool HasTilesBesideLayers(const std::string& path);
inline constexpr const char* kTilesLeft =
    "su imagen en teselas no se convierte con sus capas ni pasa al destino: expórtela a GeoTIFF (gdal_translate) y "
    "conviértala aparte";

// The name an image `input` is written under in a folder's run, from its own `name`: a
// GeoPackage's tiles go into a GeoTIFF (name.tif), any other keeps its format.
std::string ImageOutputName(const std::string& name, const std::string& input);

// How far from the method a pixel may be for the pixels to stay, in pixels (--tolerancia).
inline constexpr double kDefaultTolerance = 0.25;

// What the user chose for images besides the conversion's settings.
struct RasterOptions {
    double tolerance = kDefaultTolerance;
    bool resample = false;   // --remuestrear: resampled even where the pixels could stay
    std::string resampling;  // --remuestreo, as GDAL names it ("near", "cubic"); "": by the image's kind
    bool cog = false;        // --formato=cog: a cloud-optimised GeoTIFF
};

// --remuestreo's words ("vecino", "bilineal", "cubica", "lanczos", "media", "moda") as
// GDAL names them; "" for a word that is none of them.
std::string ResamplingOf(std::string_view word);

struct RasterSummary {
    std::int64_t width = 0, height = 0;
    int bands = 0;
    std::string type;              // "Byte", "Float32"
    std::string from, to;          // "ED50 UTM 30 (EPSG:23030)"
    double pixelX = 0, pixelY = 0; // the input's pixel, in its units
    bool degrees = false;          // the input is in degrees (else metres)
    bool northUp = true;           // the new georeference has no rotation terms
    double worstMetres = 0, worstPixels = 0;
    std::vector<std::string> written;  // besides the destination: its world file, .prj
    // How it was resampled ("near", "bilinear", "cubic"); "" for pixels untouched.
    std::string resampled;
    bool asked = false;  // resampled because the user asked for it (--remuestrear, --tolerancia=0)
    // The format its pixels were written again in, untouched, where the destination's is
    // not the input's ("COG", "AAIGrid"); "" for the same bytes.
    std::string recoded;
    // The JPEG quality its pixels were written again at, losing some; 0 where every value
    // is the input's or the resampling's.
    int quality = 0;
    bool jp2 = false;  // the quality is a JPEG 2000's (JP2OpenJPEG's QUALITY)
    std::string set;  // the Helmert set of the whole image ("EST99"); "" for the other methods
    std::string way;  // toward a target (--destino): the method, or "solo la proyección"
};

// What ConvertRaster will do with `input`, without writing anything: its size, systems
// and way (a destination's format may change the way: "" for the input's). Throws
// tables::RunError when it cannot be converted. `progress` is called while the worker
// reads, about every tenth of a second; what it throws stops the worker.
RasterSummary PlanRaster(const std::string& input, const std::string& output, const tables::Settings& settings,
                         const RasterOptions& options = {}, const layers::LayerProgress& progress = {});

// Converts the image `input` to `output` (a file, replaced when it exists; files beside it
// when they exist only as `replace` or settings.layers.replace allow it), nothing left under
// the names when it fails or `progress` throws: its pixels untouched where the method
// allows it, else resampled through the method. `progress` is told the rows of pixels
// written and their total.
// Throws tables::RunError.
RasterSummary ConvertRaster(const std::string& input, const std::string& output, const tables::Settings& settings,
                            const RasterOptions& options = {}, const layers::LayerProgress& progress = {},
                            const layers::ReplaceQuestion& replace = {});

// The summary for standard error: "talpor-lote: orto.tif: imagen de 10.000 × 8.000
// píxeles, 3 bandas Byte; ED50 UTM 30 (EPSG:23030) a ETRS89 UTM 30 (EPSG:25830): píxeles
// intactos, georreferencia movida (a lo sumo 0,03 m, 0,07 píxeles de donde los pone el método)".
std::string RasterSummaryText(const RasterSummary& summary, std::string_view inputName);
// The same words without the program and the file: "imagen de 10.000 × 8.000 píxeles, …".
std::string RasterSummaryLine(const RasterSummary& summary);

// The image as the file dialog shows it before converting: "Imagen de 10.000 × 8.000
// píxeles de 0,5 m, 3 bandas Byte; ED50 UTM 30 (EPSG:23030)", then on a second line the
// way it will take.
std::string RasterPreview(const RasterSummary& plan);

// talpor-capas' job "imagen": the input's georeference planned and written.
void RasterJob(const std::vector<std::string>& args, const tables::Settings& settings,
               const std::function<void(const layers::Record&)>& send);

}  // namespace rasters
