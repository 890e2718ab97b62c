// GIS layers: Shapefile, GeoPackage, KML and KMZ, GeoJSON and DXF files, read and
// written through GDAL (its module, batch/GdalModule.h, loaded on first use). Every
// vertex of every geometry goes through the conversion core as a typed point; the
// features keep their attributes, ids, order and geometry types, the layers their
// names. The source system is read from the layer; the output carries its own.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/Stream.h"

namespace batch {

// A layer format: how --formato and the extensions name it, and GDAL's driver.
struct LayerFormat {
    std::string_view name;       // as --formato takes it
    std::string_view driver;     // GDAL's short name
    std::string_view extension;  // of the files it is saved as
    std::string_view title;      // for messages
    bool wgs84 = false;          // the format is WGS84 longitude and latitude by definition
    bool read = true;            // read as a layer (GPX is read as points: batch/Gps.h)
};

inline constexpr LayerFormat kLayerFormats[] = {
    {"shp", "ESRI Shapefile", ".shp", "Shapefile", false},
    {"gpkg", "GPKG", ".gpkg", "GeoPackage", false},
    {"kml", "LIBKML", ".kml", "KML", true},
    {"kmz", "LIBKML", ".kmz", "KMZ", true},
    {"geojson", "GeoJSON", ".geojson", "GeoJSON", true},
    {"dxf", "DXF", ".dxf", "DXF", false},
    // Written for a GPS unit: points as waypoints, lines as routes, multi-lines as tracks.
    {"gpx", "GPX", ".gpx", "GPX", true, false},
};

// The layer format of a file name by its extension (any case; ".json" is GeoJSON);
// nullptr for none.
const LayerFormat* LayerFormatOfPath(std::string_view path);
// The layer format --formato names; nullptr for none.
const LayerFormat* LayerFormatNamed(std::string_view name);

// True for an input read as layers: the extension of a layer format read as one.
inline bool IsLayerFile(std::string_view path) {
    const LayerFormat* f = LayerFormatOfPath(path);
    return f != nullptr && f->read;
}

// What GDAL finds in a file, for the dialog's preview: each layer with its geometry
// type, counts and system.
struct LayerInfo {
    std::string name;
    std::string geometry;     // its geometry type: "polígonos", "líneas 3D"
    std::string system;       // "ED50 / UTM zone 30N (EPSG:23030)"; "sin sistema"
    std::int64_t features = -1;  // -1: unknown until read
    std::int64_t vertices = -1;  // -1: not counted (a file of more than kCountedFeatures)
    // The direction its system is converted in; none for a layer without a system (or with
    // one Talpor does not convert).
    std::optional<core::Direction> direction;
};

// LayersOf counts the vertices of files of at most this many features: more would keep a
// dialog waiting.
inline constexpr std::int64_t kCountedFeatures = 200000;

// The layers of `path`. Throws RunError when GDAL cannot be loaded or the file read.
std::vector<LayerInfo> LayersOf(const std::string& path);

// What a layer run did to one layer.
struct LayerReport {
    std::string name;
    std::string from, to;  // "ED50 UTM 30 (EPSG:23030)", "ETRS89 UTM 30 (EPSG:25830)"
    std::int64_t features = 0, vertices = 0;
    int zone = 0;                       // the output's UTM zone; 0 for degrees
    std::int64_t outsideBand = 0;       // vertices beyond the zone's 6º band
    std::vector<std::int64_t> leftOut;  // ids of the features left out (--omitir-fuera)
    std::int64_t withoutHeight = 0;     // vertices whose Z is no height (clamped to the ground)
    // Written to DXF, which keeps no system and only attributes of its own: the
    // attributes it does not keep; the layer's name goes in each entity's Layer.
    bool cad = false;
    std::vector<std::string> notKept;
};

struct LayerSummary {
    std::vector<LayerReport> layers;
    std::vector<RowError> notes;  // the first kListedNotes notes; `noted` in all
    std::uint64_t noted = 0;
    std::string output;           // what was written: the format's title, or "tabla"
};

// Called with the features read so far, now and then; what it throws stops the run.
using LayerProgress = std::function<void(std::uint64_t features)>;

// Converts every layer of `input` to `output` ("-": standard output, as a table):
// a layer file in the format settings.layerFormat names or the output's extension
// gives (else the input's), written in a temporary folder beside it and moved into
// place once complete; a table (.csv, .txt, standard output) of one row per vertex.
// The direction follows the layers' system (settings.conversion.direction for a layer
// without one, settings.layers.directionGiven required). Throws RunError, leaving no
// part of the output.
LayerSummary ConvertLayers(const std::string& input, const std::string& output, const Settings& settings,
                           const LayerProgress& progress = {});

// The summary for standard error, one line a layer.
// A layer written to DXF: "en la capa DXF «montes», sin el sistema ni los atributos, que
// DXF no guarda: «WKT» y «id»".
std::string CadText(const LayerReport& report);
std::string LayerSummaryText(const LayerSummary& summary, std::string_view inputName);

}  // namespace batch
