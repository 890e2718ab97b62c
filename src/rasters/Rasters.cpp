#include "rasters/Rasters.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "gdal/GdalModule.h"
#include "layers/LayerEngine.h"
#include "layers/Layers.h"
#include "rasters/Georeference.h"
#include "tables/Decimal.h"
#include "tables/Encoding.h"
#include "tables/OutputFile.h"

namespace rasters {

namespace {

using batch::RunError;

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

core::ParameterSet MethodSet(batch::Method m) {
    switch (m) {
        case batch::Method::Grid: return core::ParameterSet::SPED2ETV2;
        case batch::Method::MolodenskyIGN: return core::ParameterSet::IGN;
        case batch::Method::MolodenskyNIMA: return core::ParameterSet::NIMA;
        case batch::Method::Helmert: break;
    }
    return core::ParameterSet::EST99;
}

// A distance as the summaries write it: "0,033".
std::string Number(double value, int decimals) {
    std::string text;
    batch::AppendRounded(text, value, decimals, ',');
    return text;
}

std::string ResamplingName(const std::string& r) {
    return r == "near" ? "vecino más próximo" : r == "bilinear" ? "bilineal" : "cúbica";
}

}  // namespace

bool IsRasterFile(std::string_view path) {
    const std::string lower = batch::AsciiLower(path);
    static constexpr std::string_view kExtensions[] = {".tif", ".tiff", ".jpg", ".jpeg", ".png", ".asc"};
    return std::any_of(std::begin(kExtensions), std::end(kExtensions), [&](std::string_view e) { return lower.ends_with(e); });
}

void RasterJob(const std::vector<std::string>& args, const batch::Settings& settings,
               const std::function<void(const batch::Record&)>& send) {
    std::string output;
    double tolerance = kDefaultTolerance;
    for (const std::string& a : args) {
        if (a.starts_with("--salida=")) output = a.substr(9);
        if (a.starts_with("--tolerancia=")) tolerance = std::strtod(a.c_str() + 13, nullptr);
    }
    const TalporGdalFunctions& gdal = batch::GdalModule();
    TalporGdalRasterInfo info{};
    char error[1024] = "";
    if (gdal.raster(args.at(1).c_str(), &info, error, sizeof error) == 0)
        throw RunError("no se puede leer como imagen: " + std::string(*error != 0 ? error : "GDAL no la reconoce"));
    if (info.hasGeoTransform == 0)
        throw RunError("la imagen no tiene georreferencia: ni en el fichero ni en un fichero de mundo (.tfw, .jgw, .pgw, .wld)");
    const std::string driver = info.driver;
    const bool asciiGrid = driver == "AAIGrid";
    if (driver != "GTiff" && !asciiGrid && info.worldFile[0] == 0)
        throw RunError("la imagen " + driver + " no tiene fichero de mundo (.jgw, .pgw, .wld): solo GeoTIFF guarda su "
                       "georreferencia dentro");
    // Its system: the one it says, or for an image without one the direction and zone given.
    std::optional<RasterSystem> from = SystemOf(info.epsg > 0 ? info.epsg : info.likeEpsg);
    const batch::Conversion& c = settings.conversion;
    if (!from && info.system[0] == 0) {
        if (!settings.layers.directionGiven)
            throw RunError("la imagen no dice su sistema: indique el sentido con -s (ed50-wgs84 o wgs84-ed50) y su huso "
                           "con --huso", batch::Missing::Zone);
        const bool ed50 = c.direction == core::Direction::ED50ToWGS84;
        from = RasterSystem{ed50 ? RasterSystem::Datum::ED50 : RasterSystem::Datum::ETRS89, c.zone};
    }
    if (!from) throw RunError("la imagen está en «" + std::string(info.system) + "», que Talpor no convierte: solo ED50, "
                              "ETRS89 y WGS84, en grados o en UTM 29 a 31");
    const bool ed50 = from->datum == RasterSystem::Datum::ED50;
    if (settings.layers.directionGiven && (c.direction == core::Direction::ED50ToWGS84) != ed50)
        throw RunError("la imagen está en " + TextOf(*from) + ": se convierte en el sentido " +
                       (ed50 ? "ed50-wgs84" : "wgs84-ed50"));
    RasterSystem to{ed50 ? (settings.layers.wgs84Label ? RasterSystem::Datum::WGS84 : RasterSystem::Datum::ETRS89)
                         : RasterSystem::Datum::ED50,
                    from->zone != 0 && c.zone != 0 ? c.zone : from->zone};
    if (settings.conversion.grids == nullptr) throw RunError("faltan las rejillas");
    const Affine affine{{info.geoTransform[0], info.geoTransform[1], info.geoTransform[2], info.geoTransform[3],
                         info.geoTransform[4], info.geoTransform[5]}};
    const Move move = PlanMove(info.width, info.height, affine,
                               MethodMap(*from, to, MethodSet(c.method), *settings.conversion.grids), to.zone == 0, tolerance,
                               asciiGrid);
    if (move.outside > 0)
        throw RunError("parte de la imagen queda fuera del área del método: " +
                       std::string(c.method == batch::Method::Grid ? "la rejilla del IGN cubre la península y Baleares"
                                                                   : "elija otro método"));
    const auto send_ = [&](const std::string& way) {
        send({"imagen", std::to_string(info.width), std::to_string(info.height), std::to_string(info.bands), info.type,
              TextOf(*from), TextOf(to), move.affine.NorthUp() ? "1" : "0", std::to_string(move.worstMetres),
              std::to_string(move.worstPixels), way});
    };
    if (!move.untouched) {
        const std::string beyond = tolerance == 0 ? std::string("se pidió con --tolerancia=0")
                                                  : "sus píxeles quedarían hasta a " + Number(move.worstMetres, 2) + " m (" +
                                                        Number(move.worstPixels, 2) +
                                                        " píxeles) de donde los pone el método, más de la tolerancia de " +
                                                        Number(tolerance, 2) + " píxeles";
        const std::string lower = batch::AsciiLower(output);
        if (c.method != batch::Method::Grid || from->zone == 0 || to.zone == 0 || asciiGrid ||
            !(lower.ends_with(".tif") || lower.ends_with(".tiff")))
            throw RunError("la imagen no se puede mover sin remuestrear: " + beyond +
                           "; se remuestrea con la rejilla del IGN, en UTM y a un GeoTIFF (.tif)");
        // The grid through PROJ, as the layers' vertices go: the same shift, every pixel.
        const std::string grid = settings.conversion.grids->DataFolder() + "/es_ign_SPED2ETV2.tif";
        const std::string pipeline =
            ed50 ? "+proj=pipeline +step +inv +proj=utm +zone=" + std::to_string(from->zone) +
                       " +ellps=intl +step +proj=hgridshift +grids=" + grid + " +step +proj=utm +zone=" +
                       std::to_string(to.zone) + " +ellps=GRS80"
                 : "+proj=pipeline +step +inv +proj=utm +zone=" + std::to_string(from->zone) +
                       " +ellps=GRS80 +step +inv +proj=hgridshift +grids=" + grid + " +step +proj=utm +zone=" +
                       std::to_string(to.zone) + " +ellps=intl";
        // Nearest for a palette's indexes, bilinear for an elevation model, cubic for a photograph.
        const std::string resampling = info.palette != 0 ? "near" : std::string(info.type) != "Byte" ? "bilinear" : "cubic";
        if (gdal.warpRaster(args.at(1).c_str(), output.c_str(), pipeline.c_str(), EpsgOf(to), resampling.c_str(), error,
                            sizeof error) == 0)
            throw RunError("no se puede remuestrear la imagen: " + std::string(error));
        send_(resampling);
        return;
    }
    if (gdal.moveRaster(args.at(1).c_str(), output.c_str(), info.worldFile, move.affine.t.data(), EpsgOf(to), error,
                        sizeof error) == 0)
        throw RunError("no se puede escribir la imagen: " + std::string(error));
    send_("");
}

RasterSummary ConvertRaster(const std::string& input, const std::string& output, const batch::Settings& settings,
                            double tolerance) {
    if (output == "-") throw RunError("una imagen no se puede escribir en la salida estándar: dé un fichero de destino");
    const std::optional<batch::FileId> in = batch::IdOf(input);
    if (in && batch::IdOf(output) == in) throw RunError("«" + output + "» es el propio fichero de entrada; escriba la salida en otro fichero");
    batch::OutputFolder out(output);
    std::vector<std::string> args = {"imagen", input, "--ajustes=" + batch::EncodeSettings(settings), "--salida=" + out.Path(),
                                     "--tolerancia=" + std::to_string(tolerance)};
    for (std::string& a : batch::GridArguments(settings)) args.push_back(std::move(a));
    RasterSummary summary;
    std::error_code e;
    const std::uintmax_t bytes = std::filesystem::file_size(input, e);
    batch::LayerWorker worker(args, -1);
    worker.Wait(batch::LayerLimits{}, e ? 0 : static_cast<std::int64_t>(bytes),
                [&](const batch::Record& r) {
                    if (r.size() < 11 || r[0] != "imagen") return;
                    summary.width = std::stoll(r[1]), summary.height = std::stoll(r[2]), summary.bands = std::stoi(r[3]);
                    summary.type = r[4], summary.from = r[5], summary.to = r[6], summary.northUp = r[7] == "1";
                    summary.worstMetres = std::stod(r[8]), summary.worstPixels = std::stod(r[9]);
                    summary.resampled = r[10];
                },
                {});
    std::vector<std::string> existing;
    for (const std::string& name : out.Written()) {
        if (out.OfDestination(name) && name == std::filesystem::path(output).filename().string()) continue;
        summary.written.push_back(name);
        struct stat st {};
        if (::lstat((out.Destination() + "/" + name).c_str(), &st) == 0) existing.push_back(name);
    }
    if (!existing.empty() && !settings.layers.replace)
        throw RunError("ya existe «" + existing[0] + "»: elija otro destino, o añada --reemplazar");
    out.Commit();
    return summary;
}

std::string RasterSummaryText(const RasterSummary& s, std::string_view inputName) {
    return "talpor-lote: " + std::string(inputName) + ": " + RasterSummaryLine(s) + "\n";
}

std::string RasterSummaryLine(const RasterSummary& s) {
    std::string text = "imagen de " + batch::Grouped(static_cast<std::uint64_t>(s.width)) +
                       " × " + batch::Grouped(static_cast<std::uint64_t>(s.height)) + " píxeles, " +
                       batch::Count(static_cast<std::uint64_t>(s.bands), "banda", "bandas") + " " + s.type + "; " + s.from +
                       " a " + s.to + ": " +
                       (s.resampled.empty()
                            ? "píxeles intactos, georreferencia movida" + std::string(s.northUp ? "" : " y girada") +
                                  " (a lo sumo " + Number(s.worstMetres, 3) + " m, " + Number(s.worstPixels, 3) +
                                  " píxeles de donde los pone el método)"
                            : "remuestreada por la rejilla (" + ResamplingName(s.resampled) +
                                  ") a la resolución de la entrada; sin remuestrear, sus píxeles quedarían hasta a " +
                                  Number(s.worstMetres, 3) + " m (" + Number(s.worstPixels, 3) + " píxeles) de su sitio");
    // An elevation model's values are heights above the sea, which the datums share to centimetres.
    if (s.bands == 1 && s.type != "Byte") text += "; sus valores no cambian (las altitudes de ED50 y las de hoy difieren en centímetros)";
    if (!s.written.empty()) {
        text += "; escritos también, junto al destino:";
        for (std::size_t i = 0; i < s.written.size(); ++i) text += (i == 0 ? " «" : ", «") + s.written[i] + "»";
    }
    return text;
}

}  // namespace rasters
