// The text of a batch file as a table: lines, their ends and encodings, the separator
// of their columns, quoted fields, the header line, and which columns hold the point.
// Lines here never include their line end.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tables/Encoding.h"
#include "tables/PointRow.h"

namespace tables {

// The UTF-8 byte order mark some programs write at the start of a file.
inline constexpr std::string_view kBom = "\xEF\xBB\xBF";

enum class Separator { Semicolon, Comma, Tab, Blanks };

// ";", ",", a tab, or runs of blanks (spaces and tabs; blanks around the line ignored).
char SeparatorChar(Separator separator);  // ' ' for Blanks
std::string_view SeparatorName(Separator separator);  // "«;»", "«,»", "tabulador", "espacios"

// The separator of the output: the input's, except that blanks become a tab (the
// window's captions hold blanks) and a comma becomes ";" when the decimal sign is ",".
char OutputSeparator(Separator input, char decimalSign);

// Splits a record into its fields. A field that starts with a double quote is quoted, as
// in CSV: it runs to the closing quote, line breaks included, a doubled quote inside
// stands for one, and what follows the closing quote up to the separator is kept. Any
// other field is taken as it is, quotes included (40°25'0.5"N), and so is a field whose
// quote does not close in the record (RecordEnd). An empty record has one empty field,
// except with blanks, where it has none.
void SplitFields(std::string_view record, Separator separator, std::vector<std::string>& fields);

// Records longer than this (2 MiB) stop a run: no text table has them, and memory must
// stay bounded.
inline constexpr std::size_t kMaxRecordBytes = std::size_t{2} << 20;

// A quoted field may hold line breaks, as CSV allows, and then its record (one row) takes
// several lines. A quote still open after this many line breaks, past kMaxRecordBytes
// from the start of its record, or at the end of the input opened no field: it is a
// plain character of its line, so that one stray quote cannot swallow the rest of a file.
inline constexpr std::size_t kMaxQuotedLines = 50;

// Where the record that starts at `begin` of `text` ends: just past its line end ("\n"),
// or at the end of `text` for a last record without one. nullopt when `text` ends before
// that is known and `atEnd` is false (more text follows).
std::optional<std::size_t> RecordEnd(std::string_view text, std::size_t begin, Separator separator, bool atEnd);

// Appends a field for output, between double quotes (inner ones doubled) when it holds
// the separator or a line break or starts with a double quote.
void AppendField(std::string& out, std::string_view field, char separator);

// True when a record read with the separator `separator` (not blanks) reads in CSV, as
// RFC 4180 and any CSV reader take it, into the fields SplitFields gives, so that it can
// be written as it is: every field that starts with a double quote closes it in the
// record, and no line break ("\r" or "\n") stands outside a quoted field. A record that
// does not is written field by field (AppendField): a quote SplitFields takes as a plain
// character would open a field for another reader and join the rows after it.
bool ReadsAsCsv(std::string_view record, char separator);

// Sets `text` to the point columns joined by blanks, as ReadPoint takes them; "" when a
// row lacks one.
void PointText(const std::vector<std::string>& fields, const std::vector<std::size_t>& columns,
               std::string& text);

// What a column's name says of the heights it holds.
enum class HeightKind {
    None,         // nothing: no height, or a height of either kind
    Altitude,     // above sea level: "Altitud", "Cota", "Elevación", "Elevation", "ele", "Alt", "Z", "H"…
    Ellipsoidal,  // above the ellipsoid: "h", "Altura elipsoidal", "Ellipsoidal height"…
};

// The kind a header names, read without case, accents, a unit ("(m)", "[m]", "m") or
// "_", "." and "-" between words; "H" and "h" alone keep their case, as surveyors write
// them. A column whose name says neither (or names a result, "Altura ED50") is None.
HeightKind HeightKindOf(std::string_view header);

// How the rows of a file are read.
struct Layout {
    Separator separator = Separator::Semicolon;
    std::size_t headerLine = 0;                // number (from 1) of the header's first line; 0: none
    std::vector<std::size_t> pointColumns;     // from 0, in order, joined for ReadPoint
    std::optional<std::size_t> heightColumn;   // from 0
    // The height column found by its name (LayoutChoice::findHeight), and what it holds;
    // None for a column given by the user.
    HeightKind heightKind = HeightKind::None;
    std::size_t columns = 0;                   // the columns every row must have
    bool columnsFound = false;                 // the point columns were found, not given
};

// What the command line fixes of the layout; the rest is found from the first lines.
struct LayoutChoice {
    std::optional<Separator> separator;
    std::optional<bool> header;
    // Numbers from 1 or names in the header line; empty: found from the rows.
    std::vector<std::string> pointColumns;
    std::string heightColumn;  // a number from 1 or a name; "": found by its header, if findHeight
    bool findHeight = true;    // with no heightColumn, the header's first height column is the height
    bool operator==(const LayoutChoice&) const = default;
};

// What the user must give for a layout to be found; each program says how it is given.
enum class Missing {
    Nothing,
    Columns,  // no record holds a point: the columns of the point
    Zone,     // the records hold an easting and a northing without a zone: the zone
};

// A layout that cannot be found or does not fit the file; the message is Spanish.
class LayoutError : public std::runtime_error {
  public:
    explicit LayoutError(const std::string& message, Missing missing = Missing::Nothing)
        : std::runtime_error(message), missing(missing) {}
    Missing missing;
};

// Decides the layout from the first lines of a file (UTF-8, no line ends, line 1 first;
// blank lines are passed over), taken as records (RecordEnd) numbered by their first
// line. The separator: the one of ";", tab and "," found in most of the records it would
// cut (a comma only when it separates, not when every comma stands between digits of
// records with blanks: "40,4168 -3,7038"), else blanks. The point: in each record, the
// leftmost run of adjacent columns starting in the first 100, longest first, that reads
// as a point inside the window's limits; the run found in most records wins. The header:
// a first non-blank record that does not read as a point there and holds a word (two
// letters) in those columns, or a surveyor's short name in each of them (X or E for the
// easting, Y or N for the northing: "Vértice;X;Y;Cota", "E;N;H"), never a number. The number of columns: the most frequent among the records
// that hold a point in the point's columns, so that a few broken lines do not reject the
// good rows; the header's settles a tie, and counts alone when no record of the sample
// holds a point (not with blanks as separator: names and points may hold blanks). The
// height column, when none is given and findHeight: the header's first column, of those
// not in the point, whose name says it holds heights (HeightKindOf).
// Throws LayoutError
// when no record holds a point (naming the first reason a row gave, if any; Missing::Zone
// when the records hold numbers that read as an easting and a northing, Missing::Columns
// otherwise), or when a named column is not in the header. Unless `whole` (the lines are the whole input), a
// last record whose quoted field goes on beyond the lines is left out.
Layout FindLayout(const std::vector<std::string>& lines, const LayoutChoice& choice, const Conversion& conversion,
                  bool whole = true);

// The decimal sign of a table's numbers: "." when more of the point and height cells of
// its rows (the header's left out) hold a decimal point than a decimal comma, "," otherwise.
// A point between a digit and three digits (4.474.447) groups thousands and tells nothing.
char DecimalSignOf(const std::vector<std::string>& lines, const Layout& layout);

// "columnas 2 y 3", "columna 4", "columnas 2 a 9": column numbers from 1.
std::string ColumnsText(const std::vector<std::size_t>& columns);

}  // namespace tables
