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

#include "gps/Gps.h"
#include "tables/PointRow.h"
#include "tables/Run.h"
#include "tables/TextTable.h"

namespace batch {

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

struct Summary {
    std::uint64_t lines = 0;        // records read (rows, blank and header included)
    std::uint64_t converted = 0;    // rows converted
    std::uint64_t failed = 0;       // rows left with an error
    std::uint64_t windows1252 = 0;  // records that were not UTF-8, read as Windows-1252
    bool windows1252Out = false;    // the output is in Windows-1252, as its input
    bool bom = false;               // the input started with a byte order mark (kept)
    bool altitudes = false;         // the height column held altitudes (heightIsAltitude)
    std::string heightName;         // the height column's name, when it was found by it
    tables::Format input = tables::Format::Text;    // GPX is read as the table XmlPoints writes
    bool sheet = false;             // a workbook's sheet, whose cells need no separator
    std::vector<tables::RowError> firstErrors;  // the first kListedErrors, in file order
    // The first notes (kListedNotes): rows converted without their height, and what the
    // reading of a GPS file passed over (XmlPoints::Notes); how many in all.
    std::vector<tables::RowError> notes;
    std::uint64_t noted = 0;
    std::optional<tables::Layout> layout;       // unset for an input with no line at all
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
Summary ConvertStream(int in, int out, const tables::Settings& settings, const Progress& progress = {});

// ConvertStream for every input ConvertFile reads: a text table as ConvertStream reads
// it, or a GPX file (InputFormat) read as the table XmlPoints makes of it, its
// elevations taken as altitudes; the first errors of the summary then name the XML
// line of their element. GPX is WGS84: it is refused for the other direction; KML content
// is refused (it is read as a layer, by its name: layers/Layers.h).
// Throws RunError, for XML that is not well formed too.
Summary ConvertFile(int in, int out, const tables::Settings& settings, const Progress& progress = {});

// The summary for standard error: the first errors in the compilers' form
// ("entrada.csv:17: minutos fuera de rango (75)"), the notes so too ("ruta.gpx:9: aviso:
// <ele> repetido…"), then one line with the counts and the
// layout found ("talpor-lote: entrada.csv: 998 filas convertidas, 2 con error; ...").
std::string SummaryText(const Summary& summary, std::string_view inputName);
}  // namespace batch
