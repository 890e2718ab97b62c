// Spreadsheets (.xlsx, .ods, the old binary .xls) as grids of typed cells, sheet by
// sheet: read and written by talpor-capas through GDAL (gdal/Sheets.h), so that whatever
// GDAL does to a file it cannot read reaches neither the window nor talpor-lote. The
// table conversion of the grids is the calling process's (batch/Workbook.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "layers/LayerWorker.h"
#include "layers/Layers.h"

namespace layers {

struct Cell {
    enum class Kind { Empty, Number, Text };
    Kind kind = Kind::Empty;
    double number = 0;  // Kind::Number, as the file holds it (full precision)
    std::string text;   // Kind::Text, UTF-8
};
using CellRow = std::vector<Cell>;

// A sheet as read: its rows from row 1, each up to its last cell that is not empty (an
// empty row has none).
struct Sheet {
    std::string name;
    std::vector<CellRow> rows;
};

// A sheet to write: a first row of column names, then the rows. A column of `numeric`
// is written as a column of numbers: its cells are numbers or empty.
struct SheetOut {
    std::string name;
    std::vector<std::string> names;
    std::vector<bool> numeric;
    std::vector<CellRow> rows;
};

enum class WorkbookKind { None, Xlsx, Ods, Xls };

// The kind a file's extension names (".xlsx", ".ods", ".xls", without case).
WorkbookKind WorkbookOfPath(std::string_view path);
inline bool IsWorkbookFile(std::string_view path) { return WorkbookOfPath(path) != WorkbookKind::None; }

// A workbook holds at most this many cells (the sheets' rows by their columns), for
// memory to stay bounded in the worker and here.
inline constexpr std::uint64_t kMaxWorkbookCells = 5'000'000;

// Every sheet of the workbook at `path`, in its order. Throws RunError when it cannot be
// read (for an .xls GDAL cannot read, advising to save it as .xlsx or CSV) or holds more
// than kMaxWorkbookCells cells. `progress` is told the rows read.
std::vector<Sheet> ReadWorkbook(const std::string& path, const LayerProgress& progress = {});

// Writes `sheets` at `path` as a workbook of `kind` (Xlsx or Ods) through the worker; the
// caller writes `path` where it can remove it (OutputFolder). Throws RunError.
void WriteWorkbook(const std::string& path, WorkbookKind kind, const std::vector<SheetOut>& sheets,
                   const LayerProgress& progress = {});

// The worker's jobs "hojas" (read) and "libro" (write); false for another job.
bool WorkbookJob(const std::vector<std::string>& args, const std::function<void(const Record&)>& send);

}  // namespace layers
