// "Convertir a: ggg,gggggggº": point 1 in decimal degrees and in packed degrees and
// decimal minutes (gggmm,mmmmm = degrees × 100 + minutes).
#include <string>

#include "geo/mGeo.h"
#include "num/Number.h"
#include "utilities/PointFields.h"
#include "utilities/Utilities.h"

namespace utilities {

namespace {
constexpr const char* kNewLine = "\r\n";
}  // namespace

void Command5_Click(form::FormModel& form, form::Platform& platform) {
    if (!AnglesChecked(form, platform, {kPoint1Latitude, kPoint1Longitude})) return;
    double lat = ReadAngle(form, kPoint1Latitude, Point1IsSouth(form));
    double lon = ReadAngle(form, kPoint1Longitude, Point1IsWest(form));
    // Decimals 0 rounds the packed values to four decimals; the fifth printed one is
    // therefore always 0.
    double latGM = geo::DegToDegMin(lat, 0);
    double lonGM = geo::DegToDegMin(lon, 0);

    std::string text = std::string("(ggg,gggggggº)") + kNewLine;
    text += "Latitud= " + num::Format(lat, "#,##0.0000000") + kNewLine;
    text += "Longitud= " + num::Format(lon, "#,##0.0000000") + kNewLine;
    text += kNewLine;
    text += std::string("(gggmm,mmmmm)") + kNewLine;
    text += "Latitud= " + num::Format(latGM, "#0.00000") + kNewLine;
    text += "Longitud= " + num::Format(lonGM, "#0.00000");

    platform.MsgBox(text, "Coordenadas del punto nº 1", form::MsgIcon::Information,
                    form::MsgButtons::OK, form::MsgResult::OK);
}

}  // namespace utilities
