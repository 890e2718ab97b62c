#include "gps/Gps.h"

#include <dlfcn.h>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/xmlwriter.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <memory>

#include "tables/Run.h"
#include "tables/TextTable.h"
#include "text/PointText.h"

namespace gps {
namespace {

// The functions of libxml2 the program calls.
#define TALPOR_XML_FUNCTIONS(F) F(xmlBufferContent) F(xmlBufferCreate) F(xmlBufferFree) F(xmlBufferLength) \
    F(xmlCreatePushParserCtxt) F(xmlCtxtUseOptions) F(xmlFreeDoc) F(xmlFreeParserCtxt) F(xmlFreeTextWriter) \
    F(xmlNewTextWriterMemory) F(xmlParseChunk) F(xmlSAX2GetLineNumber) F(xmlStopParser) F(xmlTextWriterEndElement) \
    F(xmlTextWriterFlush) F(xmlTextWriterStartElement) F(xmlTextWriterWriteAttribute) \
    F(xmlTextWriterWriteComment) F(xmlTextWriterWriteElement)

// libxml2, opened the first time a GPS file is read or written: the window maps no
// library at start that its first paint does not need (libxml2 and liblzma, here).
struct LibXml {
#define TALPOR_XML_FUNCTION(name) decltype(&::name) name = nullptr;
    TALPOR_XML_FUNCTIONS(TALPOR_XML_FUNCTION)
#undef TALPOR_XML_FUNCTION
    std::string problem;  // why it cannot be used; "" when it can
};

const LibXml& Xml() {
    static const LibXml xml = [] {
        LibXml x;
        void* handle = dlopen("libxml2.so.2", RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            x.problem = "no se pueden leer ni escribir ficheros GPX y KML: falta la biblioteca libxml2 (paquete libxml2)";
            return x;
        }
#define TALPOR_XML_FUNCTION(name)                                               \
    x.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));         \
    if (x.name == nullptr && x.problem.empty())                                 \
        x.problem = "la biblioteca libxml2 de este sistema no tiene " #name;
        TALPOR_XML_FUNCTIONS(TALPOR_XML_FUNCTION)
#undef TALPOR_XML_FUNCTION
        return x;
    }();
    if (!xml.problem.empty()) throw tables::RunError(xml.problem);
    return xml;
}

const xmlChar* B(const char* s) { return reinterpret_cast<const xmlChar*>(s); }
std::string_view S(const xmlChar* s) { return s == nullptr ? std::string_view() : reinterpret_cast<const char*>(s); }

// Blanks and line breaks as one blank, none at the ends.
void AppendText(std::string& to, std::string_view text) {
    for (char c : text) {
        const bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (!blank) to += c;
        else if (!to.empty() && to.back() != ' ') to += ' ';
    }
}

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\n')) s.pop_back();
    return s;
}

// Characters XML 1.0 cannot hold (controls but tab and line ends) as "?".
std::string XmlSafe(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') c = '?';
    return s;
}

std::string Fixed(double v, int decimals) { return text::DecimalText(v, decimals); }

}  // namespace

// The longest text or attribute value a GPS file's element may hold: far more than any
// name or description, and what keeps memory bounded whatever the file holds.
constexpr std::size_t kMaxXmlText = std::size_t{1} << 20;
// The file is given to libxml2 in pieces of this size; more than kMaxXmlText and a piece
// read without a single element or text (a comment, a tag or an attribute that never
// ends) is refused, since libxml2 keeps such a part whole until it ends.
constexpr std::size_t kXmlPiece = std::size_t{64} << 10;

// The elements of a point that hold one value, and the cell each goes to.
struct PointChild {
    std::string_view name;
    std::size_t cell;
};
constexpr PointChild kPointChildren[] = {{"name", 3}, {"ele", 6},  {"time", 7},  {"desc", 8},
                                         {"cmt", 9},  {"sym", 10}, {"type", 11}, {"src", 12}};
constexpr std::size_t kLinkCell = 13;  // a <link>'s href

// The state of one file's SAX parse: which point is open and the texts of its children.
// Only elements of the root's namespace are read (those of other namespaces, and all
// they hold, are passed over); of an element a point holds once, the first is taken.
struct XmlPoints::Parser {
    xmlParserCtxtPtr ctxt = nullptr;
    std::string* table = nullptr;  // where the rows go during a Feed
    std::vector<std::uint32_t>* lines = nullptr;
    std::vector<std::string> path;  // the open elements' local names
    // The point open, if any: its element and the depth it opened at.
    std::string element;
    std::size_t depth = 0;
    std::array<std::string, std::size(kXmlColumns)> row;
    std::string* text = nullptr;  // the cell the characters go to
    std::string route;            // the name of the route, track or folder
    int segment = 0;
    std::string firstError;  // libxml2's message of the first fault, or ours
    std::vector<XmlNote>* notes = nullptr;
    std::uint64_t noted = 0;  // notes taken, listed or not
    // The root's namespace, and the depth of an element of another one being passed over
    // (0: none).
    std::string ns;
    std::size_t foreignDepth = 0;
    std::uint32_t pointLine = 0;   // where the open point starts
    std::uint32_t openedLine = 0;  // where the innermost open element starts
    std::size_t textBytes = 0;     // of the innermost open element's text so far
    unsigned seen = 0;             // the open point's single-valued children met (bit: cell)
    std::uint64_t fed = 0, fedAtEvent = 0;  // bytes given to libxml2, in all and at its last event

    std::uint32_t Line() { return static_cast<std::uint32_t>(Xml().xmlSAX2GetLineNumber(ctxt)); }

    void Fail(std::string message) {
        if (firstError.empty()) firstError = std::move(message);
        Xml().xmlStopParser(ctxt);
    }

    void Note(std::string message) {
        if (++noted <= tables::kListedNotes) notes->push_back({Line(), std::move(message)});
    }

    // The point's element, as the note names it.
    std::string_view PointName() const {
        return element == "wpt" ? "waypoint" : element == "rtept" ? "punto de ruta" : "punto de track";
    }

    void Start(std::string_view name, std::string_view uri, int attributeCount, const xmlChar** attributes) {
        fedAtEvent = fed;
        if (path.empty()) ns = std::string(uri);
        path.emplace_back(name);
        text = nullptr;
        textBytes = 0;
        openedLine = Line();
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar** a = attributes + 5 * i;
            if (static_cast<std::size_t>(a[4] - a[3]) > kMaxXmlText)
                return Fail("el atributo " + std::string(S(a[0])) + " de <" + std::string(name) + "> en la línea " +
                            std::to_string(openedLine) + " pasa de 1 MiB; un fichero GPS no lleva valores tan largos");
        }
        if (foreignDepth == 0 && uri != ns) foreignDepth = path.size();
        if (foreignDepth != 0) return;
        if (element.empty()) {
            if (name == "rte" || name == "trk") {
                route.clear();
                segment = 0;
            } else if (name == "trkseg") {
                ++segment;
            }
            const bool point = name == "wpt" || name == "rtept" || name == "trkpt";
            if (point) {
                element = std::string(name);
                depth = path.size();
                row.fill("");
                row[0] = name == "wpt" ? "waypoint" : name == "rtept" ? "ruta" : "track";
                row[1] = route;
                if (name == "trkpt") row[2] = std::to_string(segment);
                seen = 0;
                for (int i = 0; i < attributeCount; ++i) {
                    const xmlChar** a = attributes + 5 * i;
                    if (a[2] != nullptr) continue;  // another namespace's lat or lon
                    const std::string_view value(reinterpret_cast<const char*>(a[3]),
                                                 static_cast<std::size_t>(a[4] - a[3]));
                    if (S(a[0]) == "lat") AppendText(row[4], value);
                    if (S(a[0]) == "lon") AppendText(row[5], value);
                }
                pointLine = openedLine;
                lines->push_back(pointLine);
                return;
            }
            // The name of a route or track: its own, not one of its points'.
            const std::size_t parent = path.size() >= 2 ? path.size() - 2 : 0;
            if (name == "name" && path.size() >= 2 && (path[parent] == "rte" || path[parent] == "trk")) text = &route;
            return;
        }
        if (path.size() != depth + 1) return;
        for (const PointChild& child : kPointChildren)
            if (name == child.name) Take(name, child.cell);
        // A point's first link, by its address.
        if (name == "link" && (seen & (1u << kLinkCell)) == 0) {
            seen |= 1u << kLinkCell;
            for (int i = 0; i < attributeCount; ++i) {
                const xmlChar** a = attributes + 5 * i;
                if (a[2] == nullptr && S(a[0]) == "href")
                    AppendText(row[kLinkCell], std::string_view(reinterpret_cast<const char*>(a[3]),
                                                                static_cast<std::size_t>(a[4] - a[3])));
            }
        }
    }

    // The text of `name` goes to `cell`, unless the point had one already.
    void Take(std::string_view name, std::size_t cell) {
        if ((seen & (1u << cell)) == 0) {
            seen |= 1u << cell;
            text = &row[cell];
            return;
        }
        Note("<" + std::string(name) + "> repetido en el " + std::string(PointName()) + " de la línea " +
             std::to_string(pointLine) + ": se toma el primero (GPX admite uno)");
    }

    void Characters(std::string_view chars) {
        fedAtEvent = fed;
        textBytes += chars.size();
        if (textBytes > kMaxXmlText)
            return Fail("el texto de <" + (path.empty() ? std::string("?") : path.back()) + "> en la línea " +
                        std::to_string(openedLine) + " pasa de 1 MiB; un fichero GPS no lleva textos tan largos");
        if (text != nullptr) AppendText(*text, chars);
    }

    void End() {
        fedAtEvent = fed;
        textBytes = 0;
        if (foreignDepth != 0) {
            if (path.size() == foreignDepth) foreignDepth = 0;
            path.pop_back();
            return;
        }
        if (!element.empty() && path.size() == depth) {
            for (std::size_t i = 0; i < row.size(); ++i) {
                if (i > 0) *table += ';';
                tables::AppendField(*table, Trim(row[i]), ';');
            }
            *table += '\n';
            element.clear();
        }
        text = nullptr;
        // A waypoint after a route or a track belongs to neither.
        if (element.empty() && (path.back() == "rte" || path.back() == "trk")) {
            route.clear();
            segment = 0;
        }
        path.pop_back();
    }
};

namespace {

XmlPoints::Parser& Of(void* ctx) { return *static_cast<XmlPoints::Parser*>(ctx); }

void OnStart(void* ctx, const xmlChar* localname, const xmlChar*, const xmlChar* uri, int, const xmlChar**,
             int attributeCount, int, const xmlChar** attributes) {
    Of(ctx).Start(S(localname), S(uri), attributeCount, attributes);
}

void OnEnd(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) { Of(ctx).End(); }

void OnCharacters(void* ctx, const xmlChar* ch, int len) {
    Of(ctx).Characters(std::string_view(reinterpret_cast<const char*>(ch), static_cast<std::size_t>(len)));
}

void OnError(void* ctx, xmlErrorPtr error) {
    XmlPoints::Parser& p = Of(ctx);
    if (p.firstError.empty() && error != nullptr && error->level >= XML_ERR_ERROR)
        p.firstError = "XML mal formado en la línea " + std::to_string(error->line) + ", columna " +
                       std::to_string(error->int2) + ": " + Trim(std::string(error->message ? error->message : ""));
}

}  // namespace

XmlPoints::XmlPoints() : parser_(new Parser()) {
    parser_->lines = &lines_;
    parser_->notes = &notes_;
}

std::uint64_t XmlPoints::Noted() const { return parser_->noted; }

XmlPoints::~XmlPoints() {
    if (parser_->ctxt != nullptr) {
        Xml().xmlFreeDoc(parser_->ctxt->myDoc);
        Xml().xmlFreeParserCtxt(parser_->ctxt);
    }
    delete parser_;
}

void XmlPoints::Feed(std::string_view bytes, bool last, std::string& table) {
    Parser& p = *parser_;
    p.table = &table;
    if (p.ctxt == nullptr) {
        xmlSAXHandler handler{};
        handler.initialized = XML_SAX2_MAGIC;
        handler.startElementNs = OnStart;
        handler.endElementNs = OnEnd;
        handler.characters = OnCharacters;
        handler.cdataBlock = OnCharacters;
        handler.serror = OnError;
        p.ctxt = Xml().xmlCreatePushParserCtxt(&handler, &p, nullptr, 0, nullptr);
        if (p.ctxt == nullptr) throw std::bad_alloc();
        // No file or network is ever read for an entity or a DTD.
        Xml().xmlCtxtUseOptions(p.ctxt, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        for (std::size_t i = 0; i < std::size(kXmlColumns); ++i) table += (i == 0 ? "" : ";") + std::string(kXmlColumns[i]);
        table += '\n';
        // UTF-16 without a byte order mark, which libxml2 finds only before "<?xml":
        // the mark it would have.
        if (bytes.size() >= 2 && bytes[0] == '<' && bytes[1] == '\0') Parse("\xFF\xFE", false);
        else if (bytes.size() >= 2 && bytes[0] == '\0' && bytes[1] == '<') Parse("\xFE\xFF", false);
    }
    while (!bytes.empty() || last) {
        const std::size_t size = std::min(bytes.size(), kXmlPiece);
        const bool end = last && size == bytes.size();
        Parse(bytes.substr(0, size), end);
        bytes.remove_prefix(size);
        if (p.fed - p.fedAtEvent > kMaxXmlText + kXmlPiece)
            throw tables::RunError("más de 1 MiB sin un elemento ni un texto (un comentario o una etiqueta sin fin) tras la "
                           "línea " + std::to_string(p.Line()) + "; un fichero GPS no lleva partes tan largas");
        if (end) break;
    }
}

void XmlPoints::Parse(std::string_view bytes, bool end) {
    Parser& p = *parser_;
    p.fed += bytes.size();
    const int failed = Xml().xmlParseChunk(p.ctxt, bytes.data(), static_cast<int>(bytes.size()), end ? 1 : 0);
    if (failed != 0 || !p.firstError.empty())
        throw tables::RunError(p.firstError.empty() ? std::string("XML mal formado") : p.firstError);
}

namespace {

// What each form writes and is called, in the order of Format.
struct FormatTexts {
    std::string_view title, extension, head, tail;
};
constexpr FormatTexts kFormatTexts[] = {
    {"texto", "", "", ""},
    {"GPX", ".gpx",
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<gpx version=\"1.1\" creator=\"Talpor\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n",
     "</gpx>\n"},
    {"KML", ".kml",
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n",
     "</Document>\n</kml>\n"},
    {"GeoJSON", ".geojson", "{\"type\": \"FeatureCollection\", \"features\": [", "\n]}\n"},
};

const FormatTexts& TextsOf(tables::Format format) { return kFormatTexts[static_cast<int>(format)]; }

}  // namespace

std::string_view FormatTitle(tables::Format format) { return TextsOf(format).title; }
std::string_view FormatExtension(tables::Format format) { return TextsOf(format).extension; }
std::string FormatHead(tables::Format format) { return std::string(TextsOf(format).head); }
std::string FormatTail(tables::Format format) { return std::string(TextsOf(format).tail); }

namespace {

// The ASCII characters of UTF-16 text (others as "?"), which the form is found from;
// `head` itself when it is not UTF-16.
std::string_view Narrow(std::string_view head, std::string& narrow) {
    bool little = head.starts_with("\xFF\xFE") || head.starts_with(std::string_view("<\0", 2));
    bool big = head.starts_with("\xFE\xFF") || head.starts_with(std::string_view("\0<", 2));
    if (!little && !big) return head;
    if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF")) head.remove_prefix(2);
    for (std::size_t i = 0; i + 1 < head.size(); i += 2) {
        const char low = little ? head[i] : head[i + 1], high = little ? head[i + 1] : head[i];
        narrow += high == 0 && static_cast<unsigned char>(low) < 0x80 ? low : '?';
    }
    return narrow;
}

}  // namespace

tables::Format InputFormat(std::string_view head) {
    std::string narrow;
    head = Narrow(head, narrow);
    if (head.starts_with(tables::kBom)) head.remove_prefix(tables::kBom.size());
    // The first element after the declaration, comments and blanks.
    std::size_t at = 0;
    while (at < head.size()) {
        at = head.find_first_not_of(" \t\r\n", at);
        if (at == std::string_view::npos || head[at] != '<') return tables::Format::Text;
        // Declarations, comments and a document type (with its internal subset).
        const std::string_view rest = head.substr(at);
        const std::size_t subset = rest.find('['), gt = rest.find('>');
        const std::string_view end = rest.starts_with("<!--")                               ? "-->"
                                     : rest.starts_with("<!DOCTYPE") && subset < gt ? "]>"
                                                                                            : ">";
        if (rest.starts_with("<?") || rest.starts_with("<!")) {
            const std::size_t close = rest.find(end);
            if (close == std::string_view::npos) return tables::Format::Text;
            at += close + end.size();
            continue;
        }
        std::string_view name = head.substr(at + 1);
        name = name.substr(0, name.find_first_of(" \t\r\n>/"));
        if (const std::size_t colon = name.find(':'); colon != std::string_view::npos) name.remove_prefix(colon + 1);
        return name == "gpx" ? tables::Format::Gpx : name == "kml" ? tables::Format::Kml : tables::Format::Text;
    }
    return tables::Format::Text;
}

namespace {

void AppendJsonString(std::string& out, std::string_view s) {
    out += '"';
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
            out += buffer;
        } else {
            out += c;
        }
    }
    out += '"';
}

void AppendGeoJson(std::string& out, const Feature& f) {
    out += ",\n{\"type\": \"Feature\", \"geometry\": ";
    if (f.error.empty()) {
        // RFC 7946: the third coordinate is the height above the WGS84 ellipsoid; the
        // altitude above the sea is a property (the altitude result column).
        out += "{\"type\": \"Point\", \"coordinates\": [" + Fixed(f.lon, 8) + ", " + Fixed(f.lat, 8);
        if (f.height) out += ", " + Fixed(*f.height, 1);
        out += "]}";
    } else {
        out += "null";
    }
    out += ", \"properties\": {";
    bool first = true;
    const auto property = [&](std::string_view name, std::string_view value, bool number) {
        if (!first) out += ", ";
        first = false;
        AppendJsonString(out, name);
        out += ": ";
        if (number) out += value;
        else AppendJsonString(out, value);
    };
    if (!f.name.empty()) property("name", f.name, false);
    for (std::size_t i = 0; i < f.columns.size(); ++i)
        property(f.columns[i].first, f.columns[i].second, i < f.isNumber.size() && f.isNumber[i]);
    if (!f.error.empty()) property("Error", f.error, false);
    out += "}}";
}

struct WriterDeleter {
    void operator()(xmlTextWriter* w) const { Xml().xmlFreeTextWriter(w); }
};
struct BufferDeleter {
    void operator()(xmlBuffer* b) const { Xml().xmlBufferFree(b); }
};

}  // namespace

void AppendFeature(std::string& out, tables::Format format, const Feature& f) {
    if (format == tables::Format::GeoJson) return AppendGeoJson(out, f);
    std::unique_ptr<xmlBuffer, BufferDeleter> buffer(Xml().xmlBufferCreate());
    if (!buffer) throw std::bad_alloc();
    std::unique_ptr<xmlTextWriter, WriterDeleter> w(Xml().xmlNewTextWriterMemory(buffer.get(), 0));
    if (!w) throw std::bad_alloc();
    xmlTextWriter* x = w.get();
    if (!f.error.empty()) {
        // A comment holds no "--".
        std::string comment = " " + XmlSafe(f.error) + " ";
        for (std::size_t at; (at = comment.find("--")) != std::string::npos;) comment.replace(at, 2, "- -");
        Xml().xmlTextWriterWriteComment(x, B(comment.c_str()));
    } else if (format == tables::Format::Gpx) {
        // GPX 1.1 orders a waypoint's children: ele, ..., name, cmt, desc.
        Xml().xmlTextWriterStartElement(x, B("wpt"));
        Xml().xmlTextWriterWriteAttribute(x, B("lat"), B(Fixed(f.lat, 8).c_str()));
        Xml().xmlTextWriterWriteAttribute(x, B("lon"), B(Fixed(f.lon, 8).c_str()));
        if (f.altitude) Xml().xmlTextWriterWriteElement(x, B("ele"), B(Fixed(*f.altitude, 1).c_str()));
        if (!f.name.empty()) Xml().xmlTextWriterWriteElement(x, B("name"), B(XmlSafe(f.name).c_str()));
        std::string desc;
        for (const auto& [name, value] : f.columns) desc += (desc.empty() ? "" : "; ") + name + ": " + value;
        if (!desc.empty()) Xml().xmlTextWriterWriteElement(x, B("desc"), B(XmlSafe(desc).c_str()));
        Xml().xmlTextWriterEndElement(x);
    } else {
        Xml().xmlTextWriterStartElement(x, B("Placemark"));
        if (!f.name.empty()) Xml().xmlTextWriterWriteElement(x, B("name"), B(XmlSafe(f.name).c_str()));
        if (!f.columns.empty()) {
            Xml().xmlTextWriterStartElement(x, B("ExtendedData"));
            for (const auto& [name, value] : f.columns) {
                Xml().xmlTextWriterStartElement(x, B("Data"));
                Xml().xmlTextWriterWriteAttribute(x, B("name"), B(XmlSafe(name).c_str()));
                Xml().xmlTextWriterWriteElement(x, B("value"), B(XmlSafe(value).c_str()));
                Xml().xmlTextWriterEndElement(x);
            }
            Xml().xmlTextWriterEndElement(x);
        }
        Xml().xmlTextWriterStartElement(x, B("Point"));
        // An altitude is above sea level; without one the point lies on the ground.
        if (f.altitude) Xml().xmlTextWriterWriteElement(x, B("altitudeMode"), B("absolute"));
        std::string coordinates = Fixed(f.lon, 8) + "," + Fixed(f.lat, 8);
        if (f.altitude) coordinates += "," + Fixed(*f.altitude, 1);
        Xml().xmlTextWriterWriteElement(x, B("coordinates"), B(coordinates.c_str()));
        Xml().xmlTextWriterEndElement(x);
        Xml().xmlTextWriterEndElement(x);
    }
    if (Xml().xmlTextWriterFlush(x) < 0) throw std::bad_alloc();
    out.append(reinterpret_cast<const char*>(Xml().xmlBufferContent(buffer.get())),
               static_cast<std::size_t>(Xml().xmlBufferLength(buffer.get())));
    out += '\n';
}

bool IsNameColumn(std::string_view header) {
    std::string h;
    for (char c : header) h += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* name : {"nombre", "name", "hito", "punto", "id", "código", "codigo", "etiqueta", "label",
                             "vértice", "vertice", "estación", "estacion"})
        if (h == name) return true;
    return false;
}

}  // namespace gps
