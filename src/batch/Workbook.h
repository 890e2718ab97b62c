// A workbook (.xlsx, .ods, .xls) converted as tables: each sheet read by the rules of a
// text table (TextTable.h) on its grid of cells, numbers taken as the numbers they are,
// and written as the same kind of workbook (an .xls as .xlsx, which GDAL cannot write
// back) with the sheet's columns as they were and the result columns appended; or, for a
// destination .csv or .txt, as the text table a CSV input gives.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "batch/Stream.h"
#include "layers/Workbook.h"

namespace batch {

// Whether `path` is a workbook: by its content (tables/FileKind.h), or by its name where
// it cannot be read.
bool IsWorkbookInput(const std::string& path);

struct SheetReport {
    std::string name;
    bool points = false;  // it held points and is written
    Summary summary;      // of a sheet with points
    std::string output;   // where it went when not in the workbook written (a CSV of its own)
    std::string refused;  // why it could not be read as its table: a column named that it has not
};

struct WorkbookSummary {
    std::vector<SheetReport> sheets;
    bool fromXls = false;     // an old .xls, written as .xlsx
    std::string output;       // the file written
};

// The grid of `sheet` converted: its rows become `out`'s (the header row its names, or
// "Columna 1"... without one) and `table` (when not null) the text table a CSV input
// gives. Its summary; unset layout when the sheet holds no point. A height column named
// that the sheet has not is left out for it. Throws RunError for a sheet that cannot be
// read (a zone to give, a point column named that is not there).
Summary ConvertSheet(const layers::Sheet& sheet, const tables::Settings& settings, layers::SheetOut& out, std::string* table = nullptr);

// Converts the workbook `input` into `output` (its kind by its extension: .xlsx, .ods,
// .csv or .txt; another or none, the input's; an .xls named is written as .xlsx). Toward
// a text table each sheet has a table of its own, the first under `output`, the others
// beside it ("salida-Hoja.csv"), which replace files there only with --reemplazar or when
// `replace` agrees. Throws RunError when it cannot be read, written, or no sheet holds a
// point.
WorkbookSummary ConvertWorkbook(const std::string& input, const std::string& output, const tables::Settings& settings,
                                const layers::LayerProgress& progress = {}, const layers::ReplaceQuestion& replace = {});

// The summary for standard error: each sheet's as SummaryText says a table's, named
// "listado.xlsx, hoja «Puntos»", then the sheets without points and the form written.
std::string WorkbookSummaryText(const WorkbookSummary& summary, std::string_view inputName);

// The first `count` rows of `sheet` as the lines of the text table it is converted as
// (cells between tabs), for a preview to find its layout in.
std::vector<std::string> SheetLines(const layers::Sheet& sheet, std::size_t count);

// The summary on one line, for a window: "hoja «Puntos»: 2 filas convertidas, 1 con
// error; hoja «Notas»: sin puntos, no se escribe".
std::string WorkbookSummaryLine(const WorkbookSummary& summary);

// Whether every row of every sheet was converted.
bool Whole(const WorkbookSummary& summary);

}  // namespace batch
