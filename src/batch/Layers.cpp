#include "batch/Layers.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

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

#include "batch/Decimal.h"
#include "batch/GdalModule.h"
#include "batch/OutputFile.h"
#include "batch/SystemError.h"
#include "geo/Utm.h"

namespace batch {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

// The module, loaded once; its functions, or why there are none.
struct Module {
    const TalporGdalFunctions* functions = nullptr;
    std::string problem;
};

// The module lies at the same place relative to the program's own file in the build tree
// and once installed, beside the PROJ module.
Module Load() {
    Module m;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    const std::string path = (self.parent_path() / TALPOR_GDAL_MODULE_FROM_BIN).lexically_normal().string();
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

// The drivers a layer of each extension is read with: KML through libkml, which reads
// altitudeMode, ExtendedData and folders.
const char* const* DriversFor(const std::string& path) {
    static const char* const kKml[] = {"LIBKML", nullptr};
    const LayerFormat* f = LayerFormatOfPath(path);
    return f != nullptr && f->driver == "LIBKML" ? kKml : nullptr;
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
    // Runs `job`; a feature callback's exception comes out here.
    void Run(TalporGdalJob& job, std::exception_ptr& thrown) const {
        char error[512] = "";
        const int done = gdal_.run(data_, &job, error, sizeof error);
        if (thrown) std::rethrow_exception(thrown);
        if (done == 0) throw RunError(std::string("GDAL: ") + error);
    }

  private:
    const TalporGdalFunctions& gdal_;
    TalporGdalData* data_ = nullptr;
};

// A layer's coordinate system as Talpor knows it.
struct System {
    enum class Datum { None, ED50, ETRS89, WGS84, Other } datum = Datum::None;
    int zone = 0;  // UTM zone; 0 for degrees
};

System SystemOfEpsg(int epsg) {
    if (epsg == 4230) return {System::Datum::ED50, 0};
    if (epsg == 4258) return {System::Datum::ETRS89, 0};
    if (epsg == 4326) return {System::Datum::WGS84, 0};
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

// What is done to one layer.
struct Plan {
    System from, to;
    int toEpsg = 0;
    core::Direction direction = core::Direction::WGS84ToED50;
    bool clampedByDefault = false;  // KML: a geometry without altitudeMode lies on the ground
    int altitudeModeField = -1;     // libkml's altitudeMode attribute
};

// The zone a layer in degrees is projected in: the one given, else the zone holding most
// of its vertices (counted by a first reading).
struct ZoneCount {
    std::array<std::int64_t, 61> vertices{};
    std::int64_t all = 0;
};

// Table output: the columns of every layer's rows, one header for all.
struct Table {
    std::vector<std::string> fields;  // the attributes of all layers, by name, in order met
    std::vector<std::vector<int>> column;  // [layer][field] -> index in fields
};

constexpr const char* kAltitudeModes[] = {"clampToGround", "clampToSeaFloor", "relativeToGround", "absolute"};

// A feature's vertices as points, and their results.
struct Converted {
    std::vector<RowPoint> points;
    std::vector<RowResult> results;
};

struct Job {
    const Settings* settings = nullptr;
    std::vector<Plan> plans;
    std::vector<LayerReport> reports;
    LayerSummary* summary = nullptr;
    // Table output (fd >= 0): the rows as they are written.
    int fd = -1;
    const Table* table = nullptr;
    std::string buffer;
    char decimalSign = ',';
    const LayerProgress* progress = nullptr;
    bool geoJson = false;  // the output is GeoJSON
    std::uint64_t features = 0;
    std::exception_ptr thrown;
    std::vector<std::string> layerNames;
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

void Flush(Job& job, bool all) {
    if (job.fd < 0 || (!all && job.buffer.size() < (1u << 16))) return;
    std::size_t done = 0;
    while (done < job.buffer.size()) {
        const ssize_t n = ::write(job.fd, job.buffer.data() + done, job.buffer.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw RunError("no se puede escribir la salida: " + SystemErrorText(errno));
        done += static_cast<std::size_t>(n);
    }
    job.buffer.clear();
}

void AppendNumber(std::string& out, double x, int decimals, char sign) { AppendRounded(out, x, decimals, sign); }

// One row a vertex: layer, feature, part, ring, vertex, the attributes, the vertex as
// read, the results and the Error column.
void WriteRows(Job& job, const TalporGdalFeature& f, const Plan& plan, const Converted& v) {
    const Settings& s = *job.settings;
    std::vector<std::string> texts;
    for (long long k = 0; k < f.count; ++k) {
        std::string& out = job.buffer;
        AppendField(out, job.layerNames[f.layer], ';');
        out += ';' + std::to_string(f.fid) + ';' + std::to_string(f.part[k]) + ';' + std::to_string(f.ring[k]) + ';' +
               std::to_string(f.vertex[k]);
        std::vector<std::string> cells(job.table->fields.size());
        for (int i = 0; i < f.fields; ++i) cells[job.table->column[f.layer][i]] = f.values[i];
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
        if (v.points[k].hasHeight) AppendNumber(out, f.z[k], 1, job.decimalSign);
        texts.clear();
        if (r.error.empty()) AppendResultTexts(r, s.outputs, job.decimalSign, texts);
        else texts.assign(ResultCount(s.outputs), std::string());
        for (const std::string& t : texts) {
            out += ';';
            AppendField(out, t, ';');
        }
        out += ';';
        std::string error = r.error.empty() ? r.note : r.error;
        if (r.error.empty() && f.hasZ && !v.points[k].hasHeight) {
            const std::string why = "sin altura (" + std::string(plan.clampedByDefault ? "pegado al suelo" : "sin Z") + ")";
            error = error.empty() ? why : why + ". " + error;
        }
        AppendField(out, error, ';');
        out += '\n';
        Flush(job, false);
    }
}

// The altitudeMode of a feature: its attribute, else the format's default.
std::string_view AltitudeMode(const TalporGdalFeature& f, const Plan& plan) {
    if (plan.altitudeModeField >= 0 && f.isSet[plan.altitudeModeField]) return f.values[plan.altitudeModeField];
    return plan.clampedByDefault ? "clampToGround" : "absolute";
}

// The conversion of a feature's vertices, which the threads share out: nothing of the
// job is changed.
Conversion ConversionOf(const Job& job, const Plan& plan, core::Grids* grids) {
    const Settings& s = *job.settings;
    Conversion c = s.conversion;
    c.direction = plan.direction;
    c.heightIsAltitude = !s.layers.zEllipsoidal;
    c.altitude = s.outputs.altitude;
    c.places = job.fd >= 0;
    c.grids = grids;
    return c;
}

bool WithoutHeight(std::string_view mode) {
    return mode == "clampToGround" || mode == "clampToSeaFloor" || mode == "relativeToGround";
}

void ConvertFeature(const Job& job, const TalporGdalFeature& f, core::Grids* grids, Converted& v) {
    const Plan& plan = job.plans[f.layer];
    const bool noHeight = WithoutHeight(AltitudeMode(f, plan));
    const auto n = static_cast<std::size_t>(f.count);
    v.points.assign(n, RowPoint{});
    for (std::size_t k = 0; k < n; ++k) {
        RowPoint& p = v.points[k];
        p.hasHeight = f.hasZ != 0 && !noHeight;
        if (plan.from.zone == 0) {
            if (!(std::abs(f.y[k]) <= 90 && std::abs(f.x[k]) <= 180)) {
                p.error = "no son grados (" + std::to_string(f.x[k]) + ", " + std::to_string(f.y[k]) +
                          "): indique el huso de sus coordenadas UTM";
                continue;
            }
            p.kind = RowPoint::Kind::Geographic;
            p.geographic = {f.y[k], f.x[k], p.hasHeight ? f.z[k] : 0};
        } else {
            p.kind = RowPoint::Kind::Utm;
            p.utm = {f.x[k], f.y[k], static_cast<std::int16_t>(plan.from.zone), p.hasHeight ? f.z[k] : 0};
        }
    }
    ConvertPoints(v.points, ConversionOf(job, plan, grids), v.results);
    // One zone a layer: the points of another zone projected in the layer's.
    if (plan.to.zone <= 0) return;
    const geo::Ellipsoid& ell = core::TargetEllipsoid(plan.direction);
    for (RowResult& row : v.results) {
        core::Result& r = row.result;
        if (row.error.empty() && r.utm->zone != plan.to.zone)
            r.utm = geo::GeoToUTMInZone(r.point->lat, r.point->lon, static_cast<std::int16_t>(plan.to.zone), ell);
    }
}

// What is done with a converted feature, in the file's order: the summary, the rows, or
// the vertices given back.
int Feature(Job& job, TalporGdalFeature& f, Converted& v) {
    const Settings& s = *job.settings;
    const Plan& plan = job.plans[f.layer];
    LayerReport& report = job.reports[f.layer];
    const Conversion c = ConversionOf(job, plan, s.conversion.grids);
    const std::string_view mode = AltitudeMode(f, plan);
    const bool geoJson = job.geoJson;
    const bool noHeight = WithoutHeight(mode);
    const auto n = static_cast<std::size_t>(f.count);
    if (noHeight && f.hasZ) report.withoutHeight += f.count;
    if (mode == "relativeToGround" && f.hasZ && n > 0)
        Note(job, static_cast<std::uint64_t>(f.fid),
             "la entidad " + std::to_string(f.fid) + " de la capa «" + job.layerNames[f.layer] +
                 "» tiene altitudeMode relativeToGround: su Z es una altura sobre el terreno, no una altitud, y se "
                 "convierte sin altura");
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
        if (!r.note.empty() && (job.fd >= 0 || r.note.find("geoide") != std::string::npos))
            Note(job, static_cast<std::uint64_t>(f.fid), WhereText(job, f, static_cast<long long>(k)) + ": " + r.note);
    }
    if (plan.to.zone > 0) {
        const double west = 6.0 * plan.to.zone - 186, east = west + 6;
        for (std::size_t k = 0; k < n; ++k) {
            const core::Result& r = v.results[k].result;
            if (r.point->lon < west || r.point->lon > east) ++report.outsideBand;
        }
    }
    report.features += 1;
    report.vertices += f.count;
    if (job.fd >= 0) {
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
    run.converter.Start(run.batches[batch], features, count);
    return 0;
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
        if (job.progress != nullptr && *job.progress) (*job.progress)(job.features);
        return 0;
    } catch (...) {
        if (!job.thrown) job.thrown = std::current_exception();
        return 1;
    }
}

// Counts each layer's vertices by zone, for layers in degrees whose zone is not given.
extern "C" int CountCallback(void* context, int, TalporGdalFeature* features, int count) {
    auto& counts = *static_cast<std::vector<ZoneCount>*>(context);
    for (int i = 0; i < count; ++i) {
        const TalporGdalFeature& f = features[i];
        counts[f.layer].all += f.count;
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

// Whether GDAL writes a layer of this geometry type (OGR's name) to GPX: points as
// waypoints, lines as routes, multi-lines as tracks.
bool GpxKeeps(std::string_view geometry) {
    if (geometry.starts_with("3D ")) geometry.remove_prefix(3);
    return geometry == "Point" || geometry == "Line String" || geometry == "Multi Line String";
}

// Each layer's vertices, in all and by zone, from a reading of the whole file.
std::vector<ZoneCount> CountVertices(const Input& input, std::size_t layers) {
    std::vector<ZoneCount> counts(layers);
    TalporGdalJob count{};
    count.context = &counts;
    count.start = CountCallback;
    count.finish = CountedCallback;
    std::exception_ptr none;
    input.Run(count, none);
    return counts;
}

const LayerFormat& FormatOfDriver(std::string_view driver, const std::string& path) {
    if (const LayerFormat* f = LayerFormatOfPath(path)) return *f;
    for (const LayerFormat& f : kLayerFormats)
        if (f.driver == driver) return f;
    return kLayerFormats[0];
}

bool IsTableOutput(const std::string& output, const Settings& settings) {
    if (!settings.layers.format.empty()) return LayerFormatNamed(settings.layers.format) == nullptr;
    if (output == "-") return true;
    const std::string lower = Lower(output);
    return lower.ends_with(".csv") || lower.ends_with(".txt") || lower.ends_with(".tsv");
}

}  // namespace

const LayerFormat* LayerFormatOfPath(std::string_view path) {
    const std::string lower = Lower(path);
    if (lower.ends_with(".json")) return LayerFormatNamed("geojson");
    for (const LayerFormat& f : kLayerFormats)
        if (lower.ends_with(f.extension)) return &f;
    return nullptr;
}

const LayerFormat* LayerFormatNamed(std::string_view name) {
    for (const LayerFormat& f : kLayerFormats)
        if (f.name == name) return &f;
    return nullptr;
}

std::vector<LayerInfo> LayersOf(const std::string& path) {
    Input input(path);
    std::vector<LayerInfo> layers;
    for (int i = 0; i < input.Layers(); ++i) {
        const TalporGdalLayerInfo info = input.Layer(i);
        LayerInfo l{info.name, GeometryText(info.geometry), info.system, info.features};
        const System s = SystemOfEpsg(info.epsg);
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
    if (features < 0 || features > kCountedFeatures) return layers;
    const std::vector<ZoneCount> counts = CountVertices(input, layers.size());
    for (std::size_t i = 0; i < layers.size(); ++i) layers[i].vertices = counts[i].all;
    return layers;
}

LayerSummary ConvertLayers(const std::string& inputPath, const std::string& output, const Settings& settings,
                           const LayerProgress& progress) {
    Input input(inputPath);
    const bool table = IsTableOutput(output, settings);
    const LayerFormat* inFormat = LayerFormatOfPath(inputPath);
    const LayerFormat* outFormat = nullptr;
    if (!table) {
        outFormat = !settings.layers.format.empty() ? LayerFormatNamed(settings.layers.format) : LayerFormatOfPath(output);
        if (outFormat == nullptr) outFormat = inFormat;
        if (outFormat == nullptr) outFormat = &FormatOfDriver("", inputPath);
    }
    LayerSummary summary;
    summary.output = table ? "tabla" : std::string(outFormat->title);
    Job job;
    job.settings = &settings;
    job.summary = &summary;
    job.progress = &progress;
    job.decimalSign = settings.decimalSign == 0 ? ',' : settings.decimalSign;
    std::vector<ZoneCount> counts(static_cast<std::size_t>(std::max(input.Layers(), 0)));
    bool needCount = false;
    for (int i = 0; i < input.Layers(); ++i) {
        const TalporGdalLayerInfo info = input.Layer(i);
        Plan plan;
        plan.from = SystemOfEpsg(info.epsg);
        const std::string name = info.name;
        job.layerNames.push_back(name);
        if (plan.from.datum == System::Datum::Other)
            throw RunError("la capa «" + name + "» está en «" + info.system + "»" +
                           (info.epsg > 0 ? " (EPSG:" + std::to_string(info.epsg) + ")" : std::string()) +
                           ", que Talpor no convierte: lee ED50 (EPSG 4230 y 23029 a 23031) y ETRS89 o WGS84 "
                           "(4258, 25829 a 25831, 4326 y 32629 a 32631)");
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
        const bool toEd50 = plan.direction == core::Direction::WGS84ToED50;
        if (outFormat != nullptr && outFormat->name == "gpx" && !GpxKeeps(info.geometry))
            throw RunError("GPX solo tiene waypoints, rutas y tracks (puntos, líneas y multilíneas), y la capa «" +
                           name + "» es de " + GeometryText(info.geometry) + ": elija KML, KMZ o GeoJSON");
        if (outFormat != nullptr && outFormat->wgs84 && toEd50)
            throw RunError(std::string(outFormat->title) + " es WGS84 y la capa «" + name +
                           "» se convierte a ED50: elija Shapefile, GeoPackage, DXF o una tabla CSV");
        plan.to.datum = toEd50 ? System::Datum::ED50
                        : (settings.layers.wgs84Label || (outFormat != nullptr && outFormat->wgs84)) ? System::Datum::WGS84
                                                                                                    : System::Datum::ETRS89;
        // One zone a layer: the input's, or the one given; for a layer in degrees
        // written as a table, the zone of most of its vertices.
        const bool degreesOut = outFormat != nullptr && outFormat->wgs84;
        if (!degreesOut) {
            const bool hasSystem = SystemOfEpsg(info.epsg).datum != System::Datum::None;
            if (hasSystem && settings.conversion.zone != 0) plan.to.zone = settings.conversion.zone;
            else if (plan.from.zone != 0) plan.to.zone = plan.from.zone;
            else if (table) needCount = true, plan.to.zone = -1;
        }
        plan.toEpsg = EpsgOf(plan.to.datum, std::max(plan.to.zone, 0));
        plan.clampedByDefault = inFormat != nullptr && inFormat->driver == "LIBKML";
        for (int f = 0; f < info.fields; ++f)
            if (input.Field(i, f) == "altitudeMode") plan.altitudeModeField = f;
        job.plans.push_back(plan);
    }
    if (settings.conversion.method == Method::Grid && settings.layers.zEllipsoidal)
        throw RunError("la rejilla del IGN no transforma la altura sobre el elipsoide: quite --z-elipsoidal, o elija "
                       "Helmert o Molodensky");
    if (needCount) {
        counts = CountVertices(input, counts.size());
        for (std::size_t i = 0; i < job.plans.size(); ++i) {
            Plan& plan = job.plans[i];
            if (plan.to.zone != -1) continue;
            const auto& v = counts[i].vertices;
            plan.to.zone = static_cast<int>(std::max_element(v.begin() + 29, v.begin() + 32) - v.begin());
            plan.toEpsg = EpsgOf(plan.to.datum, plan.to.zone);
        }
    }
    for (std::size_t i = 0; i < job.plans.size(); ++i) {
        const Plan& plan = job.plans[i];
        LayerReport r;
        r.name = job.layerNames[i];
        r.from = SystemText(plan.from.datum, plan.from.zone, EpsgOf(plan.from.datum, plan.from.zone));
        r.to = SystemText(plan.to.datum, plan.to.zone, plan.toEpsg);
        r.zone = plan.to.zone;
        if (outFormat != nullptr && outFormat->driver == "DXF") {
            // The attributes of GDAL's DXF entities, which it keeps by name.
            static const std::set<std::string> kCadFields = {"Layer",      "PaperSpace", "SubClasses",
                                                             "Linetype",   "EntityHandle", "Text"};
            r.cad = true;
            for (int f = 0; f < input.Layer(static_cast<int>(i)).fields; ++f)
                if (!kCadFields.contains(input.Field(static_cast<int>(i), f)))
                    r.notKept.push_back(input.Field(static_cast<int>(i), f));
        }
        job.reports.push_back(std::move(r));
    }

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
    if (table) {
        Table t;
        std::map<std::string, int> index;
        t.column.resize(job.plans.size());
        for (int i = 0; i < input.Layers(); ++i) {
            for (int f = 0; f < input.Layer(i).fields; ++f) {
                const std::string name = input.Field(i, f);
                auto [at, added] = index.emplace(name, static_cast<int>(t.fields.size()));
                if (added) t.fields.push_back(name);
                t.column[i].push_back(at->second);
            }
        }
        job.table = &t;
        OutputFile out(output, std::nullopt);
        job.fd = out.Fd();
        const bool degrees = !job.plans.empty() && job.plans[0].from.zone == 0;
        std::string& head = job.buffer;
        head = "Capa;Entidad;Parte;Anillo;Vértice";
        for (const std::string& name : t.fields) {
            head += ';';
            AppendField(head, name, ';');
        }
        head += degrees ? ";Latitud;Longitud;Altitud" : ";Este;Norte;Altitud";
        const core::Direction direction = job.plans.empty() ? settings.conversion.direction : job.plans[0].direction;
        for (const std::string& name : ResultNames(settings.outputs, direction)) {
            head += ';';
            AppendField(head, name, ';');
        }
        head += '\n';
        input.Run(run, job.thrown);
        Flush(job, true);
        out.Commit();
    } else {
        OutputFolder out(output);
        std::vector<int> epsg;
        for (const Plan& p : job.plans) epsg.push_back(p.toEpsg);
        const std::string driver(outFormat->driver);
        std::vector<const char*> datasetOptions, layerOptions;
        job.geoJson = outFormat->name == "geojson";
        if (job.geoJson) layerOptions = {"RFC7946=YES", "COORDINATE_PRECISION=9", "WRITE_NAME=NO"};
        // The attributes GPX has no element for go in its extensions: nothing is lost.
        if (outFormat->name == "gpx") datasetOptions = {"GPX_USE_EXTENSIONS=YES"};
        datasetOptions.push_back(nullptr);
        layerOptions.push_back(nullptr);
        run.output = out.Path().c_str();
        run.driver = driver.c_str();
        run.datasetOptions = datasetOptions.data();
        run.layerOptions = layerOptions.data();
        run.epsg = epsg.data();
        // A Z that is an altitude is KML's absolute altitude; without the mode, a globe
        // viewer would lay the feature on the ground.
        run.altitudeMode = settings.layers.zEllipsoidal ? nullptr : "absolute";
        input.Run(run, job.thrown);
        out.Commit();
    }
    summary.layers = std::move(job.reports);
    return summary;
}

std::string CadText(const LayerReport& r) {
    std::string text = "en la capa DXF «" + r.name + "», sin el sistema";
    for (std::size_t i = 0; i < r.notKept.size(); ++i)
        text += (i == 0 ? " ni los atributos, que DXF no guarda: «" : i + 1 == r.notKept.size() ? " y «" : ", «") +
                r.notKept[i] + "»";
    return r.notKept.empty() ? text + ", que DXF no guarda" : text;
}

std::string LayerSummaryText(const LayerSummary& summary, std::string_view inputName) {
    std::string text;
    for (const RowError& note : summary.notes) text += std::string(inputName) + ": aviso: " + note.message + "\n";
    if (summary.noted > summary.notes.size())
        text += "... y " + std::to_string(summary.noted - summary.notes.size()) + " avisos más\n";
    for (const LayerReport& r : summary.layers) {
        text += "talpor-lote: " + std::string(inputName) + ": capa «" + r.name + "»: " + Count(r.features, "entidad", "entidades") +
                ", " + Count(r.vertices, "vértice convertido", "vértices convertidos") + "; " + r.from + " a " + r.to;
        if (r.zone > 0 && r.outsideBand > 0)
            text += "; " + Count(r.outsideBand, "vértice", "vértices") + " fuera de la franja del huso " + std::to_string(r.zone);
        if (r.withoutHeight > 0) text += "; " + Count(r.withoutHeight, "vértice", "vértices") + " sin altura (pegados al suelo)";
        if (r.cad) text += "; " + CadText(r);
        if (!r.leftOut.empty()) {
            text += "; " + Count(r.leftOut.size(), "entidad fuera del área del método, dejada fuera:",
                                 "entidades fuera del área del método, dejadas fuera:");
            for (std::size_t i = 0; i < r.leftOut.size(); ++i) text += (i == 0 ? " " : ", ") + std::to_string(r.leftOut[i]);
        }
        text += "\n";
    }
    return text;
}

}  // namespace batch
