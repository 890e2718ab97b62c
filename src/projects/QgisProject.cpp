// A QGIS 3 project's structure as QGIS writes it: <projectCrs>, <projectlayers> of
// <maplayer> (id, datasource, provider, srs, extent), the layer tree's sources,
// <mapcanvas>, <ProjectViewSettings>'s default view, <Bookmarks>, print layouts'
// LayoutItem of type 65639 (a map: its Extent, crs and ComposerMapGrid) and the
// properties' Measure/Ellipsoid. Paths are resolved as QgsPathResolver does.
#include "projects/QgisProject.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "geo/Utm.h"
#include "projects/QgisSystems.h"
#include "projects/Xml.h"
#include "projects/Zip.h"
#include "tables/Encoding.h"
#include "tables/OutputFile.h"
#include "tables/PointRow.h"
#include "tables/SystemError.h"

namespace projects {
namespace {

namespace fs = std::filesystem;
using tables::CrsName;
using tables::RunError;

// A project of more than this is no project: its layers are elsewhere.
constexpr std::uint64_t kMaxProjectBytes = std::uint64_t{512} << 20;
// The map item of a print layout (QgsLayoutItemRegistry::LayoutMap).
constexpr std::string_view kLayoutMap = "65639";

std::string ReadWhole(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw RunError("no se puede leer: " + tables::SystemErrorText(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw RunError("no se puede leer: no es un fichero");
    }
    if (static_cast<std::uint64_t>(st.st_size) > kMaxProjectBytes) {
        ::close(fd);
        throw RunError("pasa de 512 MB, y un proyecto de QGIS no guarda datos");
    }
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int e = n < 0 ? errno : EIO;
            ::close(fd);
            throw RunError("no se puede leer: " + tables::SystemErrorText(e));
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return bytes;
}

void WriteAll(const tables::OutputFile& out, const std::string& bytes, const std::string& name) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(out.Fd(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw RunError("no se puede escribir «" + name + "»: " + tables::SystemErrorText(n < 0 ? errno : EIO));
        done += static_cast<std::size_t>(n);
    }
}

// The systems Talpor converts, by EPSG code.
std::optional<CrsName> CrsOfEpsg(int epsg) {
    using D = CrsName::Datum;
    if (epsg == 4230) return CrsName{D::ED50, 0};
    if (epsg == 4258) return CrsName{D::ETRS89, 0};
    if (epsg == 4326) return CrsName{D::WGS84, 0};
    for (int zone = 29; zone <= 31; ++zone) {
        if (epsg == 23000 + zone) return CrsName{D::ED50, zone};
        if (epsg == 25800 + zone) return CrsName{D::ETRS89, zone};
        if (epsg == 32600 + zone) return CrsName{D::WGS84, zone};
    }
    return std::nullopt;
}

// The EPSG code of a <spatialrefsys>, by its authid ("EPSG:23030"); 0 for another.
int EpsgOfSrs(const XmlDocument& doc, std::optional<std::size_t> srs) {
    if (!srs) return 0;
    const std::optional<std::size_t> authid = doc.Child(*srs, "authid");
    if (!authid) return 0;
    const std::string id = doc.TextOf(*authid);
    if (!id.starts_with("EPSG:")) return 0;
    int code = 0;
    for (char c : id.substr(5)) {
        if (c < '0' || c > '9' || code > 1000000) return 0;
        code = code * 10 + (c - '0');
    }
    return code;
}

std::optional<CrsName> CrsOfSrs(const XmlDocument& doc, std::optional<std::size_t> srs) {
    return CrsOfEpsg(EpsgOfSrs(doc, srs));
}

const QgisSystem& SystemOf(int epsg) {
    for (const QgisSystem& s : QgisSystems())
        if (s.epsg == epsg) return s;
    throw RunError("el sistema EPSG:" + std::to_string(epsg) + " no se sabe escribir en un proyecto de QGIS");
}

std::string FieldOf(const QgisSystem& s, std::string_view name) {
    for (const auto& [field, text] : s.fields)
        if (field == name) return text;
    return {};
}

// `srs`'s content becomes the system `epsg` as QGIS writes it, indented as its own.
void SetSystem(XmlDocument& doc, std::size_t srs, int epsg) {
    const std::string outer = doc.IndentOf(srs);
    std::string inner = outer + "  ";
    if (!doc.At(srs).children.empty()) inner = doc.IndentOf(doc.At(srs).children.front());
    std::string xml;
    for (const auto& [field, text] : SystemOf(epsg).fields)
        xml += "\n" + inner + "<" + field + ">" + XmlEscaped(text, false) + "</" + field + ">";
    xml += "\n" + outer;
    doc.SetContent(srs, std::move(xml));
}

// A number as QGIS writes one: as short as it reads back the same.
std::string Number(double v) {
    char text[40];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, v);
        if (std::strtod(text, nullptr) == v) break;
    }
    return text;
}

double NumberOf(const std::string& text, bool& ok) {
    const std::string t = tables::AsciiLower(text);
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    ok = ok && end != t.c_str() && *end == 0 && std::isfinite(v);
    return v;
}

struct Rect {
    double xmin, ymin, xmax, ymax;
};

// Points of one system moved to another by the run's method, through the conversion core
// as a table's rows are.
class Mover {
  public:
    Mover(const tables::Settings& settings, const CrsName& from, const CrsName& to) : from_(from), to_(to) {
        tables::Settings s = settings;
        s.target = to;
        conversion_ = tables::TowardTarget(s, from).conversion;
        conversion_.places = false;
        conversion_.altitude = false;
        conversion_.heightIsAltitude = false;
    }

    std::optional<std::array<double, 2>> Move(double x, double y) const {
        tables::RowPoint p;
        p.hasHeight = false;
        if (from_.zone == 0) {
            if (!(std::abs(y) <= 90 && std::abs(x) <= 180)) return std::nullopt;
            p.kind = tables::RowPoint::Kind::Geographic;
            p.geographic = {y, x, 0};
        } else {
            p.kind = tables::RowPoint::Kind::Utm;
            p.utm = {x, y, static_cast<std::int16_t>(from_.zone), 0};
        }
        const tables::RowResult r = tables::ConvertPoint(p, conversion_);
        if (!r.error.empty() || !r.result.point) return std::nullopt;
        if (to_.zone == 0) return std::array{r.result.point->lon, r.result.point->lat};
        if (r.result.utm && r.result.utm->zone == to_.zone) return std::array{r.result.utm->E, r.result.utm->N};
        const geo::Ellipsoid& ell = conversion_.sameDatum ? core::SourceEllipsoid(conversion_.direction)
                                                          : core::TargetEllipsoid(conversion_.direction);
        const geo::UTMPoint u = geo::GeoToUTMInZone(r.result.point->lat, r.result.point->lon,
                                                    static_cast<std::int16_t>(to_.zone), ell);
        return std::array{u.E, u.N};
    }

    // The rectangle that holds `r` moved: its edges sampled as QGIS transforms a box.
    std::optional<Rect> MoveBox(const Rect& r) const {
        constexpr int kSteps = 20;
        Rect out{INFINITY, INFINITY, -INFINITY, -INFINITY};
        for (int i = 0; i <= kSteps; ++i) {
            const double fx = r.xmin + (r.xmax - r.xmin) * i / kSteps, fy = r.ymin + (r.ymax - r.ymin) * i / kSteps;
            for (const auto& [x, y] : {std::pair{fx, r.ymin}, std::pair{fx, r.ymax}, std::pair{r.xmin, fy}, std::pair{r.xmax, fy}}) {
                const auto m = Move(x, y);
                if (!m) return std::nullopt;
                out = {std::min(out.xmin, (*m)[0]), std::min(out.ymin, (*m)[1]), std::max(out.xmax, (*m)[0]),
                       std::max(out.ymax, (*m)[1])};
            }
        }
        return out;
    }

    // A print layout's map, whose shape is the item's on paper (`aspect`, width over
    // height; 0 for unknown): within one zone (or in degrees), its centre moved and its
    // shape kept, its size as the moved box's; between degrees and metres or two zones,
    // whose north turns, the moved box grown to the item's shape about its centre, so
    // that it shows all the ground it showed.
    std::optional<Rect> MoveFrame(const Rect& r, double aspect) const {
        const auto box = MoveBox(r);
        const auto centre = Move((r.xmin + r.xmax) / 2, (r.ymin + r.ymax) / 2);
        const double w = r.xmax - r.xmin, h = r.ymax - r.ymin;
        if (!box || !centre || !(w > 0 && h > 0)) return box;
        if (from_.zone != to_.zone) {
            const double cx = (box->xmin + box->xmax) / 2, cy = (box->ymin + box->ymax) / 2;
            double bw = box->xmax - box->xmin, bh = box->ymax - box->ymin;
            if (aspect > 0 && bw / bh < aspect) bw = bh * aspect;
            else if (aspect > 0) bh = bw / aspect;
            return Rect{cx - bw / 2, cy - bh / 2, cx + bw / 2, cy + bh / 2};
        }
        const double k = std::sqrt((box->xmax - box->xmin) * (box->ymax - box->ymin) / (w * h));
        return Rect{(*centre)[0] - w * k / 2, (*centre)[1] - h * k / 2, (*centre)[0] + w * k / 2, (*centre)[1] + h * k / 2};
    }

  private:
    CrsName from_, to_;
    tables::Conversion conversion_;
};

// What a project's datasource reads, by its provider.
struct Source {
    std::string path;    // the file's path as written; "" for none
    std::string layer;   // layername=
    std::string none;    // what it reads instead
};

std::vector<std::string> Split(const std::string& text, char by) {
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (std::size_t next; (next = text.find(by, at)) != std::string::npos; at = next + 1) parts.push_back(text.substr(at, next - at));
    parts.push_back(text.substr(at));
    return parts;
}

std::string NoneOf(const std::string& provider) {
    static const std::map<std::string, std::string> kNone = {
        {"wms", "un servicio web (WMS, WMTS o teselas)"}, {"wfs", "un servicio web (WFS)"},
        {"wcs", "un servicio web (WCS)"}, {"arcgisfeatureserver", "un servicio web de ArcGIS"},
        {"arcgismapserver", "un servicio web de ArcGIS"}, {"vectortile", "teselas vectoriales"},
        {"postgres", "una base de datos (PostGIS)"}, {"mssql", "una base de datos (SQL Server)"},
        {"oracle", "una base de datos (Oracle)"}, {"hana", "una base de datos (HANA)"},
        {"memory", "una capa en memoria"}, {"virtual", "una capa virtual"},
        {"delimitedtext", "una tabla de texto leída como capa, cuyas columnas de coordenadas Talpor no cambia"},
        {"mdal", "una malla (MDAL)"}, {"pdal", "una nube de puntos"}, {"ept", "una nube de puntos"},
        {"copc", "una nube de puntos"}, {"gpx", "un GPX leído por QGIS como capa de GPS"},
    };
    const auto known = kNone.find(provider);
    return known != kNone.end() ? known->second : "datos del proveedor «" + provider + "», que Talpor no convierte";
}

Source SourceOf(const std::string& provider, const std::string& datasource) {
    Source s;
    if (provider == "ogr") {
        const std::vector<std::string> parts = Split(datasource, '|');
        s.path = parts[0];
        for (std::size_t i = 1; i < parts.size(); ++i)
            if (parts[i].starts_with("layername=")) s.layer = parts[i].substr(10);
    } else if (provider == "gdal") {
        s.path = datasource;
        if (datasource.starts_with("GPKG:")) {
            const std::size_t colon = datasource.rfind(':');
            s.path = datasource.substr(5, colon > 5 ? colon - 5 : std::string::npos);
            s.layer = colon > 5 ? datasource.substr(colon + 1) : "";
        }
    } else if (provider == "spatialite") {
        const std::size_t at = datasource.find("dbname='");
        const std::size_t end = at == std::string::npos ? at : datasource.find('\'', at + 8);
        if (end != std::string::npos) s.path = datasource.substr(at + 8, end - at - 8);
        const std::size_t table = datasource.find("table=\"");
        const std::size_t close = table == std::string::npos ? table : datasource.find('"', table + 7);
        if (close != std::string::npos) s.layer = datasource.substr(table + 7, close - table - 7);
    } else {
        s.none = NoneOf(provider);
        return s;
    }
    if (s.path.starts_with("/vsi")) s.none = "un fichero dentro de otro (" + s.path.substr(0, s.path.find('/', 1)) + "), que Talpor no convierte";
    else if (s.path.empty()) s.none = "ningún fichero";
    else if (s.path.find("://") != std::string::npos) s.none = "una dirección de la red";
    else if (s.path.size() > 1 && s.path[1] == ':') s.none = "un fichero de una ruta de Windows («" + s.path + "»)";
    if (!s.none.empty()) s.path.clear();
    return s;
}

// The folder relative paths start from: the project's home path, else its own folder.
std::string FolderOf(const std::string& path) {
    const fs::path folder = fs::path(path).parent_path();
    return folder.empty() ? "." : folder.string();
}

// The project's home path; "" where it has none.
std::string HomeOf(const XmlDocument& doc) {
    if (const auto home = doc.Child(doc.Root(), "homePath")) return doc.AttributeOf(*home, "path").value_or("");
    return {};
}

std::string BaseOf(const XmlDocument& doc, const std::string& projectPath) {
    const std::string home = HomeOf(doc);
    return home.empty() ? FolderOf(projectPath) : home;
}

std::string Resolved(const std::string& path, const std::string& base) {
    if (path.starts_with('/')) return fs::path(path).lexically_normal().string();
    return (fs::path(base) / path).lexically_normal().string();
}

// `file` as the project at `base` writes it: relative ("./capas/a.shp", "../b.shp") where
// the original was, else absolute.
std::string Written(const std::string& file, const std::string& base, bool relative) {
    std::error_code error;
    const fs::path absolute = fs::absolute(file, error).lexically_normal();
    if (!relative) return absolute.string();
    const fs::path from = fs::absolute(base, error).lexically_normal();
    std::string r = absolute.lexically_relative(from).generic_string();
    if (r.empty()) return absolute.string();
    return r.starts_with("../") || r == ".." ? r : "./" + r;
}

// The datasource reading `path`, layer `layer`, in place of the original's.
std::string NewDatasource(const std::string& provider, const std::string& old, const Source& source,
                          const std::string& path, const std::string& layer, bool layerNeeded) {
    if (provider == "ogr") {
        std::vector<std::string> parts = Split(old, '|');
        std::string out = path;
        bool named = false;
        for (std::size_t i = 1; i < parts.size(); ++i) {
            if (parts[i].starts_with("layername=")) {
                out += "|layername=" + layer;
                named = true;
            } else if (parts[i].starts_with("layerid=")) {
                // An index into the old file's layers: the new file is named by its layer.
                if (!named) out += "|layername=" + layer;
                named = true;
            } else {
                out += "|" + parts[i];
            }
        }
        if (!named && layerNeeded) out.insert(path.size(), "|layername=" + layer);
        return out;
    }
    if (provider == "gdal") return old.starts_with("GPKG:") ? "GPKG:" + path + ":" + layer : path;
    // spatialite: its dbname and table.
    std::string out = old;
    const std::size_t at = out.find("dbname='");
    out.replace(at + 8, source.path.size(), path);
    if (!source.layer.empty() && layer != source.layer) {
        const std::size_t table = out.find("table=\"");
        out.replace(table + 7, source.layer.size(), layer);
    }
    return out;
}

Rect ExtentOf(const XmlDocument& doc, std::size_t e, bool& ok) {
    const auto value = [&](const char* name) {
        if (const auto child = doc.Child(e, name)) return NumberOf(doc.TextOf(*child), ok);
        if (const auto attribute = doc.AttributeOf(e, name)) return NumberOf(*attribute, ok);
        ok = false;
        return 0.0;
    };
    return {value("xmin"), value("ymin"), value("xmax"), value("ymax")};
}

void SetExtent(XmlDocument& doc, std::size_t e, const Rect& r) {
    const std::array<std::pair<const char*, double>, 4> values{
        {{"xmin", r.xmin}, {"ymin", r.ymin}, {"xmax", r.xmax}, {"ymax", r.ymax}}};
    for (const auto& [name, v] : values) {
        if (const auto child = doc.Child(e, name)) doc.SetText(*child, Number(v));
        else doc.SetAttribute(e, name, Number(v));
    }
}

std::string PolygonOf(const Rect& r) {
    const std::string x0 = Number(r.xmin), y0 = Number(r.ymin), x1 = Number(r.xmax), y1 = Number(r.ymax);
    return "POLYGON((" + x0 + " " + y0 + ", " + x1 + " " + y0 + ", " + x1 + " " + y1 + ", " + x0 + " " + y1 + ", " + x0 +
           " " + y0 + "))";
}

// A bookmark's extent, written as a polygon of its corners.
std::optional<Rect> RectOfPolygon(const std::string& wkt) {
    const std::size_t open = wkt.find("((");
    if (!tables::AsciiLower(wkt).starts_with("polygon") || open == std::string::npos) return std::nullopt;
    Rect r{INFINITY, INFINITY, -INFINITY, -INFINITY};
    const char* at = wkt.c_str() + open + 2;
    int count = 0;
    while (true) {
        char* end = nullptr;
        const double x = std::strtod(at, &end);
        if (end == at) break;
        at = end;
        const double y = std::strtod(at, &end);
        if (end == at) return std::nullopt;
        at = end;
        r = {std::min(r.xmin, x), std::min(r.ymin, y), std::max(r.xmax, x), std::max(r.ymax, y)};
        ++count;
        while (*at == ' ') ++at;
        if (*at != ',') break;
        ++at;
    }
    if (count < 4 || !std::isfinite(r.xmin)) return std::nullopt;
    return r;
}

std::string Plural(std::size_t n, const std::string& one, const std::string& many) {
    return n == 1 ? one : std::to_string(n) + " " + many;
}

}  // namespace

bool IsProjectName(std::string_view path) {
    const std::string lower = tables::AsciiLower(path);
    return lower.ends_with(".qgs") || lower.ends_with(".qgz");
}

Project ReadProject(const std::string& path) {
    Project p;
    p.path = path;
    std::string bytes = ReadWhole(path);
    if (bytes.starts_with("PK\x03\x04")) {
        try {
            const ZipArchive zip(bytes);
            const ZipMember* qgs = nullptr;
            for (const ZipMember& m : zip.Members())
                if (tables::AsciiLower(m.name).ends_with(".qgs") && m.name.find('/') == std::string::npos) {
                    if (qgs != nullptr) throw RunError("el .qgz lleva dos proyectos, «" + qgs->name + "» y «" + m.name + "»");
                    qgs = &m;
                }
            if (qgs == nullptr) throw RunError("el .qgz no lleva ningún .qgs");
            p.member = qgs->name;
            p.xml = zip.Read(*qgs, kMaxProjectBytes);
        } catch (const ZipError& e) {
            throw RunError(std::string("no se puede leer el .qgz: ") + e.what());
        }
        p.archive = std::move(bytes);
    } else {
        p.xml = std::move(bytes);
    }
    return p;
}

std::vector<ProjectLayer> LayersOf(const Project& project) {
    std::optional<XmlDocument> doc;
    try {
        doc.emplace(project.xml);
    } catch (const XmlError& e) {
        throw RunError(std::string("no es un XML bien formado: ") + e.what());
    }
    if (doc->At(doc->Root()).name != "qgis") throw RunError("no es un proyecto de QGIS: su XML es «" + doc->At(doc->Root()).name + "»");
    const std::string base = BaseOf(*doc, project.path);
    std::vector<ProjectLayer> layers;
    const auto list = doc->Child(doc->Root(), "projectlayers");
    for (std::size_t e : list ? doc->Children(*list, "maplayer") : std::vector<std::size_t>{}) {
        ProjectLayer l;
        const auto id = doc->Child(e, "id"), datasource = doc->Child(e, "datasource"), provider = doc->Child(e, "provider");
        const auto name = doc->Child(e, "layername");
        const std::string type = doc->AttributeOf(e, "type").value_or("");
        if (!id || !datasource || (!provider && type != "annotation" && type != "group"))
            throw RunError("una capa del proyecto no tiene la forma que QGIS le da (id, datasource y provider)");
        l.id = doc->TextOf(*id);
        l.name = name ? doc->TextOf(*name) : l.id;
        l.provider = provider ? doc->TextOf(*provider) : type;
        l.datasource = doc->TextOf(*datasource);
        const Source s = SourceOf(l.provider, l.datasource);
        l.none = s.none;
        l.layer = s.layer;
        if (!s.path.empty()) l.file = Resolved(s.path, base);
        layers.push_back(std::move(l));
    }
    return layers;
}

std::optional<CrsName> ProjectTarget(const tables::Settings& settings, const CrsName& from) {
    if (settings.target) {
        if (from.Ed50() == settings.target->Ed50()) return std::nullopt;
        return settings.target;
    }
    const bool ed50Source = settings.conversion.direction == core::Direction::ED50ToWGS84;
    if (from.Ed50() != ed50Source) return std::nullopt;
    if (!ed50Source) return CrsName{CrsName::Datum::ED50, from.zone};
    return CrsName{settings.layers.wgs84Label ? CrsName::Datum::WGS84 : CrsName::Datum::ETRS89, from.zone};
}

ProjectSummary ConvertProject(const Project& project, const std::string& output, const tables::Settings& settings,
                              const OutcomeOf& outcomes) {
    const std::vector<ProjectLayer> layers = LayersOf(project);  // throws for what is no project
    XmlDocument doc(project.xml);
    ProjectSummary summary;
    const std::size_t root = doc.Root();
    const std::string version = doc.AttributeOf(root, "version").value_or("");
    if (!version.starts_with("3."))
        summary.notes.push_back("es de QGIS " + (version.empty() ? std::string("sin versión") : version) +
                                ", que Talpor no conoce: se ha convertido donde su estructura es la de QGIS 3");
    const std::string base = BaseOf(doc, project.path);
    // The new project's paths start from the same home path, or from its own folder.
    const std::string newBase = HomeOf(doc).empty() ? FolderOf(output) : base;
    const std::vector<std::size_t> maplayers =
        doc.Child(root, "projectlayers") ? doc.Children(*doc.Child(root, "projectlayers"), "maplayer") : std::vector<std::size_t>{};

    // Each converted layer: the sources QGIS wrote for it, to be found wherever the
    // project names it again (the layer tree, a layout's legend or locked layers).
    std::map<std::string, std::string> newSource;
    for (std::size_t i = 0; i < layers.size(); ++i) {
        const ProjectLayer& l = layers[i];
        const std::size_t e = maplayers[i];
        const std::string type = doc.AttributeOf(e, "type").value_or("");
        if (type == "annotation" || type == "group") continue;
        const std::string shown = "capa «" + l.name + "»";
        if (l.file.empty()) {
            summary.left.push_back(shown + ": lee " + l.none + "; sin cambios");
            continue;
        }
        const Source source = SourceOf(l.provider, l.datasource);
        const bool relative = !source.path.starts_with('/');
        const FileOutcome outcome = outcomes(l.file);
        if (!outcome.converted || outcome.table) {
            // Still the original file, found from where the new project is.
            const std::string kept = Written(l.file, newBase, relative);
            const std::string why = outcome.table ? "su fichero sale como tabla de vértices, que QGIS no lee como esta capa"
                                                  : outcome.why;
            std::error_code error;
            summary.left.push_back(shown + ": " + why + "; sigue leyendo «" +
                                   fs::absolute(l.file, error).lexically_normal().string() + "»");
            if (kept != source.path) {
                const std::string datasource = NewDatasource(l.provider, l.datasource, source, kept, source.layer, false);
                doc.SetText(*doc.Child(e, "datasource"), datasource);
                newSource[l.datasource] = datasource;
            }
            continue;
        }
        const FileOutcome::Layer* to = nullptr;
        // A file copied as it was, or an image, has one entry for whatever layer is read of it.
        std::optional<FileOutcome::Layer> whole;
        for (const FileOutcome::Layer& o : outcome.layers)
            if (o.name.empty()) whole = FileOutcome::Layer{l.layer, o.file, l.layer, o.epsg};
        for (const FileOutcome::Layer& o : outcome.layers)
            if (!whole && to == nullptr && (o.name == l.layer || l.layer.empty())) to = &o;
        if (whole) to = &*whole;
        if (to == nullptr) {
            summary.left.push_back(shown + ": su capa «" + l.layer + "» no está en «" + outcome.output +
                                   "»; sigue leyendo «" + l.file + "»");
            continue;
        }
        const std::string path = Written(to->file, newBase, relative);
        const bool several = outcome.layers.size() > 1 || !source.layer.empty();
        const std::string datasource = NewDatasource(l.provider, l.datasource, source, path, to->outName,
                                                     several && l.provider == "ogr");
        doc.SetText(*doc.Child(e, "datasource"), datasource);
        newSource[l.datasource] = datasource;
        ++summary.layers;
        if (to->epsg == 0) continue;
        // Its system, and the extent QGIS keeps of it.
        const auto srs = doc.Find(e, "srs/spatialrefsys");
        const std::optional<CrsName> from = CrsOfSrs(doc, srs);
        const std::optional<CrsName> into = CrsOfEpsg(to->epsg);
        if (srs) SetSystem(doc, *srs, to->epsg);
        if (const auto extent = doc.Child(e, "extent"); extent && from && into && !doc.At(*extent).children.empty()) {
            bool ok = true;
            const Rect r = ExtentOf(doc, *extent, ok);
            if (ok && !(*from == *into))
                if (const auto moved = Mover(settings, *from, *into).MoveBox(r)) SetExtent(doc, *extent, *moved);
        }
    }
    // The layer's source where the project names it again.
    for (std::size_t e = 0; e < doc.Size(); ++e)
        if (const auto source = doc.AttributeOf(e, "source")) {
            const auto changed = newSource.find(*source);
            if (changed != newSource.end()) doc.SetAttribute(e, "source", changed->second);
        }

    // The project's system, and what it keeps in map coordinates.
    std::optional<CrsName> projectFrom, projectTo;
    if (const auto srs = doc.Find(root, "projectCrs/spatialrefsys")) {
        projectFrom = CrsOfSrs(doc, *srs);
        if (projectFrom) projectTo = ProjectTarget(settings, *projectFrom);
        if (projectTo) {
            SetSystem(doc, *srs, tables::EpsgOf(*projectTo));
            summary.moved.push_back("el sistema del proyecto");
            summary.way = tables::TitleOf(*projectFrom) + " → " + tables::TitleOf(*projectTo) + ", " +
                          (projectFrom->Ed50() == projectTo->Ed50() ? std::string("solo la proyección")
                                                                    : std::string(tables::MethodWord(settings.conversion.method)));
        }
    }
    std::vector<std::string> unmoved;
    // A rectangle with a system of its own: both moved where the system is the source's.
    const auto moveOwn = [&](std::optional<std::size_t> srs, const std::function<bool(const Mover&)>& move,
                             const std::string& what) {
        const std::optional<CrsName> from = CrsOfSrs(doc, srs);
        const std::optional<CrsName> to = from ? ProjectTarget(settings, *from) : std::nullopt;
        if (!to) return false;
        if (!move(Mover(settings, *from, *to))) {
            unmoved.push_back(what);
            return false;
        }
        SetSystem(doc, *srs, tables::EpsgOf(*to));
        return true;
    };
    if (const auto canvasList = doc.Descendants(root, "mapcanvas"); !canvasList.empty()) {
        std::size_t canvases = 0;
        for (std::size_t canvas : canvasList) {
            const auto extent = doc.Child(canvas, "extent");
            if (!extent) continue;
            canvases += moveOwn(doc.Find(canvas, "destinationsrs/spatialrefsys"), [&](const Mover& m) {
                bool ok = true;
                const auto r = m.MoveBox(ExtentOf(doc, *extent, ok));
                if (!ok || !r) return false;
                SetExtent(doc, *extent, *r);
                return true;
            }, "la extensión del mapa");
        }
        if (canvases > 0) summary.moved.push_back(canvases == 1 ? "la extensión del mapa" : std::to_string(canvases) + " vistas del mapa");
    }
    if (const auto view = doc.Find(root, "ProjectViewSettings/DefaultViewExtent"))
        if (moveOwn(doc.Child(*view, "spatialrefsys"), [&](const Mover& m) {
                bool ok = true;
                const auto r = m.MoveBox(ExtentOf(doc, *view, ok));
                if (!ok || !r) return false;
                SetExtent(doc, *view, *r);
                return true;
            }, "la vista inicial"))
            summary.moved.push_back("la vista inicial");
    std::size_t bookmarks = 0;
    for (std::size_t b : doc.Descendants(root, "Bookmark")) {
        const auto wkt = doc.AttributeOf(b, "extent");
        const auto rect = wkt ? RectOfPolygon(*wkt) : std::nullopt;
        if (!rect) continue;
        bookmarks += moveOwn(doc.Child(b, "spatialrefsys"), [&](const Mover& m) {
            const auto r = m.MoveBox(*rect);
            if (!r) return false;
            doc.SetAttribute(b, "extent", PolygonOf(*r));
            return true;
        }, "el marcador «" + doc.AttributeOf(b, "name").value_or("") + "»");
    }
    if (bookmarks > 0) summary.moved.push_back(Plural(bookmarks, "el marcador", "marcadores"));
    std::size_t maps = 0, grids = 0;
    for (std::size_t item : doc.Descendants(root, "LayoutItem")) {
        if (doc.AttributeOf(item, "type") != kLayoutMap) continue;
        const auto extent = doc.Child(item, "Extent");
        const auto crs = doc.Find(item, "crs/spatialrefsys");
        // A map without a system of its own shows the project's.
        const std::optional<CrsName> own = CrsOfSrs(doc, crs);
        const bool ofProject = !crs || EpsgOfSrs(doc, crs) == 0;
        const std::optional<CrsName> from = ofProject ? projectFrom : own;
        const std::optional<CrsName> to = ofProject ? projectTo : (from ? ProjectTarget(settings, *from) : std::nullopt);
        if (extent && from && to) {
            bool ok = true;
            const Rect r = ExtentOf(doc, *extent, ok);
            // The item's size on paper: "200,100,mm".
            double aspect = 0;
            if (const auto size = doc.AttributeOf(item, "size")) {
                const std::vector<std::string> parts = Split(*size, ',');
                bool sized = parts.size() >= 2;
                const double width = sized ? NumberOf(parts[0], sized) : 0, height = sized ? NumberOf(parts[1], sized) : 0;
                if (sized && width > 0 && height > 0) aspect = width / height;
            }
            const auto frame = ok ? Mover(settings, *from, *to).MoveFrame(r, aspect) : std::nullopt;
            if (frame) {
                SetExtent(doc, *extent, *frame);
                if (!ofProject) SetSystem(doc, *crs, tables::EpsgOf(*to));
                ++maps;
            } else {
                unmoved.push_back("un mapa de diseño");
            }
        }
        for (std::size_t grid : doc.Children(item, "ComposerMapGrid")) {
            const auto srs = doc.Child(grid, "spatialrefsys");
            const std::optional<CrsName> gridFrom = CrsOfSrs(doc, srs);
            const std::optional<CrsName> gridTo = gridFrom ? ProjectTarget(settings, *gridFrom) : std::nullopt;
            if (!gridTo) continue;
            SetSystem(doc, *srs, tables::EpsgOf(*gridTo));
            ++grids;
        }
    }
    if (maps > 0) summary.moved.push_back(Plural(maps, "el mapa de un diseño de impresión", "mapas de diseños de impresión"));
    if (grids > 0) summary.moved.push_back(Plural(grids, "la cuadrícula de un mapa", "cuadrículas de mapas"));
    // The ellipsoid distances and areas are measured on, where it was the source system's.
    if (const auto ellipsoid = doc.Find(root, "properties/Measure/Ellipsoid"); ellipsoid && projectFrom && projectTo) {
        const std::string old = FieldOf(SystemOf(tables::EpsgOf(*projectFrom)), "ellipsoidacronym");
        const std::string now = FieldOf(SystemOf(tables::EpsgOf(*projectTo)), "ellipsoidacronym");
        if (doc.TextOf(*ellipsoid) == old && old != now) {
            doc.SetText(*ellipsoid, now);
            summary.moved.push_back(std::string("el elipsoide de las medidas (") +
                                    (now == "EPSG:7019" ? "GRS80" : now == "EPSG:7030" ? "WGS84" : "Internacional 1924") + ")");
        }
    }
    for (const std::string& what : unmoved)
        summary.notes.push_back(what + " no se ha movido: cae fuera del área del método");

    // A .qgs's auxiliary storage (label positions and the like, each in its layer's
    // coordinates) beside it, copied as it is; a .qgz holds its own.
    const std::string auxiliary = project.path.substr(0, project.path.size() - 4) + ".qgd";
    const bool besideQgs = project.member.empty() && ::access(auxiliary.c_str(), F_OK) == 0;
    bool inQgz = false;
    if (!project.member.empty()) {
        const ZipArchive archive(project.archive);
        for (const ZipMember& m : archive.Members()) inQgz = inQgz || tables::AsciiLower(m.name).ends_with(".qgd");
    }
    if ((besideQgs || inQgz) && summary.layers > 0)
        summary.notes.push_back("su almacenamiento auxiliar (.qgd: etiquetas y diagramas colocados a mano) se copia tal "
                                "cual, con sus posiciones en el sistema que tenían sus capas");
    if (besideQgs) {
        const std::string target = output.substr(0, output.size() - 4) + ".qgd";
        if (!settings.layers.replace && ::access(target.c_str(), F_OK) == 0)
            throw RunError("ya existe «" + target + "», y no se reemplaza sin --reemplazar");
        const std::string bytes = ReadWhole(auxiliary);
        tables::OutputFile out(target, tables::IdOf(auxiliary));
        WriteAll(out, bytes, target);
        out.Commit();
    }

    // Written whole or not at all.
    const std::string xml = doc.Edited();
    std::string bytes;
    try {
        bytes = project.member.empty() ? xml : ZipArchive(project.archive).Replaced(project.member, xml);
    } catch (const ZipError& e) {
        throw RunError(std::string("no se puede escribir el .qgz: ") + e.what());
    }
    tables::OutputFile out(output, tables::IdOf(project.path));
    WriteAll(out, bytes, output);
    out.Commit();
    return summary;
}

namespace {

// "4 capas leen ahora sus ficheros convertidos; movidos (ED50 UTM 30 → ETRS89 UTM 30,
// rejilla): el sistema del proyecto, la vista inicial y el marcador".
std::string HeadLine(const ProjectSummary& s) {
    std::string text =
        "proyecto de QGIS: " + tables::Count(s.layers, "capa lee ahora su fichero convertido", "capas leen ahora sus ficheros convertidos");
    if (s.moved.empty()) return text;
    text += "; movidos";
    if (!s.way.empty()) text += " (" + s.way + ")";
    text += ": ";
    for (std::size_t i = 0; i < s.moved.size(); ++i) text += (i == 0 ? "" : i + 1 == s.moved.size() ? " y " : ", ") + s.moved[i];
    return text;
}

}  // namespace

std::string ProjectSummaryText(const ProjectSummary& s, std::string_view shown) {
    const std::string head = "talpor-lote: " + std::string(shown) + ": ";
    std::string text = head + HeadLine(s) + "\n";
    for (const std::string& l : s.left) text += head + l + "\n";
    for (const std::string& n : s.notes) text += head + n + "\n";
    return text;
}

std::string ProjectSummaryLine(const ProjectSummary& s) {
    std::string text = HeadLine(s);
    for (const std::string& l : s.left) text += "; " + l;
    for (const std::string& n : s.notes) text += "; " + n;
    return text + ".";
}

}  // namespace projects
