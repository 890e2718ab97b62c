// What a file is, read from its first bytes: magic numbers of the binary formats, the
// root element of an XML, the first line of the text ones.
#include "tables/FileKind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "tables/Encoding.h"

namespace tables {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

WhatFile Is(FileKind kind, std::string_view format) { return {kind, std::string(format), ""}; }
WhatFile Refuse(std::string sentence) { return {FileKind::Refused, "", std::move(sentence)}; }

std::string ExtensionOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? "" : AsciiLower(name.substr(dot));
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && AsciiLower(text.substr(0, prefix.size())) == prefix;
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// The first `count` lines of `text` that are not blank, trimmed.
std::vector<std::string_view> FirstLines(std::string_view text, std::size_t count) {
    std::vector<std::string_view> lines;
    while (!text.empty() && lines.size() < count) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = Trimmed(text.substr(0, end));
        if (!line.empty()) lines.push_back(line);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

std::uint32_t Le32(std::string_view b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}
std::uint16_t Le16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

// A ZIP by the names of its members.
WhatFile ZipOf(const std::vector<std::string>& members, std::string_view head) {
    auto any = [&](auto test) { return std::any_of(members.begin(), members.end(), test); };
    if (any([](const std::string& m) { return m == "xl/workbook.xml"; })) return Is(FileKind::Sheet, "xlsx");
    if (head.find("application/vnd.oasis.opendocument.spreadsheet") != std::string_view::npos)
        return Is(FileKind::Sheet, "ods");
    // A project's .qgz may carry files of any kind besides its .qgs.
    if (any([](const std::string& m) { return AsciiLower(m).ends_with(".qgs") && m.find('/') == std::string::npos; }))
        return Is(FileKind::Project, "qgz");
    if (any([](const std::string& m) { return AsciiLower(m).ends_with(".kml"); })) return Is(FileKind::Layer, "kmz");
    if (any([](const std::string& m) { return AsciiLower(m).ends_with(".shp"); }))
        return Refuse("es un fichero comprimido (ZIP) con un shapefile dentro: descomprímalo y convierta sus ficheros");
    if (head.find("application/vnd.oasis.opendocument") != std::string_view::npos ||
        any([](const std::string& m) { return m == "word/document.xml" || m == "ppt/presentation.xml"; }))
        return Refuse("es un documento de oficina, no una hoja de cálculo ni una capa");
    return Refuse("es un fichero comprimido (ZIP) sin capa KML ni hoja de cálculo: descomprímalo y convierta sus ficheros");
}

// The names of the members whose local headers lie in `head`: enough for a file read no
// further, as the first members of a workbook or a KMZ say what it is.
std::vector<std::string> LocalMembers(std::string_view head) {
    std::vector<std::string> names;
    for (std::size_t at = 0; at + 30 <= head.size() && head.substr(at, 4) == "PK\x03\x04";) {
        const std::size_t length = Le16(head, at + 26), extra = Le16(head, at + 28);
        const std::uint32_t compressed = Le32(head, at + 18);
        if (at + 30 + length > head.size()) break;
        names.emplace_back(head.substr(at + 30, length));
        // A member whose size follows it (bit 3) cannot be stepped over from here.
        if ((Le16(head, at + 6) & 8) != 0) break;
        at += 30 + length + extra + compressed;
    }
    return names;
}

// The names in a ZIP's central directory, read from its end; empty when it has none that
// can be read (a truncated file), whose local headers are then all there is to go by.
std::vector<std::string> CentralMembers(int fd, std::uint64_t size) {
    std::vector<std::string> names;
    const std::uint64_t tail = std::min<std::uint64_t>(size, 65535 + 22);
    std::string end(tail, '\0');
    if (::pread(fd, end.data(), tail, static_cast<off_t>(size - tail)) != static_cast<ssize_t>(tail)) return names;
    const std::size_t at = end.rfind("PK\x05\x06");
    if (at == std::string::npos || at + 22 > end.size()) return names;
    const std::uint32_t length = Le32(end, at + 12), offset = Le32(end, at + 16);
    // A directory of more than 16 MB is no workbook's or KMZ's.
    if (length > (16u << 20) || std::uint64_t{offset} + length > size) return names;
    std::string directory(length, '\0');
    if (::pread(fd, directory.data(), length, offset) != static_cast<ssize_t>(length)) return names;
    for (std::size_t p = 0; p + 46 <= directory.size() && directory.compare(p, 4, "PK\x01\x02") == 0;) {
        const std::size_t name = Le16(directory, p + 28), extra = Le16(directory, p + 30), comment = Le16(directory, p + 32);
        if (p + 46 + name > directory.size()) break;
        names.emplace_back(directory.substr(p + 46, name));
        p += 46 + name + extra + comment;
    }
    return names;
}

// The root element of an XML document, with its prefix: "kml", "gml:FeatureCollection";
// "" when none is found in `text`.
std::string_view RootElement(std::string_view text) {
    for (std::size_t at = text.find('<'); at != std::string_view::npos && at + 1 < text.size(); at = text.find('<', at + 1)) {
        const char next = text[at + 1];
        if (next == '?' || next == '!') {
            // A declaration, a comment, a DOCTYPE: skipped whole.
            const std::string_view close = text.compare(at, 4, "<!--") == 0 ? "-->" : ">";
            const std::size_t end = text.find(close, at);
            if (end == std::string_view::npos) return "";
            at = end;
            continue;
        }
        const std::size_t end = text.find_first_of(" \t\r\n/>", at + 1);
        return text.substr(at + 1, (end == std::string_view::npos ? text.size() : end) - at - 1);
    }
    return "";
}

WhatFile XmlOf(std::string_view text) {
    const std::string_view root = RootElement(text);
    const std::size_t colon = root.find(':');
    const std::string local = AsciiLower(colon == std::string_view::npos ? root : root.substr(colon + 1));
    if (local == "kml") return Is(FileKind::Layer, "kml");
    if (local == "gpx") return Is(FileKind::Layer, "gpx");
    if (local == "vrtdataset") return Is(FileKind::Image, "vrt");
    if (local == "qgis") return Is(FileKind::Project, "qgs");
    if (local == "pamdataset")
        return Refuse("es el fichero auxiliar de una imagen (.aux.xml): convierta la imagen, que lo lleva consigo");
    if (local == "html") return Refuse("es una página web (HTML), no una tabla ni una capa");
    if (text.find("http://www.opengis.net/gml") != std::string_view::npos || StartsWithNoCase(root, "gml:"))
        return Is(FileKind::Layer, "gml");
    if (local.empty()) return Refuse("es un XML sin elemento raíz que se pueda leer");
    return Refuse("es un XML «" + std::string(root) + "», no un GML, un KML ni un GPX");
}

WhatFile JsonOf(std::string_view text) {
    if (text.find("\"Topology\"") != std::string_view::npos)
        return Refuse("es TopoJSON, que Talpor no lee: expórtelo a GeoJSON");
    if (text.find("\"type\"") != std::string_view::npos || text.find("\"features\"") != std::string_view::npos ||
        text.find("\"coordinates\"") != std::string_view::npos)
        return Is(FileKind::Layer, "geojson");
    return Refuse("es un JSON que no es GeoJSON");
}

// Whether the first line of a text names a column WKT: a layer whose geometry is that
// column's text, as GIS programs export one to CSV.
bool WktHeader(std::string_view line) {
    std::size_t start = 0;
    while (start <= line.size()) {
        std::size_t end = line.find_first_of(",;\t", start);
        if (end == std::string_view::npos) end = line.size();
        std::string_view cell = Trimmed(line.substr(start, end - start));
        if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"') cell = cell.substr(1, cell.size() - 2);
        if (AsciiLower(cell) == "wkt") return true;
        start = end + 1;
    }
    return false;
}

WhatFile TextOf(std::string_view text, const std::string& extension) {
    const std::vector<std::string_view> lines = FirstLines(text, 4);
    if (lines.empty()) return Is(FileKind::Table, "");
    const std::string first = AsciiLower(lines[0]);
    if (first.starts_with("!table")) return Is(FileKind::Layer, "tab");
    if (first.starts_with("version ") && first.find_first_of("0123456789") == first.find_first_not_of(' ', 8))
        return Is(FileKind::Layer, "mif");
    const bool section = lines.size() >= 2 && lines[0] == "0" && lines[1] == "SECTION";
    const bool commented = lines.size() >= 4 && lines[0] == "999" && lines[2] == "0" && lines[3] == "SECTION";
    if (section || commented) return Is(FileKind::Layer, "dxf");
    if (extension == ".hdr")
        return Refuse("es la cabecera de una imagen (.hdr): convierta el fichero de sus píxeles, que la lleva consigo");
    // An ASCII grid (Esri's or GRASS's): its header first.
    static constexpr std::string_view kGridWords[] = {"ncols", "nrows", "xllcorner", "xllcenter", "north:", "south:"};
    const std::string word = first.substr(0, first.find_first_of(" \t"));
    if (std::find(std::begin(kGridWords), std::end(kGridWords), word) != std::end(kGridWords))
        return Is(FileKind::Image, "asc");
    if (WktHeader(lines[0])) return Is(FileKind::Layer, "csvwkt");
    return Is(FileKind::Table, "");
}

// An image whose pixels are raw, told by the labelled header beside it: ENVI's, or Esri's
// for a .bil, .bip or .bsq.
// Bytes that are no text (`binary`) beside a header of their name are taken for its
// pixels, whatever the header holds: a damaged label is the image reader's to refuse.
WhatFile LabelledImage(const std::string& path, const std::string& extension, bool binary = false) {
    const std::size_t dot = path.size() - extension.size();
    for (const std::string& header : {path.substr(0, dot) + ".hdr", path.substr(0, dot) + ".HDR", path + ".hdr"}) {
        if (extension.empty() && header != path + ".hdr") continue;
        const bool esri = extension == ".bil" || extension == ".bip" || extension == ".bsq";
        struct stat st {};
        if (::lstat(header.c_str(), &st) != 0) continue;
        // A header that is a link or no file at all (a FIFO) is not read here: the image's
        // reader refuses it, by name.
        if (!S_ISREG(st.st_mode)) return Is(FileKind::Image, esri ? "ehdr" : "envi");
        const int fd = ::open(header.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        char first[8] = {};
        const ssize_t n = ::read(fd, first, sizeof first);
        ::close(fd);
        if (n >= 4 && std::string_view(first, 4) == "ENVI") return Is(FileKind::Image, "envi");
        if (esri) return Is(FileKind::Image, "ehdr");
        if (binary) return Is(FileKind::Image, "envi");
    }
    return {};
}

}  // namespace

WhatFile WhatNameSays(std::string_view path) {
    static constexpr std::pair<std::string_view, std::pair<FileKind, std::string_view>> kNames[] = {
        {".shp", {FileKind::Layer, "shp"}},     {".gpkg", {FileKind::Layer, "gpkg"}},
        {".kml", {FileKind::Layer, "kml"}},     {".kmz", {FileKind::Layer, "kmz"}},
        {".geojson", {FileKind::Layer, "geojson"}}, {".json", {FileKind::Layer, "geojson"}},
        {".dxf", {FileKind::Layer, "dxf"}},     {".gpx", {FileKind::Layer, "gpx"}},
        {".tab", {FileKind::Layer, "tab"}},     {".mif", {FileKind::Layer, "mif"}},
        {".gml", {FileKind::Layer, "gml"}},     {".fgb", {FileKind::Layer, "fgb"}},
        {".sqlite", {FileKind::Layer, "sqlite"}}, {".tif", {FileKind::Image, "tif"}},
        {".tiff", {FileKind::Image, "tif"}},    {".jpg", {FileKind::Image, "jpg"}},
        {".jpeg", {FileKind::Image, "jpg"}},    {".png", {FileKind::Image, "png"}},
        {".asc", {FileKind::Image, "asc"}},     {".vrt", {FileKind::Image, "vrt"}},
        {".jp2", {FileKind::Image, "jp2"}},     {".j2k", {FileKind::Image, "jp2"}},
        {".img", {FileKind::Image, "img"}},     {".bil", {FileKind::Image, "ehdr"}},
        {".bip", {FileKind::Image, "ehdr"}},    {".bsq", {FileKind::Image, "ehdr"}},
        {".xyz", {FileKind::Image, "xyz"}},     {".ecw", {FileKind::Image, "ecw"}},
        {".sid", {FileKind::Image, "sid"}},     {".xlsx", {FileKind::Sheet, "xlsx"}},
        {".ods", {FileKind::Sheet, "ods"}},     {".xls", {FileKind::Sheet, "xls"}},
        {".csv", {FileKind::Table, ""}},        {".txt", {FileKind::Table, ""}},
        {".tsv", {FileKind::Table, ""}},        {".dat", {FileKind::Table, ""}},
        {".qgs", {FileKind::Project, "qgs"}},   {".qgz", {FileKind::Project, "qgz"}},
    };
    const std::string extension = ExtensionOf(path);
    for (const auto& [e, what] : kNames)
        if (e == extension) return Is(what.first, what.second);
    return {};
}

WhatFile WhatIsHead(std::string_view head, std::string_view path) {
    const std::string extension = ExtensionOf(path);
    auto starts = [&](std::string_view magic) { return head.starts_with(magic); };
    using namespace std::string_view_literals;
    // Binary formats, by their magic numbers.
    if (starts("SQLite format 3\0"sv)) {
        const std::string_view id = head.size() >= 72 ? head.substr(68, 4) : "";
        return Is(FileKind::Layer, id == "GPKG" || id == "GP10" || id == "GP11" ? "gpkg" : "sqlite");
    }
    if (head.size() >= 8 && head.substr(0, 3) == "fgb" && head.substr(4, 3) == "fgb") return Is(FileKind::Layer, "fgb");
    if (starts("\x00\x00\x27\x0A"sv)) {
        if (extension == ".shx") return Refuse("es el índice de un shapefile: convierta su .shp, que lo lleva consigo");
        return Is(FileKind::Layer, "shp");
    }
    if (starts("PK\x03\x04"sv)) return ZipOf(LocalMembers(head), head);
    if (starts("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv)) return Is(FileKind::Sheet, "xls");
    if (starts("II*\0"sv) || starts("MM\0*"sv) || starts("II+\0"sv) || starts("MM\0+"sv)) return Is(FileKind::Image, "tif");
    if (starts("\xFF\xD8\xFF"sv)) return Is(FileKind::Image, "jpg");
    if (starts("\x89PNG\r\n\x1A\n"sv)) return Is(FileKind::Image, "png");
    if (starts("\0\0\0\x0CjP  \r\n\x87\n"sv) || starts("\xFF\x4F\xFF\x51"sv)) return Is(FileKind::Image, "jp2");
    if (starts("EHFA_HEADER_TAG"sv)) return Is(FileKind::Image, "img");
    if (starts("msid"sv)) return Is(FileKind::Image, "sid");
    if (starts("AutoCAD Binary DXF"sv)) return Is(FileKind::Layer, "dxf");
    if (starts("%PDF"sv))
        return Refuse("es un PDF, no una tabla, una capa ni una imagen: si es un mapa georreferenciado, expórtelo a GeoTIFF");
    if (starts("GIF8"sv)) return Refuse("es una imagen GIF, que Talpor no lee: guárdela como PNG o GeoTIFF");
    if (starts("\x1F\x8B"sv)) return Refuse("es un fichero comprimido con gzip: descomprímalo y convierta lo que contiene");
    if (starts("Rar!"sv) || starts("7z\xBC\xAF\x27\x1C"sv))
        return Refuse("es un fichero comprimido (RAR o 7z): descomprímalo y convierta lo que contiene");
    if (starts("AC10"sv)) return Refuse("es un dibujo DWG, que Talpor no lee: guárdelo como DXF");
    // UTF-16 is text the table reader names.
    if (starts("\xFF\xFE"sv) || starts("\xFE\xFF"sv)) return Is(FileKind::Table, "");
    std::string_view text = head;
    if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
    if (text.substr(0, std::min<std::size_t>(text.size(), 4096)).find('\0') != std::string_view::npos) return {};
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return Is(FileKind::Table, "");
    text.remove_prefix(start);
    if (text.front() == '<') return XmlOf(text);
    if (text.front() == '{') return JsonOf(text);
    return TextOf(text, extension);
}

WhatFile WhatIs(const std::string& path) {
    // Anything but a regular file is left to the caller's own checks, and not opened: a
    // FIFO opened and closed here would let its writer write to no reader, and die of it.
    // Opened without blocking, should the file have become a FIFO since.
    // Raw pixels are an image by the labelled header beside them, whatever they are: a FIFO
    // in their place is the image reader's to refuse.
    if (struct stat named {}; ::stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) {
        const bool exists = ::lstat(path.c_str(), &named) == 0;
        return exists ? LabelledImage(path, ExtensionOf(path)) : WhatFile{};
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {};
    }
    std::string head(kHeadBytes, '\0');
    const ssize_t n = ::pread(fd, head.data(), head.size(), 0);
    head.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    WhatFile what = WhatIsHead(head, path);
    if (head.starts_with("PK\x03\x04")) {
        std::vector<std::string> members = CentralMembers(fd, static_cast<std::uint64_t>(st.st_size));
        if (members.empty()) members = LocalMembers(head);
        what = ZipOf(members, head);
    }
    ::close(fd);
    const std::string extension = ExtensionOf(path);
    const WhatFile named = WhatNameSays(path);
    // A shapefile and MapInfo's files are found by their names, each beside the others, and
    // GDAL reads a KMZ, an ODS or an old Excel workbook by its name alone: the file must
    // bear its format's extension.
    static constexpr std::pair<std::string_view, std::string_view> kNamedBy[] = {
        {"shp", "es un shapefile: su nombre debe acabar en .shp, junto a su .shx y su .dbf"},
        {"tab", "es una tabla de MapInfo: su nombre debe acabar en .tab, junto a su .dat y su .map"},
        {"mif", "es un MapInfo MIF: su nombre debe acabar en .mif, junto a su .mid"},
        {"kmz", "es un KMZ: su nombre debe acabar en .kmz"},
        {"ods", "es una hoja de cálculo ODS: su nombre debe acabar en .ods"},
        {"xls", "es un documento de Office antiguo, quizá una hoja de Excel: su nombre debe acabar en .xls"}};
    for (const auto& [format, sentence] : kNamedBy)
        if (what.format == format && extension != "." + std::string(format)) return Refuse(std::string(sentence));
    // Raw pixels with a labelled header beside them have no magic of their own.
    if (what.kind == FileKind::Unknown || what.kind == FileKind::Table) {
        if (WhatFile labelled = LabelledImage(path, extension, what.kind == FileKind::Unknown);
            labelled.kind == FileKind::Image)
            return labelled;
    }
    if (what.kind == FileKind::Unknown) {
        // Binary, of no format Talpor knows by its content: the name's, whose reader then
        // says what is wrong with it (a damaged GeoPackage, a table in UTF-16), or refused.
        if (named.kind != FileKind::Unknown) return named;
        return Refuse("no parece texto (tiene bytes nulos) ni es una capa, una imagen o una hoja de cálculo que Talpor lea");
    }
    // A .tab beside a .map of its name is MapInfo's, however damaged its text.
    if (what.kind == FileKind::Table && extension == ".tab") {
        const std::string stem = path.substr(0, path.size() - extension.size());
        struct stat map {};
        if (::stat((stem + ".map").c_str(), &map) == 0 || ::stat((stem + ".MAP").c_str(), &map) == 0)
            return Is(FileKind::Layer, "tab");
    }
    // Text that is no format of its own: a table, unless its name says a format that is
    // damaged or plain text by design (an XYZ grid), which that format's reader judges.
    if (what.kind == FileKind::Table && named.kind != FileKind::Unknown && named.kind != FileKind::Table &&
        named.format != "tab" && named.format != "csvwkt")
        return named;
    return what;
}

}  // namespace tables
