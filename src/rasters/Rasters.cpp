#include "rasters/Rasters.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include <sqlite3.h>

#include "gdal/GdalModule.h"
#include "layers/LayerEngine.h"
#include "layers/Layers.h"
#include "rasters/Georeference.h"
#include "rasters/Pipeline.h"
#include "tables/Decimal.h"
#include "tables/Encoding.h"
#include "tables/FileKind.h"
#include "tables/OutputFile.h"

namespace rasters {

namespace {

using tables::RunError;

// Talpor's systems by their EPSG codes; nullopt for any other.
std::optional<RasterSystem> SystemOf(int epsg) {
    using D = RasterSystem::Datum;
    if (epsg == 4230) return RasterSystem{D::ED50, 0};
    if (epsg == 4258) return RasterSystem{D::ETRS89, 0};
    if (epsg == 4326) return RasterSystem{D::WGS84, 0};
    if (epsg >= 23029 && epsg <= 23031) return RasterSystem{D::ED50, epsg - 23000};
    if (epsg >= 25829 && epsg <= 25831) return RasterSystem{D::ETRS89, epsg - 25800};
    if (epsg >= 32629 && epsg <= 32631) return RasterSystem{D::WGS84, epsg - 32600};
    return std::nullopt;
}

int EpsgOf(const RasterSystem& s) {
    using D = RasterSystem::Datum;
    const int base = s.datum == D::ED50 ? 23000 : s.datum == D::ETRS89 ? 25800 : 32600;
    const int geographic = s.datum == D::ED50 ? 4230 : s.datum == D::ETRS89 ? 4258 : 4326;
    return s.zone == 0 ? geographic : base + s.zone;
}

std::string TextOf(const RasterSystem& s) {
    using D = RasterSystem::Datum;
    const char* datum = s.datum == D::ED50 ? "ED50" : s.datum == D::ETRS89 ? "ETRS89" : "WGS84";
    return std::string(datum) + (s.zone == 0 ? " geográficas" : " UTM " + std::to_string(s.zone)) + " (EPSG:" +
           std::to_string(EpsgOf(s)) + ")";
}

core::ParameterSet MethodSet(tables::Method m) {
    switch (m) {
        case tables::Method::Grid: return core::ParameterSet::SPED2ETV2;
        case tables::Method::MolodenskyIGN: return core::ParameterSet::IGN;
        case tables::Method::MolodenskyNIMA: return core::ParameterSet::NIMA;
        case tables::Method::Helmert: break;
    }
    return core::ParameterSet::EST99;
}

// A distance as the summaries write it: "0,033".
std::string Number(double value, int decimals) {
    std::string text;
    tables::AppendRounded(text, value, decimals, ',');
    return text;
}

std::string ResamplingName(const std::string& r) {
    return r == "near"       ? "vecino más próximo"
           : r == "bilinear" ? "bilineal"
           : r == "cubic"    ? "cúbica"
           : r == "average"  ? "media"
           : r == "mode"     ? "moda"
                             : r;
}

// What a GeoPackage holds, from its table of contents: "tiles" for raster tiles and no
// features nor attributes, "mixed" for tiles besides them, "" for none (or no GeoPackage).
// Opened read-only and immutable: nothing written beside it, no lock taken.
std::string GeoPackageContents(const std::string& path) {
    sqlite3* db = nullptr;
    std::string uri = "file:";
    for (const char c : path) {
        if (c == '?' || c == '#' || c == '%') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            uri += escaped;
        } else {
            uri += c;
        }
    }
    uri += "?immutable=1";
    bool tiles = false, others = false;
    if (sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT data_type FROM gpkg_contents", -1, &st, nullptr) == SQLITE_OK)
            while (sqlite3_step(st) == SQLITE_ROW) {
                const unsigned char* type = sqlite3_column_text(st, 0);
                const std::string t = type != nullptr ? reinterpret_cast<const char*>(type) : "";
                (t == "tiles" || t == "2d-gridded-coverage" ? tiles : others) = true;
            }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return !tiles ? "" : others ? "mixed" : "tiles";
}

}  // namespace

std::string ImageFormatOfContent(const std::string& path) {
    const tables::WhatFile what = tables::WhatIs(path);
    if (what.format == "gpkg") return GeoPackageContents(path) == "tiles" ? "GPKG" : "";
    if (what.kind != tables::FileKind::Image) return "";
    // An Imagine file by its header; ECW and MrSID have no driver here.
    if (what.format == "img") {
        char head[15] = {};
        std::FILE* f = std::fopen(path.c_str(), "rb");
        const bool imagine = f != nullptr && std::fread(head, 1, sizeof head, f) == sizeof head &&
                             std::string_view(head, sizeof head) == "EHFA_HEADER_TAG";
        if (f != nullptr) std::fclose(f);
        return imagine ? "HFA" : "";
    }
    static constexpr std::pair<std::string_view, std::string_view> kDrivers[] = {
        {"tif", "GTiff"}, {"jpg", "JPEG"}, {"png", "PNG"},   {"asc", "AAIGrid"}, {"vrt", "VRT"},
        {"jp2", "JP2OpenJPEG"}, {"envi", "ENVI"}, {"ehdr", "EHdr"}, {"xyz", "XYZ"}};
    for (const auto& [format, driver] : kDrivers)
        if (what.format == format) return std::string(driver);
    return "";
}

bool IsRasterFile(std::string_view path) {
    const std::string file(path);
    const tables::WhatFile what = tables::WhatIs(file);
    if (what.format == "gpkg") return GeoPackageContents(file) == "tiles";
    if (what.kind != tables::FileKind::Unknown) return what.kind == tables::FileKind::Image;
    const std::string lower = tables::AsciiLower(path);
    static constexpr std::string_view kExtensions[] = {".tif", ".tiff", ".jpg", ".jpeg", ".png", ".asc", ".vrt", ".jp2", ".j2k",
                                                       ".img", ".bil", ".bip", ".bsq", ".xyz", ".ecw", ".sid"};
    return std::any_of(std::begin(kExtensions), std::end(kExtensions), [&](std::string_view e) { return lower.ends_with(e); });
}

bool HasTilesBesideLayers(const std::string& path) {
    return tables::AsciiLower(path).ends_with(".gpkg") && GeoPackageContents(path) == "mixed";
}

std::string ImageOutputName(const std::string& name, const std::string& input) {
    const std::string lower = tables::AsciiLower(name);
    if (lower.ends_with(".gpkg") && IsRasterFile(input)) return name.substr(0, name.size() - 5) + ".tif";
    return name;
}

std::string ResamplingOf(std::string_view word) {
    static constexpr std::pair<std::string_view, std::string_view> kWords[] = {
        {"vecino", "near"}, {"bilineal", "bilinear"}, {"cubica", "cubic"}, {"cúbica", "cubic"},
        {"lanczos", "lanczos"}, {"media", "average"}, {"moda", "mode"}};
    for (const auto& [w, gdal] : kWords)
        if (w == word) return std::string(gdal);
    return "";
}

namespace {

bool IsTiff(const std::string& path) {
    const std::string lower = tables::AsciiLower(path);
    return lower.ends_with(".tif") || lower.ends_with(".tiff");
}

// The GDAL driver an image is written with: its destination's extension's whatever the
// input's format, else the input's (a VRT's pixels go into a GeoTIFF; a .img is Imagine's
// but for an ENVI image's).
std::string DriverOf(const std::string& output, const std::string& input, bool cog) {
    const std::string lower = tables::AsciiLower(output);
    const auto ends = [&](std::initializer_list<std::string_view> endings) {
        return std::any_of(endings.begin(), endings.end(), [&](std::string_view e) { return lower.ends_with(e); });
    };
    if (cog) return "COG";
    if (IsTiff(output)) return "GTiff";
    if (ends({".asc"})) return "AAIGrid";
    if (ends({".jpg", ".jpeg"})) return "JPEG";
    if (ends({".png"})) return "PNG";
    if (ends({".jp2", ".j2k"})) return "JP2OpenJPEG";
    if (ends({".xyz"})) return "XYZ";
    if (ends({".gpkg"})) return "GPKG";
    if (ends({".img"}) && input != "ENVI") return "HFA";
    if (ends({".bil", ".bip", ".bsq"})) return "EHdr";
    return input == "VRT" ? "GTiff" : input;
}

// The formats whose georeference is written with their pixels, which a new one writes
// again: a JPEG 2000's boxes, an XYZ grid's every line.
bool WrittenAgain(const std::string& format) { return format == "JP2OpenJPEG" || format == "XYZ" || format == "GPKG"; }

// Why `format` cannot hold the image `info` describes ("" when it can): a PNG keeps bytes
// and 16-bit integers in 1 to 4 bands, a JPEG bytes in 1 or 3 bands, no palette and no
// value for no data it could keep exactly, an ASCII grid one band of real numbers.
std::string CannotHold(const std::string& format, const TalporGdalRasterInfo& info) {
    const std::string type = info.type;
    const bool complex = type.starts_with("C");
    const bool png = (type == "Byte" || type == "UInt16") && info.bands <= 4;
    const bool ascii = info.bands == 1 && !complex;
    // The formats that can, besides GeoTIFF.
    const auto others = [&](bool withPng) {
        const bool p = withPng && png && format != "PNG", a = ascii && format != "AAIGrid";
        return std::string(": GeoTIFF") + (p && a ? ", PNG o malla ASCII" : p ? " o PNG" : a ? " o malla ASCII" : "") + " sí";
    };
    const std::string values = (info.bands == 1 && type != "Byte" ? "alturas " : "valores ") + type;
    const std::string bands = std::to_string(info.bands) + " bandas";
    if (format == "PNG") {
        if (type != "Byte" && type != "UInt16") return "un PNG no guarda " + values + others(false);
        if (info.bands > 4) return "un PNG no guarda " + bands + others(false);
    }
    if (format == "JPEG") {
        if (type != "Byte") return "un JPEG no guarda " + values + others(true);
        if (info.bands != 1 && info.bands != 3) return "un JPEG no guarda " + bands + others(true);
        if (info.palette != 0) return "un JPEG no guarda la paleta de colores de un mapa" + others(true);
        if (info.hasNodata != 0) {
            const int decimals = info.nodata == std::round(info.nodata) ? 0 : 3;
            const std::string value = std::isnan(info.nodata) ? "nan"
                                      : std::isinf(info.nodata) ? (info.nodata > 0 ? "inf" : "-inf")
                                                                : Number(info.nodata, decimals);
            return "un JPEG no guarda exactamente el valor de «sin datos» (" + value + ") de la imagen" + others(true);
        }
    }
    if (format == "AAIGrid" || format == "XYZ") {
        const std::string grid = format == "XYZ" ? "una malla XYZ" : "una malla ASCII";
        if (info.bands != 1) return grid + " tiene una sola banda, y la imagen tiene " + bands + others(true);
        if (complex) return grid + " no guarda valores " + type + others(false);
    }
    if (format == "JP2OpenJPEG" && (type.starts_with("Float") || complex || type == "Int8" || type.ends_with("64")))
        return "un JPEG 2000 no guarda " + values + others(false);
    // A GeoPackage's tiles lie on the grid of its tile matrix, which another georeference
    // moves: written again they would be other tiles, JPEG ones with loss.
    if (format == "GPKG") return "las teselas de un GeoPackage no se escriben de nuevo con otra georreferencia: dé un destino .tif (GeoTIFF)";
    return "";
}

// The JPEG quality `format` writes the image's pixels again at, 0 for none: a JPEG's, and a
// GeoTIFF's of an image JPEG-compressed, at the input's quality where GDAL tells it, else
// at GDAL's default (gdal/GdalModule.cpp, JpegQualityOf).
int QualityOf(const std::string& format, const TalporGdalRasterInfo& info) {
    // A JPEG 2000's, from a JPEG 2000 compressed with loss (0: written without loss).
    if (format == "JP2OpenJPEG") return std::string(info.driver) == "JP2OpenJPEG" ? std::max(info.jpegQuality, 0) : 0;
    if (std::string(info.driver) == "JP2OpenJPEG") return format == "JPEG" ? 75 : 0;
    const int kept = info.jpegQuality > 0 ? info.jpegQuality : 75;
    if (format == "JPEG") return kept;
    return (format == "GTiff" || format == "COG") && info.jpegQuality != 0 && std::string(info.type) == "Byte" ? kept : 0;
}

const char* SetName(core::ParameterSet set) {
    return set == core::ParameterSet::ZNW99 ? "ZNW99" : set == core::ParameterSet::BAL99 ? "BAL99" : "EST99";
}

struct Progress {
    const std::function<void(const layers::Record&)>& send;
    std::int64_t rows;
    std::chrono::steady_clock::time_point said{};
};

// The module's progress as rows of pixels, often enough for a window to follow it.
int SendProgress(double fraction, void* context) {
    Progress& p = *static_cast<Progress*>(context);
    if (std::chrono::steady_clock::now() - p.said < std::chrono::milliseconds(50)) return 1;
    p.said = std::chrono::steady_clock::now();
    p.send({"leidas", std::to_string(static_cast<std::int64_t>(fraction * static_cast<double>(p.rows))), std::to_string(p.rows)});
    return 1;
}

}  // namespace

void RasterJob(const std::vector<std::string>& args, const tables::Settings& settings,
               const std::function<void(const layers::Record&)>& send) {
    std::string output;
    bool writing = false;  // with --salida; with --destino only planned for that destination
    RasterOptions o;
    for (const std::string& a : args) {
        if (a.starts_with("--salida=")) output = a.substr(9), writing = true;
        if (a.starts_with("--destino=")) output = a.substr(10);
        if (a.starts_with("--tolerancia=")) o.tolerance = std::strtod(a.c_str() + 13, nullptr);
        if (a == "--remuestrear") o.resample = true;
        if (a.starts_with("--remuestreo=")) o.resampling = a.substr(13);
        if (a == "--cog") o.cog = true;
    }
    const TalporGdalFunctions& gdal = layers::GdalModule();
    TalporGdalRasterInfo info{};
    char error[1024] = "";
    if (gdal.raster(args.at(1).c_str(), &info, error, sizeof error) == 0)
        throw RunError("no se puede leer como imagen: " + std::string(*error != 0 ? error : "GDAL no la reconoce"));
    if (info.hasGeoTransform == 0)
        throw RunError("la imagen no tiene georreferencia: ni en el fichero ni en un fichero de mundo (.tfw, .jgw, .pgw, .wld)");
    // A georeference whose pixels cover no area (a world file of zeros) puts every pixel on
    // one point or one line, and one that is no number nowhere: refused before it is
    // planned or written.
    const double* g = info.geoTransform;
    const double determinant = g[1] * g[5] - g[2] * g[4];
    if (!std::all_of(g, g + 6, [](double v) { return std::isfinite(v); }) || !std::isnormal(determinant))
        throw RunError("la georreferencia de la imagen da a sus píxeles un tamaño de cero, o no es un número: corrija su "
                       "fichero de mundo o su georreferencia");
    const std::string driver = info.driver;
    // Its system: the one it says, or for an image without one the direction and zone given.
    std::optional<RasterSystem> from = SystemOf(info.epsg > 0 ? info.epsg : info.likeEpsg);
    const tables::Conversion& c = settings.conversion;
    if (!from && info.system[0] == 0 && settings.target) {
        if (!settings.origin)
            throw RunError("la imagen no dice su sistema, y no se supone ninguno: indique el suyo con --origen (por "
                           "ejemplo --origen=ed50-utm30)");
        from = SystemOf(tables::EpsgOf(*settings.origin));
    } else if (!from && info.system[0] == 0) {
        if (!settings.layers.directionGiven)
            throw RunError("la imagen no dice su sistema: indique el sentido con -s (ed50-wgs84 o wgs84-ed50) y su huso "
                           "con --huso", tables::Missing::Zone);
        const bool ed50 = c.direction == core::Direction::ED50ToWGS84;
        from = RasterSystem{ed50 ? RasterSystem::Datum::ED50 : RasterSystem::Datum::ETRS89, c.zone};
    }
    if (!from) throw RunError("la imagen está en «" + std::string(info.system) + "», que Talpor no convierte: solo ED50, "
                              "ETRS89 y WGS84, en grados o en UTM 29 a 31");
    const bool ed50 = from->datum == RasterSystem::Datum::ED50;
    if (!settings.target && settings.layers.directionGiven && (c.direction == core::Direction::ED50ToWGS84) != ed50)
        throw RunError("la imagen está en " + TextOf(*from) + ": se convierte en el sentido " +
                       (ed50 ? "ed50-wgs84" : "wgs84-ed50"));
    RasterSystem to{ed50 ? (settings.layers.wgs84Label ? RasterSystem::Datum::WGS84 : RasterSystem::Datum::ETRS89)
                         : RasterSystem::Datum::ED50,
                    from->zone != 0 && c.zone != 0 ? c.zone : from->zone};
    if (settings.target) to = *SystemOf(tables::EpsgOf(*settings.target));
    const bool sameSide = (from->datum == RasterSystem::Datum::ED50) == (to.datum == RasterSystem::Datum::ED50);
    if (settings.conversion.grids == nullptr) throw RunError("faltan las rejillas");
    if (o.cog && !output.empty() && !IsTiff(output))
        throw RunError("un GeoTIFF optimizado para la nube (--formato=cog) se escribe en un destino .tif, no en «" +
                       std::filesystem::path(output).filename().string() + "»");
    std::string format = DriverOf(output, driver, o.cog);
    const Affine affine{{info.geoTransform[0], info.geoTransform[1], info.geoTransform[2], info.geoTransform[3],
                         info.geoTransform[4], info.geoTransform[5]}};
    // Helmert's one set for the whole image, that no image is cut in two by a set's edge.
    core::ParameterSet method = MethodSet(c.method);
    if (c.method == tables::Method::Helmert && !sameSide) {
        const std::optional<core::ParameterSet> set = HelmertSetOf(*from, affine, info.width, info.height);
        if (!set) throw RunError("el centro de la imagen queda fuera del área de los parámetros de Helmert (EST99, ZNW99 y BAL99)");
        method = *set;
    }
    const Move move = PlanMove(info.width, info.height, affine,
                               MethodMap(*from, to, method, *settings.conversion.grids, HelmertSets::Given), to.zone == 0,
                               o.resample ? 0 : o.tolerance, format == "AAIGrid" || format == "XYZ");
    // An image of a row or a column of pixels gives no plane to fit (a header cut to 1 × 1).
    if (!std::isfinite(move.worstMetres) || !std::isfinite(move.worstPixels) ||
        !std::all_of(move.affine.t.begin(), move.affine.t.end(), [](double v) { return std::isfinite(v); }))
        throw RunError("la imagen tiene " + tables::Grouped(static_cast<std::uint64_t>(info.width)) + " × " +
                       tables::Grouped(static_cast<std::uint64_t>(info.height)) +
                       " píxeles, muy pocos para llevar su georreferencia al otro sistema: está dañada o es demasiado pequeña");
    if (move.outside > 0)
        throw RunError("parte de la imagen queda fuera del área del método: " +
                       std::string(c.method == tables::Method::Grid ? "la rejilla del IGN cubre la península y Baleares"
                                                                   : "elija otro método"));
    // Nearest for a palette's indexes, bilinear for an elevation model, cubic for a photograph.
    const std::string resampling = !move.untouched && !o.resampling.empty() ? o.resampling
                                   : move.untouched                       ? std::string()
                                   : info.palette != 0                    ? "near"
                                   : std::string(info.type) != "Byte"     ? "bilinear"
                                                                          : "cubic";
    // A cloud-optimised GeoTIFF's tags cannot be rewritten in place without breaking its
    // layout: it is written again as one.
    if (move.untouched && format == "GTiff" && driver == "GTiff" && info.cog != 0) format = "COG";
    const bool sameBytes = move.untouched && format == driver && !WrittenAgain(format);
    if (!sameBytes)
        if (const std::string why = CannotHold(format, info); !why.empty()) throw RunError(why);
    const int quality = sameBytes ? 0 : QualityOf(format, info);
    std::string pipeline;
    if (!move.untouched) {
        try {
            pipeline = WarpPipeline(*from, to, method, *settings.conversion.grids);
        } catch (const std::runtime_error& e) {
            throw RunError("la imagen no se puede remuestrear: " + std::string(e.what()));
        }
    }
    send({"imagen", std::to_string(info.width), std::to_string(info.height), std::to_string(info.bands), info.type,
          TextOf(*from), TextOf(to), move.affine.NorthUp() ? "1" : "0", std::to_string(move.worstMetres),
          std::to_string(move.worstPixels), resampling, sameBytes || !move.untouched ? "" : format,
          std::to_string(std::hypot(affine.t[1], affine.t[4])), std::to_string(std::hypot(affine.t[2], affine.t[5])),
          from->zone == 0 ? "1" : "0", o.resample || o.tolerance == 0 ? "1" : "0", std::to_string(quality),
          c.method == tables::Method::Helmert && !sameSide ? SetName(method) : "", format == "JP2OpenJPEG" ? "1" : "0"});
    if (!writing) return;
    Progress rows{send, info.height};
    const TalporGdalProgress progress{SendProgress, &rows};
    if (!move.untouched) {
        const TalporGdalWarp warp{pipeline.c_str(), EpsgOf(*from), EpsgOf(to), resampling.c_str(), format.c_str(), progress};
        if (gdal.warpRaster(args.at(1).c_str(), output.c_str(), &warp, error, sizeof error) == 0)
            throw RunError(*error != 0 ? error : "no se ha remuestreado la imagen");
        return;
    }
    if (gdal.moveRaster(args.at(1).c_str(), output.c_str(), sameBytes ? info.worldFile : "", move.affine.t.data(), EpsgOf(to),
                        sameBytes ? "" : format.c_str(), &progress, error, sizeof error) == 0)
        throw RunError(*error != 0 ? error : "no se ha escrito la imagen");
}

namespace {

// Toward a target, how the image went: the method, or the projection alone on one datum.
std::string WayOf(const RasterSummary& s, const tables::Settings& settings) {
    if (!settings.target) return {};
    if (s.from.starts_with("ED50") == s.to.starts_with("ED50")) return "solo la proyección";
    return std::string(tables::MethodWord(settings.conversion.method));
}

// The worker's arguments for `input` and its answer, read into a summary.
std::vector<std::string> JobArguments(const std::string& input, const tables::Settings& settings, const RasterOptions& o) {
    std::vector<std::string> args = {"imagen", input, "--ajustes=" + layers::EncodeSettings(settings),
                                     "--tolerancia=" + std::to_string(o.tolerance)};
    if (o.resample) args.push_back("--remuestrear");
    if (!o.resampling.empty()) args.push_back("--remuestreo=" + o.resampling);
    if (o.cog) args.push_back("--cog");
    for (std::string& a : layers::GridArguments(settings)) args.push_back(std::move(a));
    return args;
}

void Read(const layers::Record& r, RasterSummary& summary) {
    if (r.size() < 16 || r[0] != "imagen") return;
    summary.width = std::stoll(r[1]), summary.height = std::stoll(r[2]), summary.bands = std::stoi(r[3]);
    summary.type = r[4], summary.from = r[5], summary.to = r[6], summary.northUp = r[7] == "1";
    summary.worstMetres = std::stod(r[8]), summary.worstPixels = std::stod(r[9]);
    summary.resampled = r[10], summary.recoded = r[11];
    summary.pixelX = std::stod(r[12]), summary.pixelY = std::stod(r[13]), summary.degrees = r[14] == "1";
    summary.asked = r[15] == "1";
    if (r.size() >= 18) summary.quality = std::stoi(r[16]), summary.set = r[17];
    if (r.size() >= 19) summary.jp2 = r[18] == "1";
}

// The identities of the image `input` and of the files GDAL reads beside it.
std::vector<tables::FileId> InputIds(const std::string& input) {
    namespace fs = std::filesystem;
    std::vector<tables::FileId> ids;
    if (const std::optional<tables::FileId> id = tables::IdOf(input)) ids.push_back(*id);
    const fs::path image(input);
    const std::string lower = tables::AsciiLower(image.filename().string());
    std::error_code e;
    for (fs::directory_iterator it(image.has_parent_path() ? image.parent_path() : fs::path("."), e), end; !e && it != end;
         it.increment(e)) {
        const bool beside = TalporImageSidecar(lower, tables::AsciiLower(it->path().filename().string()));
        if (const std::optional<tables::FileId> id = beside ? tables::IdOf(it->path().string()) : std::nullopt) ids.push_back(*id);
    }
    return ids;
}

// Refuses a file to be written at `path` (named `name`) that is one of the input's own
// beside it (`inputs` after the image itself): orto.jpg to orto.jpeg would write its
// world file and .prj over the input's, whatever --reemplazar says.
void RefuseInputsFile(const std::string& path, const std::string& name, const std::vector<tables::FileId>& inputs) {
    const std::optional<tables::FileId> id = tables::IdOf(path);
    if (!id || std::find(inputs.begin() + (inputs.empty() ? 0 : 1), inputs.end(), *id) == inputs.end()) return;
    const std::string lower = tables::AsciiLower(name), ending = lower.substr(lower.rfind('.') + 1);
    const auto world = std::find(std::begin(kTalporImageSidecars), std::end(kTalporImageSidecars), ending);
    throw RunError("«" + name + "» es " +
                   (world - std::begin(kTalporImageSidecars) < kTalporImageWorldFiles ? "el fichero de georreferencia"
                    : ending == "prj"                                               ? "el fichero del sistema"
                    : ending == "hdr"                                               ? "la cabecera"
                                                                                    : "uno de los ficheros") +
                   " de la entrada: elija otro nombre para el destino");
}

// Refuses a destination that is a link into /dev or /proc (/dev/stdout, /proc/self/fd/1):
// the standard output or a device, whatever they lead to now.
void RefuseLinkOut(const std::string& output) {
    std::string at = output;
    for (int i = 0; i < 40; ++i) {
        std::error_code e;
        const std::filesystem::path target = std::filesystem::read_symlink(at, e);
        if (e) return;
        at = target.is_absolute() ? target.string() : (std::filesystem::path(at).parent_path() / target).string();
        if (at.starts_with("/dev/") || at.starts_with("/proc/"))
            throw RunError("«" + output + "» lleva a «" + at + "», no a un fichero: una imagen se escribe en un fichero normal");
    }
}

// Refuses the compressed formats whose readers are not free, which Talpor's GDAL lacks.
void RefuseUnread(const std::string& input) {
    const std::string lower = tables::AsciiLower(input), what = tables::WhatIs(input).format;
    const char* format = what == "ecw" || lower.ends_with(".ecw")   ? "ECW"
                         : what == "sid" || lower.ends_with(".sid") ? "MrSID"
                                                                    : nullptr;
    if (format != nullptr)
        throw RunError("Talpor no lee imágenes " + std::string(format) +
                       ", cuyo lector no es libre: expórtela a GeoTIFF o JPEG 2000 con el programa que la abra");
}

std::int64_t BytesOf(const std::string& input) {
    std::error_code e;
    const std::uintmax_t bytes = std::filesystem::file_size(input, e);
    return e ? 0 : static_cast<std::int64_t>(bytes);
}

}  // namespace

RasterSummary PlanRaster(const std::string& input, const std::string& output, const tables::Settings& settings,
                         const RasterOptions& options, const layers::LayerProgress& progress) {
    RefuseUnread(input);
    std::vector<std::string> args = JobArguments(input, settings, options);
    if (!output.empty()) args.push_back("--destino=" + output);
    RasterSummary summary;
    layers::LayerWorker worker(args, -1);
    worker.Wait(layers::LayerLimits{}, BytesOf(input), [&](const layers::Record& r) { Read(r, summary); }, progress);
    summary.way = WayOf(summary, settings);
    return summary;
}

RasterSummary ConvertRaster(const std::string& input, const std::string& output, const tables::Settings& settings,
                            const RasterOptions& options, const layers::LayerProgress& progress,
                            const layers::ReplaceQuestion& replace) {
    RefuseUnread(input);
    if (output == "-") throw RunError("una imagen no se puede escribir en la salida estándar: dé un fichero de destino");
    if (tables::AsciiLower(output).ends_with(".vrt"))
        throw RunError("una imagen se escribe en GeoTIFF, JPEG, PNG, JPEG 2000, Imagine, ENVI o malla, no en VRT: dé un destino .tif");
    const std::vector<tables::FileId> inputs = InputIds(input);
    layers::CheckDestination(output, output, inputs, "una imagen");
    RefuseLinkOut(output);
    tables::OutputFolder out(output);
    std::vector<std::string> args = JobArguments(input, settings, options);
    args.push_back("--salida=" + out.Path());
    RasterSummary summary;
    {
        layers::LayerWorker worker(args, -1);
        worker.Wait(layers::LayerLimits{}, BytesOf(input), [&](const layers::Record& r) { Read(r, summary); }, progress);
    }
    summary.way = WayOf(summary, settings);
    std::vector<std::string> existing;
    for (const std::string& name : out.Written()) {
        RefuseInputsFile(out.Destination() + "/" + name, name, inputs);
        layers::CheckDestination(out.Destination() + "/" + name, name, inputs, "una imagen");
        if (out.OfDestination(name) && name == std::filesystem::path(output).filename().string()) continue;
        summary.written.push_back(name);
        struct stat st {};
        if (::lstat((out.Destination() + "/" + name).c_str(), &st) == 0) existing.push_back(name);
    }
    if (!existing.empty() && !settings.layers.replace && !(replace && replace(existing)))
        throw RunError(replace ? "no se ha reemplazado «" + existing[0] + "»"
                               : "ya existe «" + existing[0] + "»: elija otro destino, o añada --reemplazar");
    out.Commit();
    return summary;
}

std::string RasterSummaryText(const RasterSummary& s, std::string_view inputName) {
    return "talpor-lote: " + std::string(inputName) + ": " + RasterSummaryLine(s) + "\n";
}

namespace {

// A GDAL driver as the user knows its format.
std::string FormatName(const std::string& driver) {
    return driver == "GTiff"         ? "GeoTIFF"
           : driver == "COG"         ? "GeoTIFF optimizado para la nube"
           : driver == "AAIGrid"     ? "malla ASCII"
           : driver == "JP2OpenJPEG" ? "JPEG 2000"
           : driver == "HFA"         ? "Erdas Imagine"
           : driver == "XYZ"         ? "malla XYZ"
                                     : driver;
}

// The compression with loss its pixels are written in: "JPEG de calidad 85", "JPEG 2000
// de calidad 12" (JP2OpenJPEG's: its codestream's share of the pixels' bytes, in hundredths).
std::string Quality(const RasterSummary& s) {
    return std::string(s.jp2 ? "JPEG 2000" : "JPEG") + " de calidad " + std::to_string(s.quality);
}

std::string Moved(const RasterSummary& s) { return s.northUp ? "georreferencia movida" : "georreferencia movida y girada"; }

// Its pixels untouched: the same bytes, or the same values in another format; written again
// in JPEG they are not the input's.
std::string Untouched(const RasterSummary& s) {
    if (s.recoded.empty()) return "píxeles intactos";
    if (s.quality == 0) return "píxeles intactos, escritos de nuevo en " + FormatName(s.recoded);
    const std::string jpeg = Quality(s);
    return "píxeles sin remuestrear, escritos de nuevo con pérdida en " +
           (s.recoded == "JPEG" || s.jp2 ? jpeg : FormatName(s.recoded) + " (" + jpeg + ")") +
           (s.jp2 ? ", la de la entrada" : "");
}

// The way the image goes, as the summary and the preview say it.
std::string WayText(const RasterSummary& s, bool done) {
    if (s.resampled.empty())
        return Untouched(s) + ", " + Moved(s) + " (a lo sumo " + Number(s.worstMetres, 3) +
               " m, " + Number(s.worstPixels, 3) + " píxeles de donde los pone el método)";
    return std::string(done ? "remuestreada" : "se remuestreará") + " por el método (" + ResamplingName(s.resampled) +
           ") a la resolución de la entrada" +
           (s.quality == 0 ? "" : " y " + std::string(done ? "comprimida" : "se comprimirá") + " en " + Quality(s)) +
           (s.asked ? ", como se pidió"
                    : "; sin remuestrear, sus píxeles quedarían hasta a " + Number(s.worstMetres, 3) + " m (" +
                          Number(s.worstPixels, 3) + " píxeles) de su sitio");
}

// The systems, and the Helmert set the whole image takes.
std::string Systems(const RasterSummary& s) {
    if (!s.way.empty()) return s.from + " → " + s.to + " (" + s.way + (s.set.empty() ? "" : ", juego " + s.set) + ")";
    return s.from + " a " + s.to + (s.set.empty() ? "" : " con el juego " + s.set);
}

// An elevation model's values are heights above the sea, which the datums share to centimetres.
bool Heights(const RasterSummary& s) { return s.bands == 1 && s.type != "Byte" && !s.type.starts_with("C"); }
constexpr const char* kHeightsKept = "sus valores no cambian (las altitudes de ED50 y las de hoy difieren en centímetros)";

}  // namespace

std::string RasterSummaryLine(const RasterSummary& s) {
    std::string text = "imagen de " + tables::Grouped(static_cast<std::uint64_t>(s.width)) + " × " +
                       tables::Grouped(static_cast<std::uint64_t>(s.height)) + " píxeles, " +
                       tables::Count(static_cast<std::uint64_t>(s.bands), "banda", "bandas") + " " + s.type + "; " + Systems(s) +
                       ": " + WayText(s, true);
    if (Heights(s)) text += std::string("; ") + kHeightsKept;
    if (!s.written.empty()) {
        text += "; escritos también, junto al destino:";
        for (std::size_t i = 0; i < s.written.size(); ++i) text += (i == 0 ? " «" : ", «") + s.written[i] + "»";
    }
    return text;
}

std::string RasterPreview(const RasterSummary& s) {
    const bool square = std::abs(s.pixelX - s.pixelY) <= 1e-9 * s.pixelX;
    const auto side = [&](double v) {
        // Degrees with the decimals that tell a pixel from the next; metres to the millimetre.
        int decimals = s.degrees ? 6 : 3;
        while (s.degrees && decimals < 12 && v < std::pow(10.0, -decimals + 2)) ++decimals;
        std::string text = Number(v, decimals);
        while (text.ends_with('0')) text.pop_back();
        if (text.ends_with(',')) text.pop_back();
        return text + (s.degrees ? "º" : " m");
    };
    std::string text = "Imagen de " + tables::Grouped(static_cast<std::uint64_t>(s.width)) + " × " +
                       tables::Grouped(static_cast<std::uint64_t>(s.height)) + " píxeles de " +
                       (square ? side(s.pixelX) : side(s.pixelX) + " × " + side(s.pixelY)) + ", " +
                       tables::Count(static_cast<std::uint64_t>(s.bands), "banda", "bandas") + " " + s.type + "; " + s.from;
    // A line each, short enough for the dialog.
    const std::string distance = Number(s.worstMetres, 3) + " m (" + Number(s.worstPixels, 3) + " píxeles)";
    const std::string to = "\nA " + s.to + (s.set.empty() ? "" : ", con el juego " + s.set) + ": ";
    if (s.resampled.empty())
        text += to + Untouched(s) + ", " + Moved(s) + "\nCada píxel, a lo sumo a " + distance +
                " de donde lo pone el método";
    else
        text += to + "se remuestreará por el método (" + ResamplingName(s.resampled) +
                "), a la resolución de la entrada" +
                (s.quality == 0 ? "" : " y se comprimirá en " + Quality(s)) +
                (s.asked ? ", como se pide" : "\nSin remuestrear, sus píxeles quedarían hasta a " + distance + " de su sitio");
    if (Heights(s)) text += "\nSus valores no cambian (las altitudes de ED50 y las de hoy difieren en centímetros)";
    return text;
}

}  // namespace rasters
