// What the parts of the layer engine share (LayerEngine.cpp, LayerPlan.cpp,
// LayerVertices.cpp, LayerWriters.cpp), in talpor-capas: an input open through GDAL's
// module, a layer's system and plan, the job of a run, and the functions one part calls
// in another. The engine's interface is LayerEngine.h; this header is its inside.
#pragma once


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
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "layers/LayerEngine.h"

namespace layers::engine {

// The GDAL module, loaded once (throws RunError when it cannot be), and the drivers a
// file of `path`'s format is opened with.
const TalporGdalFunctions& Gdal();
const char* const* DriversFor(const std::string& path);

// An input open through the module.
class Input {
  public:
    explicit Input(const std::string& path) : gdal_(Gdal()) {
        char error[512] = "";
        data_ = gdal_.open(path.c_str(), DriversFor(path), error, sizeof error);
        if (data_ == nullptr) throw tables::RunError(std::string("no se puede leer como capa: ") + error);
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
        if (done == 0) throw tables::RunError(error);
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
        if (this->features > maxFeatures) Refuse(tables::Grouped(static_cast<std::uint64_t>(maxFeatures)) + " entidades");
        if (vertices > maxVertices) Refuse(tables::Grouped(static_cast<std::uint64_t>(maxVertices)) + " vértices");
    }
    [[noreturn]] void Refuse(const std::string& what) const {
        throw tables::RunError("no se puede leer como capa: da más de " + what + ", muchas más de las que caben en " +
                       tables::Count(static_cast<std::uint64_t>(bytes), "byte", "bytes") +
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
    std::vector<tables::RowPoint> points;
    std::vector<tables::RowResult> results;
    std::vector<double> altitudes;  // of a layer whose Z is an ellipsoidal height: each vertex's altitude
    std::vector<std::int64_t> outsideGeoid;  // its vertices whose height the geoid cannot take
};

struct Job {
    const tables::Settings* settings = nullptr;
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
    std::string keepsNoEmpty;  // the output's title, for a format of no feature without a geometry
    std::uint64_t features = 0;
    std::exception_ptr thrown;
    std::vector<std::string> layerNames;
    std::vector<std::string> folders;  // of each layer, a KML's folders ("" for none)
    Growth growth;
    // The grid for the numbers' path (ConvertNumbers), where it can be had.
    std::optional<geo::fast::ShiftGrid> fastGrid;
};

// The output's side of a run's plan (PlanLayers).
struct OutputPlan {
    std::vector<int> geometryTypes;  // the type each output layer is created with; 0 its own
    std::vector<int> skip;           // 1 for a layer left out (attributes alone)
};

// Systems (LayerPlan.cpp): a layer's system by its EPSG code, and back; "ED50 UTM 30
// (EPSG:23030)".
System SystemOfEpsg(int epsg);
int EpsgOf(System::Datum datum, int zone);
std::string SystemText(System::Datum datum, int zone, int epsg);

// The plan (LayerPlan.cpp): geometry types as a summary says them and as a GPX takes
// them, a table's name beside the output, each layer's plan and report.
std::string GeometryText(std::string_view geometry);
int GpxType(std::string_view declared, std::uint64_t held);
std::string ExtraTableName(const std::string& prefix, const std::string& layer, std::set<std::string>& taken);
OutputPlan PlanLayers(const Input& input, const LayerFormat* inFormat, const EngineOutput& output, const tables::Settings& settings,
                      const LayerLimits& limits, Job& job);
std::vector<std::vector<std::string>> ReportLayers(const Input& input, const LayerFormat* outFormat, Job& job);

// The reading (LayerEngine.cpp): each layer's vertices counted by zone, and the zone of
// most of them.
std::vector<ZoneCount> CountVertices(const Input& input, std::size_t layers, const LayerLimits& limits,
                                     const Growth& growth, const LayerProgress& progress);
int MostZone(const ZoneCount& count);

// The vertices (LayerVertices.cpp): the fast grid, a feature converted and what becomes
// of it, a table's rows written.
std::optional<geo::fast::ShiftGrid> FastGrid(const core::Grids& grids);
void ConvertFeature(const Job& job, const TalporGdalFeature& f, core::Grids* grids, Converted& v);
int Feature(Job& job, TalporGdalFeature& f, Converted& v);
void Flush(Table& t, bool all);

// The writing (LayerWriters.cpp).
void WriteTables(const Input& input, const EngineOutput& output, const tables::Settings& settings, const std::vector<int>& skip,
                 Job& job, TalporGdalJob& run);
void WriteLayers(const Input& input, const EngineOutput& output, const tables::Settings& settings,
                 const std::vector<std::vector<std::string>>& fieldNames, std::vector<int>& geometryTypes, Job& job,
                 TalporGdalJob& run);

}  // namespace layers::engine
