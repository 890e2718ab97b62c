// Layers read and written through GDAL's vector C API (OGR): each layer's system and
// fields, and a run's job, geometries walked in their own order (parts of a
// multi-geometry, rings of a polygon, points of a line) into flat arrays and written back
// along the same walk, so that every vertex, and nothing else, changes.
#include "gdal/GdalParts.h"


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

namespace gdal {

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
    CopyText(tables::ValidUtf8(OGR_L_GetName(layer)).c_str(), info->name, sizeof info->name);
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
    data->fieldName = tables::ValidUtf8(defn != nullptr ? OGR_Fld_GetNameRef(defn) : "");
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
    std::unique_ptr<gdal::KmlWriter> kml;
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
    out.kml = std::make_unique<gdal::KmlWriter>();
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
             out.kml->AddLayer(tables::ValidUtf8(OGR_L_GetName(in)), defn, names, job.skip != nullptr && job.skip[i] != 0))
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
    const std::string valid = tables::ValidUtf8(name);
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
            const std::string was = tables::ValidUtf8(given);
            const std::string is = tables::ValidUtf8(OGR_Fld_GetNameRef(made));
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
            out.cadLayerName.push_back(tables::ValidUtf8(OGR_L_GetName(in)));
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
        OGRLayerH layer = GDALDatasetCreateLayer(out.dataset, tables::ValidUtf8(OGR_L_GetName(in)).c_str(), srs, type, options);
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
                        ("la geometría «" + tables::ValidUtf8(OGR_GFld_GetNameRef(OGR_FD_GetGeomFieldDefn(defn, g))) +
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
        out.cadLayerName.push_back(tables::ValidUtf8(OGR_L_GetName(in)));
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
        if (p.isSet[f] && !tables::IsUtf8(p.texts[f])) {
            p.texts[f] = tables::ValidUtf8(p.texts[f], &p.replaced);
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
            OGR_F_SetFieldString(copy, fields[f], gdal::IsoDate(feature, static_cast<int>(f)).c_str());
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
            const gdal::KmlContainer& c = data->kml.containers[static_cast<std::size_t>(data->containerOf[l])];
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
                                         tables::ValidUtf8(OGR_L_GetName(in)) + "» tiene más de " +
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


}  // namespace gdal

