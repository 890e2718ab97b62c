#include "gdal/KmlWriter.h"

#include <cpl_conv.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "tables/Encoding.h"

namespace gdal {
namespace {

// Text for XML content and attribute values: the five special characters escaped, and
// the control characters XML 1.0 has no place for written as U+FFFD.
std::string Escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') out += "\xEF\xBF\xBD";
                else out += c;
        }
    }
    return out;
}

// KML's SimpleField type of an OGR field; what KML has no type for is text.
const char* KmlType(OGRFieldDefnH field) {
    switch (OGR_Fld_GetType(field)) {
        case OFTInteger: return OGR_Fld_GetSubType(field) == OFSTBoolean ? "bool" : "int";
        case OFTReal: return "double";
        default: return "string";
    }
}

// An OGR colour, "#RRGGBB" or "#RRGGBBAA", as KML writes it: "aabbggrr".
std::string KmlColour(std::string_view ogr) {
    if (ogr.size() != 7 && ogr.size() != 9) return "";
    const std::string_view alpha = ogr.size() == 9 ? ogr.substr(7, 2) : "ff";
    return std::string(alpha) + std::string(ogr.substr(5, 2)) + std::string(ogr.substr(3, 2)) + std::string(ogr.substr(1, 2));
}

// The value of parameter `name` of tool `tool` in an OGR style string: `PEN(c:#ff0000,w:2px)`.
std::string StyleParameter(std::string_view style, std::string_view tool, std::string_view name) {
    const std::size_t at = style.find(std::string(tool) + "(");
    if (at == std::string_view::npos) return "";
    const std::size_t end = style.find(')', at);
    std::string_view params = style.substr(at + tool.size() + 1, end == std::string_view::npos ? std::string_view::npos
                                                                                                : end - at - tool.size() - 1);
    while (!params.empty()) {
        const std::size_t comma = params.find(',');
        const std::string_view p = params.substr(0, comma);
        if (p.starts_with(std::string(name) + ":")) {
            std::string_view v = p.substr(name.size() + 1);
            if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
            return std::string(v);
        }
        if (comma == std::string_view::npos) break;
        params.remove_prefix(comma + 1);
    }
    return "";
}

// A feature's style as KML: the pen's colour and width for its lines, the brush's colour
// for its areas; "" for none.
std::string KmlStyle(const char* ogrStyle) {
    if (ogrStyle == nullptr || ogrStyle[0] == '\0') return "";
    const std::string pen = KmlColour(StyleParameter(ogrStyle, "PEN", "c"));
    const std::string width = StyleParameter(ogrStyle, "PEN", "w");
    const std::string brush = KmlColour(StyleParameter(ogrStyle, "BRUSH", "fc"));
    std::string kml;
    if (!pen.empty()) {
        kml += "<LineStyle><color>" + pen + "</color>";
        if (const double w = std::atof(width.c_str()); w > 0) kml += "<width>" + std::to_string(w) + "</width>";
        kml += "</LineStyle>";
    }
    if (!brush.empty()) kml += "<PolyStyle><color>" + brush + "</color></PolyStyle>";
    return kml.empty() ? "" : "<Style>" + kml + "</Style>";
}

}  // namespace

std::string IsoDate(OGRFeatureH feature, int field) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, tz = 0;
    float sec = 0;
    OGR_F_GetFieldAsDateTimeEx(feature, field, &y, &mo, &d, &h, &mi, &sec, &tz);
    char text[64];
    if (OGR_Fld_GetType(OGR_F_GetFieldDefnRef(feature, field)) == OFTDate) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, mo, d);
        return text;
    }
    const int whole = static_cast<int>(sec);
    if (sec != static_cast<float>(whole)) std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%06.3f", y, mo, d, h, mi, sec);
    else std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi, whole);
    std::string iso = text;
    // OGR's zone: 1 local, 100 UTC, 100 ± 4 an hour.
    if (tz == 100) iso += "Z";
    else if (tz > 1) {
        const int minutes = (tz - 100) * 15;
        std::snprintf(text, sizeof text, "%c%02d:%02d", minutes < 0 ? '-' : '+', std::abs(minutes) / 60, std::abs(minutes) % 60);
        iso += text;
    }
    return iso;
}

bool KmlWriter::Open(const std::string& path) {
    const bool kmz = path.size() > 4 && EQUAL(path.c_str() + path.size() - 4, ".kmz");
    // The archive's name within braces: the temporary folder's own name ends in ".kmz.XXXXXX".
    file_ = VSIFOpenL((kmz ? "/vsizip/{" + path + "}/doc.kml" : path).c_str(), "wb");
    return file_ != nullptr;
}

std::vector<std::pair<int, std::string>> KmlWriter::AddLayer(const std::string& name, OGRFeatureDefnH definition,
                                             const std::vector<std::string>& fieldNames, bool skipped) {
    std::vector<std::pair<int, std::string>> asText;
    Layer l;
    l.name = name;
    l.skipped = skipped;
    for (int f = 0; f < OGR_FD_GetFieldCount(definition); ++f) {
        OGRFieldDefnH field = OGR_FD_GetFieldDefn(definition, f);
        const std::string written = f < static_cast<int>(fieldNames.size()) && !fieldNames[f].empty()
                                        ? fieldNames[f]
                                        : tables::ValidUtf8(OGR_Fld_GetNameRef(field));
        // The fields GDAL's libkml reader takes from KML's own elements go back to them.
        if (written == "Name") l.nameField = f;
        else if (written == "description") l.descriptionField = f;
        else if (written == "altitudeMode") l.altitudeModeField = f;
        else if (written == "Carpeta" && OGR_Fld_GetType(field) == OFTString) l.folderField = f;
        l.fields.push_back(written);
        l.types.push_back(KmlType(field));
        const OGRFieldType type = OGR_Fld_GetType(field);
        if (type != OFTInteger && type != OFTReal && type != OFTString && written != "altitudeMode")
            asText.emplace_back(f, "el atributo «" + written + "», " +
                             (type == OFTInteger64 ? std::string("entero de 64 bits")
                              : type == OFTDate    ? std::string("fecha")
                              : type == OFTTime    ? std::string("hora")
                              : type == OFTDateTime ? std::string("fecha y hora")
                                                    : std::string(OGR_GetFieldTypeName(type))) +
                             (type == OFTDate || type == OFTDateTime ? ", escrito como texto ISO 8601" : ", escrito como texto") +
                             ": KML no tiene ese tipo");
    }
    layers_.push_back(std::move(l));
    return skipped ? std::vector<std::pair<int, std::string>>{} : asText;
}

void KmlWriter::Begin() {
    Put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document id=\"root_doc\">\n");
}

void KmlWriter::EnterFolders(std::vector<std::string>& open, const std::string& path) {
    std::vector<std::string> wanted;
    for (std::size_t start = 0; start < path.size();) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        if (slash > start) wanted.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    std::size_t same = 0;
    while (same < open.size() && same < wanted.size() && open[same] == wanted[same]) ++same;
    while (open.size() > same) {
        Put("</Folder>\n");
        open.pop_back();
    }
    for (std::size_t i = same; i < wanted.size(); ++i) {
        Put("<Folder><name>" + Escaped(wanted[i]) + "</name>\n");
        open.push_back(wanted[i]);
        foldersWritten_.insert(wanted[i]);
    }
}

void KmlWriter::OpenLayersUpTo(int layer, const std::string& path, bool feature) {
    if (open_ < layer) EnterFolders(folders_, "");
    while (open_ < layer) {
        if (documentOpen_) Put("</Document>\n");
        ++open_;
        const std::string& name = layers_[static_cast<std::size_t>(open_)].name;
        documentOpen_ = !layers_[static_cast<std::size_t>(open_)].skipped &&
                        !((open_ < layer || !feature) && foldersWritten_.contains(name));
        if (!documentOpen_) continue;
        const bool stands = open_ == layer && (path == name || path.ends_with("/" + name));
        layerPath_ = stands ? path : "";
        EnterFolders(outer_, stands ? path.substr(0, path.size() - std::min(path.size(), name.size() + 1)) : "");
        // A Document a layer with its Schema inside: GDAL's libkml reader finds the schema of
        // a KMZ's features only there.
        const Layer& l = layers_[static_cast<std::size_t>(open_)];
        const std::string n = std::to_string(open_);
        Put("<Document id=\"capa" + n + "\"><name>" + Escaped(l.name) + "</name>\n<Schema id=\"esquema" + n + "\">\n");
        for (std::size_t f = 0; f < l.fields.size(); ++f) {
            if (static_cast<int>(f) == l.nameField || static_cast<int>(f) == l.descriptionField ||
                static_cast<int>(f) == l.altitudeModeField)
                continue;
            Put("<SimpleField name=\"" + Escaped(l.fields[f]) + "\" type=\"" + l.types[f] + "\"></SimpleField>\n");
        }
        Put("</Schema>\n");
    }
}

bool KmlWriter::Write(int layer, OGRFeatureH feature, const char* altitudeMode) {
    const Layer& l = layers_[static_cast<std::size_t>(layer)];
    const auto text = [&](int f) {
        const OGRFieldType type = OGR_Fld_GetType(OGR_F_GetFieldDefnRef(feature, f));
        return Escaped(type == OFTDate || type == OFTDateTime ? IsoDate(feature, f) : OGR_F_GetFieldAsString(feature, f));
    };
    const auto set = [&](int f) { return f >= 0 && OGR_F_IsFieldSetAndNotNull(feature, f); };
    if (l.folderField >= 0) {
        const std::string path = set(l.folderField) ? OGR_F_GetFieldAsString(feature, l.folderField) : "";
        OpenLayersUpTo(layer, path);
        EnterFolders(folders_, path == layerPath_ ? "" : path);
    } else {
        OpenLayersUpTo(layer);
    }
    std::string kml = "<Placemark>";
    if (set(l.nameField)) kml += "<name>" + text(l.nameField) + "</name>";
    if (set(l.descriptionField)) kml += "<description>" + text(l.descriptionField) + "</description>";
    kml += KmlStyle(OGR_F_GetStyleString(feature));
    std::string data;
    for (int f = 0; f < static_cast<int>(l.fields.size()); ++f) {
        if (f == l.nameField || f == l.descriptionField || f == l.altitudeModeField || !set(f)) continue;
        data += "<SimpleData name=\"" + Escaped(l.fields[static_cast<std::size_t>(f)]) + "\">" + text(f) + "</SimpleData>";
    }
    if (!data.empty())
        kml += "<ExtendedData><SchemaData schemaUrl=\"#esquema" + std::to_string(layer) + "\">" + data +
               "</SchemaData></ExtendedData>";
    if (OGRGeometryH geometry = OGR_F_GetGeometryRef(feature); geometry != nullptr && !OGR_G_IsEmpty(geometry)) {
        const char* mode = nullptr;
        if (OGR_G_Is3D(geometry)) {
            mode = altitudeMode;
            if (set(l.altitudeModeField)) {
                const char* own = OGR_F_GetFieldAsString(feature, l.altitudeModeField);
                for (const char* kml22 : {"clampToGround", "relativeToGround", "absolute"})
                    if (std::strcmp(own, kml22) == 0) mode = kml22;
            }
        }
        if (char* exported = OGR_G_ExportToKML(geometry, mode)) {
            kml += exported;
            CPLFree(exported);
        }
    }
    kml += "</Placemark>\n";
    Put(kml);
    return !failed_;
}

bool KmlWriter::Close() {
    if (file_ == nullptr) return false;
    OpenLayersUpTo(static_cast<int>(layers_.size()) - 1, "", false);
    EnterFolders(folders_, "");
    if (documentOpen_) Put("</Document>\n");
    EnterFolders(outer_, "");
    Put("</Document>\n</kml>\n");
    Flush();
    const bool closed = VSIFCloseL(file_) == 0;
    file_ = nullptr;
    return closed && !failed_;
}

KmlWriter::~KmlWriter() {
    if (file_ != nullptr) VSIFCloseL(file_);
}

void KmlWriter::Put(const std::string& text) {
    buffer_ += text;
    if (buffer_.size() >= (1u << 16)) Flush();
}

void KmlWriter::Flush() {
    if (file_ == nullptr || buffer_.empty()) return;
    if (VSIFWriteL(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) failed_ = true;
    buffer_.clear();
}

}  // namespace gdal
