// The engine's module and run: GDAL's module loaded from talpor-capas' own folder, an
// input opened with its format's driver, its features read in batches by GDAL's thread
// and converted by two of the program's, the counts and limits of what it reads, and the
// run of a whole file (RunLayers): planned (LayerPlan.cpp), its vertices converted
// (LayerVertices.cpp), written (LayerWriters.cpp).
#include "layers/LayerEngine.h"
#include "layers/EngineParts.h"


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

namespace layers::engine {

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
        throw tables::RunError(module.problem + "; los ficheros CSV y de texto se convierten sin ella");
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
        if (s.errors.size() < tables::kListedErrors) s.errors.push_back({where, std::move(text)});
    } else {
        ++s.noted;
        if (s.notes.size() < tables::kListedNotes) s.notes.push_back({where, std::move(text)});
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

// "600 MB", "132 bytes".
std::string Megabytes(std::int64_t bytes) {
    if (bytes < (1 << 20)) return tables::Count(static_cast<std::uint64_t>(bytes), "byte", "bytes");
    return tables::Grouped(static_cast<std::uint64_t>((bytes + (1 << 20) - 1) >> 20)) + " MB";
}

// The bytes an input is allowed to grow from: its KML inflated, for a KMZ. A KML beyond
// LayerLimits::kmlBytes is refused here, before GDAL reads it whole into memory.
std::int64_t GrowthBytes(const std::string& path, const Input& input, const LayerLimits& limits) {
    const LayerFormat* format = LayerFormatOfInput(path);
    std::int64_t kml = 0;
    if (format != nullptr && format->name == "kmz") kml = InflatedKmlBytes(path);
    else if (format != nullptr && format->name == "kml") kml = input.Bytes();
    if (kml > limits.kmlBytes)
        throw tables::RunError("no se puede leer como capa: su KML ocupa " + Megabytes(kml) +
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
            throw tables::RunError("no se puede leer como capa: su KML ocupa " + Megabytes(kml) +
                           " descomprimido, y Talpor lee KML de hasta " + Megabytes(limits.kmlBytes));
    }
    return std::make_unique<Input>(path);
}

}  // namespace layers::engine

namespace layers {

using namespace engine;

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

LayerSummary RunLayers(const std::string& inputPath, const EngineOutput& output, const tables::Settings& settings,
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
    if (!table && settings.conversion.method == tables::Method::Grid && settings.conversion.grids != nullptr &&
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
                job.reports[l].changes.push_back(t.text + " (" + tables::Count(static_cast<std::uint64_t>(t.values), "valor", "valores") + ")");
    summary.layers = std::move(job.reports);
    return summary;
}

const TalporGdalFunctions& GdalModule() { return Gdal(); }

}  // namespace layers
