// A feature's vertices converted: through the conversion core point by point, or on the
// fast grid's batches of numbers where nothing but the shift is asked; its heights and
// notes, the rows of a table of vertices, and what becomes of the feature.
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

void Note(Job& job, std::uint64_t feature, std::string message) {
    ++job.summary->noted;
    if (job.summary->notes.size() < tables::kListedNotes) job.summary->notes.push_back({feature, std::move(message)});
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
        if (n <= 0) throw tables::RunError("no se puede escribir la salida: " + tables::SystemErrorText(errno));
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

void AppendNumber(std::string& out, double x, int decimals, char sign) { tables::AppendRounded(out, x, decimals, sign); }

// One row a vertex: layer, feature, part, ring, vertex, the attributes, the vertex as
// read, the results, the Error column and the Aviso column, which holds the notes of a
// converted vertex (a vertex on the ground has no height).
void WriteRows(Job& job, const TalporGdalFeature& f, const Plan& plan, const Converted& v) {
    const tables::Settings& s = *job.settings;
    Table& table = job.table[job.tableOf[static_cast<std::size_t>(f.layer)]];
    std::vector<std::string> texts;
    for (long long k = 0; k < f.count; ++k) {
        std::string& out = table.buffer;
        tables::AppendField(out, job.layerNames[f.layer], ';');
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
            tables::AppendField(out, cell, ';');
        }
        const tables::RowResult& r = v.results[k];
        const int decimals = plan.from.zone == 0 ? 8 : 2;
        out += ';';
        AppendNumber(out, plan.from.zone == 0 ? f.y[k] : f.x[k], decimals, job.decimalSign);
        out += ';';
        AppendNumber(out, plan.from.zone == 0 ? f.x[k] : f.y[k], decimals, job.decimalSign);
        out += ';';
        if (v.points[k].hasHeight)
            AppendNumber(out, plan.zFromEllipsoid ? v.altitudes[static_cast<std::size_t>(k)] : f.z[k], 1, job.decimalSign);
        if (r.error.empty()) {
            tables::SetResultTexts(r, s.outputs, job.decimalSign, texts);
        } else {
            for (std::string& t : texts) t.clear();
            texts.resize(tables::ResultCount(s.outputs));
        }
        for (const std::string& t : texts) {
            out += ';';
            tables::AppendField(out, t, ';');
        }
        out += ';';
        tables::AppendField(out, r.error, ';');
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
        tables::AppendField(out, note, ';');
        out += '\n';
        Flush(table, false);
    }
}


// The conversion of a feature's vertices, which the threads share out: nothing of the
// job is changed.
tables::Conversion ConversionOf(const Job& job, const Plan& plan, core::Grids* grids) {
    const tables::Settings& s = *job.settings;
    tables::Conversion c = s.conversion;
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
    if (!plan.sameDatum && !job.tables && job.settings->conversion.method == tables::Method::Grid && grids != nullptr &&
        (f.hasZ == 0 || noHeight) && ConvertNumbers(f, plan, job, grids, v))
        return;
    v.points.assign(n, tables::RowPoint{});
    v.altitudes.assign(plan.zFromEllipsoid ? n : 0, 0.0);
    v.outsideGeoid.clear();
    for (std::size_t k = 0; k < n; ++k) {
        tables::RowPoint& p = v.points[k];
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
            p.kind = tables::RowPoint::Kind::Geographic;
            p.geographic = {f.y[k], f.x[k], p.hasHeight ? (plan.zFromEllipsoid ? v.altitudes[k] : f.z[k]) : 0};
        } else {
            p.kind = tables::RowPoint::Kind::Utm;
            p.utm = {f.x[k], f.y[k], static_cast<std::int16_t>(plan.from.zone), p.hasHeight ? f.z[k] : 0};
        }
    }
    tables::ConvertPoints(v.points, ConversionOf(job, plan, grids), v.results);
    // One zone a layer: the points of another zone projected in the layer's.
    if (plan.to.zone <= 0) return;
    const geo::Ellipsoid& ell = plan.sameDatum ? core::SourceEllipsoid(plan.direction) : core::TargetEllipsoid(plan.direction);
    for (tables::RowResult& row : v.results) {
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
// without a geometry, or a FlatGeobuf, whose writer passes over such a feature, the
// feature left out.
int Counted(const Job& job, const TalporGdalFeature& f, LayerReport& report) {
    if (f.noGeometry && !job.keepsNoEmpty.empty()) {
        report.droppedWithoutGeometry.push_back(f.fid);
        report.droppedBy = job.keepsNoEmpty;
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
    const tables::Settings& s = *job.settings;
    const Plan& plan = job.plans[f.layer];
    LayerReport& report = job.reports[f.layer];
    for (Job::TypeChange& t : job.typeChanges[static_cast<std::size_t>(f.layer)])
        t.values += t.field < f.fields && f.isSet[t.field] != 0;
    const tables::Conversion c = ConversionOf(job, plan, s.conversion.grids);
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
        const tables::RowResult& r = v.results[k];
        if (r.error.empty()) continue;
        const std::string sentence = WhereText(job, f, static_cast<long long>(k)) + ": " + r.error;
        if (!s.layers.leaveOutside)
            throw tables::RunError(sentence + "; con --omitir-fuera se deja fuera la entidad y se convierten las demás");
        report.leftOut.push_back(f.fid);
        return TalporGdalLeave;
    }
    for (std::size_t k = 0; k < n; ++k) {
        const tables::RowResult& r = v.results[k];
        if (!r.note.empty() && (job.tables || r.note.find("geoide") != std::string::npos))
            Note(job, static_cast<std::uint64_t>(f.fid), WhereText(job, f, static_cast<long long>(k)) + ": " + r.note);
    }
    for (const tables::RowResult& r : v.results) report.outsideBand += OutsideBand(plan.to.zone, r.result.point->lon);
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

}  // namespace layers::engine
