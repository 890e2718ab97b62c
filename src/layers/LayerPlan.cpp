// What a run does to each layer before a feature is read: the layer's system and the one
// it is written in, the geometry types and attribute names the output format takes, the
// files it writes (PlanWrite), and each layer's report as the summary will give it.
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
tables::CrsName CrsOf(const System& s) {
    return {s.datum == System::Datum::ED50     ? tables::CrsName::Datum::ED50
            : s.datum == System::Datum::WGS84 ? tables::CrsName::Datum::WGS84
                                              : tables::CrsName::Datum::ETRS89,
            s.zone};
}

System SystemOf(const tables::CrsName& c) {
    return {c.datum == tables::CrsName::Datum::ED50    ? System::Datum::ED50
            : c.datum == tables::CrsName::Datum::WGS84 ? System::Datum::WGS84
                                               : System::Datum::ETRS89,
            c.zone};
}

// The system a layer in `from` is written in by `outFormat` (null: a table): on the datum
// its direction gives; in one zone, the input's or the one given to a layer with a
// system of its own, and -1 for a table of a layer in degrees: the zone of most of its
// vertices, once counted; in degrees by a format of WGS84 degrees.
System TargetSystem(const System& from, bool hasSystem, core::Direction direction, const tables::Settings& settings,
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

// The names a layer's attributes are written with: their own, but where the format takes
// names that differ only in case for one (a GeoPackage's columns, a shapefile's fields),
// the second and later such get "_2", "_3", ... (reported in `renamed`).
std::vector<std::string> FieldNames(const std::vector<std::string>& names, bool caseBlind,
                                    std::vector<std::pair<std::string, std::string>>& renamed) {
    if (!caseBlind) return names;
    std::set<std::string> taken;
    for (const std::string& n : names) taken.insert(tables::AsciiLower(n));
    std::set<std::string> used;
    std::vector<std::string> out;
    for (const std::string& n : names) {
        std::string name = n;
        if (!used.insert(tables::AsciiLower(n)).second) {
            for (int k = 2;; ++k) {
                name = n + "_" + std::to_string(k);
                if (!taken.contains(tables::AsciiLower(name)) && used.insert(tables::AsciiLower(name)).second) break;
            }
            renamed.emplace_back(n, name);
        }
        out.push_back(std::move(name));
    }
    return out;
}

// A layer's system and the direction it is converted in, from its system (or one known
// by its parameters, on the user's word) or, without one, from the settings. Throws
// RunError for a system Talpor does not convert or a direction the settings contradict.
Plan SourcePlan(const TalporGdalLayerInfo& info, const LayerFormat* inFormat, const tables::Settings& settings) {
    Plan plan;
    plan.from = SystemOfEpsg(info.epsg);
    plan.fromEpsg = info.epsg;
    if (const System like = SystemOfEpsg(info.likeEpsg); info.likeEpsg > 0 && like.datum != System::Datum::Other) {
        // A system under a name of its own with the parameters of one of ours: taken as
        // that one on the user's word (the datum's name says nothing Talpor can check).
        const std::string ours = SystemText(like.datum, like.zone, info.likeEpsg);
        const bool toEd50 = like.datum != System::Datum::ED50;
        if (settings.target && (!settings.origin || !(CrsOf(like) == *settings.origin)))
            throw tables::RunError("la capa «" + std::string(info.name) + "» está en «" + info.system +
                           "», que tiene los parámetros de " + ours + " pero no su nombre: si es ese sistema, dígalo con "
                           "--origen=" + tables::NameOf(CrsOf(like)));
        if (settings.target) {
        } else if (!settings.layers.directionGiven ||
            settings.conversion.direction != (toEd50 ? core::Direction::WGS84ToED50 : core::Direction::ED50ToWGS84) ||
            (settings.conversion.zone != 0 && settings.conversion.zone != like.zone))
            throw tables::RunError("la capa «" + std::string(info.name) + "» está en «" + info.system +
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
        throw tables::RunError("la capa «" + name + "» está en «" + info.system + "»" +
                       (info.epsg > 0 ? " (EPSG:" + std::to_string(info.epsg) + ")" : std::string()) +
                       ", que Talpor no convierte: lee ED50 (EPSG 4230 y 23029 a 23031) y ETRS89 o WGS84 "
                       "(4258, 25829 a 25831, 4326 y 32629 a 32631)");
    if (settings.target) {
        if (plan.from.datum == System::Datum::None) {
            if (!settings.origin)
                throw tables::RunError("la capa «" + name + "» no dice en qué sistema están sus coordenadas, y no se supone "
                               "ninguno: indique el suyo con --origen (por ejemplo --origen=ed50-utm30)");
            plan.from = SystemOf(*settings.origin);
        }
        const std::optional<core::Direction> direction = tables::DirectionBetween(CrsOf(plan.from), *settings.target);
        plan.sameDatum = !direction;
        plan.direction = direction.value_or(plan.from.datum == System::Datum::ED50 ? core::Direction::ED50ToWGS84
                                                                                   : core::Direction::WGS84ToED50);
        return plan;
    }
    if (plan.from.datum == System::Datum::None) {
        if (!settings.layers.directionGiven)
            throw tables::RunError("la capa «" + name + "» no dice en qué sistema están sus coordenadas: indique el sentido "
                           "con --sentido y, si son UTM, el huso con --huso");
        plan.direction = settings.conversion.direction;
        plan.from.datum = plan.direction == core::Direction::ED50ToWGS84 ? System::Datum::ED50 : System::Datum::ETRS89;
        plan.from.zone = settings.conversion.zone;
    } else {
        plan.direction = plan.from.datum == System::Datum::ED50 ? core::Direction::ED50ToWGS84
                                                                 : core::Direction::WGS84ToED50;
        if (settings.layers.directionGiven && plan.direction != settings.conversion.direction)
            throw tables::RunError("la capa «" + name + "» está en " + SystemText(plan.from.datum, plan.from.zone, info.epsg) +
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
OutputPlan PlanLayers(const Input& input, const LayerFormat* inFormat, const EngineOutput& output, const tables::Settings& settings,
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
            throw tables::RunError(std::string(outFormat->title) + " solo guarda WGS84, y la capa «" + name +
                           "» se convierte a ED50: elija GeoPackage o una tabla CSV, que guardan ED50 con todo "
                           "lo que tenga la capa");
        if (outFormat != nullptr && outFormat->name == "gpx" && GpxType(info.geometry, 0) == 0) {
            // A layer of no one geometry type is judged by what it holds, from a first reading.
            const std::string_view declared = std::string_view(info.geometry).substr(
                std::string_view(info.geometry).starts_with("3D ") ? 3 : 0);
            if (declared != "Unknown (any)" && declared != "Geometry")
                throw tables::RunError("GPX solo tiene waypoints, rutas y tracks (puntos, líneas y multilíneas), y la capa «" +
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
    if (input.Layers() == 0) throw tables::RunError("no se puede leer como capa: GDAL no encuentra en ella ninguna capa");
    const auto converted = static_cast<int>(std::count(skip.begin(), skip.end(), 0));
    if (converted == 0)
        throw tables::RunError("no hay nada que convertir: " +
                       std::string(input.Layers() == 1 ? "su capa es una tabla" : "sus capas son tablas") +
                       " sin geometría");
    if (outFormat != nullptr && outFormat->oneLayer && converted > 1)
        throw tables::RunError(std::string(outFormat->title) + " guarda una sola capa, y la entrada tiene " +
                       std::to_string(converted) + ": elija GeoPackage, KML o KMZ, o una tabla CSV");
    // A shapefile of a layer of no one type gets its type from the geometries the layer holds.
    const bool shapefile = outFormat != nullptr && outFormat->name == "shp";
    bool shapefileByHeld = false;
    for (int i = 0; shapefile && i < input.Layers(); ++i)
        shapefileByHeld = shapefileByHeld || (skip[static_cast<std::size_t>(i)] == 0 && Generic(input.Layer(i).geometry));
    if (settings.conversion.method == tables::Method::Grid && settings.layers.zEllipsoidal)
        throw tables::RunError("la rejilla del IGN no transforma la altura sobre el elipsoide: quite --z-elipsoidal, o elija "
                       "Helmert o Molodensky");
    if (needCount || gpxByHeld || shapefileByHeld) {
        counts = CountVertices(input, counts.size(), limits, job.growth, {});
        for (std::size_t i = 0; i < job.plans.size(); ++i) {
            Plan& plan = job.plans[i];
            if (plan.skipped) continue;
            if (shapefileByHeld && Generic(input.Layer(static_cast<int>(i)).geometry)) {
                const int type = ShapefileType(counts[i].types);
                if (type == 0)
                    throw tables::RunError("la capa «" + job.layerNames[i] + "» tiene geometrías de varias clases (puntos, líneas o "
                                   "áreas), y un shapefile guarda una sola: elija GeoPackage, KML, GeoJSON o DXF");
                if (type > 0) geometryTypes[i] = type + (counts[i].threeD ? 1000 : 0);
            }
            if (gpxByHeld && GpxType(input.Layer(static_cast<int>(i)).geometry, 0) == 0) {
                geometryTypes[i] = GpxType(input.Layer(static_cast<int>(i)).geometry, counts[i].types);
                if (geometryTypes[i] == 0)
                    throw tables::RunError("GPX solo tiene waypoints, rutas y tracks (puntos, líneas y multilíneas), y la capa «" +
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
        if (job.settings->target && !plan.skipped) r.way = plan.sameDatum ? "solo la proyección" : std::string(tables::MethodWord(job.settings->conversion.method));
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

}  // namespace layers::engine

namespace layers {

using namespace engine;

WritePlan PlanWrite(const std::string& input, const std::string& output, const tables::Settings& settings,
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

}  // namespace layers
