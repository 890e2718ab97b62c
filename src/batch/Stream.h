// A whole batch conversion from one file descriptor to another, streamed: the input is
// read in chunks of whole records (lines, or more where a quoted field holds line
// breaks); a few threads (one a core, at least two) take chunks in turn, each reads its
// rows, converts their points through the conversion core and writes the rows; the
// chunks are written in order. Memory stays near a few chunks a thread whatever the size
// of the input.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "batch/Gps.h"
#include "batch/PointRow.h"
#include "batch/TextTable.h"

namespace batch {

// How a run reads and writes GIS layers (batch/Layers.h).
struct LayerChoice {
    std::string format;           // --formato's name of a layer format; "" for the output's extension
    bool directionGiven = false;  // the direction was chosen (a layer without a system needs it)
    bool leaveOutside = false;    // features with a vertex outside the method's area are left out
    bool wgs84Label = false;      // the WGS84 side written as WGS84 (4326, 326xx), not ETRS89
    bool zEllipsoidal = false;    // Z is a height above the ellipsoid, not an altitude above the sea
    bool table = false;           // a table of vertices was asked for (--formato=csv), whatever the name
    bool replace = false;         // files besides the one named may be replaced (--reemplazar)
    bool operator==(const LayerChoice&) const = default;
};

// Everything a run needs besides its input and output.
struct Settings {
    Conversion conversion;
    Outputs outputs;
    LayoutChoice layout;
    // Of the result columns: "," or "."; 0: a table's own (DecimalSignOf), "," for a GPS file.
    char decimalSign = 0;
    // The output's form: the input's table with the result columns, or a GPS format
    // (WGS84 results only), one feature a row.
    Format format = Format::Text;
    // The result columns were chosen (--salida); otherwise a height column found by its
    // name brings the height and altitude results, as one given does.
    bool outputsChosen = false;
    LayerChoice layers;
    bool operator==(const Settings&) const = default;
};

// True when a run reads the IGN grids (Conversion::grids): the grid method, the altitude
// column, or altitudes read.
inline bool NeedsGrids(const Settings& settings) {
    return settings.conversion.method == Method::Grid || settings.outputs.altitude ||
           settings.conversion.heightIsAltitude;
}

// The first lines of an input, as a run finds its layout from them.
struct Sample {
    std::vector<std::string> lines;  // UTF-8, without line ends (lines that are not UTF-8
                                     // read as Windows-1252)
    bool bom = false;                // the input starts with a byte order mark (not in lines)
    bool whole = false;              // the lines are the whole input
    bool windows1252 = false;        // a line was not UTF-8 and was read as Windows-1252
};

// The first lines (64 at most) of `head`, the start of an input cut after a line end
// (`headIsAll`: the whole input). Throws RunError for an input with null bytes among its
// first 64 KiB, which is no text table.
Sample SampleOf(std::string_view head, bool headIsAll);

// Whether the results can hold the height above the target ellipsoid: there is a height
// column, and the method transforms heights (the grid leaves them on the source datum).
inline bool HeightResultPossible(const Settings& settings) {
    return !settings.layout.heightColumn.empty() && TransformsHeight(settings.conversion.method);
}

// Whether the results can hold the altitude above sea level: there is a height column
// and the point's height on WGS84 is known (the typed one, a transformed one, or an
// altitude read, which is the WGS84 side's whatever the method).
inline bool AltitudeResultPossible(const Settings& settings) {
    const Conversion& c = settings.conversion;
    return !settings.layout.heightColumn.empty() &&
           (c.direction == core::Direction::WGS84ToED50 || TransformsHeight(c.method) || c.heightIsAltitude);
}

// A failure that stops a run: unreadable input, an output that cannot be written, a
// record longer than kMaxRecordBytes, a file that is not text, a layout that cannot be
// found. The message is Spanish and names the line where there is one.
class RunError : public std::runtime_error {
  public:
    explicit RunError(const std::string& message, Missing missing = Missing::Nothing)
        : std::runtime_error(message), missing(missing) {}
    Missing missing;  // what the user can give for the run to go (TextTable.h)
};

struct RowError {
    std::uint64_t line = 0;  // from 1; where the row's record starts
    std::string message;     // without the line: "minutos fuera de rango (75)"
};

// The summary lists this many errors at most; the output file has them all.
inline constexpr std::size_t kListedErrors = 10;

struct Summary {
    std::uint64_t lines = 0;        // records read (rows, blank and header included)
    std::uint64_t converted = 0;    // rows converted
    std::uint64_t failed = 0;       // rows left with an error
    std::uint64_t windows1252 = 0;  // records that were not UTF-8, read as Windows-1252
    bool windows1252Out = false;    // the output is in Windows-1252, as its input
    bool bom = false;               // the input started with a byte order mark (kept)
    bool altitudes = false;         // the height column held altitudes (heightIsAltitude)
    std::string heightName;         // the height column's name, when it was found by it
    Format input = Format::Text;    // GPX is read as the table XmlPoints writes
    std::vector<RowError> firstErrors;  // the first kListedErrors, in file order
    // The first notes (kListedNotes): rows converted without their height, and what the
    // reading of a GPS file passed over (XmlPoints::Notes); how many in all.
    std::vector<RowError> notes;
    std::uint64_t noted = 0;
    std::optional<Layout> layout;       // unset for an input with no line at all
};

// Called about five times a second while a run goes on, from the calling thread, with
// the bytes read and the rows written so far. An exception it throws stops the run and
// comes out of ConvertStream once the threads have ended (a cancelled run).
using Progress = std::function<void(std::uint64_t bytesRead, std::uint64_t rowsWritten)>;

// Reads `in` to its end and writes `out`: every record (RecordEnd) in its place with its
// own line end (CRLF, LF or none), a byte order mark where the input had one, everything
// in UTF-8, or in Windows-1252 when the input's first lines are (and it has no mark). Each
// row keeps its columns (joined by OutputSeparator, quoted where needed, or the record as
// it was when the separator stays and the record reads as CSV: ReadsAsCsv) and gets the
// result columns, the Error column: "fila 17: minutos fuera de rango (75)" where it
// could not be converted, numbered by the line where its record starts (whatever a row
// holds is at worst that row's error), and the Aviso column: the note of a converted
// row (RowResult::note), whose Error stays empty. The header gets the result column names
// (ResultNames); blank lines stay as they are. Throws RunError; on a throw `out` holds a
// part of the output.
Summary ConvertStream(int in, int out, const Settings& settings, const Progress& progress = {});

// ConvertStream for every input ConvertFile reads: a text table as ConvertStream reads
// it, or a GPX file (InputFormat) read as the table XmlPoints makes of it, its
// elevations taken as altitudes; the first errors of the summary then name the XML
// line of their element. GPX is WGS84: it is refused for the other direction; KML content
// is refused (it is read as a layer, by its name: batch/Layers.h).
// Throws RunError, for XML that is not well formed too.
Summary ConvertFile(int in, int out, const Settings& settings, const Progress& progress = {});

// The summary for standard error: the first errors in the compilers' form
// ("entrada.csv:17: minutos fuera de rango (75)"), the notes so too ("ruta.gpx:9: aviso:
// <ele> repetido…"), then one line with the counts and the
// layout found ("talpor-lote: entrada.csv: 998 filas convertidas, 2 con error; ...").
std::string SummaryText(const Summary& summary, std::string_view inputName);
// A count as Spanish writes it, thousands grouped by points from 1.000 up: "999",
// "1.000", "1.010.000".
std::string Grouped(std::uint64_t n);
// "1 fila convertida", "3 filas convertidas", "12.345 filas convertidas".
std::string Count(std::uint64_t n, std::string_view one, std::string_view many);

}  // namespace batch
