#include "batch/FolderPreview.h"

#include <algorithm>
#include <filesystem>

namespace batch {
namespace {

namespace fs = std::filesystem;
using Kind = PreviewGroup::Kind;

// "ED50 UTM 30 (EPSG:23030)", as a worker names a system, read back by its code.
std::optional<tables::CrsName> CrsOfText(const std::string& text) {
    const std::size_t at = text.rfind("(EPSG:");
    if (at == std::string::npos) return std::nullopt;
    int epsg = 0;
    for (std::size_t i = at + 6; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) epsg = epsg * 10 + (text[i] - '0');
    return CrsOfEpsg(epsg);
}

// A group on its way to being said: its noun, and the words after its count.
struct Pending {
    Kind kind;
    std::string one, many;          // "capa", "capas"
    std::string restOne, restMany;  // " ya en ETRS89 UTM 30, copiada"
    std::string why;
    std::size_t count = 0;
    std::vector<std::string> inputs;
};

class Grouping {
  public:
    void Add(Kind kind, const std::string& input, std::string one, std::string many, std::string restOne,
             std::string restMany = {}, std::string why = {}) {
        if (restMany.empty()) restMany = restOne;
        auto same = std::find_if(pending_.begin(), pending_.end(), [&](const Pending& p) {
            return p.kind == kind && p.one == one && p.restOne == restOne && p.why == why;
        });
        if (same == pending_.end())
            same = pending_.insert(pending_.end(), Pending{kind, std::move(one), std::move(many), std::move(restOne),
                                                           std::move(restMany), std::move(why), 0, {}});
        ++same->count;
        if (same->inputs.empty() || same->inputs.back() != input) same->inputs.push_back(input);
    }

    std::vector<PreviewGroup> Groups() const {
        std::vector<PreviewGroup> groups;
        for (Kind kind : {Kind::Converted, Kind::Kept, Kind::Copied, Kind::NeedsOrigin, Kind::Refused})
            for (const Pending& p : pending_)
                if (p.kind == kind)
                    groups.push_back({kind, tables::Count(p.count, p.one, p.many) + (p.count == 1 ? p.restOne : p.restMany), p.why,
                                      p.inputs});
        return groups;
    }

  private:
    std::vector<Pending> pending_;
};

// The way of points from `from` to `to`: "ED50 UTM 30 → ETRS89 UTM 30".
std::string Way(const tables::CrsName& from, const tables::CrsName& to) { return " " + tables::TitleOf(from) + " → " + tables::TitleOf(to); }

constexpr const char* kNoSystem = "no dice en qué sistema está, y no se supone ninguno";

}  // namespace

std::vector<tables::CrsName> EveryCrs() {
    std::vector<tables::CrsName> every;
    const std::string names = tables::CrsNames() + ", ";
    for (std::size_t at = 0, comma; (comma = names.find(", ", at)) != std::string::npos; at = comma + 2)
        if (const std::optional<tables::CrsName> crs = tables::CrsNamed(std::string_view(names).substr(at, comma - at))) every.push_back(*crs);
    return every;
}

std::optional<tables::CrsName> CrsOfEpsg(int epsg) {
    for (const tables::CrsName& crs : EveryCrs())
        if (tables::EpsgOf(crs) == epsg) return crs;
    return std::nullopt;
}

std::vector<PreviewGroup> FolderPreview::Groups(const std::vector<FolderFile>& files, const tables::Settings& settings,
                                                const rasters::RasterOptions& raster, const PreviewProgress& progress) {
    Grouping g;
    if (!settings.target) return {};
    const tables::CrsName& target = *settings.target;
    // The choices an image's way depends on.
    const std::string key = tables::NameOf(target) + "|" + (settings.origin ? tables::NameOf(*settings.origin) : "") + "|" +
                            std::string(tables::MethodWord(settings.conversion.method)) + "|" + settings.layers.format + "|" +
                            std::to_string(raster.tolerance) + (raster.resample ? "r" : "") + (raster.cog ? "c" : "");
    // The layer files not read before, read together; then each image planned alone.
    std::vector<std::string> unread;
    for (const FolderFile& f : files)
        if (f.refused.empty() && layers::IsLayerFile(f.input) && !rasters::IsRasterFile(f.input) && !layers_.contains(f.input) &&
            (target.Ed50() || !IsWgs84Format(f.input)))
            unread.push_back(f.input);
    std::size_t images = 0, planned = 0;
    for (const FolderFile& f : files) images += f.refused.empty() && rasters::IsRasterFile(f.input) ? 1 : 0;
    const std::size_t total = unread.size() + images;
    if (!unread.empty()) {
        std::vector<layers::FileLayers> read = layers::LayersOfFiles(unread, [&](std::uint64_t done, std::uint64_t) {
            if (progress) progress(static_cast<std::size_t>(done), total);
        });
        for (std::size_t i = 0; i < unread.size(); ++i) layers_.emplace(unread[i], std::move(read[i]));
    }
    for (const FolderFile& f : files) {
        if (!f.refused.empty()) continue;
        const std::string& in = f.input;
        const bool gps = IsWgs84Format(in);
        const layers::LayerFormat* layerFormat = layers::LayerFormatOfInput(in);
        const std::string title = layerFormat != nullptr ? std::string(layerFormat->title) : "GPX";
        if (gps && !target.Ed50() && fs::path(f.output).filename() == fs::path(in).filename()) {
            g.Add(Kind::Copied, in, title, title, ", copiado", ", copiados");
        } else if (layers::IsLayerFile(in) && !rasters::IsRasterFile(in)) {
            const layers::FileLayers& s = layers_.at(in);
            if (!s.unreadable.empty()) {
                g.Add(Kind::Refused, in, "fichero", "ficheros", " cuyo sistema no se puede leer", {}, s.unreadable);
                continue;
            }
            // A format of WGS84 degrees by its standard holds the target in them.
            layers::LayerOutput out{true, nullptr};
            try {
                out = layers::LayerOutputOf(in, f.output, settings);
            } catch (const tables::RunError&) {
            }
            const tables::CrsName to = !out.table && out.format != nullptr && out.format->wgs84 ? tables::CrsName{tables::CrsName::Datum::WGS84, 0} : target;
            // A layer that cannot go stops its whole file: the file is that layer's group.
            std::vector<tables::CrsName> ways;
            std::string noSystem, other;  // why, of the first layer without a system and with another
            for (const layers::LayerInfo& l : s.layers) {
                if (l.geometry == "sin geometría") continue;
                std::optional<tables::CrsName> from = CrsOfEpsg(l.epsg);
                if (!from && l.system == "sin sistema") from = settings.origin;
                if (from) ways.push_back(*from);
                else if (l.system == "sin sistema" && noSystem.empty()) noSystem = "la capa «" + l.name + "» " + kNoSystem;
                else if (l.system != "sin sistema" && other.empty())
                    other = "la capa «" + l.name + "» está en «" + l.system + "», que Talpor no convierte";
            }
            if (!other.empty()) {
                g.Add(Kind::Refused, in, "fichero", "ficheros", " en un sistema que Talpor no convierte", {}, other);
            } else if (!noSystem.empty()) {
                g.Add(Kind::NeedsOrigin, in, title, title, " sin sistema: elija su sistema", {}, noSystem);
            } else {
                for (const tables::CrsName& from : ways) {
                    if (from == to) g.Add(Kind::Kept, in, "capa", "capas", " ya en " + tables::TitleOf(to) + ", copiada", " ya en " + tables::TitleOf(to) + ", copiadas");
                    else g.Add(Kind::Converted, in, "capa", "capas", Way(from, to));
                }
            }
        } else if (rasters::IsRasterFile(in)) {
            ImagePlan& plan = images_[in];
            if (plan.key != key + "|" + f.output) {
                if (progress) progress(unread.size() + planned++, total);
                plan = ImagePlan{key + "|" + f.output, {}, {}, {}, false};
                try {
                    const rasters::RasterSummary summary = rasters::PlanRaster(in, f.output, settings, raster);
                    plan.from = CrsOfText(summary.from);
                    plan.to = CrsOfText(summary.to);
                } catch (const tables::RunError& e) {
                    plan.problem = e.what();
                    // Its own words name the option that would give its system.
                    plan.needsOrigin = !settings.origin && plan.problem.find("--origen") != std::string::npos;
                }
            }
            if (plan.needsOrigin)
                g.Add(Kind::NeedsOrigin, in, "imagen", "imágenes", " sin sistema: elija su sistema", {}, std::string("la imagen ") + kNoSystem);
            else if (!plan.problem.empty() || !plan.from || !plan.to)
                g.Add(Kind::Refused, in, "imagen", "imágenes", " que no se puede convertir", {},
                      plan.problem.empty() ? "no se puede leer su sistema" : plan.problem);
            else if (*plan.from == *plan.to)
                g.Add(Kind::Kept, in, "imagen", "imágenes", " ya en " + tables::TitleOf(*plan.to) + ", copiada", " ya en " + tables::TitleOf(*plan.to) + ", copiadas");
            else
                g.Add(Kind::Converted, in, "imagen", "imágenes", Way(*plan.from, *plan.to));
        } else if (IsProjectFile(in)) {
            g.Add(Kind::Converted, in, "proyecto de QGIS", "proyectos de QGIS", ", con sus capas");
        } else if (gps) {
            // A GPX toward ED50: a table of its points.
            g.Add(Kind::Converted, in, "GPX", "GPX", Way(tables::CrsName{tables::CrsName::Datum::WGS84, 0}, target) + ", en tabla",
                  Way(tables::CrsName{tables::CrsName::Datum::WGS84, 0}, target) + ", en tablas");
        } else if (settings.origin) {
            g.Add(Kind::Converted, in, "tabla", "tablas", Way(*settings.origin, target));
        } else {
            g.Add(Kind::NeedsOrigin, in, "tabla", "tablas", ": elija su sistema", {}, std::string("la tabla ") + kNoSystem);
        }
    }
    return g.Groups();
}

std::string PreviewText(const std::vector<PreviewGroup>& groups) {
    std::string text;
    for (const PreviewGroup& group : groups) text += (text.empty() ? "" : "\n") + group.text;
    return text;
}

}  // namespace batch
