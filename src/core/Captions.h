// The result captions of the conversion tabs, made from the values the conversion
// core answers (core/Core.h): sexagesimal latitude and longitude, the height, the
// altitude above sea level and the three UTM lines, each with the accuracy of the set
// that was used. Numbers are written with the regional separators (decimal comma,
// thousands point).
#pragma once

#include <string>
#include <string_view>

#include "core/Core.h"

namespace core {

// Patterns of the seconds and of the UTM metres, in the captions and in the fields.
inline constexpr const char* kSecondsPattern = "#,##0.0000";
inline constexpr const char* kMetresPattern = "#,##0.00";

// Accuracy suffixes of a set's results on the three axes: "  ±1,5m" on each for the
// Helmert sets (the EUREF figure), PrecX, PrecY and PrecZ of a Molodensky set, and for
// a grid "  ±0,2m" (the EPSG figure) on the two horizontal axes and none on the height,
// which a grid does not transform.
struct Accuracy {
    std::string_view x, y, z;
};
Accuracy AccuracyOf(ParameterSet set);

// lat (decimal degrees) as 40º 25' 3,1234" N, seconds rounded to 4 decimals. Throws
// the overflow error when the whole degrees do not fit 16 bits.
std::string LatitudeCaption(double lat);

// lon (decimal degrees) as 3º 42' 4,5678" W, or E from longitude 0 on. Throws as above.
std::string LongitudeCaption(double lon);
// The same captions appended to `out` (of a table's row), without a string of their own.
void AppendLatitudeCaption(std::string& out, double lat);
void AppendLongitudeCaption(std::string& out, double lon);

// "Altura sobre el elipsoide = 650,3" followed by `accuracy`; h in metres, rounded to
// 1 decimal.
std::string HeightCaption(double h, std::string_view accuracy);

// "Altura sin transformar = 650,0 m": the typed height a grid's result carries
// unchanged; h in metres, rounded to 1 decimal.
std::string UntransformedHeightCaption(double h);

// "E= 440.501,02" and "N= 4.474.109,90" followed by `accuracy`; metres rounded to 2
// decimals.
std::string EastingCaption(double E, std::string_view accuracy);
std::string NorthingCaption(double N, std::string_view accuracy);

// "Huso= 30T".
std::string ZoneCaption(std::string_view zoneText);

// The height result's tooltip: the parameter set the conversion used,
// "Parámetros regionales: EST99" (Helmert) or "Parámetros: NIMA" (Molodensky); for a
// grid, "Rejilla IGN: SPED2ETV2", followed by why the height is the typed one.
std::string SetToolTip(ParameterSet set);

// The altitude line: "Altitud (EGM08-REDNAP) = 598,9 m" (H rounded to 1 decimal), or
// what stands in for the number: "Altitud (EGM08-REDNAP): fuera del geoide" or
// "Altitud (EGM08-REDNAP): no disponible".
std::string AltitudeCaption(const Altitude& altitude);
// Its tooltip: the undulation, "Ondulación del geoide N = 51,11 m; ...", or why there is
// no number; `problem` is the geoid's (IgnGeoid::Problem) when it is unavailable.
std::string AltitudeToolTip(const Altitude& altitude, std::string_view problem);

// A point typed without height: converted at 0 m, with no height or altitude results.
inline constexpr const char* kNoHeightCaption = "Altura sobre el elipsoide: sin altura";
inline constexpr const char* kNoHeightAltitude = "Altitud (EGM08-REDNAP): sin altura";
inline constexpr const char* kNoHeightTip =
    "El punto no tiene altura: se convierte a altura 0 y no da altura ni altitud";

// A point typed with an altitude where the geoid has no value: its position converted
// with the altitude as its height (millimetres from the true one), no height computed.
inline constexpr const char* kOffGeoidHeightCaption = "Altura sobre el elipsoide: sin calcular, altitud fuera del geoide";
inline constexpr const char* kOffGeoidAltitude = "Altitud (EGM08-REDNAP): fuera del geoide";
inline constexpr const char* kOffGeoidTip =
    "El geoide EGM08-REDNAP no llega a este punto: la altitud escrita no se puede pasar a altura sobre el "
    "elipsoide. La posición se ha convertido tomando la altitud como altura, a pocos milímetros de la verdadera.";

// The altitude line of a grid's WGS84 result, whose height is not a WGS84 one:
// "Altitud (EGM08-REDNAP): sin altura WGS84", and its tooltip.
inline constexpr const char* kNoWgs84HeightAltitude = "Altitud (EGM08-REDNAP): sin altura WGS84";
inline constexpr const char* kNoWgs84HeightAltitudeTip =
    "La rejilla no transforma la altura: el resultado no tiene altura sobre el elipsoide "
    "WGS84 de la que obtener la altitud";

// The zone result's tooltip: "Convergencia de meridianos = 1º 12' 30"; factor de escala
// = 0,9996123", the convergence to whole seconds with a minus sign west of the central
// meridian, the point scale factor to 7 decimals.
std::string GridFactorsToolTip(const geo::GridFactors& factors);

}  // namespace core
