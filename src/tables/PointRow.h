// The point of one row of a batch file: read from the text of its columns as the window
// reads a point pasted into a conversion tab, converted by the conversion core
// (core/Core.h) with the chosen method, and written with the window's result
// captions (core/Captions.h), so that a point gives the same texts in a file as on
// the screen.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/Core.h"
#include "core/Grids.h"
#include "tables/CrsName.h"
#include "text/PointText.h"

namespace tables {

// The methods a batch conversion offers. A new method is one line in kMethods and one
// case in ConvertPoint.
enum class Method { Helmert, MolodenskyIGN, MolodenskyNIMA, Grid };

struct MethodName {
    std::string_view name;  // as the command line takes it
    Method method;
};
inline constexpr MethodName kMethods[] = {
    {"helmert", Method::Helmert},
    {"molodensky-ign", Method::MolodenskyIGN},
    {"molodensky-nima", Method::MolodenskyNIMA},
    {"rejilla", Method::Grid},
};

// The name of `method` in kMethods: "rejilla".
constexpr std::string_view MethodWord(Method method) {
    for (const MethodName& m : kMethods)
        if (m.method == method) return m.name;
    return {};
}

// The points a run takes: any point ParsePoint reads, or only one of its two kinds.
enum class InputForm { Any, Geographic, Utm };


// What is done to every point of a run.
struct Conversion {
    core::Direction direction = core::Direction::WGS84ToED50;
    Method method = Method::Helmert;
    InputForm input = InputForm::Any;
    // Zone (29, 30 or 31) of UTM points written as easting and northing alone; 0 when
    // the points carry their zone.
    int zone = 0;
    // The IGN grids: the shift grids of Method::Grid and the geoid of the altitudes.
    // Opened on first use and not for concurrent use: ConvertStream gives each of its
    // further threads grids of its own, opened from the same folders. nullptr: the grid
    // method is unavailable and no altitude is computed.
    core::Grids* grids = nullptr;
    // Compute the altitude above sea level of the point on WGS84 (RowResult::altitude).
    bool altitude = false;
    // The heights read are altitudes above mean sea level (EGM08-REDNAP), not heights
    // above the source ellipsoid: each becomes the height above the ellipsoid that
    // core::HeightOfAltitude gives before the point is converted; the grid, which
    // moves no height, carries the altitude as it is. Needs `grids` (the geoid).
    bool heightIsAltitude = false;
    // Say of a point converted outside Spain's land and sea where it fell (RowResult::note):
    // a row's warning; a layer written as a layer has no row to hold it.
    bool places = true;
    // No datum change: the point stays on its datum (on the direction's source
    // ellipsoid), only projected, as between two UTM zones or degrees and UTM of one datum.
    // The result has no parameter set.
    bool sameDatum = false;
    // The zone UTM results are projected in (29, 30 or 31), whatever the point's own; 0:
    // each point's own zone.
    int outZone = 0;
    bool operator==(const Conversion&) const = default;
};

// False for the IGN grid, which shifts latitude and longitude only: its result carries
// the typed height, which is no height on the target datum.
inline bool TransformsHeight(Method method) { return method != Method::Grid; }

// A row's point as the conversion core takes it, or why it cannot be one.
struct RowPoint {
    enum class Kind { Geographic, Utm, Error };
    Kind kind = Kind::Error;
    core::GeographicInput geographic;  // Kind::Geographic
    core::UtmInput utm;                // Kind::Utm
    std::string error;                    // Kind::Error, Spanish: "minutos fuera de rango (75)"
    // False when the row gave no height (an empty cell, or no height column): the point is
    // converted at height 0 for its horizontal result, and has no height results.
    bool hasHeight = false;
};

// Reads a point from `pointText` (the row's point columns joined by blanks, any form
// text::ParsePoint reads) and `heightText` (metres above the source ellipsoid)
// with the values and limits of the window's fields once the point is pasted and the
// height typed (a blank height is none: RowPoint::hasHeight): seconds to 4 decimals (carried into minutes and degrees), eastings and
// northings to 2, the height to 1; within the limits of text/FieldLimits.h. Beyond a
// limit, where the window clamps the field and says so, the row gets an error. Never
// throws for any text.
RowPoint ReadPoint(std::string_view pointText, std::string_view heightText, const Conversion& conversion);

// ParsePoint's answer for the form most files hold, two numbers with decimals and blanks
// between ("40.4168 -3.7038", "40,4168 -3,7038"), read without ParsePoint's general
// machinery; nullopt for any other text (and beyond 90º or 180º, where ParsePoint says why).
std::optional<text::PastedPoint> ReadPlainDegrees(std::string_view text);

// The converted point: status Converted with set, point and utm; else `error` says why.
struct RowResult {
    core::Result result;
    std::string error;
    // What a converted point's row says in its Aviso column: a height that could not be
    // taken (an altitude off the geoid; its height results empty), a point that lands
    // outside Spain. Its Error column stays empty: the row is converted.
    std::string note;
    // With Conversion::altitude, the altitude above mean sea level (metres, EGM08-REDNAP)
    // of the point on WGS84: the typed point from WGS84, the converted one to WGS84;
    // unset outside the geoid, and for a point without height.
    std::optional<double> altitude;
    bool hasHeight = false;  // RowPoint::hasHeight: the height result is empty without it
};

// Why a result of the core is no converted point, as ConvertPoint says it: out of the
// zones or of the method's area, or the run-time error that stopped it; "" for a
// converted point.
std::string ConversionError(const core::Result& result);

// Converts a point read by ReadPoint, through the core and the grids; the grids are not
// for concurrent use.
RowResult ConvertPoint(const RowPoint& point, const Conversion& conversion);

// results[i] = ConvertPoint(points[i], conversion) for every point, Helmert and
// Molodensky through the core's batch calls in the calling thread: the one-point calls'
// values for less work (no mirror, Helmert's latitudes four at a time), which takes a
// third off talpor-lote's time. Throws only what allocation throws.
void ConvertPoints(std::span<const RowPoint> points, const Conversion& conversion,
                   std::vector<RowResult>& results);

// The result columns a run writes, in this order; "Error" and "Aviso" always come last.
struct Outputs {
    bool dms = true;      // latitude and longitude as the window's captions: 40º 25' 3,1234" N
    bool degrees = true;  // signed decimal degrees, 8 decimals
    bool utm = true;      // zone ("30T"), easting and northing (metres, 2 decimals)
    bool height = false;  // metres above the target ellipsoid, 1 decimal; empty without a height
    bool set = true;      // the parameter set used: EST99, ZNW99, BAL99, IGN, NIMA or a grid
    bool altitude = false;  // RowResult::altitude, metres, 1 decimal; empty outside the geoid
    // Degrees and decimal minutes as the copy menu gives them, written after the decimal
    // degrees: N 40º 25,00820'
    bool degreesMinutes = false;
    bool operator==(const Outputs&) const = default;
};

// The names of the result columns, "Error" and "Aviso" included, for the header line:
// "Latitud ED50", "Longitud ED50", "Latitud ED50 (grados)", ..., "Error", "Aviso".
// `datum` names what the results are in where it is not the direction's ED50 or WGS84
// (" ETRS89": a layer's results are labelled ETRS89).
std::vector<std::string> ResultNames(const Outputs& outputs, core::Direction direction, std::string_view datum = {});

// `texts` becomes the texts of the result columns of a converted result (Error and Aviso
// excluded): the window's captions without their labels, accuracies and thousands points,
// with `decimalSign` ("," as the window writes them, or ".") before the decimals. The
// strings it held are written over, so that a table's rows allocate nothing for them.
void SetResultTexts(const RowResult& result, const Outputs& outputs, char decimalSign,
                    std::vector<std::string>& texts);

// The number of result columns, Error and Aviso excluded.
std::size_t ResultCount(const Outputs& outputs);

// The text cut to 40 characters for a message, within guillemets, control characters as
// "?": «40,4x -3,7».
std::string Quoted(std::string_view text);

}  // namespace tables
