// The C interface of talpor-gdal.so's spreadsheets: workbooks (.xlsx, .ods, .xls) read
// into grids of typed cells, sheet by sheet, and grids written as workbooks, through
// GDAL's XLSX, ODS and XLS drivers. A second entry of the module beside GdalModule.h's,
// so that the layers' interface and this one change apart. Plain C types only.
#pragma once

extern "C" {

// What a cell holds.
enum TalporSheetCellKind { TalporSheetEmpty = 0, TalporSheetNumber = 1, TalporSheetText = 2 };

// What reading a workbook hands over, in order: each sheet (`sheet`), then its rows from
// row 1 (`row`, an empty row with `count` 0). A cell's text is its value as the file
// holds it: a number in the C locale's form ("440721.5", "4474447.2999999998"), never
// through a decimal comma or thousands points. 0, or 1 to stop.
struct TalporSheetReader {
    void* context;
    int (*sheet)(void* context, const char* name);
    int (*row)(void* context, int count, const char* const* texts, const int* kinds);
    // Stops the reading with an error once a workbook holds more cells than this (0: no limit).
    long long maxCells;
};

// One sheet to write: a first row of `columns` names, then `rows` rows of `columns` cells
// (row by row), each a number (`numbers`), a text (`texts`) or empty (`kinds`).
// `numeric[c]`: column c is created as a column of numbers (GDAL's Real), whose cells are
// all numbers or empty; any other column is of texts, numbers written as texts.
struct TalporSheetOut {
    const char* name;
    int columns;
    const char* const* names;
    const int* numeric;
    long long rows;
    const int* kinds;
    const double* numbers;
    const char* const* texts;
};

struct TalporSheetFunctions {
    int version;  // kTalporSheetVersion
    // Reads the workbook at `path` (XLSX, ODS or XLS by its content): 1, or 0 with `error`
    // (of `size` bytes) saying why, as GDAL puts it ("" when `reader` stopped it).
    int (*read)(const char* path, const TalporSheetReader* reader, char* error, int size);
    // Writes `count` sheets at `path` with GDAL's driver `driver` ("XLSX" or "ODS"): 1, or
    // 0 with `error` saying why.
    int (*write)(const char* path, const char* driver, const TalporSheetOut* sheets, int count, char* error, int size);
};

typedef const TalporSheetFunctions* (*TalporSheetEntry)(void);

}  // extern "C"

inline constexpr int kTalporSheetVersion = 1;
inline constexpr const char* kTalporSheetEntry = "talpor_gdal_sheets";
