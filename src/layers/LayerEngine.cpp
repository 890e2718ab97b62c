#include "layers/LayerEngine.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <limits>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <memory>
#include <optional>
#include <thread>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "tables/Decimal.h"
#include "geo/GridFast.h"
#include "geo/UtmFast.h"
#include "tables/Encoding.h"
#include "gdal/GdalModule.h"
#include "tables/SystemError.h"
#include "geo/Utm.h"

namespace batch {
namespace {

namespace fs = std::filesystem;

// The module, loaded once; its functions, or why there are none.
struct Module {
    const TalporGdalFunctions* functions = nullptr;
    std::string problem;
};

// The module lies beside talpor-capas, in the build tree and once installed.
Module Load() {
    Module m;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    const std::string path = (self.parent_path() / "talpor-gdal.so").lexically_normal().string();
    if (error || !fs::is_regular_file(path, error)) {
        m.problem = "no se encuentra " + path + ", el módulo del programa que lee las capas";
        return m;
    }
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto entry = handle != nullptr ? reinterpret_cast<TalporGdalEntry>(dlsym(handle, kTalporGdalEntry)) : nullptr;
    const TalporGdalFunctions* functions = entry != nullptr ? entry() : nullptr;
    if (functions == nullptr || functions->version != kTalporGdalVersion) {
        const char* why = dlerror();
        m.problem = "no se puede cargar GDAL, la biblioteca que lee las capas" +
                    (why != nullptr ? std::string(" (") + why + ")" : std::string());
        if (handle != nullptr) dlclose(handle);
        return m;
    }
    m.functions = functions;
    return m;
}

const TalporGdalFunctions& Gdal() {
    static const Module module = Load();
    if (module.functions == nullptr)
        throw RunError(module.problem + "; los ficheros CSV y de texto se convierten sin ella");
    return *module.functions;
}

// The one driver a layer is read with: its format's, by what the file is, whatever GDAL
// would pick for it (KML through libkml, which reads altitudeMode, ExtendedData and
// folders); none for a file of no layer format, which then opens with none.
const char* const* DriversFor(const std::string& path) {
    using List = std::array<const char*, 2>;
    static const auto kLists = [] {
        std::array<List, std::size(kLayerFormats)> lists{};
        for (std::size_t i = 0; i < lists.size(); ++i) lists[i] = {kLayerFormats[i].driver.data(), nullptr};
        return lists;
    }();
    static const List kNone = {nullptr, nullptr};
    const LayerFormat* f = LayerFormatOfInput(path);
    return f != nullptr ? kLists[static_cast<std::size_t>(f - kLayerFormats)].data() : kNone.data();
}

// An input open through the module.
class Input {
  public:
    explicit Input(const std::string& path) : gdal_(Gdal()) {
        char error[512] = "";
        data_ = gdal_.open(path.c_str(), DriversFor(path), error, sizeof error);
        if (data_ == nullptr) throw RunError(std::string("no se puede leer como capa: ") + error);
    }
    ~Input() { gdal_.close(data_); }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    int Layers() const { return gdal_.layers(data_); }
    TalporGdalLayerInfo Layer(int i) const {
        TalporGdalLayerInfo info{};
        gdal_.layer(data_, i, &info);
        return info;
    }
    std::string Field(int layer, int field) const { return gdal_.field(data_, layer, field); }
    std::int64_t Bytes() const { return gdal_.bytes(data_); }
    // Runs `job`; a feature callback's exception comes out here.
    void Run(TalporGdalJob& job, std::exception_ptr& thrown) const {
        char error[512] = "";
        const int done = gdal_.run(data_, &job, error, sizeof error);
        if (thrown) std::rethrow_exception(thrown);
        // The module's sentences, GDAL's words in brackets.
        if (done == 0) throw RunError(error);
    }

  private:
    const TalporGdalFunctions& gdal_;
    TalporGdalData* data_ = nullptr;
};

// A layer's coordinate system as Talpor knows it.
struct System {
    enum class Datum { None, ED50, ETRS89, WGS84, Other } datum = Datum::None;
    int zone = 0;  // UTM zone; 0 for degrees
    bool ellipsoidal = false;  // a 3D system: its Z is the height above its ellipsoid
};

System SystemOfEpsg(int epsg) {
    if (epsg == 4230) return {System::Datum::ED50, 0};
    if (epsg == 4258) return {System::Datum::ETRS89, 0};
    if (epsg == 4326) return {System::Datum::WGS84, 0};
    // The 3D systems of the same datums: GeoJSON's (RFC 7946) is WGS84's, 4979.
    if (epsg == 4979) return {System::Datum::WGS84, 0, true};
    if (epsg == 4937) return {System::Datum::ETRS89, 0, true};
    if (epsg >= 23029 && epsg <= 23031) return {System::Datum::ED50, epsg - 23000};
    if (epsg >= 25829 && epsg <= 25831) return {System::Datum::ETRS89, epsg - 25800};
    if (epsg >= 32629 && epsg <= 32631) return {System::Datum::WGS84, epsg - 32600};
    return {epsg == 0 ? System::Datum::None : System::Datum::Other, 0};
}

int EpsgOf(System::Datum datum, int zone) {
    switch (datum) {
        case System::Datum::ED50: return zone == 0 ? 4230 : 23000 + zone;
        case System::Datum::ETRS89: return zone == 0 ? 4258 : 25800 + zone;
        case System::Datum::WGS84: return zone == 0 ? 4326 : 32600 + zone;
        default: return 0;
    }
}

std::string SystemText(System::Datum datum, int zone, int epsg) {
    const char* name = datum == System::Datum::ED50     ? "ED50"
                       : datum == System::Datum::ETRS89 ? "ETRS89"
                                                        : "WGS84";
    std::string text = std::string(name) + (zone == 0 ? " geográficas" : " UTM " + std::to_string(zone));
    if (epsg != 0) text += " (EPSG:" + std::to_string(epsg) + ")";
    return text;
}

// The engine's system as the command line names it, and back.
CrsName CrsOf(const System& s) {
    return {s.datum == System::Datum::ED50     ? CrsName::Datum::ED50
            : s.datum == System::Datum::WGS84 ? CrsName::Datum::WGS84
                                              : CrsName::Datum::ETRS89,
            s.zone};
}

System SystemOf(const CrsName& c) {
    return {c.datum == CrsName::Datum::ED50    ? System::Datum::ED50
            : c.datum == CrsName::Datum::WGS84 ? System::Datum::WGS84
                                               : System::Datum::ETRS89,
            c.zone};
}

// The system a layer in `from` is written in by `outFormat` (null: a table): on the datum
// its direction gives; in one zone, the input's or the one given to a layer with a
// system of its own, and -1 for a table of a layer in degrees: the zone of most of its
// vertices, once counted; in degrees by a format of WGS84 degrees.
System TargetSystem(const System& from, bool hasSystem, core::Direction direction, const Settings& settings,
                    const LayerFormat* outFormat) {
    System to;
    const bool degreesOut = outFormat != nullptr && outFormat->wgs84;
    if (settings.target) {
        // The target, but in a format of WGS84 degrees by its standard.
        to = degreesOut ? System{System::Datum::WGS84, 0} : SystemOf(*settings.target);
        return to;
    }
    to.datum = direction == core::Direction::WGS84ToED50                  ? System::Datum::ED50
               : settings.layers.wgs84Label || degreesOut                 ? System::Datum::WGS84
                                                                          : System::Datum::ETRS89;
    if (degreesOut) return to;
    if (hasSystem && settings.conversion.zone != 0) to.zone = settings.conversion.zone;
    else if (from.zone != 0) to.zone = from.zone;
    else if (outFormat == nullptr) to.zone = -1;
    return to;
}

// What is done to one layer.
struct Plan {
    System from, to;
    int toEpsg = 0;
    core::Direction direction = core::Direction::WGS84ToED50;
    bool clampedByDefault = false;  // KML: a geometry without altitudeMode lies on the ground
    int altitudeModeField = -1;     // libkml's altitudeMode attribute
    // Its Z is the height above the WGS84 ellipsoid by its system or its format (GeoJSON),
    // taken through the geoid as the altitude it is; the user's --z-elipsoidal aside.
    bool zFromEllipsoid = false;
    int fromEpsg = 0;
    bool skipped = false;  // a layer without geometry, left out
    std::string systemTaken;  // how a system known only by its parameters was taken
    // Toward a target on the layer's own side: no datum change, the points only projected;
    // and, already in the target's datum side and form, the vertices copied as they are.
    bool sameDatum = false;
    bool unchanged = false;
};

// The zone a layer in degrees is projected in: the one given, else the zone holding most
// of its vertices (counted by a first reading).
struct ZoneCount {
    std::array<std::int64_t, 61> vertices{};
    std::int64_t all = 0;
    std::uint64_t types = 0;  // bit t set for each OGR geometry type t held (flat, 1 to 17)
    bool threeD = false;      // a geometry held is 3D
};

// Table output: the columns of every layer's rows, one header for all.
// A table being written: its file, the attributes of its layers by name (in the order
// met), and its rows not yet written.
struct Table {
    int fd = -1;
    std::vector<std::string> fields;
    std::map<int, std::vector<int>> column;  // [layer][field] -> index in fields
    std::map<int, int> folderColumn;         // [layer] -> index in fields of a KML's "Carpeta"
    std::string buffer;
};

constexpr const char* kAltitudeModes[] = {"clampToGround", "clampToSeaFloor", "relativeToGround", "absolute"};

// What the input has grown into as it is read, against what its bytes allow
// (LayerLimits).
struct Growth {
    std::int64_t features = 0, vertices = 0;
    std::int64_t maxFeatures = 0, maxVertices = 0;
    std::int64_t bytes = 0;
    std::uint64_t total = 0;  // the features the layers say they have; 0: unknown

    Growth() = default;
    Growth(const LayerLimits& limits, std::int64_t inputBytes) : bytes(inputBytes) {
        maxFeatures = limits.features + limits.perByte * inputBytes;
        maxVertices = limits.vertices + limits.perByte * inputBytes;
    }
    // Counts a batch of features; throws RunError beyond the limits.
    void Add(const TalporGdalFeature* features, int count) {
        this->features += count;
        for (int i = 0; i < count; ++i) vertices += features[i].count;
        if (this->features > maxFeatures) Refuse(Grouped(static_cast<std::uint64_t>(maxFeatures)) + " entidades");
        if (vertices > maxVertices) Refuse(Grouped(static_cast<std::uint64_t>(maxVertices)) + " vértices");
    }
    [[noreturn]] void Refuse(const std::string& what) const {
        throw RunError("no se puede leer como capa: da más de " + what + ", muchas más de las que caben en " +
                       Count(static_cast<std::uint64_t>(bytes), "byte", "bytes") +
                       " (¿un bloque DXF insertado en una matriz enorme, una vista de GeoPackage que no acaba?)");
    }
};

// A feature's vertices as points, and their results.
struct Converted {
    // Of a feature written as coordinates through the numbers' path (ConvertNumbers): its
    // vertices' output coordinates and their longitudes on the target datum, and no
    // points or results.
    bool numbers = false;
    std::vector<double> x, y, lon;
    std::vector<RowPoint> points;
    std::vector<RowResult> results;
    std::vector<double> altitudes;  // of a layer whose Z is an ellipsoidal height: each vertex's altitude
    std::vector<std::int64_t> outsideGeoid;  // its vertices whose height the geoid cannot take
};

struct Job {
    const Settings* settings = nullptr;
    std::vector<Plan> plans;
    std::vector<LayerReport> reports;
    // Of each layer, the attributes the output writes as another type: the index, the
    // sentence that says it, and the features whose value was so written.
    struct TypeChange {
        int field;
        std::string text;
        std::int64_t values = 0;
    };
    std::vector<std::vector<TypeChange>> typeChanges;
    LayerSummary* summary = nullptr;
    // Table output: the tables, and the one each layer's rows go to.
    bool tables = false;
    std::vector<Table> table;
    std::vector<std::size_t> tableOf;
    char decimalSign = ',';
    const LayerProgress* progress = nullptr;
    bool geoJson = false;  // the output is GeoJSON
    bool cad = false;      // the output is DXF
    std::uint64_t features = 0;
    std::exception_ptr thrown;
    std::vector<std::string> layerNames;
    std::vector<std::string> folders;  // of each layer, a KML's folders ("" for none)
    Growth growth;
    // The grid for the numbers' path (ConvertNumbers), where it can be had.
    std::optional<geo::fast::ShiftGrid> fastGrid;
};

void Note(Job& job, std::uint64_t feature, std::string message) {
    ++job.summary->noted;
    if (job.summary->notes.size() < kListedNotes) job.summary->notes.push_back({feature, std::move(message)});
}

std::string WhereText(const Job& job, const TalporGdalFeature& f, long long k) {
    std::string where = "la entidad " + std::to_string(f.fid) + " de la capa «" + job.layerNames[f.layer] + "»";
    where += ", vértice " + std::to_string(f.vertex[k]);
    if (f.ring[k] > 0) where += " del anillo " + std::to_string(f.ring[k]);
    if (f.part[k] > 1 || f.ring[k] > 0) where += " de la parte " + std::to_string(f.part[k]);
    return where;
}

void Flush(Table& t, bool all) {
    if (t.fd < 0 || (!all && t.buffer.size() < (1u << 16))) return;
    std::size_t done = 0;
    while (done < t.buffer.size()) {
        const ssize_t n = ::write(t.fd, t.buffer.data() + done, t.buffer.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw RunError("no se puede escribir la salida: " + SystemErrorText(errno));
        done += static_cast<std::size_t>(n);
    }
    t.buffer.clear();
}

// The altitudeMode of a feature: its attribute, else the format's default.
std::string_view AltitudeMode(const TalporGdalFeature& f, const Plan& plan) {
    if (plan.altitudeModeField >= 0 && f.isSet[plan.altitudeModeField]) return f.values[plan.altitudeModeField];
    if (f.trackAltitudeMode != nullptr) return f.trackAltitudeMode;  // a gx:Track's own
    return plan.clampedByDefault ? "clampToGround" : "absolute";
}

void AppendNumber(std::string& out, double x, int decimals, char sign) { AppendRounded(out, x, decimals, sign); }

// One row a vertex: layer, feature, part, ring, vertex, the attributes, the vertex as
// read, the results, the Error column and the Aviso column, which holds the notes of a
// converted vertex (a vertex on the ground has no height).
void WriteRows(Job& job, const TalporGdalFeature& f, const Plan& plan, const Converted& v) {
    const Settings& s = *job.settings;
    Table& table = job.table[job.tableOf[static_cast<std::size_t>(f.layer)]];
    std::vector<std::string> texts;
    for (long long k = 0; k < f.count; ++k) {
        std::string& out = table.buffer;
        AppendField(out, job.layerNames[f.layer], ';');
        out += ';' + std::to_string(f.fid) + ';' + std::to_string(f.part[k]) + ';' + std::to_string(f.ring[k]) + ';' +
               std::to_string(f.vertex[k]);
        std::vector<std::string> cells(table.fields.size());
        for (int i = 0; i < f.fields; ++i) {
            std::string& cell = cells[table.column[f.layer][i]];
            cell = f.values[i];
            // A real as GDAL writes it ("0.5"), with the table's decimal sign.
            if (f.isReal[i]) std::replace(cell.begin(), cell.end(), '.', job.decimalSign);
        }
        if (const auto folder = table.folderColumn.find(f.layer); folder != table.folderColumn.end())
            cells[static_cast<std::size_t>(folder->second)] = job.folders[static_cast<std::size_t>(f.layer)];
        for (const std::string& cell : cells) {
            out += ';';
            AppendField(out, cell, ';');
        }
        const RowResult& r = v.results[k];
        const int decimals = plan.from.zone == 0 ? 8 : 2;
        out += ';';
        AppendNumber(out, plan.from.zone == 0 ? f.y[k] : f.x[k], decimals, job.decimalSign);
        out += ';';
        AppendNumber(out, plan.from.zone == 0 ? f.x[k] : f.y[k], decimals, job.decimalSign);
        out += ';';
        if (v.points[k].hasHeight)
            AppendNumber(out, plan.zFromEllipsoid ? v.altitudes[static_cast<std::size_t>(k)] : f.z[k], 1, job.decimalSign);
        if (r.error.empty()) {
            SetResultTexts(r, s.outputs, job.decimalSign, texts);
        } else {
            for (std::string& t : texts) t.clear();
            texts.resize(ResultCount(s.outputs));
        }
        for (const std::string& t : texts) {
            out += ';';
            AppendField(out, t, ';');
        }
        out += ';';
        AppendField(out, r.error, ';');
        std::string note = r.error.empty() ? r.note : "";
        if (r.error.empty() && f.hasZ && !v.points[k].hasHeight) {
            // Why, by what KML's altitudeMode says the Z is.
            const std::string_view mode = AltitudeMode(f, plan);
            const std::string why = "sin altura (" +
                                    std::string(mode == "relativeToGround"  ? "su Z es sobre el terreno"
                                                : mode == "clampToSeaFloor" ? "pegado al fondo del mar"
                                                : plan.clampedByDefault || mode == "clampToGround" ? "pegado al suelo"
                                                                                                    : "sin Z") +
                                    ")";
            note = note.empty() ? why : why + ". " + note;
        }
        out += ';';
        AppendField(out, note, ';');
        out += '\n';
        Flush(table, false);
    }
}


// The conversion of a feature's vertices, which the threads share out: nothing of the
// job is changed.
Conversion ConversionOf(const Job& job, const Plan& plan, core::Grids* grids) {
    const Settings& s = *job.settings;
    Conversion c = s.conversion;
    c.direction = plan.direction;
    c.sameDatum = plan.sameDatum;
    c.outZone = 0;
    c.heightIsAltitude = !s.layers.zEllipsoidal;
    c.altitude = s.outputs.altitude;
    c.places = job.tables;
    c.grids = grids;
    return c;
}

bool WithoutHeight(std::string_view mode) {
    return mode == "clampToGround" || mode == "clampToSeaFloor" || mode == "relativeToGround";
}

// The grid's conversion of a feature written as coordinates, whose vertices carry no
// height: each vertex unprojected, shifted by the job's fast grid (geo/GridFast.h) or,
// where that does not answer for every point, by PROJ in one call for the feature,
// projected in the output's zone, with the formulas of the core evaluated as
// geo/UtmFast.h evaluates them (within a micrometre of the core's values); no caption,
// note or result is made. False, with nothing kept, when a vertex is one the core refuses
// or may refuse (outside the zones or the grid, not finite): the feature then takes the
// core's own path, which says why.
bool ConvertNumbers(const TalporGdalFeature& f, const Plan& plan, const Job& job, core::Grids* grids, Converted& v) {
    const auto n = static_cast<std::size_t>(f.count);
    const geo::Ellipsoid& source = core::SourceEllipsoid(plan.direction);
    thread_local std::vector<geo::LatLon> points;
    thread_local std::vector<geo::GridShift> shifted;
    points.resize(n);
    shifted.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double x = f.x[k], y = f.y[k];
        if (plan.from.zone == 0) {
            if (!(std::abs(y) <= 90 && std::abs(x) <= 180)) return false;
            const std::int16_t zone = geo::UTMZoneOf(y, x);
            if (zone < 29 || zone > 31) return false;
            points[k] = {y, x};
        } else {
            points[k] = geo::fast::UTMToGeo(x, y, plan.from.zone, source);
            if (!std::isfinite(points[k].lat) || !std::isfinite(points[k].lon)) return false;
        }
    }
    const bool toEtrs89 = plan.direction == core::Direction::ED50ToWGS84;
    bool fast = job.fastGrid.has_value();
    for (std::size_t k = 0; k < n && fast; ++k) {
        shifted[k].point = points[k];
        fast = toEtrs89 ? job.fastGrid->ToETRS89(shifted[k].point) : job.fastGrid->ToED50(shifted[k].point);
    }
    if (!fast) {
        const geo::IgnShiftGrids& shift = grids->Shift();
        if (toEtrs89) shift.ToETRS89(points, shifted);
        else shift.ToED50(points, shifted);
        for (const geo::GridShift& s : shifted)
            if (s.answer != geo::GridAnswer::Done) return false;
    }
    const geo::Ellipsoid& target = core::TargetEllipsoid(plan.direction);
    // Beyond the output zone's band the core's projection takes the series that holds there.
    for (std::size_t k = 0; k < n && plan.to.zone > 0; ++k)
        if (std::abs(shifted[k].point.lon - (6.0 * plan.to.zone - 183)) > 3) return false;
    v.x.resize(n);
    v.y.resize(n);
    v.lon.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        const geo::LatLon& p = shifted[k].point;
        v.lon[k] = p.lon;
        if (plan.to.zone == 0) {
            v.x[k] = p.lon;
            v.y[k] = p.lat;
        } else {
            const geo::fast::EastingNorthing en = geo::fast::GeoToUTM(p.lat, p.lon, plan.to.zone, target);
            v.x[k] = en.E;
            v.y[k] = en.N;
        }
    }
    v.numbers = true;
    v.points.clear();
    v.results.clear();
    v.altitudes.clear();
    v.outsideGeoid.clear();
    return true;
}

// SPED2ETV2 for the numbers' path (IgnShiftGrids::Sampled); nullopt where it cannot be had.
// Sampled by grids of its own, closed once sampled: PROJ's copy of the grid is not kept
// beside the program's (the run's own grids open when a feature needs PROJ).
std::optional<geo::fast::ShiftGrid> FastGrid(const core::Grids& grids) {
    const geo::IgnShiftGrids shift(grids.DataFolder(), grids.UserFolder());
    if (shift.Grids().size() != 1) return std::nullopt;
    return shift.Sampled(geo::GridPages(shift.Grids()[0].path));
}

void ConvertFeature(const Job& job, const TalporGdalFeature& f, core::Grids* grids, Converted& v) {
    const Plan& plan = job.plans[f.layer];
    const bool noHeight = WithoutHeight(AltitudeMode(f, plan));
    const auto n = static_cast<std::size_t>(f.count);
    v.numbers = false;
    if (plan.unchanged && !job.tables) {
        // Already in the target: every vertex as it is, its longitude for the zone's band.
        v.x.assign(f.x, f.x + n);
        v.y.assign(f.y, f.y + n);
        v.lon.resize(n);
        for (std::size_t k = 0; k < n; ++k)
            v.lon[k] = plan.from.zone == 0 ? f.x[k]
                                           : geo::fast::UTMToGeo(f.x[k], f.y[k], plan.from.zone,
                                                                 core::SourceEllipsoid(plan.direction)).lon;
        v.numbers = true;
        v.points.clear();
        v.results.clear();
        v.altitudes.clear();
        v.outsideGeoid.clear();
        return;
    }
    if (!plan.sameDatum && !job.tables && job.settings->conversion.method == Method::Grid && grids != nullptr &&
        (f.hasZ == 0 || noHeight) && ConvertNumbers(f, plan, job, grids, v))
        return;
    v.points.assign(n, RowPoint{});
    v.altitudes.assign(plan.zFromEllipsoid ? n : 0, 0.0);
    v.outsideGeoid.clear();
    for (std::size_t k = 0; k < n; ++k) {
        RowPoint& p = v.points[k];
        p.hasHeight = f.hasZ != 0 && !noHeight;
        if (p.hasHeight && plan.zFromEllipsoid && plan.from.zone == 0) {
            // A height above WGS84's ellipsoid, through the geoid, is the altitude the run takes.
            const core::Altitude a = grids != nullptr ? core::AltitudeOf(f.y[k], f.x[k], f.z[k], grids->Geoid()) : core::Altitude{};
            if (a.answer == geo::GridAnswer::Done) v.altitudes[k] = a.H;
            else p.hasHeight = false, v.outsideGeoid.push_back(static_cast<std::int64_t>(k));
        }
        if (plan.from.zone == 0) {
            if (!(std::abs(f.y[k]) <= 90 && std::abs(f.x[k]) <= 180)) {
                p.error = "no son grados (" + std::to_string(f.x[k]) + ", " + std::to_string(f.y[k]) +
                          "): indique el huso de sus coordenadas UTM";
                continue;
            }
            p.kind = RowPoint::Kind::Geographic;
            p.geographic = {f.y[k], f.x[k], p.hasHeight ? (plan.zFromEllipsoid ? v.altitudes[k] : f.z[k]) : 0};
        } else {
            p.kind = RowPoint::Kind::Utm;
            p.utm = {f.x[k], f.y[k], static_cast<std::int16_t>(plan.from.zone), p.hasHeight ? f.z[k] : 0};
        }
    }
    ConvertPoints(v.points, ConversionOf(job, plan, grids), v.results);
    // One zone a layer: the points of another zone projected in the layer's.
    if (plan.to.zone <= 0) return;
    const geo::Ellipsoid& ell = plan.sameDatum ? core::SourceEllipsoid(plan.direction) : core::TargetEllipsoid(plan.direction);
    for (RowResult& row : v.results) {
        core::Result& r = row.result;
        if (row.error.empty() && r.utm->zone != plan.to.zone)
            r.utm = geo::GeoToUTMInZone(r.point->lat, r.point->lon, static_cast<std::int16_t>(plan.to.zone), ell);
    }
}

// A longitude outside the band of the output's zone `zone` (none for degrees).
bool OutsideBand(int zone, double lon) {
    const double west = 6.0 * zone - 186, east = west + 6;
    return zone > 0 && (lon < west || lon > east);
}

// The summary's counts of a feature to be written; or, in a DXF, which has no entity
// without a geometry, the feature left out.
int Counted(const Job& job, const TalporGdalFeature& f, LayerReport& report) {
    if (f.noGeometry && job.cad) {
        report.droppedWithoutGeometry.push_back(f.fid);
        return TalporGdalLeave;
    }
    report.features += 1;
    report.vertices += f.count;
    report.withoutGeometry += f.noGeometry;
    return TalporGdalWrite;
}

// Feature() of a feature converted by ConvertNumbers: every vertex converted, none with a
// height or a note.
int FeatureOfNumbers(Job& job, TalporGdalFeature& f, const Plan& plan, const Converted& v) {
    LayerReport& report = job.reports[f.layer];
    for (double lon : v.lon) report.outsideBand += OutsideBand(plan.to.zone, lon);
    if (Counted(job, f, report) == TalporGdalLeave) return TalporGdalLeave;
    std::copy(v.x.begin(), v.x.end(), f.x);
    std::copy(v.y.begin(), v.y.end(), f.y);
    return TalporGdalWrite;
}

// What is done with a converted feature, in the file's order: the summary, the rows, or
// the vertices given back.
int Feature(Job& job, TalporGdalFeature& f, Converted& v) {
    const Settings& s = *job.settings;
    const Plan& plan = job.plans[f.layer];
    LayerReport& report = job.reports[f.layer];
    for (Job::TypeChange& t : job.typeChanges[static_cast<std::size_t>(f.layer)])
        t.values += t.field < f.fields && f.isSet[t.field] != 0;
    const Conversion c = ConversionOf(job, plan, s.conversion.grids);
    const std::string_view mode = AltitudeMode(f, plan);
    const bool geoJson = job.geoJson;
    const bool noHeight = WithoutHeight(mode);
    const auto n = static_cast<std::size_t>(f.count);
    report.recoded += f.recoded;
    report.replaced += f.replaced;
    if (noHeight && f.hasZ) report.withoutHeight += f.count;
    for (std::int64_t k : v.outsideGeoid)
        Note(job, static_cast<std::uint64_t>(f.fid),
             WhereText(job, f, static_cast<long long>(k)) +
                 ": su altura sobre el elipsoide no se puede pasar a altitud fuera del geoide EGM08-REDNAP, y se "
                 "convierte sin altura");
    if (mode == "relativeToGround" && f.hasZ && n > 0)
        Note(job, static_cast<std::uint64_t>(f.fid),
             "la entidad " + std::to_string(f.fid) + " de la capa «" + job.layerNames[f.layer] +
                 "» tiene altitudeMode relativeToGround: su Z es una altura sobre el terreno, no una altitud, y se "
                 "convierte sin altura");
    if (v.numbers) return FeatureOfNumbers(job, f, plan, v);
    for (std::size_t k = 0; k < n; ++k) {
        const RowResult& r = v.results[k];
        if (r.error.empty()) continue;
        const std::string sentence = WhereText(job, f, static_cast<long long>(k)) + ": " + r.error;
        if (!s.layers.leaveOutside)
            throw RunError(sentence + "; con --omitir-fuera se deja fuera la entidad y se convierten las demás");
        report.leftOut.push_back(f.fid);
        return TalporGdalLeave;
    }
    for (std::size_t k = 0; k < n; ++k) {
        const RowResult& r = v.results[k];
        if (!r.note.empty() && (job.tables || r.note.find("geoide") != std::string::npos))
            Note(job, static_cast<std::uint64_t>(f.fid), WhereText(job, f, static_cast<long long>(k)) + ": " + r.note);
    }
    for (const RowResult& r : v.results) report.outsideBand += OutsideBand(plan.to.zone, r.result.point->lon);
    if (Counted(job, f, report) == TalporGdalLeave) return TalporGdalLeave;
    if (job.tables) {
        WriteRows(job, f, plan, v);
        return TalporGdalWrite;
    }
    for (std::size_t k = 0; k < n; ++k) {
        const core::Result& r = v.results[k].result;
        if (plan.to.zone == 0) {
            f.x[k] = r.point->lon;
            f.y[k] = r.point->lat;
        } else {
            f.x[k] = r.utm->E;
            f.y[k] = r.utm->N;
        }
        if (!v.points[k].hasHeight) continue;
        if (plan.zFromEllipsoid) f.z[k] = v.altitudes[k];
        // A height above the ellipsoid becomes the height above the other one; an
        // altitude stays the altitude it was, but in GeoJSON, whose third coordinate is by
        // definition the height above the WGS84 ellipsoid: the altitude plus the geoid's N.
        if (s.layers.zEllipsoidal) {
            f.z[k] = r.point->h;
        } else if (geoJson && c.grids != nullptr) {
            const core::Altitude a = core::AltitudeOf(r.point->lat, r.point->lon, 0, c.grids->Geoid());
            if (a.answer == geo::GridAnswer::Done) f.z[k] += a.N;
        }
    }
    return TalporGdalWrite;
}

// A batch of features in the program's hands: taken one by one, by the second thread
// as soon as it is handed over and by the calling thread when it comes to finish it.
struct InFlight {
    TalporGdalFeature* features = nullptr;
    int count = 0;
    std::atomic<int> next{0};  // the next feature to take
    std::atomic<int> done{0};  // features converted
    std::vector<Converted> converted;
    std::exception_ptr failed;  // of the second thread, under Converter's lock
};

// The second thread of a run, converting with grids of its own the batches handed over
// while GDAL reads and writes on the calling thread.
class Converter {
  public:
    Converter(const Job& job, core::Grids* grids) : job_(job), grids_(grids) {
        if (grids_ != nullptr) thread_ = std::thread([this] { Loop(); });
    }
    ~Converter() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        work_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    void Start(InFlight& b, TalporGdalFeature* features, int count) {
        {
            std::lock_guard lock(mutex_);
            b.features = features;
            b.count = count;
            b.next = 0;
            b.done = 0;
            b.failed = nullptr;
            b.converted.resize(static_cast<std::size_t>(count));
            if (thread_.joinable()) queue_.push_back(&b);
        }
        work_.notify_one();
    }

    // Converts what the second thread has not taken of `b`, and waits for the rest.
    void Finish(InFlight& b, core::Grids* grids) {
        std::exception_ptr mine;
        for (int i; (i = b.next++) < b.count; ++b.done) {
            try {
                if (!mine) ConvertFeature(job_, b.features[i], grids, b.converted[static_cast<std::size_t>(i)]);
            } catch (...) {
                mine = std::current_exception();
            }
        }
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return b.done.load() >= b.count; });
        queue_.erase(std::remove(queue_.begin(), queue_.end(), &b), queue_.end());
        if (mine) std::rethrow_exception(mine);
        if (b.failed) std::rethrow_exception(b.failed);
    }

  private:
    void Loop() {
        while (true) {
            // A feature is taken under the lock, so that a batch is never taken from as
            // it is handed over again.
            InFlight* b = nullptr;
            int i = 0;
            {
                std::unique_lock lock(mutex_);
                work_.wait(lock, [&] { return stop_ || !queue_.empty(); });
                if (stop_) return;
                b = queue_.front();
                i = b->next++;
                if (i >= b->count) {
                    queue_.pop_front();
                    continue;
                }
            }
            try {
                ConvertFeature(job_, b->features[i], grids_, b->converted[static_cast<std::size_t>(i)]);
            } catch (...) {
                std::lock_guard lock(mutex_);
                if (!b->failed) b->failed = std::current_exception();
            }
            if (++b->done >= b->count) {
                std::lock_guard lock(mutex_);
                done_.notify_all();
            }
        }
    }

    const Job& job_;
    core::Grids* grids_;
    std::mutex mutex_;
    std::condition_variable work_, done_;
    std::deque<InFlight*> queue_;
    bool stop_ = false;
    std::thread thread_;
};

// The run's callbacks: the job, its two batches and its second thread.
struct Run {
    Job& job;
    Converter converter;
    InFlight batches[2];
};

extern "C" int StartCallback(void* context, int batch, TalporGdalFeature* features, int count) {
    auto& run = *static_cast<Run*>(context);
    try {
        run.job.growth.Add(features, count);
    } catch (...) {
        if (!run.job.thrown) run.job.thrown = std::current_exception();
        return 1;
    }
    run.converter.Start(run.batches[batch], features, count);
    return 0;
}

// What an output format made of an attribute, for the layer's line of the summary.
extern "C" void ChangedCallback(void* context, int layer, int field, const char* text) {
    Job& job = static_cast<Run*>(context)->job;
    if (field < 0) job.reports[static_cast<std::size_t>(layer)].changes.emplace_back(text);
    else job.typeChanges[static_cast<std::size_t>(layer)].push_back({field, text});
}

// What GDAL reported while reading: an error goes to the summary's errors (the run is not
// whole), a warning to its notes.
extern "C" void ProblemCallback(void* context, int layer, long long record, long long fid, long long lost, int failure,
                                const char* message, int writing) {
    Job& job = static_cast<Run*>(context)->job;
    LayerSummary& s = *job.summary;
    std::string text = "capa «" + job.layerNames[static_cast<std::size_t>(layer)] + "», ";
    if (lost > 0) {
        job.reports[static_cast<std::size_t>(layer)].unread += lost;
        text += lost == 1 ? "registro " + std::to_string(record + 1) + ": GDAL no ha podido leerlo y queda fuera"
                          : "registros " + std::to_string(record + 1) + " a " + std::to_string(record + lost) +
                                ": GDAL no ha podido leerlos y quedan fuera";
    } else {
        text += "entidad " + std::to_string(fid) + ": " +
                (failure    ? std::string("GDAL no ha podido leerla entera")
                 : writing ? std::string("aviso de GDAL al escribirla")
                           : std::string("aviso de GDAL al leerla"));
    }
    if (message != nullptr && message[0] != '\0') text += " (" + std::string(message) + ")";
    const std::uint64_t where = static_cast<std::uint64_t>(fid >= 0 ? fid : record + 1);
    if (failure) {
        ++s.failed;
        if (s.errors.size() < kListedErrors) s.errors.push_back({where, std::move(text)});
    } else {
        ++s.noted;
        if (s.notes.size() < kListedNotes) s.notes.push_back({where, std::move(text)});
    }
}

extern "C" int FinishCallback(void* context, int batch, int* answers) {
    auto& run = *static_cast<Run*>(context);
    Job& job = run.job;
    InFlight& b = run.batches[batch];
    try {
        run.converter.Finish(b, job.settings->conversion.grids);
        if (job.thrown) return 1;  // a batch taken back after the run stopped
        for (int i = 0; i < b.count; ++i) {
            answers[i] = Feature(job, b.features[i], b.converted[static_cast<std::size_t>(i)]);
            ++job.features;
        }
        if (job.progress != nullptr && *job.progress) (*job.progress)(job.features, job.growth.total);
        return 0;
    } catch (...) {
        if (!job.thrown) job.thrown = std::current_exception();
        return 1;
    }
}

// The zone of 29 to 31 that holds most of a layer's vertices; 0 for an empty layer:
// nothing of it is projected.
int MostZone(const ZoneCount& count) {
    const auto& v = count.vertices;
    return count.all == 0 ? 0 : static_cast<int>(std::max_element(v.begin() + 29, v.begin() + 32) - v.begin());
}

// A reading that only counts: each layer's vertices in all and by zone, for layers in
// degrees whose zone is not given and for the dialog's preview, and the geometry types
// each layer holds.
struct Counting {
    std::vector<ZoneCount> counts;
    Growth growth;
    const LayerProgress* progress = nullptr;
    std::exception_ptr thrown;
};

extern "C" int CountCallback(void* context, int, TalporGdalFeature* features, int count) {
    auto& counting = *static_cast<Counting*>(context);
    auto& counts = counting.counts;
    try {
        counting.growth.Add(features, count);
        if (counting.progress != nullptr && *counting.progress)
            (*counting.progress)(static_cast<std::uint64_t>(counting.growth.features), counting.growth.total);
    } catch (...) {
        counting.thrown = std::current_exception();
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        const TalporGdalFeature& f = features[i];
        counts[f.layer].all += f.count;
        if (f.type > 0 && f.type < 64) counts[f.layer].types |= std::uint64_t{1} << f.type;
        counts[f.layer].threeD = counts[f.layer].threeD || f.hasZ;
        for (long long k = 0; k < f.count; ++k) {
            if (!(std::abs(f.y[k]) <= 90 && std::abs(f.x[k]) <= 180)) continue;
            const int zone = std::clamp(static_cast<int>(std::floor((f.x[k] + 180) / 6)) + 1, 1, 60);
            ++counts[f.layer].vertices[zone];
        }
    }
    return 0;
}

extern "C" int CountedCallback(void*, int, int*) { return 0; }

// OGR's name of a geometry type, in Spanish: "3D Line String" -> "líneas 3D".
std::string GeometryText(std::string_view geometry) {
    const bool three = geometry.starts_with("3D ");
    if (three) geometry.remove_prefix(3);
    static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
        {"Point", "puntos"},
        {"Line String", "líneas"},
        {"Polygon", "polígonos"},
        {"Multi Point", "multipuntos"},
        {"Multi Line String", "multilíneas"},
        {"Multi Polygon", "multipolígonos"},
        {"Geometry Collection", "colecciones de geometrías"},
        {"Unknown (any)", "geometrías de varios tipos"},
        {"None", "sin geometría"},
    };
    std::string text(geometry);
    for (const auto& [ogr, spanish] : kNames)
        if (geometry == ogr) text = spanish;
    return three ? text + " 3D" : text;
}

// The geometry type GPX writes a layer as: points as waypoints, lines as routes,
// multi-lines as tracks (OGR's flat codes 1, 2 and 5); 0 for a layer of any other kind.
// A layer declared of no one type (a GeoPackage's generic geometry) is judged by the
// geometries it holds (`held`: bit t for type t), when they are all of one such type.
int GpxType(std::string_view declared, std::uint64_t held) {
    if (declared.starts_with("3D ")) declared.remove_prefix(3);
    if (declared == "Point") return 1;
    if (declared == "Line String") return 2;
    if (declared == "Multi Line String") return 5;
    if (declared != "Unknown (any)" && declared != "Geometry") return 0;
    for (int t : {1, 2, 5})
        if (held == (std::uint64_t{1} << t)) return t;
    return 0;
}

// Whether a layer is declared of no one geometry type (KML's, a GeoPackage's generic
// geometry), and is then judged by what it holds.
bool Generic(std::string_view declared) {
    if (declared.starts_with("3D ")) declared.remove_prefix(3);
    return declared == "Unknown (any)" || declared == "Geometry" || declared == "Geometry Collection";
}

// The type a shapefile of a layer holding `held` (bit t for OGR's flat type t) is created
// with: a shapefile holds points, multipoints, lines (multi or not) or areas (multi or
// not), one kind a file. 0: none fits (several kinds); -1: the layer holds no geometry.
int ShapefileType(std::uint64_t held) {
    const auto only = [&](std::initializer_list<int> types) {
        std::uint64_t mask = 0;
        for (int t : types) mask |= std::uint64_t{1} << t;
        return (held & ~mask) == 0;
    };
    if (held == 0) return -1;
    if (only({1})) return 1;
    if (only({1, 4})) return 4;
    if (only({2, 5})) return 5;
    if (only({3, 6})) return 6;
    return 0;
}

// Each layer's vertices, in all and by zone, from a reading of the whole file.
std::vector<ZoneCount> CountVertices(const Input& input, std::size_t layers, const LayerLimits& limits,
                                     const Growth& growth, const LayerProgress& progress) {
    Counting counting;
    counting.counts.resize(layers);
    counting.growth = growth;
    counting.progress = &progress;
    TalporGdalJob count{};
    count.context = &counting;
    count.start = CountCallback;
    count.finish = CountedCallback;
    count.maxFeatureVertices = limits.featureVertices;
    input.Run(count, counting.thrown);
    return std::move(counting.counts);
}

// A layer's name as part of a file name: no folder separator, no control character.
std::string FileNamePart(const std::string& name) {
    std::string part = name.empty() ? "capa" : name;
    for (char& c : part)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
    return part.substr(0, 100);
}

// The table of a layer converted otherwise than the first: the output's name without its
// extension, "-" and the layer's, numbered after a name already in `taken`.
std::string ExtraTableName(const std::string& prefix, const std::string& layer, std::set<std::string>& taken) {
    std::string name = prefix + "-" + FileNamePart(layer);
    for (int n = 2; !taken.insert(name).second; ++n) name = prefix + "-" + FileNamePart(layer) + "-" + std::to_string(n);
    return name;
}

// "600 MB", "132 bytes".
std::string Megabytes(std::int64_t bytes) {
    if (bytes < (1 << 20)) return Count(static_cast<std::uint64_t>(bytes), "byte", "bytes");
    return Grouped(static_cast<std::uint64_t>((bytes + (1 << 20) - 1) >> 20)) + " MB";
}

// The bytes an input is allowed to grow from: its KML inflated, for a KMZ. A KML beyond
// LayerLimits::kmlBytes is refused here, before GDAL reads it whole into memory.
std::int64_t GrowthBytes(const std::string& path, const Input& input, const LayerLimits& limits) {
    const LayerFormat* format = LayerFormatOfInput(path);
    std::int64_t kml = 0;
    if (format != nullptr && format->name == "kmz") kml = InflatedKmlBytes(path);
    else if (format != nullptr && format->name == "kml") kml = input.Bytes();
    if (kml > limits.kmlBytes)
        throw RunError("no se puede leer como capa: su KML ocupa " + Megabytes(kml) +
                       (format->name == "kmz" ? " descomprimido" : "") + ", y Talpor lee KML de hasta " +
                       Megabytes(limits.kmlBytes));
    return std::max(kml, input.Bytes());
}

// An input open for reading, its KML first checked for size where it can be done without
// GDAL (a KMZ's zip directory).
std::unique_ptr<Input> OpenInput(const std::string& path, const LayerLimits& limits) {
    const LayerFormat* format = LayerFormatOfInput(path);
    if (format != nullptr && format->name == "kmz") {
        const std::int64_t kml = InflatedKmlBytes(path);
        if (kml > limits.kmlBytes)
            throw RunError("no se puede leer como capa: su KML ocupa " + Megabytes(kml) +
                           " descomprimido, y Talpor lee KML de hasta " + Megabytes(limits.kmlBytes));
    }
    return std::make_unique<Input>(path);
}

// The names a layer's attributes are written with: their own, but where the format takes
// names that differ only in case for one (a GeoPackage's columns, a shapefile's fields),
// the second and later such get "_2", "_3", ... (reported in `renamed`).
std::vector<std::string> FieldNames(const std::vector<std::string>& names, bool caseBlind,
                                    std::vector<std::pair<std::string, std::string>>& renamed) {
    if (!caseBlind) return names;
    std::set<std::string> taken;
    for (const std::string& n : names) taken.insert(AsciiLower(n));
    std::set<std::string> used;
    std::vector<std::string> out;
    for (const std::string& n : names) {
        std::string name = n;
        if (!used.insert(AsciiLower(n)).second) {
            for (int k = 2;; ++k) {
                name = n + "_" + std::to_string(k);
                if (!taken.contains(AsciiLower(name)) && used.insert(AsciiLower(name)).second) break;
            }
            renamed.emplace_back(n, name);
        }
        out.push_back(std::move(name));
    }
    return out;
}

}  // namespace

std::int64_t InflatedKmlBytes(const std::string& path) {
    // The end of the central directory: its record lies in the last 64 KiB + 22 bytes.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size < 22) return -1;
    const off_t tailStart = std::max<off_t>(0, size - (65535 + 22 + 20));
    std::string tail(static_cast<std::size_t>(size - tailStart), '\0');
    if (::pread(fd, tail.data(), tail.size(), tailStart) != static_cast<ssize_t>(tail.size())) return -1;
    const auto u16 = [](const std::string& b, std::size_t at) {
        return static_cast<std::uint64_t>(static_cast<unsigned char>(b[at])) |
               static_cast<std::uint64_t>(static_cast<unsigned char>(b[at + 1])) << 8;
    };
    const auto u32 = [&](const std::string& b, std::size_t at) { return u16(b, at) | u16(b, at + 2) << 16; };
    const auto u64 = [&](const std::string& b, std::size_t at) { return u32(b, at) | u32(b, at + 4) << 32; };
    std::size_t end = std::string::npos;
    for (std::size_t at = tail.size() - 22 + 1; at-- > 0;) {
        if (u32(tail, at) == 0x06054b50) {
            end = at;
            break;
        }
    }
    if (end == std::string::npos) return -1;
    std::uint64_t entries = u16(tail, end + 10), cdSize = u32(tail, end + 12), cdOffset = u32(tail, end + 16);
    // ZIP64: the locator just before points to the record of 64-bit values.
    if (end >= 20 && u32(tail, end - 20) == 0x07064b50) {
        std::string record(56, '\0');
        const auto at = static_cast<off_t>(u64(tail, end - 20 + 8));
        if (::pread(fd, record.data(), record.size(), at) != 56 || u32(record, 0) != 0x06064b50) return -1;
        entries = u64(record, 32), cdSize = u64(record, 40), cdOffset = u64(record, 48);
    }
    if (cdSize > (std::uint64_t{64} << 20) || cdOffset + cdSize > static_cast<std::uint64_t>(size)) return -1;
    std::string cd(cdSize, '\0');
    if (::pread(fd, cd.data(), cd.size(), static_cast<off_t>(cdOffset)) != static_cast<ssize_t>(cd.size())) return -1;
    std::uint64_t total = 0;
    std::size_t at = 0;
    for (std::uint64_t e = 0; e < entries; ++e) {
        if (at + 46 > cd.size() || u32(cd, at) != 0x02014b50) return -1;
        std::uint64_t inflated = u32(cd, at + 24);
        const std::size_t name = u16(cd, at + 28), extra = u16(cd, at + 30), comment = u16(cd, at + 32);
        if (at + 46 + name + extra + comment > cd.size()) return -1;
        if (inflated == 0xFFFFFFFF) {
            // The 64-bit size, first in the ZIP64 extra field.
            for (std::size_t x = at + 46 + name; x + 4 <= at + 46 + name + extra;) {
                const std::size_t id = u16(cd, x), length = u16(cd, x + 2);
                if (id == 0x0001 && length >= 8 && x + 12 <= cd.size()) inflated = u64(cd, x + 4);
                x += 4 + length;
            }
        }
        // Every entry counts: GDAL reads the KML, and whatever it links to, inflated.
        total += inflated;
        if (total > (std::uint64_t{1} << 62)) return std::numeric_limits<std::int64_t>::max();
        at += 46 + name + extra + comment;
    }
    return static_cast<std::int64_t>(total);
}

std::vector<LayerInfo> ReadLayers(const std::string& path, const LayerLimits& limits, const LayerProgress& progress,
                                  bool count) {
    const std::unique_ptr<Input> opened = OpenInput(path, limits);
    const Input& input = *opened;
    Growth growth(limits, GrowthBytes(path, input, limits));
    std::vector<LayerInfo> layers;
    for (int i = 0; i < input.Layers(); ++i) {
        const TalporGdalLayerInfo info = input.Layer(i);
        LayerInfo l{info.name, GeometryText(info.geometry), info.system, info.features, -1, std::nullopt, info.epsg};
        const System s = SystemOfEpsg(info.epsg);
        l.zone = s.zone;
        if (s.datum != System::Datum::None && s.datum != System::Datum::Other) {
            l.system = SystemText(s.datum, s.zone, info.epsg);
            l.direction = s.datum == System::Datum::ED50 ? core::Direction::ED50ToWGS84
                                                         : core::Direction::WGS84ToED50;
        }
        else if (info.epsg > 0) l.system += " (EPSG:" + std::to_string(info.epsg) + ")";
        if (l.system.empty()) l.system = "sin sistema";
        layers.push_back(std::move(l));
    }
    std::int64_t features = 0;
    for (const LayerInfo& l : layers) features = l.features < 0 || features < 0 ? -1 : features + l.features;
    if (!count || features < 0 || features > kCountedFeatures) return layers;
    growth.total = static_cast<std::uint64_t>(features);
    const std::vector<ZoneCount> counts = CountVertices(input, layers.size(), limits, growth, progress);
    for (std::size_t i = 0; i < layers.size(); ++i) {
        layers[i].vertices = counts[i].all;
        if (layers[i].zone == 0 && SystemOfEpsg(layers[i].epsg).datum != System::Datum::Other) layers[i].zone = MostZone(counts[i]);
    }
    return layers;
}

WritePlan PlanWrite(const std::string& input, const std::string& output, const Settings& settings,
                    const std::vector<LayerInfo>& layers) {
    const LayerOutput kind = LayerOutputOf(input, output, settings);
    WritePlan plan;
    plan.format = kind.table ? "tabla CSV" : std::string(kind.format->title);
    const std::size_t slash = output.rfind('/');
    const std::string folder = output.substr(0, slash == std::string::npos ? 0 : slash + 1);
    std::string stem = output.substr(folder.size());
    const std::size_t dot = stem.rfind('.');
    const std::string extension = dot == std::string::npos || dot == 0 ? "" : stem.substr(dot);
    stem = stem.substr(0, stem.size() - extension.size());
    const bool shapefile = !kind.table && kind.format->name == "shp";
    // The files GDAL writes beside each one of the format.
    static const std::map<std::string_view, std::vector<const char*>> kWrittenParts = {
        {"shp", {".shx", ".dbf", ".prj", ".cpg"}}, {"tab", {".dat", ".map", ".id"}}, {"mif", {".mid"}},
        {"gml", {".xsd"}}, {"csvwkt", {".csvt", ".prj"}}};
    const auto parts = kind.table ? kWrittenParts.end() : kWrittenParts.find(kind.format->name);
    const auto add = [&](const std::string& name) {
        plan.files.push_back(name);
        if (parts == kWrittenParts.end()) return;
        const std::size_t dot = name.rfind('.');
        for (const char* part : parts->second) plan.files.push_back(name.substr(0, dot) + part);
    };
    if (output != "-") add(output.substr(folder.size()));
    std::optional<std::pair<core::Direction, bool>> firstKind;
    std::set<std::string> names;
    for (const LayerInfo& l : layers) {
        if (l.geometry == "sin geometría") continue;
        System from = SystemOfEpsg(l.epsg);
        const bool hasSystem = from.datum != System::Datum::None;
        core::Direction direction = l.direction.value_or(settings.conversion.direction);
        if (!hasSystem) from.zone = settings.conversion.zone;
        System to = TargetSystem(from, hasSystem, direction, settings, kind.format);
        if (to.zone == -1) to.zone = l.zone;
        plan.systems.emplace_back(l.name, SystemText(to.datum, to.zone, EpsgOf(to.datum, to.zone)));
        // The files besides the destination: a shapefile a layer after the first, named after
        // it; a table for each layer converted otherwise than the first (direction, degrees or UTM).
        const std::pair kindOf(direction, from.zone == 0);
        const bool first = !firstKind;
        if (first) firstKind = kindOf;
        if (shapefile && plan.systems.size() > 1) {
            std::string name = l.name.empty() ? "capa" : l.name;
            for (char& c : name)
                if (std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) c = '_';
            add(name + ".shp");
        } else if (kind.table && !first && kindOf != *firstKind && output != "-") {
            plan.files.push_back(ExtraTableName(stem, l.name, names) + extension);
        }
    }
    return plan;
}

namespace {

// A layer's system and the direction it is converted in, from its system (or one known
// by its parameters, on the user's word) or, without one, from the settings. Throws
// RunError for a system Talpor does not convert or a direction the settings contradict.
Plan SourcePlan(const TalporGdalLayerInfo& info, const LayerFormat* inFormat, const Settings& settings) {
    Plan plan;
    plan.from = SystemOfEpsg(info.epsg);
    plan.fromEpsg = info.epsg;
    if (const System like = SystemOfEpsg(info.likeEpsg); info.likeEpsg > 0 && like.datum != System::Datum::Other) {
        // A system under a name of its own with the parameters of one of ours: taken as
        // that one on the user's word (the datum's name says nothing Talpor can check).
        const std::string ours = SystemText(like.datum, like.zone, info.likeEpsg);
        const bool toEd50 = like.datum != System::Datum::ED50;
        if (settings.target && (!settings.origin || !(CrsOf(like) == *settings.origin)))
            throw RunError("la capa «" + std::string(info.name) + "» está en «" + info.system +
                           "», que tiene los parámetros de " + ours + " pero no su nombre: si es ese sistema, dígalo con "
                           "--origen=" + NameOf(CrsOf(like)));
        if (settings.target) {
        } else if (!settings.layers.directionGiven ||
            settings.conversion.direction != (toEd50 ? core::Direction::WGS84ToED50 : core::Direction::ED50ToWGS84) ||
            (settings.conversion.zone != 0 && settings.conversion.zone != like.zone))
            throw RunError("la capa «" + std::string(info.name) + "» está en «" + info.system +
                           "», que tiene los parámetros de " + ours +
                           " pero no su nombre: si es ese sistema, dígalo con --sentido=" +
                           (toEd50 ? "wgs84-ed50" : "ed50-wgs84") +
                           (like.zone != 0 ? " --huso=" + std::to_string(like.zone) : std::string()));
        plan.from = like;
        plan.fromEpsg = info.likeEpsg;
        plan.systemTaken = "su sistema «" + std::string(info.system) + "» se toma como " + ours +
                           ", cuyos parámetros tiene, como se ha indicado";
    }
    plan.zFromEllipsoid = !settings.layers.zEllipsoidal &&
                          (plan.from.ellipsoidal || (inFormat != nullptr && inFormat->name == "geojson"));
    const std::string name = info.name;
    if (plan.from.datum == System::Datum::Other)
        throw RunError("la capa «" + name + "» está en «" + info.system + "»" +
                       (info.epsg > 0 ? " (EPSG:" + std::to_string(info.epsg) + ")" : std::string()) +
                       ", que Talpor no convierte: lee ED50 (EPSG 4230 y 23029 a 23031) y ETRS89 o WGS84 "
                       "(4258, 25829 a 25831, 4326 y 32629 a 32631)");
    if (settings.target) {
        if (plan.from.datum == System::Datum::None) {
            if (!settings.origin)
                throw RunError("la capa «" + name + "» no dice en qué sistema están sus coordenadas, y no se supone "
                               "ninguno: indique el suyo con --origen (por ejemplo --origen=ed50-utm30)");
            plan.from = SystemOf(*settings.origin);
        }
        const std::optional<core::Direction> direction = DirectionBetween(CrsOf(plan.from), *settings.target);
        plan.sameDatum = !direction;
        plan.direction = direction.value_or(plan.from.datum == System::Datum::ED50 ? core::Direction::ED50ToWGS84
                                                                                   : core::Direction::WGS84ToED50);
        return plan;
    }
    if (plan.from.datum == System::Datum::None) {
        if (!settings.layers.directionGiven)
            throw RunError("la capa «" + name + "» no dice en qué sistema están sus coordenadas: indique el sentido "
                           "con --sentido y, si son UTM, el huso con --huso");
        plan.direction = settings.conversion.direction;
        plan.from.datum = plan.direction == core::Direction::ED50ToWGS84 ? System::Datum::ED50 : System::Datum::ETRS89;
        plan.from.zone = settings.conversion.zone;
    } else {
        plan.direction = plan.from.datum == System::Datum::ED50 ? core::Direction::ED50ToWGS84
                                                                 : core::Direction::WGS84ToED50;
        if (settings.layers.directionGiven && plan.direction != settings.conversion.direction)
            throw RunError("la capa «" + name + "» está en " + SystemText(plan.from.datum, plan.from.zone, info.epsg) +
                           ": se convierte en el sentido " +
                           (plan.direction == core::Direction::ED50ToWGS84 ? "ed50-wgs84" : "wgs84-ed50"));
    }
    return plan;
}

// What a run does to each layer of `input` (job.plans, job.layerNames, job.folders):
// its system and direction, the system it is written in, whether it is left out; and
// what the output needs of the layers before they are written: the geometry type of a
// shapefile or GPX layer of no one type, and each layer's zone where it is the zone of
// most of its vertices (a first reading counts them). Throws RunError for what the
// output cannot take.
struct OutputPlan {
    std::vector<int> geometryTypes;  // the type each output layer is created with; 0 its own
    std::vector<int> skip;           // 1 for a layer left out (attributes alone)
};

OutputPlan PlanLayers(const Input& input, const LayerFormat* inFormat, const EngineOutput& output, const Settings& settings,
                  const LayerLimits& limits, Job& job) {
    const LayerFormat* outFormat = output.format;
    std::vector<ZoneCount> counts(static_cast<std::size_t>(std::max(input.Layers(), 0)));
    OutputPlan layout{std::vector<int>(counts.size(), 0), std::vector<int>(counts.size(), 0)};
    std::vector<int>& geometryTypes = layout.geometryTypes;
    std::vector<int>& skip = layout.skip;
    bool needCount = false, gpxByHeld = false;
    std::int64_t total = 0;
    for (int i = 0; i < input.Layers(); ++i) {
        const TalporGdalLayerInfo info = input.Layer(i);
        total = info.features < 0 || total < 0 ? -1 : total + info.features;
        Plan plan;
        // A table of attributes alone (a GeoPackage's) has nothing to convert: left out,
        // and said, rather than the file refused.
        if (std::string_view(info.geometry) == "None") {
            skip[static_cast<std::size_t>(i)] = 1;
            plan.skipped = true;
            job.layerNames.push_back(info.name);
            job.folders.emplace_back(info.folder);
            job.plans.push_back(plan);
            continue;
        }
        plan = SourcePlan(info, inFormat, settings);
        const std::string name = info.name;
        job.layerNames.push_back(name);
        job.folders.emplace_back(info.folder);
        const bool toEd50 = plan.direction == core::Direction::WGS84ToED50;
        if (outFormat != nullptr && outFormat->wgs84 && toEd50)
            throw RunError(std::string(outFormat->title) + " solo guarda WGS84, y la capa «" + name +
                           "» se convierte a ED50: elija GeoPackage o una tabla CSV, que guardan ED50 con todo "
                           "lo que tenga la capa");
        if (outFormat != nullptr && outFormat->name == "gpx" && GpxType(info.geometry, 0) == 0) {
            // A layer of no one geometry type is judged by what it holds, from a first reading.
            const std::string_view declared = std::string_view(info.geometry).substr(
                std::string_view(info.geometry).starts_with("3D ") ? 3 : 0);
            if (declared != "Unknown (any)" && declared != "Geometry")
                throw RunError("GPX solo tiene waypoints, rutas y tracks (puntos, líneas y multilíneas), y la capa «" +
                               name + "» es de " + GeometryText(info.geometry) + ": elija KML, KMZ o GeoJSON");
            gpxByHeld = true;
        }
        plan.to = TargetSystem(plan.from, SystemOfEpsg(info.epsg).datum != System::Datum::None, plan.direction,
                               settings, outFormat);
        if (plan.to.zone == -1) needCount = true;
        plan.toEpsg = EpsgOf(plan.to.datum, std::max(plan.to.zone, 0));
        plan.unchanged = plan.sameDatum && plan.from.zone == plan.to.zone && !plan.zFromEllipsoid;
        plan.clampedByDefault = inFormat != nullptr && inFormat->driver == "LIBKML";
        for (int f = 0; f < info.fields; ++f)
            if (input.Field(i, f) == "altitudeMode") plan.altitudeModeField = f;
        job.plans.push_back(plan);
    }
    job.growth.total = total > 0 ? static_cast<std::uint64_t>(total) : 0;
    if (input.Layers() == 0) throw RunError("no se puede leer como capa: GDAL no encuentra en ella ninguna capa");
    const auto converted = static_cast<int>(std::count(skip.begin(), skip.end(), 0));
    if (converted == 0)
        throw RunError("no hay nada que convertir: " +
                       std::string(input.Layers() == 1 ? "su capa es una tabla" : "sus capas son tablas") +
                       " sin geometría");
    if (outFormat != nullptr && outFormat->oneLayer && converted > 1)
        throw RunError(std::string(outFormat->title) + " guarda una sola capa, y la entrada tiene " +
                       std::to_string(converted) + ": elija GeoPackage, KML o KMZ, o una tabla CSV");
    // A shapefile of a layer of no one type gets its type from the geometries the layer holds.
    const bool shapefile = outFormat != nullptr && outFormat->name == "shp";
    bool shapefileByHeld = false;
    for (int i = 0; shapefile && i < input.Layers(); ++i)
        shapefileByHeld = shapefileByHeld || (skip[static_cast<std::size_t>(i)] == 0 && Generic(input.Layer(i).geometry));
    if (settings.conversion.method == Method::Grid && settings.layers.zEllipsoidal)
        throw RunError("la rejilla del IGN no transforma la altura sobre el elipsoide: quite --z-elipsoidal, o elija "
                       "Helmert o Molodensky");
    if (needCount || gpxByHeld || shapefileByHeld) {
        counts = CountVertices(input, counts.size(), limits, job.growth, {});
        for (std::size_t i = 0; i < job.plans.size(); ++i) {
            Plan& plan = job.plans[i];
            if (plan.skipped) continue;
            if (shapefileByHeld && Generic(input.Layer(static_cast<int>(i)).geometry)) {
                const int type = ShapefileType(counts[i].types);
                if (type == 0)
                    throw RunError("la capa «" + job.layerNames[i] + "» tiene geometrías de varias clases (puntos, líneas o "
                                   "áreas), y un shapefile guarda una sola: elija GeoPackage, KML, GeoJSON o DXF");
                if (type > 0) geometryTypes[i] = type + (counts[i].threeD ? 1000 : 0);
            }
            if (gpxByHeld && GpxType(input.Layer(static_cast<int>(i)).geometry, 0) == 0) {
                geometryTypes[i] = GpxType(input.Layer(static_cast<int>(i)).geometry, counts[i].types);
                if (geometryTypes[i] == 0)
                    throw RunError("GPX solo tiene waypoints, rutas y tracks (puntos, líneas y multilíneas), y la capa «" +
                                   job.layerNames[i] + "» tiene geometrías de otros tipos o de varios: elija KML, KMZ o "
                                   "GeoJSON");
                if (counts[i].threeD) geometryTypes[i] += 1000;  // ISO's code of the type with Z
            }
            if (plan.to.zone != -1) continue;
            plan.to.zone = MostZone(counts[i]);
            plan.toEpsg = EpsgOf(plan.to.datum, plan.to.zone);
        }
    }
    return layout;
}

// Each layer's report, before it is written: its systems, and its attributes as the
// output names them (returned) or, for DXF, the ones it cannot keep.
std::vector<std::vector<std::string>> ReportLayers(const Input& input, const LayerFormat* outFormat, Job& job) {
    std::vector<std::vector<std::string>> fieldNames;
    for (std::size_t i = 0; i < job.plans.size(); ++i) {
        const Plan& plan = job.plans[i];
        const int layer = static_cast<int>(i);
        LayerReport r;
        r.name = job.layerNames[i];
        r.skipped = plan.skipped;
        r.from = SystemText(plan.from.datum, plan.from.zone,
                            plan.fromEpsg > 0 ? plan.fromEpsg : EpsgOf(plan.from.datum, plan.from.zone));
        r.to = SystemText(plan.to.datum, plan.to.zone, plan.toEpsg);
        r.zone = plan.to.zone;
        r.unchanged = plan.unchanged;
        if (job.settings->target && !plan.skipped) r.way = plan.sameDatum ? "solo la proyección" : std::string(MethodWord(job.settings->conversion.method));
        if (!plan.systemTaken.empty()) r.changes.push_back(plan.systemTaken);
        std::vector<std::string> names;
        for (int f = 0; f < input.Layer(layer).fields; ++f) names.push_back(input.Field(layer, f));
        if (outFormat != nullptr && outFormat->driver == "DXF") {
            // The attributes of GDAL's DXF entities, which it keeps by name.
            static const std::set<std::string> kCadFields = {"Layer",      "PaperSpace", "SubClasses",
                                                             "Linetype",   "EntityHandle", "Text"};
            r.cad = true;
            for (const std::string& name : names)
                if (!kCadFields.contains(name)) r.notKept.push_back(name);
        }
        fieldNames.push_back(FieldNames(names, outFormat != nullptr && outFormat->caseBlind, r.renamed));
        job.reports.push_back(std::move(r));
    }
    return fieldNames;
}

// Writes the layers as tables of vertices: one for the layers converted as the first is
// (direction, degrees or UTM), under a header true of all their rows, and one for each
// layer converted otherwise, named after the output and the layer.
void WriteTables(const Input& input, const EngineOutput& output, const Settings& settings, const std::vector<int>& skip,
                 Job& job, TalporGdalJob& run) {
    job.tables = true;
    job.tableOf.assign(job.plans.size(), 0);
    const bool kmlFolders = std::any_of(job.folders.begin(), job.folders.end(), [](const std::string& f) { return !f.empty(); });
    const auto first = std::find_if(job.plans.begin(), job.plans.end(), [](const Plan& p) { return !p.skipped; });
    const auto kind = [](const Plan& p) { return std::pair(p.direction, p.from.zone == 0); };
    job.table.emplace_back().fd = output.fd;
    std::vector<std::size_t> headOf = {static_cast<std::size_t>(first - job.plans.begin())};
    std::set<std::string> names;
    for (std::size_t i = 0; i < job.plans.size(); ++i) {
        if (job.plans[i].skipped || kind(job.plans[i]) == kind(*first)) continue;
        if (output.extraTables.empty())
            throw RunError("la capa «" + job.layerNames[i] + "» se convierte de otro sistema que «" +
                           job.layerNames[headOf[0]] + "» y va a una tabla aparte, que la salida estándar no "
                           "puede llevar: dé un fichero de destino");
        const std::string name = ExtraTableName(output.extraTables, job.layerNames[i], names);
        Table& extra = job.table.emplace_back();
        extra.fd = ::open((name + output.extension).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (extra.fd < 0) throw RunError("no se puede escribir la salida: " + SystemErrorText(errno));
        job.tableOf[i] = job.table.size() - 1;
        headOf.push_back(i);
    }
    struct Closer {
        std::vector<Table>& tables;
        ~Closer() {
            for (std::size_t t = 1; t < tables.size(); ++t) ::close(tables[t].fd);
        }
    } closer{job.table};
    for (int i = 0; i < input.Layers(); ++i) {
        if (skip[static_cast<std::size_t>(i)] != 0) continue;
        Table& t = job.table[job.tableOf[static_cast<std::size_t>(i)]];
        std::map<std::string, int> index;
        for (std::size_t c = 0; c < t.fields.size(); ++c) index.emplace(t.fields[c], static_cast<int>(c));
        std::vector<int>& column = t.column[i];
        for (int f = 0; f < input.Layer(i).fields; ++f) {
            const std::string name = input.Field(i, f);
            auto [at, added] = index.emplace(name, static_cast<int>(t.fields.size()));
            if (added) t.fields.push_back(name);
            column.push_back(at->second);
        }
        // A KML's folders, "Sierra/Picos", in a column of their own (unless the layer has
        // an attribute of that name).
        if (kmlFolders) {
            auto [at, added] = index.emplace("Carpeta", static_cast<int>(t.fields.size()));
            if (added) t.fields.emplace_back("Carpeta");
            if (std::find(column.begin(), column.end(), at->second) == column.end()) t.folderColumn[i] = at->second;
        }
    }
    for (std::size_t t = 0; t < job.table.size(); ++t) {
        const Plan& plan = job.plans[headOf[t]];
        std::string& head = job.table[t].buffer;
        head = "Capa;Entidad;Parte;Anillo;Vértice";
        for (const std::string& name : job.table[t].fields) {
            head += ';';
            AppendField(head, name, ';');
        }
        head += plan.from.zone == 0 ? ";Latitud;Longitud;Altitud" : ";Este;Norte;Altitud";
        const char* datum = plan.to.datum == System::Datum::ETRS89 ? " ETRS89" : "";
        for (const std::string& name : ResultNames(settings.outputs, plan.direction, datum)) {
            head += ';';
            AppendField(head, name, ';');
        }
        head += '\n';
    }
    input.Run(run, job.thrown);
    for (Table& t : job.table) Flush(t, true);
}

// Writes the layers as layers of `output`'s format, through GDAL.
void WriteLayers(const Input& input, const EngineOutput& output, const Settings& settings,
                 const std::vector<std::vector<std::string>>& fieldNames, std::vector<int>& geometryTypes, Job& job,
                 TalporGdalJob& run) {
    const LayerFormat* outFormat = output.format;
    std::vector<int> epsg, sourceEpsg;
    for (const Plan& p : job.plans) {
        epsg.push_back(p.toEpsg);
        sourceEpsg.push_back(p.fromEpsg > 0 ? p.fromEpsg : EpsgOf(p.from.datum, std::max(p.from.zone, 0)));
    }
    const std::string driver(outFormat->driver);
    std::vector<const char*> datasetOptions, layerOptions;
    job.geoJson = outFormat->name == "geojson";
    job.cad = outFormat->name == "dxf";
    // The layer is written in degrees already, and within Spain: GDAL reprojects nothing,
    // so its dateline heuristics would only warn, on every feature, that they do nothing.
    if (job.geoJson) layerOptions = {"RFC7946=YES", "COORDINATE_PRECISION=9", "WRITE_NAME=NO", "WRAPDATELINE=NO"};
    // A shapefile's texts in UTF-8, said so by its .cpg: nothing becomes "?".
    if (outFormat->name == "shp") layerOptions = {"ENCODING=UTF-8"};
    // The attributes GPX has no element for go in its extensions: nothing is lost.
    if (outFormat->name == "gpx") datasetOptions = {"GPX_USE_EXTENSIONS=YES"};
    if (outFormat->name == "gml") datasetOptions = {"FORMAT=GML3.2"};
    // SQLite's names as they are, not laundered to lower case.
    if (outFormat->name == "sqlite") {
        datasetOptions = {"SPATIALITE=YES"};
        layerOptions = {"LAUNDER=NO"};
    }
    // FlatGeobuf's spatial index would sort the features along a curve: kept in their order.
    if (outFormat->name == "fgb") layerOptions = {"SPATIAL_INDEX=NO"};
    // The geometry as QGIS writes it, and the attributes' types in a .csvt beside it.
    if (outFormat->name == "csvwkt") layerOptions = {"GEOMETRY=AS_WKT", "CREATE_CSVT=YES"};
    datasetOptions.push_back(nullptr);
    layerOptions.push_back(nullptr);
    std::vector<std::vector<const char*>> names(fieldNames.size());
    std::vector<const char* const*> namesOfLayers;
    for (std::size_t i = 0; i < fieldNames.size(); ++i) {
        for (const std::string& n : fieldNames[i]) names[i].push_back(n.c_str());
        namesOfLayers.push_back(names[i].data());
    }
    run.output = output.path.c_str();
    run.driver = driver.c_str();
    run.datasetOptions = datasetOptions.data();
    run.layerOptions = layerOptions.data();
    run.epsg = epsg.data();
    run.sourceEpsg = sourceEpsg.data();
    run.fieldNames = namesOfLayers.data();
    run.geometryTypes = geometryTypes.data();
    // A Z that is an altitude is KML's absolute altitude; without the mode, a globe
    // viewer would lay the feature on the ground.
    run.altitudeMode = settings.layers.zEllipsoidal ? nullptr : "absolute";
    input.Run(run, job.thrown);
}

}  // namespace

LayerSummary RunLayers(const std::string& inputPath, const EngineOutput& output, const Settings& settings,
                       const LayerLimits& limits, const LayerProgress& progress) {
    const std::unique_ptr<Input> opened = OpenInput(inputPath, limits);
    const Input& input = *opened;
    const bool table = output.table;
    const LayerFormat* outFormat = output.format;
    LayerSummary summary;
    summary.output = table ? "tabla" : std::string(outFormat->title);
    Job job;
    job.settings = &settings;
    job.summary = &summary;
    job.progress = &progress;
    job.decimalSign = settings.decimalSign == 0 ? ',' : settings.decimalSign;
    job.growth = Growth(limits, GrowthBytes(inputPath, input, limits));
    OutputPlan layout = PlanLayers(input, LayerFormatOfInput(inputPath), output, settings, limits, job);
    const std::vector<std::vector<std::string>> fieldNames = ReportLayers(input, outFormat, job);
    job.typeChanges.resize(job.reports.size());
    // The fast grid's sampling (some 15 ms) pays from about 65,000 vertices on, a layer of
    // a few megabytes: a smaller one takes PROJ.
    constexpr std::int64_t kFastGridBytes = std::int64_t{2} << 20;
    if (!table && settings.conversion.method == Method::Grid && settings.conversion.grids != nullptr &&
        input.Bytes() >= kFastGridBytes)
        job.fastGrid = FastGrid(*settings.conversion.grids);

    // A second thread, with grids of its own (core::Grids is not for concurrent use).
    std::unique_ptr<core::Grids> otherGrids;
    if (core::Grids* grids = settings.conversion.grids; grids != nullptr && std::thread::hardware_concurrency() > 1) {
        otherGrids = std::make_unique<core::Grids>(grids->DataFolder(), grids->UserFolder());
        if (table) otherGrids->SharePlaces(*grids);
    }
    Run running{job, Converter(job, otherGrids.get()), {}};
    TalporGdalJob run{};
    run.context = &running;
    run.start = StartCallback;
    run.finish = FinishCallback;
    run.problem = ProblemCallback;
    run.changed = ChangedCallback;
    run.maxFeatureVertices = limits.featureVertices;
    run.skip = layout.skip.data();
    // GPX holds its waypoints before its routes and its tracks: layers in that order.
    std::vector<int> order(job.plans.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    if (outFormat != nullptr && outFormat->name == "gpx") {
        const auto kind = [&](int i) {
            const int t = layout.geometryTypes[static_cast<std::size_t>(i)] % 1000;
            return t != 0 ? t : GpxType(input.Layer(i).geometry, 0);
        };
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return kind(a) < kind(b); });
        run.order = order.data();
    }
    if (table) WriteTables(input, output, settings, layout.skip, job, run);
    else WriteLayers(input, output, settings, fieldNames, layout.geometryTypes, job, run);
    for (std::size_t l = 0; l < job.reports.size(); ++l)
        for (const Job::TypeChange& t : job.typeChanges[l])
            if (t.values > 0)
                job.reports[l].changes.push_back(t.text + " (" + Count(static_cast<std::uint64_t>(t.values), "valor", "valores") + ")");
    summary.layers = std::move(job.reports);
    return summary;
}

const TalporGdalFunctions& GdalModule() { return Gdal(); }

}  // namespace batch
