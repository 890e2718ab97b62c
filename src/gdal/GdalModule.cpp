// talpor-gdal.so: layers read and written through GDAL's vector C API (OGR). Geometries
// are walked in their own order (parts of a multi-geometry, rings of a polygon, points
// of a line) into flat arrays and written back along the same walk, so that every
// vertex, and nothing else, changes.
#include "gdal/GdalModule.h"

#include "tables/Encoding.h"
#include "tables/SystemError.h"
#include "gdal/KmlStructure.h"
#include "gdal/KmlWriter.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <algorithm>
#include <array>
#include <functional>
#include <cctype>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct TalporGdalData {
    GDALDatasetH dataset = nullptr;
    std::string fieldName;  // the last one Field gave
    // A KML's containers: their folders and their tracks' altitude modes; the one each
    // layer was made of (empty where they could not be told apart).
    batch::KmlStructure kml;
    std::vector<int> containerOf;
    std::vector<std::string> folders;  // of each layer
};

namespace {

void CopyText(const char* text, char* to, int size) {
    if (to == nullptr || size <= 0) return;
    std::snprintf(to, static_cast<std::size_t>(size), "%s", text != nullptr ? text : "");
}

// GDAL's words as a message may hold them: valid UTF-8 on one line, control characters
// (a line break inside, a byte of a damaged file) as blanks.
std::string OneLine(const char* text) {
    std::string line = batch::ValidUtf8(text != nullptr ? text : "");
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// `what` failed, in a sentence, with GDAL's last error in brackets when it gave one.
void LastError(const char* what, char* error, int size) {
    const std::string message = OneLine(CPLGetLastErrorMsg());
    CopyText((message.empty() ? std::string(what) : std::string(what) + " (" + message + ")").c_str(), error, size);
}

// What GDAL reported while the module read one record.
struct Reports {
    std::string messages;  // "; " between them
    bool failure = false;  // one was an error, not a warning
};

// Where GDAL's messages go while a record is read; null: nowhere, the program says what
// went wrong, in Spanish, from the last one.
thread_local Reports* t_reports = nullptr;

// Where GDAL's messages go while an image is read or written, from any thread (the
// warper reads and writes in threads of its own); null: nowhere.
std::mutex g_imageMutex;
Reports* g_imageReports = nullptr;

void Add(Reports& reports, CPLErr level, const std::string& text) {
    if (reports.messages.find(text) == std::string::npos && reports.messages.size() < 1000)
        reports.messages += (reports.messages.empty() ? "" : "; ") + text;
    reports.failure = reports.failure || level >= CE_Failure;
}

void Collect(CPLErr level, CPLErrorNum, const char* message) {
    if (level < CE_Warning) return;
    std::string text = OneLine(message);
    // libjpeg's warnings end with GDAL's advice to make them errors.
    if (const std::size_t advice = text.find(" (this warning can be turned"); advice != std::string::npos) text.resize(advice);
    {
        const std::lock_guard<std::mutex> lock(g_imageMutex);
        if (g_imageReports != nullptr) Add(*g_imageReports, level, text);
    }
    if (t_reports != nullptr) Add(*t_reports, level, text);
}

// Collects GDAL's messages from every thread in `reports` for as long as it lives.
class CollectingImage {
  public:
    explicit CollectingImage(Reports& reports) {
        const std::lock_guard<std::mutex> lock(g_imageMutex);
        g_imageReports = &reports;
    }
    ~CollectingImage() {
        const std::lock_guard<std::mutex> lock(g_imageMutex);
        g_imageReports = nullptr;
    }
    CollectingImage(const CollectingImage&) = delete;
    CollectingImage& operator=(const CollectingImage&) = delete;
};

// Collects GDAL's messages in `reports` for as long as it lives.
class Collecting {
  public:
    explicit Collecting(Reports& reports) { t_reports = &reports; }
    ~Collecting() { t_reports = nullptr; }
    Collecting(const Collecting&) = delete;
    Collecting& operator=(const Collecting&) = delete;
};

void Register() {
    static const bool done = [] {
        GDALAllRegister();
        CPLSetErrorHandler(Collect);
        // A VRT reads images, not any file as raw pixels, and runs no code.
        CPLSetConfigOption("GDAL_VRT_ENABLE_RAWRASTERBAND", "NO");
        CPLSetConfigOption("GDAL_VRT_ENABLE_PYTHON", "NO");
        // A file grown past the process's size limit fails its write, which says so,
        // rather than ending the worker.
        std::signal(SIGXFSZ, SIG_IGN);
        // The drivers follow the program's own path rules: no network, no configuration.
        // A file naming an address (a GML's schema, a VRT's source) finds every request
        // sent to a proxy on a closed local port, refused at once.
        CPLSetConfigOption("GDAL_HTTP_TIMEOUT", "1");
        CPLSetConfigOption("GDAL_HTTP_MAX_RETRY", "0");
        CPLSetConfigOption("GDAL_HTTP_PROXY", "127.0.0.1:9");
        CPLSetConfigOption("GDAL_HTTP_PROXYUSERPWD", nullptr);
        ::unsetenv("no_proxy");
        ::unsetenv("NO_PROXY");
        // SQLite's files (GeoPackage, SpatiaLite) keep 1 MB of pages each, not 2: a layer
        // is read once and written once, in order, and a larger cache was no faster.
        if (CPLGetConfigOption("OGR_SQLITE_CACHE", nullptr) == nullptr) CPLSetConfigOption("OGR_SQLITE_CACHE", "1");
        return true;
    }();
    (void)done;
}

// The whole text of a file read through VSI; "" when it cannot be read.
std::string ReadAllOf(const std::string& vsiPath) {
    std::string text;
    VSILFILE* f = VSIFOpenL(vsiPath.c_str(), "rb");
    if (f == nullptr) return text;
    std::vector<char> chunk(std::size_t{1} << 20);
    for (std::size_t n; (n = VSIFReadL(chunk.data(), 1, chunk.size(), f)) > 0;) text.append(chunk.data(), n);
    VSIFCloseL(f);
    return text;
}

// The KML files of a KML or KMZ input, as VSI paths with the names they go by.
std::vector<std::pair<std::string, std::string>> KmlFiles(const char* path) {
    const std::string p = path;
    const bool kmz = p.size() > 4 && EQUAL(p.c_str() + p.size() - 4, ".kmz");
    if (!kmz) return {{p, CPLGetFilename(path)}};
    std::vector<std::pair<std::string, std::string>> files;
    const std::string root = "/vsizip/{" + p + "}";
    char** inside = VSIReadDirRecursive(root.c_str());
    for (char** f = inside; f != nullptr && *f != nullptr; ++f) {
        const std::string name = *f;
        if (name.size() > 4 && EQUAL(name.c_str() + name.size() - 4, ".kml")) files.emplace_back(root + "/" + name, name);
    }
    CSLDestroy(inside);
    return files;
}

TalporGdalData* Open(const char* path, const char* const* drivers, char* error, int size) {
    try {
        Register();
        CPLErrorReset();
        // A KML's structure, read from its text first: what GDAL's reader leaves out, and
        // a track it would read past the end of.
        batch::KmlStructure kml;
        const bool isKml = drivers != nullptr && drivers[0] != nullptr && std::strcmp(drivers[0], "LIBKML") == 0;
        if (isKml) {
            const auto files = KmlFiles(path);
            for (std::size_t i = 0; i < files.size(); ++i) {
                batch::KmlStructure scanned = batch::ScanKml(ReadAllOf(files[i].first), files[i].second);
                if (!scanned.problem.empty()) {
                    CopyText(scanned.problem.c_str(), error, size);
                    return nullptr;
                }
                // The one GDAL reads layers from: a KMZ's doc.kml, else its first.
                if (i == 0 || files[i].second == "doc.kml") kml = std::move(scanned);
            }
        }
        // A GML's system is looked for in every feature: a cadastre's is named in its
        // surfaces' srsName alone, which GDAL's first look does not reach.
        const char* const kGml[] = {"WRITE_GFS=NO", "FORCE_SRS_DETECTION=YES", nullptr};
        const char* const kCsv[] = {"GEOM_POSSIBLE_NAMES=WKT", "KEEP_GEOM_COLUMNS=NO", nullptr};
        const auto only = [&](const char* driver) {
            return drivers != nullptr && drivers[0] != nullptr && std::strcmp(drivers[0], driver) == 0;
        };
        const char* const* options = only("GML") ? kGml : only("CSV") ? kCsv : nullptr;
        // A CSV of another name (a .txt of WKT) is one by the CSV driver's prefix.
        const std::size_t length = std::strlen(path);
        const bool csvNamed = length > 4 && EQUAL(path + length - 4, ".csv");
        const std::string name = only("CSV") && !csvNamed ? std::string("CSV:") + path : std::string(path);
        GDALDatasetH dataset = GDALOpenEx(name.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers, options, nullptr);
        if (dataset == nullptr) {
            LastError("GDAL no la reconoce como una capa que sepa leer", error, size);
            return nullptr;
        }
        auto* data = new TalporGdalData;
        data->dataset = dataset;
        const int layers = GDALDatasetGetLayerCount(dataset);
        if (isKml) {
            std::vector<std::string> names;
            for (int l = 0; l < layers; ++l) names.emplace_back(OGR_L_GetName(GDALDatasetGetLayer(dataset, l)));
            data->containerOf = batch::LayerContainers(kml, names);
            if (!data->containerOf.empty()) {
                for (int l = 0; l < layers; ++l)
                    data->folders.push_back(batch::ValidUtf8(batch::FolderPath(kml, data->containerOf[l], names[l])));
                data->kml = std::move(kml);
            }
        }
        return data;
    } catch (const std::exception& e) {
        CopyText(e.what(), error, size);
        return nullptr;
    }
}

int Layers(TalporGdalData* data) { return GDALDatasetGetLayerCount(data->dataset); }

// The systems Talpor converts: ED50, ETRS89 and WGS84, in degrees or in UTM 29 to 31.
bool Ours(int epsg) {
    return epsg == 4230 || epsg == 4258 || epsg == 4326 || epsg == 4937 || epsg == 4979 ||
           (epsg >= 23029 && epsg <= 23031) || (epsg >= 25829 && epsg <= 25831) || (epsg >= 32629 && epsg <= 32631);
}

// Whether `srs` has, parameter by parameter, the ellipsoid, prime meridian, units and
// projection of `reference`: the same system under another name.
bool SameParameters(OGRSpatialReferenceH srs, OGRSpatialReferenceH reference) {
    const auto near = [](double a, double b, double tolerance) { return std::abs(a - b) <= tolerance; };
    OGRErr e1 = OGRERR_NONE, e2 = OGRERR_NONE;
    if (!near(OSRGetSemiMajor(srs, &e1), OSRGetSemiMajor(reference, &e2), 1e-3) || e1 != OGRERR_NONE) return false;
    if (!near(OSRGetInvFlattening(srs, &e1), OSRGetInvFlattening(reference, &e2), 1e-8) || e1 != OGRERR_NONE) return false;
    if (!near(OSRGetPrimeMeridian(srs, nullptr), OSRGetPrimeMeridian(reference, nullptr), 1e-9)) return false;
    if (!near(OSRGetAngularUnits(srs, nullptr), OSRGetAngularUnits(reference, nullptr), 1e-12)) return false;
    if (OSRIsProjected(srs) != OSRIsProjected(reference)) return false;
    if (!OSRIsProjected(srs)) return OSRIsGeographic(srs) != 0;
    const char* projection = OSRGetAttrValue(srs, "PROJECTION", 0);
    if (projection == nullptr || !EQUAL(projection, SRS_PT_TRANSVERSE_MERCATOR)) return false;
    if (!near(OSRGetLinearUnits(srs, nullptr), 1.0, 1e-12)) return false;
    for (const char* parameter : {SRS_PP_CENTRAL_MERIDIAN, SRS_PP_SCALE_FACTOR, SRS_PP_FALSE_EASTING, SRS_PP_FALSE_NORTHING,
                                  SRS_PP_LATITUDE_OF_ORIGIN})
        if (!near(OSRGetProjParm(srs, parameter, 0, nullptr), OSRGetProjParm(reference, parameter, 0, nullptr), 1e-9))
            return false;
    return true;
}

// The EPSG code of `srs`: the one it carries, else the one GDAL recognises with full
// confidence (a shapefile's .prj is ESRI's text, without codes), else one of Talpor's
// systems GDAL finds equivalent under another name (a .prj that calls ED50 / UTM 30
// something else) and whose parameters are the same, one by one.
int EpsgOf(OGRSpatialReferenceH srs) {
    const auto code = [&](OGRSpatialReferenceH s) {
        const char* authority = OSRGetAuthorityName(s, nullptr);
        const char* value = OSRGetAuthorityCode(s, nullptr);
        if (authority != nullptr && value != nullptr && std::strcmp(authority, "EPSG") == 0) return std::atoi(value);
        return 0;
    };
    if (int c = code(srs); c != 0) return c;
    int found = 0;
    int* confidence = nullptr;
    OGRSpatialReferenceH* matches = OSRFindMatches(srs, nullptr, &found, &confidence);
    int epsg = -1;
    if (matches != nullptr && found > 0 && confidence[0] >= 90) epsg = code(matches[0]);
    for (int i = 0; epsg <= 0 && matches != nullptr && i < found && confidence[i] >= 50; ++i)
        if (const int c = code(matches[i]); Ours(c) && SameParameters(srs, matches[i])) epsg = c;
    if (matches != nullptr) OSRFreeSRSArray(matches);
    CPLFree(confidence);
    return epsg == 0 ? -1 : epsg;
}

// The one of Talpor's systems with the parameters of `srs`, whatever its names; 0 for none.
int LikeEpsg(OGRSpatialReferenceH srs) {
    static const int kOurs[] = {4230, 4258, 4326, 23029, 23030, 23031, 25829, 25830, 25831, 32629, 32630, 32631};
    int like = 0;
    for (int code : kOurs) {
        OGRSpatialReferenceH reference = OSRNewSpatialReference(nullptr);
        if (OSRImportFromEPSG(reference, code) == OGRERR_NONE && SameParameters(srs, reference)) like = code;
        OSRDestroySpatialReference(reference);
        if (like != 0) break;
    }
    return like;
}

int Layer(TalporGdalData* data, int index, TalporGdalLayerInfo* info) {
    OGRLayerH layer = GDALDatasetGetLayer(data->dataset, index);
    if (layer == nullptr) return 0;
    *info = TalporGdalLayerInfo{};
    CopyText(batch::ValidUtf8(OGR_L_GetName(layer)).c_str(), info->name, sizeof info->name);
    CopyText(OGRGeometryTypeToName(OGR_L_GetGeomType(layer)), info->geometry, sizeof info->geometry);
    if (OGRSpatialReferenceH srs = OGR_L_GetSpatialRef(layer); srs != nullptr) {
        CopyText(OSRGetName(srs), info->system, sizeof info->system);
        info->epsg = EpsgOf(srs);
        info->geographic = OSRIsGeographic(srs);
        if (!Ours(info->epsg)) info->likeEpsg = LikeEpsg(srs);
    }
    // A GeoPackage's layer is counted only where the count is kept: a view would run its
    // query, which may never end.
    GDALDriverH driver = GDALGetDatasetDriver(data->dataset);
    const bool sql = driver != nullptr && (std::strcmp(GDALGetDriverShortName(driver), "GPKG") == 0 ||
                                           std::strcmp(GDALGetDriverShortName(driver), "SQLite") == 0);
    info->features = !sql || OGR_L_TestCapability(layer, OLCFastFeatureCount) ? OGR_L_GetFeatureCount(layer, FALSE) : -1;
    info->fields = OGR_FD_GetFieldCount(OGR_L_GetLayerDefn(layer));
    if (static_cast<std::size_t>(index) < data->folders.size()) CopyText(data->folders[index].c_str(), info->folder, sizeof info->folder);
    return 1;
}

const char* Field(TalporGdalData* data, int layer, int field) {
    OGRLayerH l = GDALDatasetGetLayer(data->dataset, layer);
    if (l == nullptr) return "";
    OGRFieldDefnH defn = OGR_FD_GetFieldDefn(OGR_L_GetLayerDefn(l), field);
    data->fieldName = batch::ValidUtf8(defn != nullptr ? OGR_Fld_GetNameRef(defn) : "");
    return data->fieldName.c_str();
}

long long Bytes(TalporGdalData* data) {
    long long bytes = 0;
    char** files = GDALGetFileList(data->dataset);
    for (char** f = files; f != nullptr && *f != nullptr; ++f) {
        VSIStatBufL st;
        if (VSIStatL(*f, &st) == 0 && VSI_ISREG(st.st_mode)) bytes += static_cast<long long>(st.st_size);
    }
    CSLDestroy(files);
    return bytes;
}

// A feature's vertices, flattened.
struct Vertices {
    std::vector<double> x, y, z;
    std::vector<int> part, ring;
    std::vector<long long> vertex;
    void Clear() {
        x.clear(), y.clear(), z.clear(), part.clear(), ring.clear(), vertex.clear();
    }
};

bool IsPolygon(OGRGeometryH g) {
    const OGRwkbGeometryType t = wkbFlatten(OGR_G_GetGeometryType(g));
    return t == wkbPolygon || t == wkbCurvePolygon || t == wkbTriangle;
}

// Calls at(g, part, ring) for each geometry that holds points, in order. A polygon's
// rings are numbered from 1; the members of a multi-geometry or collection are its parts.
template <typename At>
void Walk(OGRGeometryH g, int part, int ring, bool top, At&& at) {
    const int children = OGR_G_GetGeometryCount(g);
    if (children == 0) {
        at(g, part, ring);
        return;
    }
    const bool polygon = IsPolygon(g);
    for (int i = 0; i < children; ++i) {
        OGRGeometryH child = OGR_G_GetGeometryRef(g, i);
        if (polygon) Walk(child, part, i + 1, false, at);
        else Walk(child, top ? i + 1 : part, ring, false, at);
    }
}

// The vertices of a part or ring: none for an empty one (GDAL counts one for POINT EMPTY).
int PointsOf(OGRGeometryH g) { return OGR_G_IsEmpty(g) ? 0 : OGR_G_GetPointCount(g); }

void Read(OGRGeometryH geometry, Vertices& v) {
    v.Clear();
    if (geometry == nullptr) return;
    Walk(geometry, 1, 0, true, [&](OGRGeometryH g, int part, int ring) {
        const int n = PointsOf(g);
        for (int i = 0; i < n; ++i) {
            double x = 0, y = 0, z = 0;
            OGR_G_GetPoint(g, i, &x, &y, &z);
            v.x.push_back(x), v.y.push_back(y), v.z.push_back(z);
            v.part.push_back(part), v.ring.push_back(ring), v.vertex.push_back(i + 1);
        }
    });
}

void WriteBack(OGRGeometryH geometry, const Vertices& v, bool hasZ) {
    if (geometry == nullptr) return;
    std::size_t k = 0;
    Walk(geometry, 1, 0, true, [&](OGRGeometryH g, int, int) {
        const int n = PointsOf(g);
        for (int i = 0; i < n; ++i, ++k) {
            if (hasZ) OGR_G_SetPoint(g, i, v.x[k], v.y[k], v.z[k]);
            else OGR_G_SetPoint_2D(g, i, v.x[k], v.y[k]);
        }
    });
}

// The options as GDAL's string lists take them.
char** List(const char* const* options) {
    char** list = nullptr;
    for (const char* const* o = options; o != nullptr && *o != nullptr; ++o) list = CSLAddString(list, *o);
    return list;
}

OGRSpatialReferenceH SystemOf(int epsg) {
    if (epsg <= 0) return nullptr;
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    if (OSRImportFromEPSG(srs, epsg) != OGRERR_NONE) {
        OSRDestroySpatialReference(srs);
        return nullptr;
    }
    OSRSetAxisMappingStrategy(srs, OAMS_TRADITIONAL_GIS_ORDER);
    return srs;
}

// MapInfo keeps its coordinates as integers over the bounds its layer is created with,
// two thousand millionths of their width apart: bounds about the layer's extent in `srs`,
// its own taken from system `sourceEpsg`, keep every vertex of a layer as wide as Spain
// within half a millimetre of where it was put, where GDAL's defaults round UTM to
// centimetres and degrees to decimetres. The extent goes through GDAL's own
// transformation, sampled along its edges, with a margin far beyond any datum's shift:
// "minx,miny,maxx,maxy", "" when there is none to take (an empty layer, no system).
std::string MapInfoBounds(OGRLayerH in, int sourceEpsg, OGRSpatialReferenceH srs) {
    OGREnvelope e;
    OGRSpatialReferenceH from = SystemOf(sourceEpsg);
    if (from == nullptr || srs == nullptr || OGR_L_GetExtent(in, &e, TRUE) != OGRERR_NONE) {
        if (from != nullptr) OSRRelease(from);
        return "";
    }
    OGRCoordinateTransformationH ct = OCTNewCoordinateTransformation(from, srs);
    OSRRelease(from);
    if (ct == nullptr) return "";
    constexpr int kSteps = 16;
    std::vector<double> x, y;
    for (int k = 0; k <= kSteps; ++k) {
        const double fx = e.MinX + (e.MaxX - e.MinX) * k / kSteps, fy = e.MinY + (e.MaxY - e.MinY) * k / kSteps;
        for (const auto& [px, py] : {std::pair(fx, e.MinY), std::pair(fx, e.MaxY), std::pair(e.MinX, fy), std::pair(e.MaxX, fy)}) {
            x.push_back(px);
            y.push_back(py);
        }
    }
    std::vector<int> ok(x.size());
    const bool moved = OCTTransformEx(ct, static_cast<int>(x.size()), x.data(), y.data(), nullptr, ok.data()) != 0;
    OCTDestroyCoordinateTransformation(ct);
    double minX = HUGE_VAL, minY = HUGE_VAL, maxX = -HUGE_VAL, maxY = -HUGE_VAL;
    for (std::size_t k = 0; moved && k < x.size(); ++k) {
        if (ok[k] == 0) continue;
        minX = std::min(minX, x[k]), maxX = std::max(maxX, x[k]);
        minY = std::min(minY, y[k]), maxY = std::max(maxY, y[k]);
    }
    if (!(minX <= maxX && minY <= maxY)) return "";
    // A kilometre (a hundredth of a degree) and a tenth of the width each side.
    const double fixed = OSRIsGeographic(srs) ? 0.01 : 1000;
    const double mx = fixed + (maxX - minX) / 10, my = fixed + (maxY - minY) / 10;
    return CPLSPrintf("%.10g,%.10g,%.10g,%.10g", minX - mx, minY - my, maxX + mx, maxY + my);
}

// The output being written, closed (and so flushed) by Finish.
struct Output {
    GDALDatasetH dataset = nullptr;
    std::vector<OGRLayerH> layers;
    std::vector<std::vector<int>> fields;  // of each layer, each input field's index in the output; -1: none
    std::vector<std::vector<int>> isoFields;  // of each layer, the output's text fields of dates with times
    // A KML's folders: of each layer, the attribute "Carpeta" added for them (-1: none) and
    // its value.
    std::vector<int> folderField;
    std::vector<std::string> folder;
    // DXF holds one layer of entities, each naming its CAD layer in the attribute Layer:
    // of each input layer, that attribute's index (-1: other formats) and the name it gets.
    std::vector<int> cadLayerField;
    std::vector<std::string> cadLayerName;
    // Of each input layer, the attribute holding a DXF entity's handle, which a DXF written
    // keeps (-1: none, or not written to DXF).
    std::vector<int> handleField;
    // KML and KMZ, written by the module itself.
    std::unique_ptr<batch::KmlWriter> kml;
    bool transaction = false;
    bool rowIds = false;  // the driver numbers the features itself (MapInfo)
    bool Writing() const { return dataset != nullptr || kml != nullptr; }
    ~Output() {
        if (dataset != nullptr) GDALClose(dataset);
    }
};

// Creates the output's layers from the input's: names, geometry types, attributes and
// their types, the FID column where the driver keeps one.
// A field type, for a sentence.
std::string TypeText(OGRFieldType type) {
    switch (type) {
        case OFTInteger: return "entero";
        case OFTInteger64: return "entero de 64 bits";
        case OFTReal: return "número real";
        case OFTString: return "texto";
        case OFTDate: return "fecha";
        case OFTTime: return "hora";
        case OFTDateTime: return "fecha y hora";
        default: return std::string("lista o dato binario (") + OGR_GetFieldTypeName(type) + ")";
    }
}


// KML's output: a layer a Folder, written as the features come.
bool CreateKml(TalporGdalData* data, const TalporGdalJob& job, Output& out, char* error, int size) {
    out.kml = std::make_unique<batch::KmlWriter>();
    if (!out.kml->Open(job.output)) {
        LastError("no se puede crear el fichero de salida", error, size);
        return false;
    }
    for (int i = 0; i < GDALDatasetGetLayerCount(data->dataset); ++i) {
        OGRLayerH in = GDALDatasetGetLayer(data->dataset, i);
        OGRFeatureDefnH defn = OGR_L_GetLayerDefn(in);
        std::vector<std::string> names;
        const char* const* given = job.fieldNames != nullptr ? job.fieldNames[i] : nullptr;
        for (int f = 0; f < OGR_FD_GetFieldCount(defn); ++f)
            names.emplace_back(given != nullptr && given[f] != nullptr ? given[f] : "");
        for (const auto& [field, text] :
             out.kml->AddLayer(batch::ValidUtf8(OGR_L_GetName(in)), defn, names, job.skip != nullptr && job.skip[i] != 0))
            if (job.changed != nullptr) job.changed(job.context, i, field, text.c_str());
    }
    out.kml->Begin();
    return true;
}

// `name` as an XML element's name without a prefix (XML 1.0's NameStartChar and
// NameChar, no colon): every character it has no place for as "_", and "_" before a first
// character that cannot start one (a digit).
std::string XmlName(const std::string& name) {
    const auto start = [](char32_t c) {
        return (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c <= 0xD6) ||
               (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
               (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
               (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
               (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
    };
    const auto inside = [&](char32_t c) {
        return start(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 || (c >= 0x300 && c <= 0x36F) ||
               (c >= 0x203F && c <= 0x2040);
    };
    const std::string valid = batch::ValidUtf8(name);
    std::string out;
    for (std::size_t at = 0; at < valid.size();) {
        const auto b = static_cast<unsigned char>(valid[at]);
        const std::size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? b : b & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length && at + k < valid.size(); ++k) c = c << 6 | (valid[at + k] & 0x3F);
        if (out.empty() && !start(c) && inside(c)) out += '_';
        out += inside(c) ? valid.substr(at, length) : "_";
        at += length;
    }
    return out.empty() ? "_" : out;
}

// Creates the attributes of input layer `i` (`defn`) on `layer`, each under the name the
// program gives it, and says what the format made of each (job.changed): `fields` gets the
// output's index of each, `isoFields` those of dates and times kept as ISO 8601 texts.
// False, with the error, when GDAL cannot create one.
bool CreateFields(OGRLayerH layer, OGRFeatureDefnH defn, GDALDriverH driver, const TalporGdalJob& job, int i,
                  std::vector<int>& fields, std::vector<int>& isoFields, char* error, int size) {
    const bool shapefile = std::strcmp(job.driver, "ESRI Shapefile") == 0;
    // FlatGeobuf takes a date for a date and time at midnight, its layer saying nothing of it.
    const bool flatGeobuf = std::strcmp(job.driver, "FlatGeobuf") == 0;
    const bool gml = std::strcmp(job.driver, "GML") == 0;
    for (int f = 0; f < OGR_FD_GetFieldCount(defn); ++f) {
        OGRFieldDefnH field = OGR_FD_GetFieldDefn(defn, f);
        // The name the program gives it (valid UTF-8, and apart from the others where
        // the format does not tell case), else its own.
        const char* const* names = job.fieldNames != nullptr ? job.fieldNames[i] : nullptr;
        const char* name = names != nullptr && names[f] != nullptr ? names[f] : OGR_Fld_GetNameRef(field);
        // GML's attributes are XML elements, whose names GDAL writes as they come.
        const char* const given = name;
        const std::string element = gml ? XmlName(name) : std::string();
        if (gml) name = element.c_str();
        // A shapefile keeps a date, not a date with its time: the time is kept as ISO 8601
        // text rather than lost.
        const bool isoText = shapefile && OGR_Fld_GetType(field) == OFTDateTime;
        OGRFieldDefnH renamed = nullptr;
        if (std::strcmp(name, OGR_Fld_GetNameRef(field)) != 0 || isoText) {
            renamed = OGR_Fld_Create(name, isoText ? OFTString : OGR_Fld_GetType(field));
            OGR_Fld_SetSubType(renamed, OGR_Fld_GetSubType(field));
            OGR_Fld_SetWidth(renamed, isoText ? 25 : OGR_Fld_GetWidth(field));
            OGR_Fld_SetPrecision(renamed, OGR_Fld_GetPrecision(field));
            OGR_Fld_SetNullable(renamed, OGR_Fld_IsNullable(field));
            if (const char* value = OGR_Fld_GetDefault(field)) OGR_Fld_SetDefault(renamed, value);
        }
        const int before = OGR_FD_GetFieldCount(OGR_L_GetLayerDefn(layer));
        const OGRErr created = OGR_L_CreateField(layer, renamed != nullptr ? renamed : field, TRUE);
        if (renamed != nullptr) OGR_Fld_Destroy(renamed);
        if (created != OGRERR_NONE) {
            LastError("GDAL no puede crear un atributo en la salida", error, size);
            return false;
        }
        OGRFeatureDefnH defnOut = OGR_L_GetLayerDefn(layer);
        fields.push_back(OGR_FD_GetFieldCount(defnOut) > before ? OGR_FD_GetFieldCount(defnOut) - 1
                                                               : OGR_FD_GetFieldIndex(defnOut, name));
        // What the format made of it, said: another name (a shapefile's ten characters),
        // another type (a 64-bit integer, a date and time).
        if (isoText) isoFields.push_back(fields.back());
        if (OGRFieldDefnH made = fields.back() >= 0 ? OGR_FD_GetFieldDefn(defnOut, fields.back()) : nullptr;
            made != nullptr && job.changed != nullptr) {
            const std::string was = batch::ValidUtf8(given);
            const std::string is = batch::ValidUtf8(OGR_Fld_GetNameRef(made));
            if (was != is)
                job.changed(job.context, i, -1, ("el atributo «" + was + "» se llama «" + is + "», el nombre que " +
                                             std::string(GDALGetDriverShortName(driver)) + " le da")
                                                .c_str());
            if (isoText)
                job.changed(job.context, i, f, ("el atributo «" + is + "», fecha y hora, escrito como texto ISO 8601: " +
                                             "un shapefile guarda fechas sin hora")
                                                .c_str());
            else if (flatGeobuf && OGR_Fld_GetType(field) == OFTDate)
                job.changed(job.context, i, f, ("el atributo «" + is + "», fecha, escrito como fecha y hora: " +
                                             "FlatGeobuf no guarda fechas sin hora")
                                                .c_str());
            else if (OGR_Fld_GetType(made) != OGR_Fld_GetType(field))
                job.changed(job.context, i, f, ("el atributo «" + is + "», " + TypeText(OGR_Fld_GetType(field)) +
                                             ", escrito como " + TypeText(OGR_Fld_GetType(made)))
                                                .c_str());
        }
    }
    return true;
}

bool Create(TalporGdalData* data, const TalporGdalJob& job, Output& out, char* error, int size) {
    if (std::strcmp(job.driver, "LIBKML") == 0) return CreateKml(data, job, out, error, size);
    GDALDriverH driver = GDALGetDriverByName(job.driver);
    if (driver == nullptr) {
        CopyText((std::string("GDAL no tiene el formato ") + job.driver).c_str(), error, size);
        return false;
    }
    char** datasetOptions = List(job.datasetOptions);
    out.dataset = GDALCreate(driver, job.output, 0, 0, 0, GDT_Unknown, datasetOptions);
    CSLDestroy(datasetOptions);
    if (out.dataset == nullptr) {
        LastError("no se puede crear el fichero de salida", error, size);
        return false;
    }
    const bool cad = std::strcmp(job.driver, "DXF") == 0;
    out.rowIds = std::strcmp(job.driver, "MapInfo File") == 0;
    for (int i = 0; i < GDALDatasetGetLayerCount(data->dataset); ++i) {
        OGRLayerH in = GDALDatasetGetLayer(data->dataset, i);
        OGRFeatureDefnH defn = OGR_L_GetLayerDefn(in);
        if (job.skip != nullptr && job.skip[i] != 0) {
            out.layers.push_back(nullptr);
            out.fields.emplace_back();
            out.isoFields.emplace_back();
            out.folderField.push_back(-1);
            out.folder.emplace_back();
            out.cadLayerField.push_back(-1);
            out.cadLayerName.emplace_back();
            out.handleField.push_back(-1);
            continue;
        }
        const auto written = std::find_if(out.layers.begin(), out.layers.end(), [](OGRLayerH h) { return h != nullptr; });
        if (cad && written != out.layers.end()) {
            const auto first = static_cast<std::size_t>(written - out.layers.begin());
            out.layers.push_back(out.layers[first]);
            out.fields.emplace_back();
            out.isoFields.emplace_back();
            out.folderField.push_back(-1);
            out.folder.emplace_back();
            out.cadLayerField.push_back(out.cadLayerField[first]);
            out.cadLayerName.push_back(batch::ValidUtf8(OGR_L_GetName(in)));
            out.handleField.push_back(OGR_FD_GetFieldIndex(defn, "EntityHandle"));
            continue;
        }
        OGRSpatialReferenceH srs = SystemOf(job.epsg != nullptr ? job.epsg[i] : 0);
        char** options = List(job.layerOptions);
        const char* fid = OGR_L_GetFIDColumn(in);
        const bool sql = std::strcmp(job.driver, "GPKG") == 0 || std::strcmp(job.driver, "SQLite") == 0;
        if (fid != nullptr && fid[0] != '\0' && sql) options = CSLSetNameValue(options, "FID", fid);
        // An attribute of the name the ids' column would take (a GML's fid) stays an
        // attribute: the ids go in a column of another name.
        else if (sql && OGR_FD_GetFieldIndex(defn, "fid") >= 0) options = CSLSetNameValue(options, "FID", "ogc_fid");
        if (std::strcmp(job.driver, "MapInfo File") == 0) {
            const std::string bounds = MapInfoBounds(in, job.sourceEpsg != nullptr ? job.sourceEpsg[i] : 0, srs);
            if (!bounds.empty()) options = CSLSetNameValue(options, "BOUNDS", bounds.c_str());
        }
        OGRwkbGeometryType type = OGR_L_GetGeomType(in);
        if (const int given = job.geometryTypes != nullptr ? job.geometryTypes[i] : 0; given > 0)
            type = given >= 1000 ? OGR_GT_SetZ(static_cast<OGRwkbGeometryType>(given - 1000)) : static_cast<OGRwkbGeometryType>(given);
        OGRLayerH layer = GDALDatasetCreateLayer(out.dataset, batch::ValidUtf8(OGR_L_GetName(in)).c_str(), srs, type, options);
        CSLDestroy(options);
        if (srs != nullptr) OSRRelease(srs);
        if (layer == nullptr) {
            LastError("GDAL no puede crear la capa en la salida", error, size);
            return false;
        }
        // Only a feature's first geometry is converted and written: another (a cadastral
        // parcel's reference point) is left out, and said.
        for (int g = 1; g < OGR_FD_GetGeomFieldCount(defn) && job.changed != nullptr; ++g)
            job.changed(job.context, i, -1,
                        ("la geometría «" + batch::ValidUtf8(OGR_GFld_GetNameRef(OGR_FD_GetGeomFieldDefn(defn, g))) +
                         "», otra que la primera de la capa, se deja fuera")
                            .c_str());
        // A driver may give a field another name (a shapefile's ten characters) or take it as
        // one of its own (GPX's name): its values follow it by where it was created. A format
        // of fixed attributes (DXF) keeps those of the input's of the same names (no map).
        const bool newFields = OGR_L_TestCapability(layer, OLCCreateField) != 0;
        std::vector<int> fields, isoFields;
        if (newFields && !CreateFields(layer, defn, driver, job, i, fields, isoFields, error, size)) return false;
        // The KML folders the layer lay in, as an attribute of its own.
        int folderField = -1;
        if (static_cast<std::size_t>(i) < data->folders.size() && newFields && !cad &&
            OGR_FD_GetFieldIndex(defn, "Carpeta") < 0) {
            OGRFieldDefnH field = OGR_Fld_Create("Carpeta", OFTString);
            if (OGR_L_CreateField(layer, field, TRUE) == OGRERR_NONE)
                folderField = OGR_FD_GetFieldIndex(OGR_L_GetLayerDefn(layer), "Carpeta");
            OGR_Fld_Destroy(field);
        }
        out.folderField.push_back(folderField);
        out.folder.push_back(static_cast<std::size_t>(i) < data->folders.size() ? data->folders[i] : "");
        out.layers.push_back(layer);
        out.fields.push_back(std::move(fields));
        out.isoFields.push_back(std::move(isoFields));
        out.cadLayerField.push_back(cad ? OGR_FD_GetFieldIndex(OGR_L_GetLayerDefn(layer), "Layer") : -1);
        out.cadLayerName.push_back(batch::ValidUtf8(OGR_L_GetName(in)));
        out.handleField.push_back(cad ? OGR_FD_GetFieldIndex(defn, "EntityHandle") : -1);
    }
    return true;
}

// The handle a DXF entity is written with: the one it had in the DXF it was read from,
// else none, for GDAL to give it one of its own. Never a feature's id: a shapefile's first
// is 0, which is no handle.
GIntBig HandleOf(OGRFeatureH feature, int field) {
    if (field < 0 || !OGR_F_IsFieldSetAndNotNull(feature, field)) return OGRNullFID;
    const char* text = OGR_F_GetFieldAsString(feature, field);
    char* end = nullptr;
    const long long handle = std::strtoll(text, &end, 16);
    return end != text && *end == '\0' && handle > 0 ? handle : OGRNullFID;
}

// Features are written in transactions of this many, as ogr2ogr writes them.
constexpr long long kTransaction = 100000;

// A feature read and not yet handed over: what the program is given of it.
struct Pending {
    OGRFeatureH feature = nullptr;
    Vertices vertices;
    std::vector<std::string> texts;
    std::vector<const char*> values;
    std::vector<int> isSet;
    std::vector<int> isReal;
    int recoded = 0, replaced = 0;
    bool noGeometry = false;
    const std::string* trackMode = nullptr;
};

// The vertices of a geometry, counted without reading them.
long long CountVertices(OGRGeometryH geometry) {
    long long n = 0;
    if (geometry != nullptr) Walk(geometry, 1, 0, true, [&](OGRGeometryH g, int, int) { n += PointsOf(g); });
    return n;
}

// `emptyIsNone`: an empty geometry counts as none, for a format whose writer passes over
// a feature without a geometry and one with an empty one alike (DXF, FlatGeobuf).
void Take(OGRFeatureH feature, int fields, bool geometryExpected, bool emptyIsNone, Pending& p) {
    p.feature = feature;
    p.texts.assign(static_cast<std::size_t>(fields), std::string());
    p.values.assign(static_cast<std::size_t>(fields), nullptr);
    p.isSet.assign(static_cast<std::size_t>(fields), 0);
    p.isReal.assign(static_cast<std::size_t>(fields), 0);
    p.recoded = p.replaced = 0;
    for (int f = 0; f < fields; ++f) {
        p.isSet[f] = OGR_F_IsFieldSetAndNotNull(feature, f);
        p.isReal[f] = OGR_Fld_GetType(OGR_F_GetFieldDefnRef(feature, f)) == OFTReal;
        if (p.isSet[f]) {
            const char* text = OGR_F_GetFieldAsString(feature, f);
            p.texts[f] = text != nullptr ? text : "";
        }
        // A text whose bytes are not what its encoding (a shapefile's .cpg) says: read as
        // Windows-1252, and written so, never as bytes no UTF-8 reader takes.
        if (p.isSet[f] && !batch::IsUtf8(p.texts[f])) {
            p.texts[f] = batch::ValidUtf8(p.texts[f], &p.replaced);
            ++p.recoded;
            if (OGR_Fld_GetType(OGR_F_GetFieldDefnRef(feature, f)) == OFTString) OGR_F_SetFieldString(feature, f, p.texts[f].c_str());
        }
        p.values[f] = p.texts[f].c_str();
    }
    OGRGeometryH geometry = OGR_F_GetGeometryRef(feature);
    p.noGeometry = geometryExpected && (geometry == nullptr || (emptyIsNone && OGR_G_IsEmpty(geometry)));
    Read(OGR_F_GetGeometryRef(feature), p.vertices);
}

// Writes the control characters XML 1.0 has no place for (all but tab and the line ends)
// as U+FFFD in the texts of `feature` and of `p`; the number of its texts that held one.
int ScrubControls(OGRFeatureH feature, Pending& p) {
    int scrubbed = 0;
    for (std::size_t f = 0; f < p.texts.size(); ++f) {
        std::string& text = p.texts[f];
        if (std::none_of(text.begin(), text.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r';
            }))
            continue;
        std::string clean;
        for (char c : text) {
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') clean += "\xEF\xBF\xBD";
            else clean += c;
        }
        text = std::move(clean);
        p.values[f] = text.c_str();
        const int i = static_cast<int>(f);
        if (OGR_Fld_GetType(OGR_F_GetFieldDefnRef(feature, i)) == OFTString) OGR_F_SetFieldString(feature, i, text.c_str());
        ++scrubbed;
    }
    return scrubbed;
}

void Hand(const Pending& p, int layer, long long index, TalporGdalFeature& out) {
    const Vertices& v = p.vertices;
    OGRGeometryH geometry = OGR_F_GetGeometryRef(p.feature);
    out = TalporGdalFeature{};
    out.layer = layer;
    out.index = index;
    out.fid = OGR_F_GetFID(p.feature);
    out.fields = static_cast<int>(p.values.size());
    out.values = p.values.data();
    out.isSet = p.isSet.data();
    out.isReal = p.isReal.data();
    out.count = static_cast<long long>(v.x.size());
    out.x = const_cast<double*>(v.x.data()), out.y = const_cast<double*>(v.y.data());
    out.z = const_cast<double*>(v.z.data());
    out.part = v.part.data(), out.ring = v.ring.data(), out.vertex = v.vertex.data();
    out.hasZ = geometry != nullptr && OGR_G_Is3D(geometry);
    out.noGeometry = p.noGeometry;
    out.trackAltitudeMode = p.trackMode != nullptr && !p.trackMode->empty() ? p.trackMode->c_str() : nullptr;
    out.type = geometry != nullptr ? static_cast<int>(wkbFlatten(OGR_G_GetGeometryType(geometry))) : 0;
    out.recoded = p.recoded;
    out.replaced = p.replaced;
}

struct Batch {
    std::vector<Pending> pending = std::vector<Pending>(kTalporGdalBatch);
    std::vector<TalporGdalFeature> handed = std::vector<TalporGdalFeature>(kTalporGdalBatch);
    std::vector<int> answers = std::vector<int>(kTalporGdalBatch);
    int count = 0;
    std::size_t vertices = 0;
    int layer = 0;
    bool started = false;  // handed over and not yet finished
    ~Batch() { Clear(); }
    void Clear() {
        for (int i = 0; i < count; ++i) OGR_F_Destroy(pending[i].feature);
        count = 0;
        vertices = 0;
    }
};

// Hands a batch over to the program; false when the run stops.
bool Start(const TalporGdalJob& job, int number, Batch& b, long long first) {
    for (int i = 0; i < b.count; ++i) Hand(b.pending[i], b.layer, first + i, b.handed[i]);
    b.started = true;
    return job.start(job.context, number, b.handed.data(), b.count) == 0;
}

// Takes the program's answers to a batch handed over and writes its features; false when
// the run stops.
bool Finish(const TalporGdalJob& job, int number, Batch& b, Output& out, long long& written, bool transactions,
            char* error, int size) {
    b.started = false;
    std::fill(b.answers.begin(), b.answers.end(), TalporGdalWrite);
    if (job.finish(job.context, number, b.answers.data()) != 0) return false;
    for (int i = 0; i < b.count && out.Writing(); ++i) {
        if (b.answers[i] == TalporGdalStop) return false;
        if (b.answers[i] != TalporGdalWrite) continue;
        const int layer = b.layer;
        OGRFeatureH feature = b.pending[i].feature;
        OGRGeometryH geometry = OGR_F_GetGeometryRef(feature);
        WriteBack(geometry, b.pending[i].vertices, b.handed[i].hasZ != 0);
        if (out.kml != nullptr) {
            if (!out.kml->Write(layer, feature, job.altitudeMode)) {
                CopyText("no se puede terminar de escribir: el fichero escrito está incompleto (¿disco lleno?)", error, size);
                return false;
            }
            ++written;
            continue;
        }
        if (transactions && written % kTransaction == 0) {
            if (out.transaction) GDALDatasetCommitTransaction(out.dataset);
            out.transaction = GDALDatasetStartTransaction(out.dataset, FALSE) == OGRERR_NONE;
        }
        OGRFeatureH copy = OGR_F_Create(OGR_L_GetLayerDefn(out.layers[layer]));
        const std::vector<int>& fields = out.fields[layer];
        OGRErr e = fields.empty() ? OGR_F_SetFrom(copy, feature, TRUE) : OGR_F_SetFromWithMap(copy, feature, TRUE, fields.data());
        for (std::size_t f = 0; f < fields.size(); ++f) {
            if (std::find(out.isoFields[layer].begin(), out.isoFields[layer].end(), fields[f]) == out.isoFields[layer].end() ||
                !OGR_F_IsFieldSetAndNotNull(feature, static_cast<int>(f)))
                continue;
            OGR_F_SetFieldString(copy, fields[f], batch::IsoDate(feature, static_cast<int>(f)).c_str());
        }
        // A MapInfo table's ids are its rows' numbers, given by the driver in order.
        OGR_F_SetFID(copy, out.cadLayerField[layer] >= 0 ? HandleOf(feature, out.handleField[layer])
                           : out.rowIds                  ? OGRNullFID
                                                         : OGR_F_GetFID(feature));
        // GML names each geometry's system as it writes it: the output layer's, not the input's.
        if (OGRGeometryH g = OGR_F_GetGeometryRef(copy))
            OGR_G_AssignSpatialReference(g, OGR_L_GetSpatialRef(out.layers[layer]));
        if (out.folderField[layer] >= 0) OGR_F_SetFieldString(copy, out.folderField[layer], out.folder[layer].c_str());
        const int cadLayer = out.cadLayerField[layer];
        if (cadLayer >= 0 && !OGR_F_IsFieldSetAndNotNull(copy, cadLayer))
            OGR_F_SetFieldString(copy, cadLayer, out.cadLayerName[layer].c_str());
        if (e == OGRERR_NONE) {
            // What the driver says as it writes (a text cut to a shapefile's 254 characters).
            Reports reports;
            {
                Collecting collecting(reports);
                e = OGR_L_CreateFeature(out.layers[layer], copy);
            }
            if (e == OGRERR_NONE && !reports.messages.empty() && job.problem != nullptr)
                job.problem(job.context, layer, -1, OGR_F_GetFID(feature), 0, 0, reports.messages.c_str(), 1);
        }
        OGR_F_Destroy(copy);
        if (e != OGRERR_NONE) {
            LastError(("GDAL no puede escribir la entidad " + std::to_string(OGR_F_GetFID(feature)) + " en la salida").c_str(),
                      error, size);
            return false;
        }
        ++written;
    }
    b.Clear();
    return true;
}

// Reads the features into two batches in turn: while the program converts one, the one
// before is written and the next read.
bool ReadAll(TalporGdalData* data, const TalporGdalJob& job, Batch (&batches)[2], Output& out, long long& written,
             char* error, int size) {
    const bool transactions = out.dataset != nullptr && GDALDatasetTestCapability(out.dataset, ODsCTransactions);
    int filling = 0;  // the batch being read; the other may be in the program's hands
    const auto handOver = [&](long long first) {
        const int other = 1 - filling;
        if (!Start(job, filling, batches[filling], first)) return false;
        if (batches[other].started && !Finish(job, other, batches[other], out, written, transactions, error, size))
            return false;
        filling = other;
        return true;
    };
    GDALDriverH driver = GDALGetDatasetDriver(data->dataset);
    const bool shapefile = driver != nullptr && std::strcmp(GDALGetDriverShortName(driver), "ESRI Shapefile") == 0;
    for (int n = 0; n < GDALDatasetGetLayerCount(data->dataset); ++n) {
        const int l = job.order != nullptr ? job.order[n] : n;
        if (job.skip != nullptr && job.skip[l] != 0) continue;
        OGRLayerH in = GDALDatasetGetLayer(data->dataset, l);
        OGR_L_ResetReading(in);
        OGRFeatureDefnH defn = OGR_L_GetLayerDefn(in);
        const int fields = OGR_FD_GetFieldCount(defn);
        const bool geometryExpected = OGR_FD_GetGeomFieldCount(defn) > 0 && OGR_L_GetGeomType(in) != wkbNone;
        // The records a shapefile's .dbf says it has: those GDAL stops short of were lost.
        // (Other formats' counts are kept beside the data, and may be out of date.)
        const long long declared = shapefile ? OGR_L_GetFeatureCount(in, FALSE) : -1;
        // The XML formats GDAL writes (GML, GPX) would write a control character as it is,
        // which no XML reader takes: the texts that hold one, counted for the layer.
        const bool xml = job.driver != nullptr && (std::strcmp(job.driver, "GML") == 0 || std::strcmp(job.driver, "GPX") == 0);
        long long scrubbed = 0;
        const bool emptyIsNone =
            job.driver != nullptr && (std::strcmp(job.driver, "DXF") == 0 || std::strcmp(job.driver, "FlatGeobuf") == 0);
        long long index = 0;   // of the next feature handed over, in the layer's order
        long long record = 0;  // of the next record read
        // A KML container's tracks, feature by feature, where its features are as many.
        const std::vector<std::string>* tracks = nullptr;
        if (static_cast<std::size_t>(l) < data->containerOf.size()) {
            const batch::KmlContainer& c = data->kml.containers[static_cast<std::size_t>(data->containerOf[l])];
            if (static_cast<long long>(c.trackModes.size()) == OGR_L_GetFeatureCount(in, TRUE)) tracks = &c.trackModes;
        }
        OGR_L_ResetReading(in);
        while (true) {
            Reports reports;
            OGRFeatureH feature = nullptr;
            {
                Collecting collecting(reports);
                feature = OGR_L_GetNextFeature(in);
            }
            if (feature == nullptr) {
                // GDAL stops at a record it cannot read (a .dbf cut short), or short of the
                // records the .dbf says it has: all those left are lost, and said so.
                const long long lost = std::max(declared - record, reports.failure ? 1LL : 0LL);
                if (lost > 0 && job.problem != nullptr)
                    job.problem(job.context, l, record, -1, lost, 1, reports.messages.c_str(), 0);
                break;
            }
            if (!reports.messages.empty() && job.problem != nullptr)
                job.problem(job.context, l, record, OGR_F_GetFID(feature), 0, reports.failure, reports.messages.c_str(), 0);
            ++record;
            if (job.maxFeatureVertices > 0 && CountVertices(OGR_F_GetGeometryRef(feature)) > job.maxFeatureVertices) {
                const std::string text = "no se puede leer como capa: la entidad " + std::to_string(OGR_F_GetFID(feature)) +
                                         " de la capa «" +
                                         batch::ValidUtf8(OGR_L_GetName(in)) + "» tiene más de " +
                                         std::to_string(job.maxFeatureVertices) + " vértices";
                OGR_F_Destroy(feature);
                CopyText(text.c_str(), error, size);
                return false;
            }
            Batch& b = batches[filling];
            b.layer = l;
            Pending& p = b.pending[b.count++];
            Take(feature, fields, geometryExpected, emptyIsNone, p);
            if (xml) scrubbed += ScrubControls(feature, p);
            p.trackMode = tracks != nullptr && record - 1 < static_cast<long long>(tracks->size())
                              ? &(*tracks)[static_cast<std::size_t>(record - 1)]
                              : nullptr;
            b.vertices += p.vertices.x.size();
            if (b.count == kTalporGdalBatch || b.vertices >= kTalporGdalBatchVertices) {
                const int handed = b.count;
                if (!handOver(index)) return false;
                index += handed;
            }
        }
        if (batches[filling].count > 0 && !handOver(index)) return false;
        if (scrubbed > 0 && job.changed != nullptr)
            job.changed(job.context, l, -1,
                        (std::to_string(scrubbed) + (scrubbed == 1 ? " texto con caracteres de control, que XML no admite, "
                                                                     "escritos como «\xEF\xBF\xBD»"
                                                                   : " textos con caracteres de control, que XML no admite, "
                                                                     "escritos como «\xEF\xBF\xBD»"))
                            .c_str());
    }
    const int last = 1 - filling;
    return !batches[last].started || Finish(job, last, batches[last], out, written, transactions, error, size);
}

// Whether the file written holds every feature. GDAL's GeoJSON and KML writers do not
// report a write that failed (a full disk), and would leave a truncated file: those are
// read back and counted.
bool Whole(const TalporGdalJob& job, long long written) {
    if (std::strcmp(job.driver, "GeoJSON") != 0 && std::strcmp(job.driver, "LIBKML") != 0) return true;
    const char* drivers[] = {job.driver, nullptr};
    GDALDatasetH back = GDALOpenEx(job.output, GDAL_OF_VECTOR, drivers, nullptr, nullptr);
    if (back == nullptr) return false;
    long long count = 0;
    for (int l = 0; l < GDALDatasetGetLayerCount(back); ++l)
        count += OGR_L_GetFeatureCount(GDALDatasetGetLayer(back, l), TRUE);
    GDALClose(back);
    return count == written;
}

// Writes at `path` a FlatGeobuf of one layer without features, of `defn`'s name, geometry
// and fields, in `srs`; takes both.
bool EmptyFlatGeobuf(const char* path, OGRFeatureDefnH defn, OGRSpatialReferenceH srs) {
    VSIUnlink(path);
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("FlatGeobuf"), path, 0, 0, 0, GDT_Unknown, nullptr);
    const char* options[] = {"SPATIAL_INDEX=YES", nullptr};
    OGRLayerH layer = ds == nullptr ? nullptr
                                    : GDALDatasetCreateLayer(ds, OGR_FD_GetName(defn), srs, OGR_FD_GetGeomType(defn),
                                                             const_cast<char**>(options));
    bool made = layer != nullptr;
    for (int f = 0; made && f < OGR_FD_GetFieldCount(defn); ++f)
        made = OGR_L_CreateField(layer, OGR_FD_GetFieldDefn(defn, f), TRUE) == OGRERR_NONE;
    if (ds != nullptr) GDALClose(ds);
    OGR_FD_Release(defn);
    if (srs != nullptr) OSRRelease(srs);
    return made && CPLGetLastErrorType() < CE_Failure;
}

int RunJob(TalporGdalData* data, const TalporGdalJob* job, char* error, int size) {
    CopyText("", error, size);
    CPLErrorReset();
    Output out;
    if (job->output != nullptr && !Create(data, *job, out, error, size)) return 0;
    Batch batches[2];
    long long written = 0;
    const bool done = ReadAll(data, *job, batches, out, written, error, size);
    // A batch still in the program's hands is taken back before its features go.
    for (int i = 0; i < 2; ++i) {
        if (batches[i].started) job->finish(job->context, i, batches[i].answers.data());
    }
    if (!done) return 0;
    if (out.kml != nullptr) {
        const bool closed = out.kml->Close();
        out.kml.reset();
        if (!closed || !Whole(*job, written)) {
            CopyText("no se puede terminar de escribir: el fichero escrito está incompleto (¿disco lleno?)", error, size);
            return 0;
        }
    }
    if (out.dataset != nullptr) {
        if (out.transaction && GDALDatasetCommitTransaction(out.dataset) != OGRERR_NONE) {
            LastError("GDAL no puede terminar de escribir la salida", error, size);
            return 0;
        }
        CPLErrorReset();
        // FlatGeobuf writes no byte of a layer without features unless it indexes them (GDAL
        // 3.6): such a layer is made again, whole, with the index, which has nothing to order.
        const bool emptyFgb = std::strcmp(job->driver, "FlatGeobuf") == 0 && written == 0 && out.layers.size() == 1 &&
                              out.layers[0] != nullptr;
        OGRFeatureDefnH emptyDefn = emptyFgb ? OGR_L_GetLayerDefn(out.layers[0]) : nullptr;
        if (emptyDefn != nullptr) OGR_FD_Reference(emptyDefn);  // kept past the layer's close
        OGRSpatialReferenceH emptySrs = nullptr;
        if (emptyFgb && OGR_L_GetSpatialRef(out.layers[0]) != nullptr) emptySrs = OSRClone(OGR_L_GetSpatialRef(out.layers[0]));
        GDALClose(out.dataset);  // writes what the driver held back
        out.dataset = nullptr;
        if (emptyFgb && !EmptyFlatGeobuf(job->output, emptyDefn, emptySrs)) {
            LastError("GDAL no puede escribir la capa vacía", error, size);
            return 0;
        }
        if (CPLGetLastErrorType() >= CE_Failure) {
            LastError("GDAL no puede terminar de escribir la salida", error, size);
            return 0;
        }
        if (!Whole(*job, written)) {
            CopyText("no se puede terminar de escribir: el fichero escrito está incompleto (¿disco lleno?)", error, size);
            return 0;
        }
    }
    return 1;
}

int Run(TalporGdalData* data, const TalporGdalJob* job, char* error, int size) {
    try {
        return RunJob(data, job, error, size);
    } catch (const std::exception& e) {
        CopyText(e.what(), error, size);
        return 0;
    }
}

void Close(TalporGdalData* data) {
    if (data == nullptr) return;
    if (data->dataset != nullptr) GDALClose(data->dataset);
    delete data;
}

// The quality of libjpeg whose luminance table the JPEG file `path` holds, which GDAL
// does not tell for a JPEG file; -1 for a table of no quality of libjpeg's.
int QualityOfTable(const std::string& path) {
    static constexpr int kLuminance[64] = {  // libjpeg's at quality 50, in zigzag order
        16, 11, 12, 14, 12, 10, 16, 14, 13, 14, 18, 17, 16, 19, 24, 40, 26, 24, 22, 22, 24, 49,
        35, 37, 29, 40, 58, 51, 61, 60, 57, 51, 56, 55, 64, 72, 92, 78, 64, 68, 87, 69, 55, 56,
        80, 109, 81, 87, 95, 98, 103, 104, 103, 62, 77, 113, 121, 112, 100, 120, 92, 101, 103, 99};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return -1;
    std::vector<unsigned char> head(std::size_t{1} << 16);
    head.resize(std::fread(head.data(), 1, head.size(), f));
    std::fclose(f);
    // The segments after the start of image, up to the start of scan.
    for (std::size_t at = 2; at + 4 <= head.size() && head[at] == 0xFF && head[at + 1] != 0xDA;) {
        const std::size_t length = std::size_t{head[at + 2]} << 8 | head[at + 3];
        const std::size_t end = std::min(head.size(), at + 2 + length);
        for (std::size_t t = at + 4; head[at + 1] == 0xDB && t + 65 <= end; t += (head[t] >> 4) == 0 ? 65 : 129) {
            if (head[t] != 0) continue;  // 8-bit table 0, the luminance's
            for (int q = 1; q <= 100; ++q) {
                const int scale = q < 50 ? 5000 / q : 200 - 2 * q;
                bool same = true;
                for (int i = 0; same && i < 64; ++i)
                    same = head[t + 1 + i] == std::clamp((kLuminance[i] * scale + 50) / 100, 1, 255);
                if (same) return q;
            }
            return -1;
        }
        if (length < 2) break;
        at += 2 + length;
    }
    return -1;
}

// The quality `ds`'s pixels were JPEG-compressed at, as GDAL or the file's table tells it; 0
// for no JPEG compression, -1 for one of a quality neither tells.
int JpegQuality(GDALDatasetH ds) {
    const char* c = GDALGetMetadataItem(ds, "COMPRESSION", "IMAGE_STRUCTURE");
    if (c == nullptr || std::strstr(c, "JPEG") == nullptr || std::strstr(c, "JPEG2000") != nullptr) return 0;
    const char* q = GDALGetMetadataItem(ds, "JPEG_QUALITY", "IMAGE_STRUCTURE");
    if (q != nullptr && std::atoi(q) > 0 && std::atoi(q) <= 100) return std::atoi(q);
    const bool file = std::strcmp(GDALGetDriverShortName(GDALGetDatasetDriver(ds)), "JPEG") == 0;
    return file ? QualityOfTable(GDALGetDescription(ds)) : -1;
}

// The bytes of a JPEG 2000's codestream: the whole of a .j2k, the contiguous codestream box
// (jp2c) of a .jp2; 0 where neither is found.
long long CodestreamBytes(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return 0;
    struct stat st {};
    const long long bytes = ::fstat(::fileno(f), &st) == 0 ? st.st_size : 0;
    long long found = 0;
    unsigned char head[16];
    if (std::fread(head, 1, 4, f) == 4 && head[0] == 0xFF && head[1] == 0x4F && head[2] == 0xFF && head[3] == 0x51) found = bytes;
    // The boxes at the top of the file: a length (1: a 64-bit length follows; 0: to the end) and a type.
    for (long long at = 0; found == 0 && at + 8 <= bytes && std::fseek(f, at, SEEK_SET) == 0 && std::fread(head, 1, 16, f) >= 8;) {
        unsigned long long length = 0;
        for (int i = 0; i < 4; ++i) length = length << 8 | head[i];
        long long header = 8;
        if (length == 1) {
            length = 0;
            for (int i = 8; i < 16; ++i) length = length << 8 | head[i];
            header = 16;
        }
        if (length == 0) length = static_cast<unsigned long long>(bytes - at);
        if (std::memcmp(head + 4, "jp2c", 4) == 0) found = static_cast<long long>(length) - header;
        if (length < static_cast<unsigned long long>(header)) break;
        at += static_cast<long long>(length);
    }
    std::fclose(f);
    return found;
}

// The QUALITY of JP2OpenJPEG a JPEG 2000 compressed with loss was written at, its
// codestream's bytes in hundredths of its pixels'; 0 for one compressed without loss (the
// reversible wavelet and no quality layer left out, as GDAL reads its codestream).
int Jp2Quality(GDALDatasetH ds) {
    const char* reversibility = GDALGetMetadataItem(ds, "COMPRESSION_REVERSIBILITY", "IMAGE_STRUCTURE");
    if (reversibility != nullptr && std::strcmp(reversibility, "LOSSLESS") == 0) return 0;
    const int bands = GDALGetRasterCount(ds);
    const double pixels = double(GDALGetRasterXSize(ds)) * GDALGetRasterYSize(ds) * bands *
                          (bands > 0 ? GDALGetDataTypeSizeBytes(GDALGetRasterDataType(GDALGetRasterBand(ds, 1))) : 1);
    const long long codestream = CodestreamBytes(GDALGetDescription(ds));
    return codestream > 0 && pixels > 0 ? std::clamp(static_cast<int>(std::lround(100.0 * codestream / pixels)), 1, 100) : 25;
}

// How the image keeps its pixels: its nodata, its JPEG quality, a cloud-optimised layout.
void ReadStructure(GDALDatasetH ds, TalporGdalRasterInfo* info) {
    if (GDALGetRasterCount(ds) > 0) info->nodata = GDALGetRasterNoDataValue(GDALGetRasterBand(ds, 1), &info->hasNodata);
    const bool jp2 = std::strcmp(GDALGetDriverShortName(GDALGetDatasetDriver(ds)), "JP2OpenJPEG") == 0;
    info->jpegQuality = jp2 ? Jp2Quality(ds) : JpegQuality(ds);
    const char* layout = GDALGetMetadataItem(ds, "LAYOUT", "IMAGE_STRUCTURE");
    info->cog = layout != nullptr && std::strcmp(layout, "COG") == 0;
}

// ---- Images: nothing read but the image and its own files, nothing damaged taken as whole.

// The drivers an image is read with, every GDALOpenEx of one given them: files only.
// Others would take a label (PDS, ISIS) that points at any other file as the image's
// pixels, reach a server or a database, or run code. An ENVI or ESRI label lies beside
// its pixels' file, under its name; an Imagine file's spill file is checked where it lies
// (ListRefusal).
const char* const kImageDrivers[] = {"GTiff", "JPEG", "PNG", "AAIGrid", "GRASSASCIIGrid", "VRT", "JP2OpenJPEG",
                                     "HFA",   "ENVI", "EHdr", "XYZ", "GPKG", nullptr};

std::string Grouped(unsigned long long n) {
    std::string digits = std::to_string(n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<std::size_t>(i), ".");
    return digits;
}

// Why `path` (named `shown`) cannot be read as a regular file: "" when it can, or when
// it is missing (its caller says so).
std::string NotAFile(const std::string& path, const std::string& shown) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return "";
    return "«" + shown + "» es " + batch::FileKindText(st.st_mode) + ", no un fichero";
}

// Refuses, in a sentence, an image that is no regular file, and one beside which GDAL
// would read a file that is none (a FIFO stalls it) or a link out of the image's folder.
std::string FilesRefusal(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path image(path);
    const std::string name = image.filename().string(), lower = batch::AsciiLower(name);
    struct stat own {};
    if (::stat(path.c_str(), &own) != 0)
        return "«" + name + "»: " +
               (errno == ENOENT ? std::string("no existe") : "no se puede abrir (" + std::string(std::strerror(errno)) + ")");
    if (const std::string why = NotAFile(path, name); !why.empty()) return why + ": una imagen se lee de un fichero normal";
    const fs::path folder = image.has_parent_path() ? image.parent_path() : fs::path(".");
    std::error_code e;
    const fs::path home = fs::canonical(folder, e);
    for (fs::directory_iterator it(folder, e), end; !e && it != end; it.increment(e)) {
        const std::string other = it->path().filename().string(), low = batch::AsciiLower(other);
        const bool sidecar = TalporImageSidecar(lower, low);
        if (!sidecar) continue;
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            std::error_code bad;
            const fs::path target = fs::canonical(it->path(), bad);
            if (bad || target.parent_path() != home)
                return "«" + other + "», junto a la imagen, es un enlace a un fichero de otra carpeta, que Talpor no lee";
        }
        if (::stat(it->path().c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
            return "«" + other + "», junto a la imagen, es " + batch::FileKindText(st.st_mode) + ", no un fichero";
    }
    return "";
}

// The first bytes of a file.
std::string Head(const std::string& path, std::size_t bytes) {
    std::string text(bytes, '\0');
    std::FILE* f = std::fopen(path.c_str(), "rb");
    text.resize(f != nullptr ? std::fread(text.data(), 1, text.size(), f) : 0);
    if (f != nullptr) std::fclose(f);
    return text;
}

// Refuses, in a sentence, a VRT any of whose sources is not an image file in an ordinary
// folder: a device, a kernel's file (/proc/self/environ), a piece of a file, a text (a
// key, a password file) GDAL would read as pixels. VRTs within it are read the same way.
std::string VrtRefusal(const std::string& path, int depth) {
    if (Head(path, 4096).find("<VRTDataset") == std::string::npos) return "";
    CPLXMLNode* root = CPLParseXMLFile(path.c_str());
    if (root == nullptr) return "";  // GDAL says why it cannot read it
    const std::string folder = std::filesystem::path(path).parent_path().string();
    std::string why;
    const std::function<void(CPLXMLNode*)> walk = [&](CPLXMLNode* node) {
        for (; node != nullptr && why.empty(); node = node->psNext) {
            if (node->eType != CXT_Element) continue;
            if (EQUAL(node->pszValue, "SourceFilename") || EQUAL(node->pszValue, "SourceDataset")) {
                std::string source;
                bool relative = false;
                for (CPLXMLNode* c = node->psChild; c != nullptr; c = c->psNext) {
                    if (c->eType == CXT_Text) source += c->pszValue;
                    if (c->eType == CXT_Attribute && EQUAL(c->pszValue, "relativeToVRT") && c->psChild != nullptr)
                        relative = std::atoi(c->psChild->pszValue) != 0;
                }
                const std::string file = relative && !source.starts_with("/") && !folder.empty() ? folder + "/" + source : source;
                std::error_code e;
                const std::string real = std::filesystem::canonical(file, e).string();
                struct stat st {};
                const bool plain = !source.starts_with("/vsi") && !e && ::stat(real.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                                   !real.starts_with("/proc/") && !real.starts_with("/dev/") && !real.starts_with("/sys/");
                if (e && !source.starts_with("/vsi"))
                    why = "su fuente «" + OneLine(source.c_str()) + "» no existe";
                else if (!plain || GDALIdentifyDriverEx(real.c_str(), GDAL_OF_RASTER, kImageDrivers, nullptr) == nullptr)
                    why = "su fuente «" + OneLine(source.c_str()) + "» no es un fichero de imagen (GeoTIFF, JPEG, PNG, JPEG "
                          "2000, Imagine, ENVI, malla o VRT) en una carpeta normal, y Talpor no la lee";
                else if (const std::string beside = FilesRefusal(real); !beside.empty())
                    why = "en su fuente «" + OneLine(source.c_str()) + "», " + beside;
                else if (depth < 8)
                    why = VrtRefusal(real, depth + 1);
                else
                    why = "sus VRT se anidan más de 8 niveles";
                continue;
            }
            walk(node->psChild);
        }
    };
    walk(root);
    CPLDestroyXMLNode(root);
    return why;
}

// Whether GDAL reads every pixel of `ds` without a word: `said` holds its words otherwise.
bool ReadsWhole(GDALDatasetH ds, std::string& said) {
    const int width = GDALGetRasterXSize(ds), height = GDALGetRasterYSize(ds), bands = GDALGetRasterCount(ds);
    if (bands == 0 || width == 0) return true;
    const GDALDataType type = GDALGetRasterDataType(GDALGetRasterBand(ds, 1));
    const std::size_t row = static_cast<std::size_t>(width) * bands * GDALGetDataTypeSizeBytes(type);
    const int rows = static_cast<int>(std::clamp<std::size_t>((std::size_t{16} << 20) / row, 1, height));
    std::vector<unsigned char> buffer(row * rows);
    Reports reports;
    bool read = true;
    {
        CollectingImage collecting(reports);
        for (int y = 0; read && reports.messages.empty() && y < height; y += rows) {
            const int n = std::min(rows, height - y);
            read = GDALDatasetRasterIO(ds, GF_Read, 0, y, width, n, buffer.data(), width, n, type, bands, nullptr, 0, 0, 0) == CE_None;
        }
    }
    said = reports.messages.empty() && !read ? OneLine(CPLGetLastErrorMsg()) : reports.messages;
    return read && reports.messages.empty();
}

// Whether every block of a GeoTIFF lies inside its `bytes`: a file cut short has its last
// ones past its end, which GDAL reads as blank. `sparse`: some block was never written.
bool BlocksInside(GDALDatasetH ds, long long bytes, bool& sparse) {
    const char* interleave = GDALGetMetadataItem(ds, "INTERLEAVE", "IMAGE_STRUCTURE");
    const int bands = interleave != nullptr && EQUAL(interleave, "BAND") ? GDALGetRasterCount(ds) : 1;
    const char* c = GDALGetMetadataItem(ds, "COMPRESSION", "IMAGE_STRUCTURE");
    const std::string compression = c != nullptr ? c : "";
    const bool known = compression.empty() || compression == "DEFLATE" || compression == "LZW" || compression == "PACKBITS" ||
                       compression.find("JPEG") != std::string::npos;
    for (int b = 1; b <= bands; ++b) {
        GDALRasterBandH band = GDALGetRasterBand(ds, b);
        int bx = 0, by = 0;
        GDALGetBlockSize(band, &bx, &by);
        if (bx <= 0 || by <= 0) return false;
        const long long across = (GDALGetRasterXSize(ds) + (bx - 1LL)) / bx, down = (GDALGetRasterYSize(ds) + (by - 1LL)) / by;
        // Each block has its offset and size in the file, and its pixels there at most 2000
        // times smaller (as a DEFLATE block of one colour; ZSTD's or LZMA's, far more): a
        // header that declares more blocks, or blocks larger, than the file could hold lies.
        const double block = double(bx) * by * (bands == 1 ? GDALGetRasterCount(ds) : 1) *
                             GDALGetDataTypeSizeBytes(GDALGetRasterDataType(band));
        if (across * down > bytes / 4 || block > (known ? 2000.0 * double(bytes) : 2147483648.0)) return false;
        for (long long y = 0; y < down; ++y)
            for (long long x = 0; x < across; ++x) {
                const std::string at = std::to_string(x) + "_" + std::to_string(y);
                const char* offset = GDALGetMetadataItem(band, ("BLOCK_OFFSET_" + at).c_str(), "TIFF");
                const char* size = GDALGetMetadataItem(band, ("BLOCK_SIZE_" + at).c_str(), "TIFF");
                if (offset == nullptr || size == nullptr) {
                    sparse = true;
                    continue;
                }
                if (std::atoll(offset) + std::atoll(size) > bytes) return false;
            }
    }
    return true;
}

// Refuses, in a sentence, an image its file cannot hold: a header that declares more
// pixels than its compression could keep in its bytes, blocks past its end, pixels GDAL
// reads only with a warning (a JPEG cut short, corrupt data). A JPEG's, PNG's or ASCII
// grid's pixels are read through for it, and a compressed GeoTIFF's up to 64 MB; a larger GeoTIFF's
// (an orthophoto of 20.000² pixels) only where they are written, and its bytes copied
// untouched as they are.
std::string DamageRefusal(GDALDatasetH ds, const std::string& path) {
    struct stat st {};
    const long long bytes = ::stat(path.c_str(), &st) == 0 ? st.st_size : 0;
    const std::string driver = GDALGetDriverShortName(GDALGetDatasetDriver(ds));
    const int bands = GDALGetRasterCount(ds);
    const double declared = double(GDALGetRasterXSize(ds)) * GDALGetRasterYSize(ds) * bands *
                            (bands > 0 ? GDALGetDataTypeSizeBytes(GDALGetRasterDataType(GDALGetRasterBand(ds, 1))) : 0);
    // The most an image of one colour shrinks: 510 times as a JPEG, 850 as a PNG or a
    // DEFLATE GeoTIFF; an orthophoto, 10 to 20 times as a JPEG, 2 to 3 with DEFLATE.
    double most = driver == "JPEG" ? 1000 : driver == "PNG" ? 2000 : 0;
    if (driver == "GTiff") {
        bool sparse = false;
        if (!BlocksInside(ds, bytes, sparse))
            return "el fichero acaba antes que sus píxeles: está cortado o dañado";
        const char* c = GDALGetMetadataItem(ds, "COMPRESSION", "IMAGE_STRUCTURE");
        const std::string compression = c != nullptr ? c : "";
        if (!sparse && (compression.empty() || compression == "DEFLATE" || compression == "LZW" || compression == "PACKBITS" ||
                        compression.find("JPEG") != std::string::npos))
            most = 2000;
    }
    // An ENVI or ESRI label's pixels lie uncompressed in the file: it holds them all or is cut short.
    if ((driver == "ENVI" || driver == "EHdr") && declared > double(bytes))
        return "el fichero acaba antes que sus píxeles: está cortado o dañado";
    if (most > 0 && declared > most * std::max(bytes, 1LL))
        return "dice tener " + Grouped(static_cast<unsigned long long>(GDALGetRasterXSize(ds))) + " × " +
               Grouped(static_cast<unsigned long long>(GDALGetRasterYSize(ds))) + " píxeles, que no caben en sus " +
               Grouped(static_cast<unsigned long long>(bytes)) + " bytes: está cortada o su cabecera miente";
    std::string said;
    // A compressed GeoTIFF's blocks decode or not; an uncompressed one's cannot be told
    // damaged beyond what BlocksInside sees.
    const bool small = declared <= double(std::int64_t{64} << 20);
    const bool smallCompressed = small && ((driver == "GTiff" && GDALGetMetadataItem(ds, "COMPRESSION", "IMAGE_STRUCTURE") != nullptr) ||
                                           driver == "JP2OpenJPEG" || driver == "HFA" || driver == "GPKG");
    if ((driver == "JPEG" || driver == "PNG" || driver == "AAIGrid" || driver == "GRASSASCIIGrid" || driver == "XYZ" ||
         smallCompressed) &&
        !ReadsWhole(ds, said))
        return "sus píxeles están dañados o incompletos" + (said.empty() ? std::string() : " (" + said + ")");
    return "";
}

// The system in the .prj beside `path`, read as GDAL reads an ASCII grid's: its lines as
// ESRI writes them (a byte-order mark and blank lines skipped, as Windows editors and
// gdalsrsinfo leave them), never as a name GDAL would look up elsewhere. Null for none.
OGRSpatialReferenceH PrjBeside(const std::string& path) {
    const std::string stem = path.substr(0, path.rfind('.'));
    for (const char* e : {".prj", ".PRJ"}) {
        std::string text = Head(stem + e, 1 << 16);
        if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
        std::vector<std::string> lines;
        std::size_t from = 0;
        for (std::size_t end; from < text.size(); from = end + 1) {
            end = std::min(text.find('\n', from), text.size());
            std::string line = text.substr(from, end - from);
            while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
            while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.erase(0, 1);
            if (!line.empty()) lines.push_back(line);
        }
        if (lines.empty()) continue;
        std::vector<char*> list;
        for (std::string& l : lines) list.push_back(l.data());
        list.push_back(nullptr);
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        std::string joined;
        for (const std::string& l : lines) joined += l;
        const bool wkt2 = joined.find('[') != std::string::npos && !joined.starts_with("PROJCS[") && !joined.starts_with("GEOGCS[");
        const OGRErr read = lines[0].starts_with("+proj") ? OSRImportFromProj4(srs, joined.c_str())
                            : wkt2                     ? OSRImportFromWkt(srs, std::array<char*, 1>{joined.data()}.data())
                                                       : OSRImportFromESRI(srs, list.data());
        if (read == OGRERR_NONE) return srs;
        OSRDestroySpatialReference(srs);
    }
    return nullptr;
}

// Refuses, in a sentence, an image whose driver reads a file outside the image's folder
// or one that is no regular file: an Imagine header names its spill file and overviews.
// A VRT's sources, which may lie in other folders, VrtRefusal has checked.
std::string ListRefusal(GDALDatasetH ds, const std::string& path) {
    namespace fs = std::filesystem;
    if (std::strcmp(GDALGetDriverShortName(GDALGetDatasetDriver(ds)), "VRT") == 0) return "";
    std::error_code e;
    const fs::path home = fs::canonical(fs::path(path).has_parent_path() ? fs::path(path).parent_path() : fs::path("."), e);
    std::string why;
    char** list = GDALGetFileList(ds);
    for (char** f = list; f != nullptr && *f != nullptr && why.empty(); ++f) {
        std::error_code bad;
        const fs::path real = fs::canonical(*f, bad);
        struct stat st {};
        const std::string name = fs::path(*f).filename().string();
        if (!bad && real.parent_path() != home)
            why = "«" + name + "», que la imagen lee, está en otra carpeta, que Talpor no lee";
        else if (!bad && ::stat(real.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            why = "«" + name + "», que la imagen lee, es " + batch::FileKindText(st.st_mode) + ", no un fichero";
    }
    CSLDestroy(list);
    return why;
}

int Raster(const char* path, TalporGdalRasterInfo* info, char* error, int size) {
    Register();
    *info = TalporGdalRasterInfo{};
    if (std::string why = FilesRefusal(path); !why.empty() || !(why = VrtRefusal(path, 0)).empty())
        return CopyText(why.c_str(), error, size), 0;
    CPLErrorReset();
    GDALDatasetH ds = GDALOpenEx(path, GDAL_OF_RASTER | GDAL_OF_READONLY, kImageDrivers, nullptr, nullptr);
    if (ds == nullptr) {
        LastError("GDAL no la reconoce como imagen, o está dañada", error, size);
        return 0;
    }
    if (std::string why = ListRefusal(ds, path); !why.empty() || !(why = DamageRefusal(ds, path)).empty()) {
        GDALClose(ds);
        return CopyText(why.c_str(), error, size), 0;
    }
    info->width = GDALGetRasterXSize(ds), info->height = GDALGetRasterYSize(ds);
    info->bands = GDALGetRasterCount(ds);
    if (info->bands > 0) {
        GDALRasterBandH band = GDALGetRasterBand(ds, 1);
        CopyText(GDALGetDataTypeName(GDALGetRasterDataType(band)), info->type, sizeof info->type);
        info->palette = GDALGetRasterColorTable(band) != nullptr;
    }
    ReadStructure(ds, info);
    CopyText(GDALGetDriverShortName(GDALGetDatasetDriver(ds)), info->driver, sizeof info->driver);
    info->hasGeoTransform = GDALGetGeoTransform(ds, info->geoTransform) == CE_None;
    // A TIFF, JPEG or PNG with a world file may keep its system in a .prj beside it, which
    // GDAL reads for no image but an ASCII grid.
    OGRSpatialReferenceH srs = GDALGetSpatialRef(ds);
    OGRSpatialReferenceH prj = srs == nullptr ? PrjBeside(path) : nullptr;
    if (srs == nullptr) srs = prj;
    if (srs != nullptr) {
        CopyText(OSRGetName(srs), info->system, sizeof info->system);
        info->epsg = EpsgOf(srs);
        info->geographic = OSRIsGeographic(srs);
        if (!Ours(info->epsg)) info->likeEpsg = LikeEpsg(srs);
    }
    if (prj != nullptr) OSRDestroySpatialReference(prj);
    if (char** list = GDALGetFileList(ds)) {
        for (char** f = list; *f != nullptr; ++f) {
            const std::string name = *f, lower = batch::AsciiLower(name);
            for (const char* w : {".tfw", ".tifw", ".jgw", ".jpgw", ".pgw", ".pngw", ".j2w", ".wld"})
                if (lower.ends_with(w))
                    CopyText(name.substr(name.size() - std::strlen(w)).c_str(), info->worldFile, sizeof info->worldFile);
        }
        CSLDestroy(list);
    }
    GDALClose(ds);
    return 1;
}

// The ESRI form of EPSG's system `epsg`, as a .prj holds it.
std::string EsriWkt(int epsg) {
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    std::string text;
    char* wkt = nullptr;
    const char* const options[] = {"FORMAT=WKT1_ESRI", nullptr};
    if (OSRImportFromEPSG(srs, epsg) == OGRERR_NONE && OSRExportToWktEx(srs, &wkt, options) == OGRERR_NONE) text = wkt;
    CPLFree(wkt);
    OSRDestroySpatialReference(srs);
    return text;
}

// An ASCII grid's header holds its georeference: the header is written again with the new
// corner and cell size, every line of values after it copied as it was, and the system
// in a .prj beside it.
int MoveAsciiGrid(const char* input, const char* output, const double* t, int epsg, char* error, int size) {
    std::FILE* in = std::fopen(input, "rb");
    std::FILE* out = std::fopen(output, "wb");
    bool ok = in != nullptr && out != nullptr;
    long long rows = 0;
    std::string line;
    bool header = true;
    for (int c; ok && (c = std::fgetc(in)) != EOF;) {
        line += static_cast<char>(c);
        if (c != '\n') continue;
        if (header) {
            std::string key;
            for (char k : line) {
                if (std::isspace(static_cast<unsigned char>(k))) break;
                key += static_cast<char>(std::tolower(static_cast<unsigned char>(k)));
            }
            const std::string end = line.ends_with("\r\n") ? "\r\n" : "\n";
            const auto number = [](double v) {
                char text[64];
                std::snprintf(text, sizeof text, "%.15g", v);
                return std::string(text);
            };
            const bool centre = key == "xllcenter" || key == "yllcenter";
            if (key == "nrows") rows = std::atoll(line.c_str() + key.size());
            if (key == "xllcorner" || key == "xllcenter") line = key + " " + number(t[0] + (centre ? t[1] / 2 : 0)) + end;
            else if (key == "yllcorner" || key == "yllcenter")
                line = key + " " + number(t[3] + rows * t[5] - (centre ? t[5] / 2 : 0)) + end;
            else if (key == "cellsize") line = key + " " + number(t[1]) + end;
            else if (key == "dx") line = key + " " + number(t[1]) + end;
            else if (key == "dy") line = key + " " + number(-t[5]) + end;
            else if (key.empty() || !std::isalpha(static_cast<unsigned char>(key[0]))) header = false;
        }
        ok = std::fwrite(line.data(), 1, line.size(), out) == line.size();
        line.clear();
    }
    ok = ok && (line.empty() || std::fwrite(line.data(), 1, line.size(), out) == line.size());
    ok = ok && std::ferror(in) == 0;
    if (in != nullptr) std::fclose(in);
    if (out != nullptr && std::fclose(out) != 0) ok = false;
    const std::string prj = std::string(output).substr(0, std::string(output).rfind('.')) + ".prj";
    const std::string wkt = EsriWkt(epsg);
    std::FILE* p = ok ? std::fopen(prj.c_str(), "wb") : nullptr;
    ok = ok && p != nullptr && !wkt.empty() && std::fputs(wkt.c_str(), p) >= 0;
    if (p != nullptr && std::fclose(p) != 0) ok = false;
    if (!ok) CopyText("no se puede escribir la malla", error, size);
    return ok ? 1 : 0;
}

// GDAL's progress, passed on; what stops it stops the writing.
int Passed(double fraction, const char*, void* context) {
    const TalporGdalProgress* p = static_cast<const TalporGdalProgress*>(context);
    return p == nullptr || p->done == nullptr || p->done(std::clamp(fraction, 0.0, 1.0), p->context) != 0 ? 1 : 0;
}

// Copies the bytes of `from` to `to`, in the kernel where it can, saying how far it got.
// "" when done; why not otherwise ("" too when stopped, with `stopped` set).
std::string CopyBytes(const std::string& from, const std::string& to, const TalporGdalProgress* progress, bool& stopped) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return std::strerror(errno);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        const int e = errno;
        ::close(in);
        return std::strerror(e);
    }
    struct stat st {};
    const double size = ::fstat(in, &st) == 0 && st.st_size > 0 ? static_cast<double>(st.st_size) : 1;
    std::string why;
    bool kernel = true;
    std::vector<char> buffer;
    for (double copied = 0;;) {
        ssize_t n = kernel ? ::copy_file_range(in, nullptr, out, nullptr, std::size_t{64} << 20, 0) : -1;
        if (n < 0 && kernel && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            kernel = false;
            buffer.resize(std::size_t{1} << 20);
        }
        if (!kernel) {
            n = ::read(in, buffer.data(), buffer.size());
            for (ssize_t w = 0, done = 0; n > 0 && done < n; done += w)
                if ((w = ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done))) < 0) {
                    n = -1;
                    break;
                }
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = std::strerror(errno);
            break;
        }
        if (n == 0) break;
        copied += static_cast<double>(n);
        if (Passed(copied / size, nullptr, const_cast<TalporGdalProgress*>(progress)) == 0) {
            stopped = true;
            break;
        }
    }
    if (::close(out) != 0 && why.empty() && !stopped) why = std::strerror(errno);
    ::close(in);
    return why;
}

// Writes `text` into the file `path`, whole; false when it cannot.
bool WriteText(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return (f == nullptr || std::fclose(f) == 0) && ok;
}

// Whether GDAL reads `path` back in `epsg` and at `t`: what was written is what was meant.
bool ReadsBack(const std::string& path, const double* t, int epsg) {
    GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, kImageDrivers, nullptr, nullptr);
    if (ds == nullptr) return false;
    double gt[6];
    OGRSpatialReferenceH srs = GDALGetSpatialRef(ds);
    bool same = GDALGetGeoTransform(ds, gt) == CE_None && srs != nullptr && EpsgOf(srs) == epsg;
    for (int i = 0; same && i < 6; ++i) same = std::abs(gt[i] - t[i]) <= 1e-9 * std::max(1.0, std::abs(t[i]));
    GDALClose(ds);
    return same;
}

// Whether every pixel of the image at `path` is `src`'s, bit for bit, read back band by
// band in strips of rows: what a lossless copy into another format must give.
bool SamePixels(GDALDatasetH src, const std::string& path) {
    GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, kImageDrivers, nullptr, nullptr);
    if (ds == nullptr) return false;
    const int width = GDALGetRasterXSize(src), height = GDALGetRasterYSize(src), bands = GDALGetRasterCount(src);
    bool same = GDALGetRasterXSize(ds) == width && GDALGetRasterYSize(ds) == height && GDALGetRasterCount(ds) == bands;
    for (int b = 1; same && b <= bands; ++b) {
        GDALRasterBandH from = GDALGetRasterBand(src, b), to = GDALGetRasterBand(ds, b);
        // Read in the input's type: an ASCII grid of whole numbers reads back as Int32.
        const GDALDataType type = GDALGetRasterDataType(from);
        const std::size_t row = static_cast<std::size_t>(width) * GDALGetDataTypeSizeBytes(type);
        const int rows = static_cast<int>(std::clamp<std::size_t>((std::size_t{8} << 20) / std::max<std::size_t>(row, 1), 1,
                                                                  static_cast<std::size_t>(std::max(height, 1))));
        std::vector<unsigned char> a(row * rows), c(row * rows);
        for (int y = 0; same && y < height; y += rows) {
            const int n = std::min(rows, height - y);
            same = GDALRasterIO(from, GF_Read, 0, y, width, n, a.data(), width, n, type, 0, 0) == CE_None &&
                   GDALRasterIO(to, GF_Read, 0, y, width, n, c.data(), width, n, type, 0, 0) == CE_None &&
                   std::memcmp(a.data(), c.data(), row * static_cast<std::size_t>(n)) == 0;
        }
    }
    GDALClose(ds);
    return same;
}

std::vector<std::string> TiffOptions(GDALDatasetH src, bool cog);

// The quality `src`'s pixels were JPEG-compressed at where it is told; else GDAL's own
// default, 75 (rasters/Rasters.cpp says the same in its summary).
int JpegQualityOf(GDALDatasetH src) {
    const int q = JpegQuality(src);
    return q > 0 ? q : 75;
}

// The creation options of `format` for an image made from `src`.
std::vector<std::string> CreationOptions(GDALDatasetH src, const std::string& format) {
    if (format == "GTiff" || format == "COG") return TiffOptions(src, format == "COG");
    if (format == "JPEG") return {"WORLDFILE=YES", "QUALITY=" + std::to_string(JpegQualityOf(src))};
    if (format == "PNG") return {"WORLDFILE=YES"};
    // A JPEG 2000 without loss where the input was without loss, else at its size's share;
    // its georeference in both boxes GDAL reads (GMLJP2 and GeoJP2), with the EPSG code.
    if (format == "JP2OpenJPEG") {
        const bool jp2 = std::strcmp(GDALGetDriverShortName(GDALGetDatasetDriver(src)), "JP2OpenJPEG") == 0;
        const int quality = jp2 ? Jp2Quality(src) : 0;
        if (quality == 0) return {"REVERSIBLE=YES", "QUALITY=100", "GMLJP2=YES", "GeoJP2=YES"};
        return {"QUALITY=" + std::to_string(quality), "GMLJP2=YES", "GeoJP2=YES"};
    }
    return {};
}

// Whether an image written in `format` with `options` keeps every pixel's value.
bool Lossless(const std::string& format, const std::vector<std::string>& options) {
    if (format == "JPEG" || std::find(options.begin(), options.end(), "COMPRESS=JPEG") != options.end()) return false;
    return format != "JP2OpenJPEG" || std::find(options.begin(), options.end(), "REVERSIBLE=YES") != options.end();
}

// A band's metadata without the statistics of its pixels, which a new encoding or a
// resampling makes another's. A list for CSLDestroy.
char** WithoutStatistics(GDALRasterBandH band) {
    char** kept = nullptr;
    for (char** m = GDALGetMetadata(band, nullptr); m != nullptr && *m != nullptr; ++m)
        if (!std::string_view(*m).starts_with("STATISTICS_")) kept = CSLAddString(kept, *m);
    return kept;
}

// What a map says of its bands besides their pixels, from `src` onto `out` where the
// writing left it out: names of categories, colour table and interpretation,
// description, nodata, units, scale and offset and the rest of each band's metadata.
void CopyLegend(GDALDatasetH src, GDALDatasetH out) {
    const int bands = std::min(GDALGetRasterCount(src), GDALGetRasterCount(out));
    for (int b = 1; b <= bands; ++b) {
        GDALRasterBandH from = GDALGetRasterBand(src, b), to = GDALGetRasterBand(out, b);
        if (char** names = GDALGetRasterCategoryNames(from); names != nullptr && GDALGetRasterCategoryNames(to) == nullptr)
            GDALSetRasterCategoryNames(to, names);
        if (GDALColorTableH table = GDALGetRasterColorTable(from); table != nullptr && GDALGetRasterColorTable(to) == nullptr)
            GDALSetRasterColorTable(to, table);
        if (GDALGetRasterColorInterpretation(to) != GDALGetRasterColorInterpretation(from))
            GDALSetRasterColorInterpretation(to, GDALGetRasterColorInterpretation(from));
        if (*GDALGetDescription(from) != 0 && *GDALGetDescription(to) == 0) GDALSetDescription(to, GDALGetDescription(from));
        int has = 0, had = 0;
        const double nodata = GDALGetRasterNoDataValue(from, &has);
        GDALGetRasterNoDataValue(to, &had);
        if (has != 0 && had == 0) GDALSetRasterNoDataValue(to, nodata);
        if (*GDALGetRasterUnitType(from) != 0) GDALSetRasterUnitType(to, GDALGetRasterUnitType(from));
        int hasScale = 0, hasOffset = 0;
        const double scale = GDALGetRasterScale(from, &hasScale), offset = GDALGetRasterOffset(from, &hasOffset);
        if (hasScale != 0) GDALSetRasterScale(to, scale);
        if (hasOffset != 0) GDALSetRasterOffset(to, offset);
        char** kept = WithoutStatistics(from);
        for (char** m = kept; m != nullptr && *m != nullptr; ++m) {
            char* key = nullptr;
            const char* value = CPLParseNameValue(*m, &key);
            if (key != nullptr && value != nullptr) GDALSetMetadataItem(to, key, value, nullptr);
            CPLFree(key);
        }
        CSLDestroy(kept);
    }
}

// The system of a format that keeps none in itself, in a .prj beside it; an XYZ grid's in
// its .aux.xml, where GDAL reads it.
bool WritePrj(const std::string& output, const std::string& format, int epsg) {
    if (format == "XYZ") {
        GDALDatasetH ds = GDALOpenEx(output.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, kImageDrivers, nullptr, nullptr);
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        const bool set = ds != nullptr && OSRImportFromEPSG(srs, epsg) == OGRERR_NONE && GDALSetSpatialRef(ds, srs) == CE_None;
        OSRDestroySpatialReference(srs);
        if (ds != nullptr) GDALClose(ds);
        return set;
    }
    if (format != "AAIGrid" && format != "JPEG" && format != "PNG") return true;
    const std::string wkt = EsriWkt(epsg);
    return !wkt.empty() && WriteText(output.substr(0, output.rfind('.')) + ".prj", wkt);
}

// `src`'s pixels as they are, written in `format` with the georeference `t` in `epsg`:
// through a virtual copy that only changes the georeference.
int WriteAs(GDALDatasetH src, const std::string& output, const std::string& format, const double* t, int epsg,
            const TalporGdalProgress* progress, char* error, int size) {
    const char* const virtualCopy[] = {"-of", "VRT", nullptr};
    GDALTranslateOptions* options = GDALTranslateOptionsNew(const_cast<char**>(virtualCopy), nullptr);
    GDALDatasetH vrt = options != nullptr ? GDALTranslate("", src, options, nullptr) : nullptr;
    if (options != nullptr) GDALTranslateOptionsFree(options);
    double gt[6];
    std::copy(t, t + 6, gt);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    bool done = vrt != nullptr && OSRImportFromEPSG(srs, epsg) == OGRERR_NONE && GDALSetSpatialRef(vrt, srs) == CE_None &&
                GDALSetGeoTransform(vrt, gt) == CE_None;
    OSRDestroySpatialReference(srs);
    for (int b = 1; done && b <= GDALGetRasterCount(vrt); ++b) {
        char** kept = WithoutStatistics(GDALGetRasterBand(vrt, b));
        GDALSetMetadata(GDALGetRasterBand(vrt, b), kept, nullptr);
        CSLDestroy(kept);
    }
    std::vector<std::string> o = CreationOptions(src, format);
    std::vector<char*> list;
    for (std::string& item : o) list.push_back(item.data());
    list.push_back(nullptr);
    GDALDriverH driver = GDALGetDriverByName(format.c_str());
    GDALDatasetH out = done && driver != nullptr ? GDALCreateCopy(driver, output.c_str(), vrt, FALSE, list.data(), Passed,
                                                                  const_cast<TalporGdalProgress*>(progress))
                                                 : nullptr;
    done = out != nullptr;
    if (out != nullptr) GDALClose(out);
    if (vrt != nullptr) GDALClose(vrt);
    done = done && CPLGetLastErrorType() != CE_Failure && WritePrj(output, format, epsg);
    // Written again without loss, its pixels are said to be the input's: read back, they must be.
    const bool lossless = Lossless(format, o);
    if (done && lossless && !SamePixels(src, output)) {
        CopyText("los píxeles escritos no son los de la entrada", error, size);
        return 0;
    }
    // A JPEG 2000's boxes (GMLJP2, GeoJP2) and an XYZ grid's lines say where it lies: read
    // back, they must say what was meant.
    if (done && (format == "JP2OpenJPEG" || format == "XYZ") && !ReadsBack(output, t, epsg)) {
        CopyText("GDAL no lee la imagen escrita con su nueva georreferencia", error, size);
        return 0;
    }
    if (!done) {
        CopyText(CPLGetLastErrorNo() == CPLE_UserInterrupt ? ""
                 : *CPLGetLastErrorMsg() != 0             ? CPLGetLastErrorMsg()
                                                          : "GDAL no ha podido escribir la imagen",
                 error, size);
        return 0;
    }
    return 1;
}

int MoveRaster(const char* input, const char* output, const char* worldFile, const double* t, int epsg, const char* format,
               const TalporGdalProgress* progress, char* error, int size) {
    GDALAllRegister();
    CPLErrorReset();
    GDALDatasetH src = GDALOpenEx(input, GDAL_OF_RASTER | GDAL_OF_READONLY, kImageDrivers, nullptr, nullptr);
    if (src == nullptr) {
        CopyText(CPLGetLastErrorMsg(), error, size);
        return 0;
    }
    const std::string from = GDALGetDriverShortName(GDALGetDatasetDriver(src));
    const bool ascii = from == "AAIGrid", label = from == "ENVI" || from == "EHdr";
    // The files GDAL keeps beside the image under its whole name (orto.tif.aux.xml,
    // orto.tif.ovr, orto.tif.msk) come along: its metadata, overviews and mask are the
    // same pixels'. Its world file and .prj are written anew. An ENVI or ESRI label's
    // (orto.hdr, orto.prj, orto.stx, orto.clr) come along under the destination's name,
    // and are written again with the georeference.
    std::vector<std::string> beside, labels;
    const std::string name = std::filesystem::path(input).filename().string();
    const std::string stem = name.substr(0, name.find('.') == std::string::npos ? name.size() : name.rfind('.'));
    if (char** list = GDALGetFileList(src)) {
        for (char** f = list; *f != nullptr; ++f) {
            const std::string other = std::filesystem::path(*f).filename().string();
            if (other.size() > name.size() && other.starts_with(name)) beside.push_back(other.substr(name.size()));
            else if (other != name) labels.push_back(other.substr(std::min(other.size(), stem.size())));
        }
        CSLDestroy(list);
    }
    // An Imagine header names its spill file and overviews (orto.ige, orto.rrd), which a
    // copy under another name would not find: its pixels are written again, as they are.
    if ((format == nullptr || *format == 0) && from == "HFA" && !labels.empty()) format = "HFA";
    if (format != nullptr && *format != 0) {
        const int written = WriteAs(src, output, format, t, epsg, progress, error, size);
        GDALClose(src);
        return written;
    }
    GDALClose(src);
    const std::string in = input, out = output, folder = std::filesystem::path(in).parent_path().string();
    const std::string outName = std::filesystem::path(out).filename().string();
    const std::string outStem = out.substr(0, out.size() - outName.size()) +
                                outName.substr(0, outName.find('.') == std::string::npos ? outName.size() : outName.rfind('.'));
    const std::string inStem = in.substr(0, in.size() - name.size()) + stem;
    for (const std::string& suffix : beside) {
        bool stopped = false;
        const std::string why = CopyBytes(in + suffix, out + suffix, nullptr, stopped);
        if (!why.empty()) {
            CopyText(("no se puede copiar «" + name + suffix + "»: " + why).c_str(), error, size);
            return 0;
        }
    }
    for (const std::string& ending : label ? labels : std::vector<std::string>{}) {
        bool stopped = false;
        const std::string why = CopyBytes(inStem + ending, outStem + ending, nullptr, stopped);
        if (!why.empty()) {
            CopyText(("no se puede copiar «" + stem + ending + "»: " + why).c_str(), error, size);
            return 0;
        }
    }
    if (ascii) {
        if (MoveAsciiGrid(input, output, t, epsg, error, size) == 0) return 0;
        if (!ReadsBack(out, t, epsg)) return CopyText("GDAL no lee la malla escrita con su nueva georreferencia", error, size), 0;
        return 1;
    }
    bool stopped = false;
    if (const std::string why = CopyBytes(in, out, progress, stopped); !why.empty() || stopped) {
        CopyText(stopped ? "" : ("no se puede copiar la imagen: " + why).c_str(), error, size);
        return 0;
    }
    CPLErrorReset();
    if (worldFile != nullptr && *worldFile != 0) {
        // A world file gives the centre of the top left pixel (ESRI's order: A D B E C F).
        const std::string stem = out.substr(0, out.rfind('.'));
        char text[512];
        std::snprintf(text, sizeof text, "%.12f\n%.12f\n%.12f\n%.12f\n%.6f\n%.6f\n", t[1], t[4], t[2], t[5],
                      t[0] + t[1] / 2 + t[2] / 2, t[3] + t[4] / 2 + t[5] / 2);
        const std::string wkt = EsriWkt(epsg);
        if (wkt.empty() || !WriteText(stem + worldFile, text) || !WriteText(stem + ".prj", wkt)) {
            CopyText("no se puede escribir el fichero de georreferencia de la imagen", error, size);
            return 0;
        }
    }
    // A GeoTIFF's tags, an Imagine header and an ENVI or ESRI label are rewritten in place;
    // any other image keeps its georeference and system in its .aux.xml too, where GDAL
    // reads them first (it reads no .prj beside a JPEG or a PNG): set on the copy opened
    // for reading, GDAL writes them there.
    const bool inPlace = from == "GTiff" || from == "HFA" || label;
    GDALDatasetH ds = GDALOpenEx(output, GDAL_OF_RASTER | (inPlace ? GDAL_OF_UPDATE : GDAL_OF_READONLY), kImageDrivers, nullptr, nullptr);
    if (ds == nullptr) {
        CopyText(CPLGetLastErrorMsg(), error, size);
        return 0;
    }
    double gt[6];
    std::copy(t, t + 6, gt);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    bool set = OSRImportFromEPSG(srs, epsg) == OGRERR_NONE && GDALSetSpatialRef(ds, srs) == CE_None &&
               GDALSetGeoTransform(ds, gt) == CE_None;
    OSRDestroySpatialReference(srs);
    GDALClose(ds);
    // ENVI writes the path it was opened by into its label's description: the file's name
    // is what it will be called.
    if (from == "ENVI")
        for (const std::string& ending : labels) {
            std::string text = Head(outStem + ending, std::size_t{1} << 20);
            for (std::size_t at; (at = text.find(out)) != std::string::npos;) text.replace(at, out.size(), outName);
            if (ending.ends_with(".hdr") || ending.ends_with(".HDR")) set = set && WriteText(outStem + ending, text);
        }
    if (!set || CPLGetLastErrorType() == CE_Failure) {
        CopyText(CPLGetLastErrorMsg(), error, size);
        return 0;
    }
    // A system kept in a metadata file that came along would win over the one written.
    if (!ReadsBack(out, t, epsg)) return CopyText("GDAL no lee la imagen escrita con su nueva georreferencia", error, size), 0;
    return 1;
}

// The creation options of a GeoTIFF (or a cloud-optimised one) resampled from `src`: its
// photographs' JPEG compression kept, DEFLATE otherwise, with the predictor of its type
// for an elevation model.
std::vector<std::string> TiffOptions(GDALDatasetH src, bool cog) {
    std::vector<std::string> o = {"BIGTIFF=IF_SAFER"};
    if (!cog) o.push_back("TILED=YES");
    const GDALDataType type = GDALGetRasterCount(src) > 0 ? GDALGetRasterDataType(GDALGetRasterBand(src, 1)) : GDT_Byte;
    const bool jpeg = JpegQuality(src) != 0 && type == GDT_Byte;
    if (jpeg) {
        // At the input's own quality, not at GDAL's default.
        o.push_back("COMPRESS=JPEG");
        o.push_back((cog ? "QUALITY=" : "JPEG_QUALITY=") + std::to_string(JpegQualityOf(src)));
        const char* space = GDALGetMetadataItem(src, "SOURCE_COLOR_SPACE", "IMAGE_STRUCTURE");
        if (!cog && space != nullptr && std::strcmp(space, "YCbCr") == 0) o.push_back("PHOTOMETRIC=YCBCR");
    } else {
        o.push_back("COMPRESS=DEFLATE");
        // No predictor takes complex values.
        if (type != GDT_Byte && GDALDataTypeIsComplex(type) == 0)
            o.push_back(cog ? "PREDICTOR=YES" : GDALDataTypeIsFloating(type) ? "PREDICTOR=3" : "PREDICTOR=2");
    }
    if (cog) o.push_back("NUM_THREADS=2");
    return o;
}

// The errors GDAL reports while it resamples, but for PROJ's about single points: the
// warper tries points no image covers (the poles, to tell whether the image holds one),
// which a Molodensky step may put past them, and leaves a pixel it cannot carry empty.
struct WarpErrors {
    std::string message;
    CPLErrorNum number = CPLE_None;
};
thread_local WarpErrors* t_warpErrors = nullptr;

void CollectWarpError(CPLErr level, CPLErrorNum number, const char* message) {
    if (t_warpErrors == nullptr || level < CE_Failure || std::string_view(message).starts_with("PROJ: ")) return;
    t_warpErrors->message = OneLine(message), t_warpErrors->number = number;
}

int WarpRaster(const char* input, const char* output, const TalporGdalWarp* warp, char* error, int size) {
    GDALAllRegister();
    CPLErrorReset();
    WarpErrors errors;
    t_warpErrors = &errors;
    CPLPushErrorHandler(CollectWarpError);
    struct Popped {
        ~Popped() {
            CPLPopErrorHandler();
            t_warpErrors = nullptr;
        }
    } popped;
    GDALDatasetH src = GDALOpenEx(input, GDAL_OF_RASTER | GDAL_OF_READONLY, kImageDrivers, nullptr, nullptr);
    double gt[6];
    if (src == nullptr || GDALGetGeoTransform(src, gt) != CE_None) {
        CopyText(CPLGetLastErrorMsg(), error, size);
        if (src != nullptr) GDALClose(src);
        return 0;
    }
    char x[64], y[64];
    std::snprintf(x, sizeof x, "%.17g", std::hypot(gt[1], gt[4]));
    std::snprintf(y, sizeof y, "%.17g", std::hypot(gt[2], gt[5]));
    const std::string source = "EPSG:" + std::to_string(warp->sourceEpsg), system = "EPSG:" + std::to_string(warp->epsg),
                      format = warp->format;
    // As gdalwarp with these options: the pixels of the input's size, two threads, a
    // warp memory of 128 MB (two of them with -multi).
    std::vector<std::string> args = {"-ct", warp->pipeline, "-s_srs", source, "-t_srs", system, "-tr", x, y, "-r", warp->resampling,
                                     "-of", format, "-multi", "-wo", "NUM_THREADS=2", "-wm", "128"};
    for (const std::string& o : CreationOptions(src, format)) args.insert(args.end(), {"-co", o});
    // The block cache small, whatever the machine's size (GDAL's default is a twentieth of
    // its memory): the warper reads and writes through its own chunks.
    GDALSetCacheMax64(std::int64_t{64} << 20);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    GDALWarpAppOptions* options = GDALWarpAppOptionsNew(argv.data(), nullptr);
    if (options != nullptr) GDALWarpAppOptionsSetProgress(options, Passed, const_cast<TalporGdalProgress*>(&warp->progress));
    int usage = 0;
    GDALDatasetH out = options != nullptr ? GDALWarp(output, nullptr, 1, &src, options, &usage) : nullptr;
    if (options != nullptr) GDALWarpAppOptionsFree(options);
    bool done = out != nullptr && usage == 0;
    if (done) CopyLegend(src, out);
    // The overviews the input had, at the same steps; none that is no smaller than the
    // image (a damaged .ovr may say anything).
    if (done && format == "GTiff" && GDALGetRasterCount(src) > 0) {
        GDALRasterBandH band = GDALGetRasterBand(src, 1);
        std::vector<int> steps;
        for (int i = 0; i < GDALGetOverviewCount(band); ++i) {
            GDALRasterBandH o = GDALGetOverview(band, i);
            const int side = o != nullptr ? GDALGetRasterBandXSize(o) : 0;
            const long step = side > 0 ? std::lround(double(GDALGetRasterBandXSize(band)) / side) : 0;
            if (step >= 2 && step <= GDALGetRasterBandXSize(band) && std::find(steps.begin(), steps.end(), step) == steps.end())
                steps.push_back(static_cast<int>(step));
        }
        const char* way = GDALGetRasterColorTable(band) != nullptr ? "NEAREST" : "AVERAGE";
        if (!steps.empty())
            done = GDALBuildOverviews(out, way, static_cast<int>(steps.size()), steps.data(), 0, nullptr, nullptr, nullptr) ==
                   CE_None;
    }
    if (out != nullptr) GDALClose(out);
    GDALClose(src);
    done = done && WritePrj(output, format, warp->epsg);
    if (!done || !errors.message.empty()) {
        const bool stopped = errors.number == CPLE_UserInterrupt;
        CopyText(stopped                     ? ""
                 : !errors.message.empty()    ? errors.message.c_str()
                 : *CPLGetLastErrorMsg() != 0 ? CPLGetLastErrorMsg()
                                              : "GDAL no ha podido remuestrear la imagen",
                 error, size);
        return 0;
    }
    return 1;
}

// ---- An image's writing, watched.


// Catches, for as long as it lives, what the libraries under GDAL print themselves on
// standard error rather than through GDAL: libjpeg's warnings as GDAL copies a JPEG's
// data into a TIFF untouched ("Corrupt JPEG data: 57 extraneous bytes before marker").
class CatchingStderr {
  public:
    CatchingStderr() : file_(std::tmpfile()) {
        std::fflush(stderr);
        if (file_ != nullptr) saved_ = ::dup(STDERR_FILENO);
        if (saved_ >= 0) ::dup2(::fileno(file_), STDERR_FILENO);
    }
    ~CatchingStderr() {
        Restore();
        if (file_ != nullptr) std::fclose(file_);
    }
    CatchingStderr(const CatchingStderr&) = delete;
    CatchingStderr& operator=(const CatchingStderr&) = delete;
    // What was printed, each line added to `reports` as a warning; a sanitizer's report
    // goes on to standard error as it came.
    void AddTo(Reports& reports) {
        Restore();
        if (file_ == nullptr) return;
        std::string text(std::size_t{1} << 16, '\0');
        std::rewind(file_);
        text.resize(std::fread(text.data(), 1, text.size(), file_));
        if (text.find("Sanitizer") != std::string::npos || text.find("runtime error") != std::string::npos)
            (void)!::write(STDERR_FILENO, text.data(), text.size());
        for (std::size_t from = 0, end; from < text.size(); from = end + 1) {
            end = std::min(text.find('\n', from), text.size());
            if (const std::string line = OneLine(text.substr(from, end - from).c_str()); !line.empty()) Add(reports, CE_Warning, line);
        }
    }

  private:
    void Restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }
    std::FILE* file_;
    int saved_ = -1;
};

// GDAL's words for pixels it could not read whole: a file cut short, a strip or a tile
// missing, data that does not decode.
bool SaysDamaged(const std::string& message) {
    static constexpr std::string_view kDamage[] = {
        "premature end", "corrupt", "read error", "ireadblock", "readencoded", "readraw", "filltile", "fillstrip", "decode",
        "decompress", "inflate", "truncat", "crc error", "unexpected end", "seek error", "not enough data", "too few",
        "missing", "short read", "cannot read"};
    const std::string lower = batch::AsciiLower(message);
    return std::any_of(std::begin(kDamage), std::end(kDamage), [&](std::string_view d) { return lower.find(d) != std::string::npos; });
}

// Whether the writing of `output` failed for want of room: its disk nearly full, or the
// file at the process's size limit.
bool NoRoom(const std::string& output) {
    struct stat st {};
    struct rlimit limit {};
    if (::stat(output.c_str(), &st) == 0 && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<rlim_t>(st.st_size) + (rlim_t{1} << 20) >= limit.rlim_cur)
        return true;
    struct statvfs disk {};
    const std::string folder = std::filesystem::path(output).parent_path().string();
    return ::statvfs(folder.empty() ? "." : folder.c_str(), &disk) == 0 &&
           static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize < (8ULL << 20);
}

// The sentence for a writing of `input` into `output` that `done` or not, with what GDAL
// reported meanwhile and the writer's `error`: pixels GDAL could not read refuse the
// image, even where the writing went on with blanks for them. 1, or 0 with `error` set.
int Judged(int done, const Reports& reports, const char* input, const char* output, char* error, int size) {
    const std::string in = std::filesystem::path(input).filename().string(), out = std::filesystem::path(output).filename().string();
    // GDAL's words name the output by its temporary path: by its name instead.
    const auto named = [&](std::string text) {
        for (std::size_t at; !std::string_view(output).empty() && (at = text.find(output)) != std::string::npos;)
            text.replace(at, std::strlen(output), out);
        for (std::size_t at; (at = text.find("./" + out)) != std::string::npos;) text.replace(at, out.size() + 2, out);
        return text;
    };
    const std::string said = named(error != nullptr ? OneLine(error) : "");
    const bool failed = done == 0 || reports.failure;
    if (failed && (done != 0 || !said.empty()) && NoRoom(output)) {
        const std::string why = said.empty() ? named(reports.messages) : said;
        return CopyText(("no se puede escribir «" + out + "»: no queda espacio" + (why.empty() ? "" : " (" + why + ")")).c_str(),
                        error, size), 0;
    }
    std::string damage;
    for (std::size_t from = 0; from < reports.messages.size() && damage.empty();) {
        const std::size_t end = std::min(reports.messages.find("; ", from), reports.messages.size());
        if (const std::string m = reports.messages.substr(from, end - from); SaysDamaged(m)) damage = named(m);
        from = end + 2;
    }
    if (!damage.empty())
        return CopyText(("no se puede leer «" + in + "»: sus píxeles están dañados o incompletos (" + damage + ")").c_str(), error, size), 0;
    if (done != 0 && !reports.failure) return 1;
    if (done != 0 || !said.empty()) {
        const std::string why = said.empty() ? named(reports.messages) : said;
        const bool ours = why.starts_with("no se puede") || why.starts_with("GDAL no");
        const std::string sentence = ours ? why : "no se puede escribir «" + out + "»: GDAL ha fallado" + (why.empty() ? "" : " (" + why + ")");
        CopyText(sentence.c_str(), error, size);
    }
    return 0;
}

int WatchedMoveRaster(const char* input, const char* output, const char* worldFile, const double* t, int epsg, const char* format,
                      const TalporGdalProgress* progress, char* error, int size) {
    Reports reports;
    CopyText("", error, size);
    int done = 0;
    {
        CollectingImage collecting(reports);
        CatchingStderr printed;
        done = MoveRaster(input, output, worldFile, t, epsg, format, progress, error, size);
        printed.AddTo(reports);
    }
    return Judged(done, reports, input, output, error, size);
}

int WatchedWarpRaster(const char* input, const char* output, const TalporGdalWarp* warp, char* error, int size) {
    Reports reports;
    CopyText("", error, size);
    int done = 0;
    {
        CollectingImage collecting(reports);
        CatchingStderr printed;
        done = WarpRaster(input, output, warp, error, size);
        printed.AddTo(reports);
    }
    return Judged(done, reports, input, output, error, size);
}

constexpr TalporGdalFunctions kFunctions = {kTalporGdalVersion, Open, Layers, Layer, Bytes, Field, Run, Close, Raster,
                                            WatchedMoveRaster, WatchedWarpRaster};

}  // namespace

extern "C" __attribute__((visibility("default"))) const TalporGdalFunctions* talpor_gdal_functions() {
    return &kFunctions;
}
