// The files of GPS units and globe viewers: GPX and KML read as rows of points, and GPX,
// KML and GeoJSON written from converted rows. All three are WGS84 latitude and
// longitude by definition, with altitudes above sea level. XML is read and written by
// libxml2, streaming.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/Run.h"
#include "tables/TextTable.h"

namespace gps {

struct FormatName {
    std::string_view name;  // as --formato takes it
    tables::Format format;
};
inline constexpr FormatName kFormats[] = {
    {"csv", tables::Format::Text}, {"texto", tables::Format::Text}, {"gpx", tables::Format::Gpx},
    {"kml", tables::Format::Kml},  {"geojson", tables::Format::GeoJson},
};

// "GPX", "KML", "GeoJSON"; "texto" for a table.
std::string_view FormatTitle(tables::Format format);
// The file name extension the format is saved with: ".gpx", ".kml", ".geojson"; "" for a
// table, which keeps its input's.
std::string_view FormatExtension(tables::Format format);

// The form of an input from its first bytes: GPX or KML for XML whose first element is
// <gpx> or <kml>, text for anything else.
tables::Format InputFormat(std::string_view head);

// The columns of the rows a GPX or KML file becomes, in this order.
inline constexpr const char* kXmlColumns[] = {"Elemento", "Recorrido", "Tramo",      "Nombre", "Latitud",
                                               "Longitud", "Altitud",   "Fecha",      "Descripción", "Comentario",
                                               "Símbolo",  "Tipo",      "Fuente",     "Enlace"};

// How those rows are read: ";" between the columns, a header, the point in Latitud and
// Longitud, the height in Altitud (altitudes above sea level).
inline tables::LayoutChoice XmlLayout() { return {tables::Separator::Semicolon, true, {"Latitud", "Longitud"}, "Altitud"}; }

// Something a GPS file holds that its reading passed over, at a line of the file.
struct XmlNote {
    std::uint64_t line = 0;
    std::string message;  // "<ele> repetido en el waypoint de la línea 3: se toma el primero (GPX admite uno)"
};

// Reads a GPX file in pieces and writes its points as the rows of a table with the
// columns kXmlColumns, ";" between them, a header first: every waypoint, route point
// and track point (with the name of its route or track, and the number of its track
// segment), with each child a point has (name, ele, time, desc, cmt, sym, type, src, and
// the first link's address). Texts keep their accents and the XML entities read; blanks
// and line breaks inside them become one blank. An element without elevation gets an
// empty Altitud. The file may be UTF-8 or UTF-16, with or without a byte order mark. Only
// the elements of the root's namespace are read, and of an element a point holds once the
// first one, with a note. (KML is read as a layer: layers/Layers.h.)
class XmlPoints {
  public:
    XmlPoints();
    ~XmlPoints();
    XmlPoints(const XmlPoints&) = delete;
    XmlPoints& operator=(const XmlPoints&) = delete;

    // Parses the next bytes (`last`: the end of the file) and appends the rows of the
    // points that ended in them to `table`. Throws RunError for XML that is not well
    // formed, naming the line and column of the fault, and for a text or an attribute
    // of more than 1 MiB, naming its element and line, as soon as it is read.
    void Feed(std::string_view bytes, bool last, std::string& table);

    // The line of the XML file where each point written so far starts.
    const std::vector<std::uint32_t>& Lines() const { return lines_; }
    // The first kListedNotes notes of the reading so far, and how many there are.
    const std::vector<XmlNote>& Notes() const { return notes_; }
    std::uint64_t Noted() const;

    struct Parser;  // the SAX handlers' state

  private:
    void Parse(std::string_view bytes, bool end);

    Parser* parser_;
    std::vector<std::uint32_t> lines_;
    std::vector<XmlNote> notes_;
};

// One row written to a GPS format: a converted point on WGS84 with the columns of its
// row, or the error of a row that could not be converted.
struct Feature {
    double lat = 0, lon = 0;          // degrees
    std::optional<double> altitude;   // metres above sea level
    std::optional<double> height;     // metres above the WGS84 ellipsoid
    std::string name;                 // "" when the row has none
    // The row's other columns, name and text, results included; empty texts left out.
    std::vector<std::pair<std::string, std::string>> columns;
    // Of each column (missing: false), whether it is a number GeoJSON writes as one.
    std::vector<bool> isNumber;
    std::string error;  // "fila 17: ...": the row was not converted
};

// The start and the end of a GPS file.
std::string FormatHead(tables::Format format);
std::string FormatTail(tables::Format format);
// Appends a feature: a waypoint, a placemark or a GeoJSON point feature; a failed row as
// an XML comment, or a feature without geometry whose Error property says why. GeoJSON
// features each start with a comma, which the first one of the file must lose.
void AppendFeature(std::string& out, tables::Format format, const Feature& feature);

// Whether a column of a header names the point: "Nombre", "Name", "Hito", "Punto", "Id"...
bool IsNameColumn(std::string_view header);

}  // namespace gps
