// GIS layers: Shapefile, GeoPackage, KML and KMZ, GeoJSON, DXF, MapInfo (TAB and MIF),
// GML, FlatGeobuf, SpatiaLite and CSV with a WKT column, read and written through GDAL.
// Every vertex of every geometry goes through the conversion core as a typed point; the
// features keep their attributes, ids, order and geometry types, the layers their names. The source system is read from the layer; the output carries
// its own.
//
// GDAL reads the files in talpor-capas, a process of its own (layers/LayerEngine.h does
// the work there), so that a file GDAL crashes or hangs on, or one that grows without end
// as it is read, costs a sentence and no more: neither the window nor talpor-lote goes
// down with it. The calling process keeps the destination: it checks it before the run,
// gives the worker a temporary folder beside it and moves the files into place once
// they are whole.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/OutputFile.h"
#include "tables/Run.h"

namespace layers {

// A layer format: how --formato and the extensions name it, and GDAL's driver.
struct LayerFormat {
    std::string_view name;       // as --formato takes it
    std::string_view driver;     // GDAL's short name
    std::string_view extension;  // of the files it is saved as
    std::string_view title;      // for messages
    bool wgs84 = false;          // the format is WGS84 longitude and latitude by definition
    bool read = true;            // read as a layer (GPX is read as points: gps/Gps.h)
    bool streams = false;        // one file that can go to standard output
    bool caseBlind = false;      // attribute names that differ only in case are one name
    bool oneLayer = false;       // a file holds one layer
};

inline constexpr LayerFormat kLayerFormats[] = {
    {"shp", "ESRI Shapefile", ".shp", "Shapefile", false, true, false, true},
    {"gpkg", "GPKG", ".gpkg", "GeoPackage", false, true, false, true},
    {"kml", "LIBKML", ".kml", "KML", true, true, true},
    {"kmz", "LIBKML", ".kmz", "KMZ", true},
    {"geojson", "GeoJSON", ".geojson", "GeoJSON", true, true, true, false, true},
    {"dxf", "DXF", ".dxf", "DXF", false},
    {"tab", "MapInfo File", ".tab", "MapInfo TAB", false, true, false, true, true},
    {"mif", "MapInfo File", ".mif", "MapInfo MIF", false, true, false, true, true},
    {"gml", "GML", ".gml", "GML", false},
    {"fgb", "FlatGeobuf", ".fgb", "FlatGeobuf", false, true, false, false, true},
    {"sqlite", "SQLite", ".sqlite", "SpatiaLite", false, true, false, true},
    // A CSV whose geometry is WKT text in a column named WKT, as QGIS writes one: a .csv is
    // this only where its content says so (IsWktCsv), and a table of points otherwise.
    {"csvwkt", "CSV", ".csv", "CSV con WKT", false, true, false, false, true},
    // Written for a GPS unit: points as waypoints, lines as routes, multi-lines as tracks.
    {"gpx", "GPX", ".gpx", "GPX", true, false, true},
};

// The layer format of a file name by its extension (any case; ".json" is GeoJSON; ".csv"
// none, a table); nullptr for none.
const LayerFormat* LayerFormatOfPath(std::string_view path);
// The layer format --formato names; nullptr for none.
const LayerFormat* LayerFormatNamed(std::string_view name);

// Whether the file `path` is a CSV of WKT geometries: its first line names a column WKT,
// in any case (WhatIs, tables/FileKind.h). Reads its first bytes alone, without GDAL;
// false for a file it cannot read.
bool IsWktCsv(const std::string& path);

// `path` and the files of its name that go with it, in either case: a shapefile's .shx,
// .dbf, .prj, .cpg, ...; a MapInfo table's .dat, .map, .id, .ind; a MIF's .mid; a GML's
// .xsd and .gfs; a WKT CSV's .csvt and .prj: the ones an input is read from and an output
// is written as. A .csv has parts when `format` is "csvwkt" (null: when IsWktCsv).
std::vector<std::string> LayerFiles(const std::string& path, const LayerFormat* format = nullptr);

// "«a»", "«a» y «b»", "«a», «b» y «c»".
std::string NameList(const std::vector<std::string>& names);

// Refuses, before anything is written, a destination `path` (named `shown`) that is one of
// the input's files `inputs` or no regular file (a device, a FIFO, a link to one), links
// followed, as the rename will not follow them but would leave the input's name on the
// new file; `what` ("una capa", "una imagen") is written in a regular one. Throws RunError.
void CheckDestination(const std::string& path, const std::string& shown, const std::vector<tables::FileId>& inputs,
                      std::string_view what = "una capa");

// The layer format of an input by what the file is (WhatIs: a GeoPackage named .dat is
// one), by its name when it cannot be read yet; nullptr for a file that is no layer.
const LayerFormat* LayerFormatOfInput(const std::string& path);

// True for an input read as layers: a file of a layer format read as one.
inline bool IsLayerFile(const std::string& path) {
    const LayerFormat* f = LayerFormatOfInput(path);
    return f != nullptr && f->read;
}

// What a run writes for a layer input: a table of its vertices (CSV or text), or layers in
// `format`: the one --formato names, else the destination's extension's, else the input's.
// A .csv destination is a table, but of a CSV of WKT geometries another such CSV.
struct LayerOutput {
    bool table = false;
    const LayerFormat* format = nullptr;  // null for a table
};
LayerOutput LayerOutputOf(const std::string& input, const std::string& output, const tables::Settings& settings);

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
    int epsg = 0;  // its system's EPSG code as read (0: none); one known by its parameters, as taken
    // The UTM zone it is in: its system's, or for a layer in degrees the zone of most of
    // its vertices where they were counted; 0 unknown.
    int zone = 0;
};

// LayersOf counts the vertices of files of at most this many features: more would keep a
// dialog waiting.
inline constexpr std::int64_t kCountedFeatures = 200000;

// What one input may cost, far above what any real file needs: beyond any of these it is
// refused in one sentence, before its output grows far. Features and vertices in all are
// allowed a fixed number and two more for each byte of the input (of its KML, for a KMZ):
// every real format spends tens of bytes on each (a shapefile's point 28 and more, a
// GeoPackage's 50, KML's coordinates 20 a vertex), so that only a file that multiplies
// what it holds (a DXF block inserted as an array of thousands by thousands, a
// GeoPackage view whose query repeats without end) comes near. The memory and the time
// without a feature read bound what no count can: GDAL's own work on a file.
struct LayerLimits {
    std::int64_t featureVertices = 10'000'000;  // in one feature
    std::int64_t features = 250'000;            // in all, plus perByte for each byte
    std::int64_t vertices = 5'000'000;          // in all, plus perByte for each byte
    std::int64_t perByte = 2;
    std::int64_t kmlBytes = std::int64_t{128} << 20;  // of a KML, or of a KMZ's, inflated
    std::uint64_t memory = std::uint64_t{2} << 30;    // resident in the worker, bytes
    // Processor time the worker may spend without reading a feature: this, and as much
    // again for each `idleBytesPerSecond` of the input (opening a large KML or GeoJSON reads
    // it whole); four times as much time on the clock, whatever it does.
    double idleSeconds = 15;
    double idleBytesPerSecond = 8 << 20;
};

// Called now and then while GDAL reads: the features read so far, and the features the
// input holds where its layers tell (0: unknown). What it throws stops the run and leaves
// no part of the output (a cancelled run).
using LayerProgress = std::function<void(std::uint64_t features, std::uint64_t total)>;

// The layers of `path`. Throws RunError when the file cannot be read.
std::vector<LayerInfo> LayersOf(const std::string& path, const LayerProgress& progress = {},
                                const LayerLimits& limits = {});

// A file's layers with their systems, their vertices not counted (LayerInfo::vertices -1),
// or why it cannot be read.
struct FileLayers {
    std::vector<LayerInfo> layers;
    std::string unreadable;
};
// The layers of each of `paths`, as LayersOf reads them but uncounted: a batch of files to
// a worker, which sets GDAL up once for all of them rather than once a file. A file the
// worker cannot get past (GDAL crashes or hangs on it) is read again alone, and the batch
// goes on after it. `progress` is told of the files read and of their total; what it
// throws stops the reading.
std::vector<FileLayers> LayersOfFiles(const std::vector<std::string>& paths, const LayerProgress& progress = {},
                                      const LayerLimits& limits = {});
// What a layer run did to one layer.
struct LayerReport {
    std::string name;
    std::string from, to;  // "ED50 UTM 30 (EPSG:23030)", "ETRS89 UTM 30 (EPSG:25830)"
    // Toward a target (--destino): how it went there, the method ("rejilla") or "solo la
    // proyección" on one datum; and whether it was there already, its vertices copied.
    std::string way;
    bool unchanged = false;
    std::int64_t features = 0, vertices = 0;
    int zone = 0;                       // the output's UTM zone; 0 for degrees
    std::int64_t outsideBand = 0;       // vertices beyond the zone's 6º band
    std::vector<std::int64_t> leftOut;  // ids of the features left out (--omitir-fuera)
    std::int64_t withoutHeight = 0;     // vertices whose Z is no altitude (KML's altitudeMode)
    std::int64_t withoutGeometry = 0;   // features with no geometry, written as they are
    // Features with no geometry left out, of a format that cannot hold them (DXF,
    // FlatGeobuf, its title in `droppedBy`): their ids.
    std::vector<std::int64_t> droppedWithoutGeometry;
    std::string droppedBy;
    std::int64_t unread = 0;            // records GDAL could not read at all
    // Texts that were not valid in their encoding (a .cpg that lies), read as
    // Windows-1252; bytes of them it leaves undefined, written as U+FFFD.
    std::int64_t recoded = 0, replaced = 0;
    // Attributes written under another name: "Name" as "Name_2" beside "name" in a format
    // that does not tell case.
    std::vector<std::pair<std::string, std::string>> renamed;
    // What the output format made of attributes, each in a sentence: another name (a
    // shapefile's ten characters), another type (a date and time as ISO text).
    std::vector<std::string> changes;
    // A table of attributes without geometry (a GeoPackage's), left out of the run.
    bool skipped = false;
    // Written to DXF, which keeps no system and only attributes of its own: the
    // attributes it does not keep; the layer's name goes in each entity's Layer.
    bool cad = false;
    std::vector<std::string> notKept;
};

struct LayerSummary {
    std::vector<LayerReport> layers;
    std::vector<tables::RowError> notes;  // the first kListedNotes notes; `noted` in all
    std::uint64_t noted = 0;
    // What GDAL could not read, record by record: the first kListedErrors; `failed` in all.
    // A run with any is not whole.
    std::vector<tables::RowError> errors;
    std::uint64_t failed = 0;
    std::string output;           // what was written: the format's title, or "tabla"
    // The files written besides the one named (a shapefile a layer, and their parts), by
    // their names in the destination's folder.
    std::vector<std::string> written;
};

// Whether the run converted every feature whole: nothing left out, nothing unread.
bool Whole(const LayerSummary& summary);

// Asked before files other than the one named are replaced: their names in the
// destination's folder; true to replace them. Without one, such a run is refused unless
// settings.layers.replace allows it.
using ReplaceQuestion = std::function<bool(const std::vector<std::string>& existing)>;

// The arguments of talpor-capas for a run's settings: the grids are opened there from the
// same folders.
std::vector<std::string> GridArguments(const tables::Settings& settings);

// "3 vértices sin altura (su Z no es una altitud)": the vertices converted without their Z,
// which KML's altitudeMode says is no altitude above the sea (on the ground, on the sea
// floor, above the terrain); each row of a table says which.
std::string WithoutHeightCount(std::int64_t vertices);

// What converting the layers ReadLayers found in `input` into `output` writes, said
// before the run: the format, the system of each layer's output, and the files, the
// destination's name first and the others as they will be named in its folder (a
// shapefile is five files). What the run refuses is left to the run to say.
struct WritePlan {
    std::string format;  // "Shapefile"; "tabla CSV"
    std::vector<std::pair<std::string, std::string>> systems;  // each layer and its output's: "ED50 UTM 30 (EPSG:23030)"
    std::vector<std::string> files;
};
WritePlan PlanWrite(const std::string& input, const std::string& output, const tables::Settings& settings,
                    const std::vector<LayerInfo>& layers);

// Converts every layer of `input` to `output` (LayerOutputOf): layers written in a
// temporary folder beside it and moved into place once complete (to standard output,
// "-", a format that streams: GeoJSON, KML, GPX); a table (.csv, .txt, standard output)
// of one row per vertex. The direction follows the layers' system
// (settings.conversion.direction for a layer without one, settings.layers.directionGiven
// required). Never writes over the input (any of its files, by any name), nor replaces a
// device, a pipe or a socket. Throws RunError, leaving no part of the output. A signal
// (Ctrl+C) ends the process as the signal says once the output is removed; a caller that
// defers signals (DeferSignals, tables/OutputFile.h) gets Interrupted instead.
LayerSummary ConvertLayers(const std::string& input, const std::string& output, const tables::Settings& settings,
                           const LayerProgress& progress = {}, const ReplaceQuestion& replace = {},
                           const LayerLimits& limits = {});

// What the summary says of a layer without a feature (an empty KML folder): no system,
// no zone, for there was nothing to convert.
inline constexpr const char* kEmptyText = "vacía, sin entidades";
// Whether a layer had no feature to convert.
bool Empty(const LayerReport& report);

// What the summary says of a table without geometry, left out.
inline constexpr const char* kSkippedText = "una tabla de atributos sin geometría, que no se convierte ni se escribe";

// The summary for standard error, one line a layer.
// A layer written to DXF: "en la capa DXF «montes», sin el sistema ni los atributos, que
// DXF no guarda: «WKT» y «id»".
std::string CadText(const LayerReport& report);
// What else a layer's line says: "3 entidades sin geometría", "2 registros que GDAL no
// ha podido leer", texts recoded, attributes renamed; "" when nothing.
std::string LayerNotesText(const LayerReport& report);
std::string LayerSummaryText(const LayerSummary& summary, std::string_view inputName);
// How a layer's vertices went, after its count of entities; `joint` before the systems
// ("; " on a terminal, ", " in the window): "12 vértices convertidos; ED50 UTM 30
// (EPSG:23030) a ETRS89 UTM 30 (EPSG:25830)", toward a target "… ED50 UTM 31 (EPSG:23031) →
// ETRS89 UTM 30 (EPSG:25830) (rejilla)", or "4 vértices; ya está en ETRS89 UTM 30
// (EPSG:25830): copiada sin cambios".
std::string LayerWayText(const LayerReport& report, std::string_view joint);

}  // namespace layers
