// What a file is, by its content: a table of points, a GIS layer, an image, a GPS file,
// a spreadsheet, or something Talpor does not convert, said in one sentence. Read from the
// file's first bytes (and a ZIP's list of members, an image's labelled header beside it),
// in the calling process and without GDAL: GDAL then opens the file with the one driver
// of its kind, never one it picks for itself.
#pragma once

#include <string>
#include <string_view>

namespace tables {

enum class FileKind {
    Unknown,  // not read (missing, no regular file, unreadable): taken by its name
    Table,    // text: a table of points
    Layer,    // a GIS layer
    Image,    // a georeferenced image or grid
    Sheet,    // a workbook: .xlsx, .ods, .xls
    Project,  // a QGIS project: .qgs, or .qgz (a ZIP holding one)
    Refused,  // something else: `refusal` says what it seems to be
};

struct WhatFile {
    FileKind kind = FileKind::Unknown;
    // For a layer, an image or a sheet, the short name of its format as --formato and the
    // format tables say it: "shp", "gpkg", "tab", "mif", "gml", "fgb", "sqlite", "csvwkt",
    // "kml", "kmz", "geojson", "dxf", "gpx"; "tif", "jpg", "png", "asc", "vrt", "jp2",
    // "img", "envi", "ehdr", "xyz", "ecw", "sid"; "xlsx", "ods", "xls"; "qgs", "qgz".
    std::string format;
    // For one refused: "es un PDF, no una tabla, una capa ni una imagen".
    std::string refusal;
};

// What the file at `path` is by its content; FileKind::Unknown when it cannot be read as a
// regular file (the caller goes by its name, and says why it cannot be read when it tries).
WhatFile WhatIs(const std::string& path);

// The same for the first bytes of a file, `head` (at least kHeadBytes of it, or all of a
// shorter file), named `path`, without a look at its ZIP members or neighbours.
WhatFile WhatIsHead(std::string_view head, std::string_view path);
inline constexpr std::size_t kHeadBytes = 8192;

// The kind a file name says by its extension alone (any case), for a file that cannot be
// read yet, or an output: Unknown for none.
WhatFile WhatNameSays(std::string_view path);

}  // namespace tables
