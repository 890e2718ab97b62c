// What a conversion of a file is given (Settings) and what stops it (RunError), shared by
// every family of files: tables, GPS files, GIS layers, and the run that picks among them.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tables/PointRow.h"
#include "tables/TextTable.h"

namespace tables {

// The form of a file: a text table (CSV and the like) or a GPS format.
enum class Format { Text, Gpx, Kml, GeoJson };

// How a run reads and writes GIS layers (layers/Layers.h).
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
    // The system every file, layer and image is taken to, each from its own (--destino);
    // unset: the direction's other side, as -s and --huso say.
    std::optional<CrsName> target;
    // The system of what does not say its own (--origen): a table, a DXF, a shapefile or
    // an image without one. Unset: such a file is refused, never taken by a guess.
    std::optional<CrsName> origin;
    bool operator==(const Settings&) const = default;
};

// `settings` for points in `from` taken to settings.target: the direction between them (no
// datum change on one side), the zone of UTM points given without one, the target's zone
// for UTM results. Settings without a target are given back as they are.
Settings TowardTarget(Settings settings, const CrsName& from);

// A text table's settings with a target: the table says no system, so the user's
// (--origen) is taken; throws RunError, naming --origen, without one.
Settings TableSettings(const Settings& settings);

// True when a run reads the IGN grids (Conversion::grids): the grid method, the altitude
// column, or altitudes read.
inline bool NeedsGrids(const Settings& settings) {
    return settings.conversion.method == Method::Grid || settings.outputs.altitude ||
           settings.conversion.heightIsAltitude;
}

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
// A reading or a run keeps this many notes at most; it counts them all.
inline constexpr std::size_t kListedNotes = 10;

// A count as Spanish writes it, thousands grouped by points from 1.000 up: "999",
// "1.000", "1.010.000".
std::string Grouped(std::uint64_t n);
// "1 fila convertida", "3 filas convertidas", "12.345 filas convertidas".
std::string Count(std::uint64_t n, std::string_view one, std::string_view many);

}  // namespace tables
