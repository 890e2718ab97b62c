// A run's writing: the layers as tables of vertices, one for the layers converted as the
// first is and one for each other, or as layers of the output format.
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

// Writes the layers as tables of vertices: one for the layers converted as the first is
// (direction, degrees or UTM), under a header true of all their rows, and one for each
// layer converted otherwise, named after the output and the layer.
void WriteTables(const Input& input, const EngineOutput& output, const tables::Settings& settings, const std::vector<int>& skip,
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
            throw tables::RunError("la capa «" + job.layerNames[i] + "» se convierte de otro sistema que «" +
                           job.layerNames[headOf[0]] + "» y va a una tabla aparte, que la salida estándar no "
                           "puede llevar: dé un fichero de destino");
        const std::string name = ExtraTableName(output.extraTables, job.layerNames[i], names);
        Table& extra = job.table.emplace_back();
        extra.fd = ::open((name + output.extension).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (extra.fd < 0) throw tables::RunError("no se puede escribir la salida: " + tables::SystemErrorText(errno));
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
            tables::AppendField(head, name, ';');
        }
        head += plan.from.zone == 0 ? ";Latitud;Longitud;Altitud" : ";Este;Norte;Altitud";
        const char* datum = plan.to.datum == System::Datum::ETRS89 ? " ETRS89" : "";
        for (const std::string& name : tables::ResultNames(settings.outputs, plan.direction, datum)) {
            head += ';';
            tables::AppendField(head, name, ';');
        }
        head += '\n';
    }
    input.Run(run, job.thrown);
    for (Table& t : job.table) Flush(t, true);
}

// Writes the layers as layers of `output`'s format, through GDAL.
void WriteLayers(const Input& input, const EngineOutput& output, const tables::Settings& settings,
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
    if (job.cad || outFormat->name == "fgb") job.keepsNoEmpty = outFormat->title;
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

}  // namespace layers::engine
