// The C interface between talpor-lote's layers (layers/Layers.h) and its GDAL module,
// talpor-gdal.so: the one part of the program that links GDAL, loaded (dlopen) the first
// time a layer is read. GDAL brings a hundred libraries that a run on a CSV file, and the
// window's start, have no use for. Plain C types only, so that no exception and no C++
// object crosses between the two.
//
// The module reads every layer of a file feature by feature, hands the features' vertices
// to the program in flat arrays, a few hundred features at a time, and writes the features
// it gives back, with their attributes, ids and geometry types, to a new file of the
// driver asked for. What GDAL reports while reading is handed over too, record by record.
// The module runs in talpor-capas, the program's worker process for layers, so that
// whatever GDAL does to a file it cannot read reaches neither the window nor talpor-lote.
#pragma once

#include <string_view>

extern "C" {

// An input file opened by the module.
struct TalporGdalData;

// What a layer says of itself, read without going through its features.
struct TalporGdalLayerInfo {
    char name[256];
    char geometry[64];   // OGR's name of its geometry type: "Polygon", "3D Line String"
    char system[256];    // the name of its coordinate system; "" without one
    int epsg;            // the system's EPSG code, by its authority or recognised; 0 without
                         // a system; -1 for a system with no EPSG code
    int geographic;      // the system is geographic (longitude, latitude in degrees)
    // A KML's: the folders it lies in, "Sierra/Picos" ("" at the top, or not told).
    char folder[1024];
    long long features;  // -1 when the driver cannot tell without reading them all (a
                         // view of a GeoPackage is counted only by reading it)
    int fields;          // attributes (TalporGdalFunctions::field names them)
    // Where `epsg` is none of Talpor's systems: the one of them whose ellipsoid, prime
    // meridian, units and projection parameters it has, one by one (a .prj that names
    // ED50 / UTM 30 as it likes); 0 for none.
    int likeEpsg;
};

// One feature as the module hands it over. The vertex arrays are the program's to change:
// what they hold when the call returns is written.
struct TalporGdalFeature {
    int layer;           // from 0
    long long index;     // from 0, in the layer's order
    long long fid;       // the feature's id in the file
    int fields;
    const char* const* values;  // each attribute as text, "" when unset
    const int* isSet;           // 1 where the attribute has a value
    const int* isReal;          // 1 where the attribute is a real number: its text has "." before the decimals
    long long count;            // vertices, in the geometry's order
    double* x;                  // longitude or easting
    double* y;                  // latitude or northing
    double* z;                  // 0 for a geometry without Z
    const int* part;            // from 1: the part of a multi-geometry (1 for a single one)
    const int* ring;            // from 1 for a polygon's rings (1 the outer); 0 for lines, points
    const long long* vertex;    // from 1 in its line or ring
    int hasZ;                   // the geometry is 3D
    int noGeometry;             // the feature has none, though its layer has a geometry type
    // A KML feature's gx:Track altitudeMode, which GDAL leaves unset; null for none.
    const char* trackAltitudeMode;
    int type;                   // OGR's flat geometry type (wkbFlatten); 0 without a geometry
    // Texts (attribute values) that were not valid UTF-8 and were read as Windows-1252,
    // and the bytes of those that Windows-1252 leaves undefined, written as U+FFFD.
    int recoded;
    int replaced;
};

// What the program answers to a feature.
enum TalporGdalAnswer {
    TalporGdalWrite = 0,  // written with its vertices as they now are
    TalporGdalLeave = 1,  // left out of the output
    TalporGdalStop = 2    // the run stops: nothing is left of the output
};

struct TalporGdalJob {
    // The output file, written by `driver` (GDAL's short name), with the creation
    // options of dataset and layers ("NAME=VALUE", null-terminated lists); null: the
    // features are only read (handed over, and nothing is written).
    const char* output;
    const char* driver;
    const char* const* datasetOptions;
    const char* const* layerOptions;
    // For each input layer, the EPSG code of its output's system (0: none).
    const int* epsg;
    // For each input layer, the EPSG code of the system its vertices are converted from
    // (null, or 0: not known): MapInfo's bounds are chosen from its extent taken there.
    const int* sourceEpsg;
    // For each input layer, the names its attributes are created with (null: their own;
    // a null name: its own).
    const char* const* const* fieldNames;
    // For each input layer, the geometry type its output layer is created with: OGR's flat
    // code, plus 1000 for one with Z (ISO's codes); 0: the input layer's own.
    const int* geometryTypes;
    // What an output format made of an attribute of layer `layer`, said in a Spanish
    // sentence: another name (`field` -1), another type (`field` its index: the values
    // changed are counted). May be null.
    void (*changed)(void* context, int layer, int field, const char* text);
    // For each input layer, 1 to leave it out: neither read nor written (null: none).
    const int* skip;
    // The order the layers are read and written in, their indexes (null: the input's):
    // GPX's waypoints before its routes and tracks.
    const int* order;
    // KML: the altitudeMode of the 3D features of a layer without that attribute (null:
    // none, which KML reads as on the ground).
    const char* altitudeMode;
    // A feature of more vertices than this stops the run before its vertices are handed
    // over (0: no limit).
    long long maxFeatureVertices;
    void* context;
    // What GDAL reported while reading the record at `record` (from 0) of `layer`: the
    // feature `fid` it gave (-1: none), and `lost` records from there that could not be
    // read at all (0 when the feature was read); `message`: GDAL's own words, "" when it
    // gave none. `failure`: an error, not a warning. May be null.
    // `writing`: reported as the feature was written, not read.
    void (*problem)(void* context, int layer, long long record, long long fid, long long lost, int failure,
                    const char* message, int writing);
    // The next features, in order (`count` of them, at most kTalporGdalBatch), handed over
    // as `batch` (0 or 1) for the program to convert while the module reads and writes on;
    // their arrays stay the program's until `finish` of the same batch returns. 0, or 1 to
    // stop the run.
    int (*start)(void* context, int batch, TalporGdalFeature* features, int count);
    // Waits for the features handed as `batch` and sets each one's TalporGdalAnswer in
    // `answers`: 0, or 1 to stop the run. Every batch started is finished, a stopped run's
    // too, before the run returns.
    int (*finish)(void* context, int batch, int* answers);
};

// What an image or a grid says of itself (GDAL's raster drivers).
struct TalporGdalRasterInfo {
    long long width, height;  // pixels
    int bands;
    char type[32];            // GDAL's name of the first band's data type: "Byte", "Float32"
    char driver[32];          // GDAL's short name of its format: "GTiff", "JPEG", "PNG", "AAIGrid", "JP2OpenJPEG"
    int hasGeoTransform;      // 0: no georeference (an image without a world file)
    double geoTransform[6];   // GDAL's affine georeference (rasters/Georeference.h)
    char system[256];         // as TalporGdalLayerInfo's
    int epsg;
    int geographic;
    int likeEpsg;
    // The extension of the world file its georeference comes from, as the file has it
    // (".tfw", ".jgw", ".pgw", ".wld", ...); "" for none.
    char worldFile[16];
    int palette;              // its first band has a colour table
    int hasNodata;            // its first band's value for no data, when it has one
    double nodata;
    // The quality its pixels were JPEG-compressed at, as GDAL reads it (1 to 100); 0 for
    // no JPEG compression, -1 for JPEG of a quality GDAL does not tell. A JPEG 2000's
    // compressed with loss: its codestream's size in hundredths of its pixels' (JP2OpenJPEG's
    // QUALITY, 1 to 100); 0 for one compressed without loss.
    int jpegQuality;
    int cog;                  // a cloud-optimised GeoTIFF (LAYOUT=COG)
};

// Told now and then how far a raster's writing has gone (0 to 1); 0 from it stops the
// writing.
struct TalporGdalProgress {
    int (*done)(double fraction, void* context);
    void* context;
};

// A resampling: GDAL's warper through the PROJ pipeline `pipeline` from the system
// `sourceEpsg` into the system `epsg`,
// north-up at the input's resolution, on both cores and in bounded memory.
struct TalporGdalWarp {
    const char* pipeline;
    int sourceEpsg;  // the input's system, for the pipeline's axis order whatever the file says
    int epsg;
    const char* resampling;  // "near", "bilinear", "cubic", ... (gdalwarp's -r)
    // GDAL's driver of the output: "GTiff" (tiled and compressed as the input was, JPEG at
    // the input's quality, or DEFLATE; overviews where the input had them), "COG",
    // "AAIGrid", "JPEG", "PNG" (with a world file). Each band's legend comes along:
    // categories, colour table, description, nodata, units and metadata but statistics.
    const char* format;
    TalporGdalProgress progress;
};

struct TalporGdalFunctions {
    // kTalporGdalVersion of the build the module comes from.
    int version;
    // Opens a vector file for reading, through the drivers named (null-terminated; null:
    // any). Null when it cannot be read: `error` (of `size` bytes) then says why, as GDAL
    // puts it. A GML is read without writing the .gfs GDAL would leave beside it; a CSV's
    // geometry is its column WKT, in any case, and not an attribute too.
    TalporGdalData* (*open)(const char* path, const char* const* drivers, char* error, int size);
    int (*layers)(TalporGdalData* data);
    // The layer `layer` as it describes itself: 1, or 0 for no such layer.
    int (*layer)(TalporGdalData* data, int layer, TalporGdalLayerInfo* info);
    // The bytes of the files the input is made of (a shapefile's .shp, .dbf, ...).
    long long (*bytes)(TalporGdalData* data);
    // The name of attribute `field` of layer `layer`; "" for none.
    const char* (*field)(TalporGdalData* data, int layer, int field);
    // Reads every feature of every layer in order and, with an output, writes them. 1 when
    // done; 0 when GDAL failed or the program stopped it, `error` saying why for GDAL
    // ("" when stopped). A failed run may leave part of the output: the caller writes it
    // where it can remove it.
    int (*run)(TalporGdalData* data, const TalporGdalJob* job, char* error, int size);
    void (*close)(TalporGdalData* data);
    // The image or grid at `path`: 1, or 0 when GDAL cannot read it as one (`error` says why).
    int (*raster)(const char* path, TalporGdalRasterInfo* info, char* error, int size);
    // Writes at `output` the image `input` with its pixels untouched and the georeference
    // `geoTransform` in the system `epsg`. In the input's format (`format` null or ""), its
    // files' bytes are copied, with the files GDAL keeps beside it (.aux.xml, .ovr, .msk):
    // a GeoTIFF's tags rewritten in place, an image with a world file given a new world
    // file (`worldFile`, its extension) and a .prj. In another format (a driver of
    // TalporGdalWarp's), its pixels are written again as they are. 1, or 0 with `error`
    // saying why ("" when `progress` stopped it).
    int (*moveRaster)(const char* input, const char* output, const char* worldFile, const double* geoTransform, int epsg,
                      const char* format, const TalporGdalProgress* progress, char* error, int size);
    // Writes at `output` the image `input` resampled as `warp` says. 1, or 0 with `error`
    // saying why ("" when stopped).
    int (*warpRaster)(const char* input, const char* output, const TalporGdalWarp* warp, char* error, int size);
};

// The module's only exported symbol, kTalporGdalEntry.
typedef const TalporGdalFunctions* (*TalporGdalEntry)(void);

}  // extern "C"

inline constexpr int kTalporGdalVersion = 13;
// Features are handed over this many at a time, or fewer of as many vertices together, two
// batches in flight, so that the program converts one while GDAL writes the one before and
// reads the next, and what is held in flight stays small.
inline constexpr int kTalporGdalBatch = 256;
inline constexpr unsigned long long kTalporGdalBatchVertices = 2048;
inline constexpr const char* kTalporGdalEntry = "talpor_gdal_functions";
// The endings of the files GDAL reads beside an image orto.tif as orto.<ending> (its world
// file, .prj, metadata, overviews, mask; an ENVI or ESRI label's .hdr and its statistics
// and colours; an Imagine file's overviews and spill file); every orto.tif.<ending> is one too.
inline constexpr const char* kTalporImageSidecars[] = {"tfw", "tifw", "tiffw", "jgw", "jpgw", "jpegw", "pgw", "pngw", "j2w", "wld",
                                                       "prj", "aux", "aux.xml", "ovr", "msk", "xml", "imd", "rpb", "pam",
                                                       "hdr", "stx", "clr", "rrd", "ige"};
inline constexpr int kTalporImageWorldFiles = 10;  // the first of them
// Whether the file `other` is one GDAL reads beside the image `image` (both names in
// lower case, without folders).
inline bool TalporImageSidecar(std::string_view image, std::string_view other) {
    const std::string_view stem = image.substr(0, image.rfind('.') + 1);  // "orto."
    if (other == image) return false;
    if (other.size() > image.size() && other.starts_with(image) && other[image.size()] == '.') return true;
    if (stem.empty() || !other.starts_with(stem)) return false;
    for (const char* ending : kTalporImageSidecars)
        if (other.substr(stem.size()) == ending) return true;
    return false;
}
