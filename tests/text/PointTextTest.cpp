// Whole points read from pasted text and written for other programs.
#include "text/PointText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using text::PastedPoint;
using Kind = PastedPoint::Kind;

// "40 25 0,5 N" for an angle; seconds to 4 decimals.
std::string Dms(const text::SexagesimalAngle& a, const char* positive, const char* negative) {
    char sec[32];
    std::snprintf(sec, sizeof sec, "%.4f", a.sec);
    return std::to_string(a.deg) + " " + std::to_string(a.min) + " " + sec + " " +
           (a.negative ? negative : positive);
}

std::string Read(const std::string& text) {
    const PastedPoint p = text::ParsePoint(text);
    switch (p.kind) {
        case Kind::NotACoordinate: return "-";
        case Kind::Broken: return "! " + p.message;
        case Kind::Geographic: return Dms(p.lat, "N", "S") + " / " + Dms(p.lon, "E", "W");
        case Kind::Utm: {
            char buffer[96];
            std::snprintf(buffer, sizeof buffer, "UTM %d%s %.2f %.2f", p.utm.zone, p.utm.band.c_str(),
                          p.utm.E, p.utm.N);
            return buffer;
        }
    }
    return "?";
}

}  // namespace

// The forms pasted through the window (Paste in app_tests, ClipboardWindow in qt_tests) are
// not repeated here.
TEST(ParsePoint, EveryFormEachHemisphereAndBothDecimalSigns) {
    const struct {
        const char* text;
        std::string read;
    } cases[] = {
        // Decimal degrees.
        {"40.4168,3.7038", "40 25 0.4800 N / 3 42 13.6800 E"},
        {"40.4168 N; 3.7038 O", "40 25 0.4800 N / 3 42 13.6800 W"},
        {"3.7038W 40.4168N", "40 25 0.4800 N / 3 42 13.6800 W"},  // letters say which is which
        // Degrees, minutes, seconds.
        {"40º25′0,5″N 3º42′13″E", "40 25 0.5000 N / 3 42 13.0000 E"},
        {"40 25 0,5 N 3 42 13 W", "40 25 0.5000 N / 3 42 13.0000 W"},
        {"40 25 0.5 -3 42 13", "40 25 0.5000 N / 3 42 13.0000 W"},
        {"S 12 3 4 E 5 6 7", "12 3 4.0000 S / 5 6 7.0000 E"},
        {"40°25' 13\" 3°", "40 25 13.0000 N / 3 0 0.0000 E"},
        // UTM.
        {"30 T 440721 4474447", "UTM 30T 440721.00 4474447.00"},
        {"  29t\t440721;4474447 ", "UTM 29T 440721.00 4474447.00"},
        // Broken: one message that names what is wrong; never a point.
        {"40 60 0 N 3 42 13 W", "! minutos fuera de rango (60)"},  // 60 is the first refused
        {"40 25 60 N 3 42 13 W", "! segundos fuera de rango (60)"},
        {"40.1, 190.2", "! longitud fuera de rango (190.2)"},
        {"90 0 1 N 3 0 0 W", "! latitud fuera de rango (90)"},
        {"32T 440721 4474447", "! huso fuera de rango (32): ha de ser 29, 30 o 31"},
        {"30M 440721 4474447",
         "! la banda M es del hemisferio sur: solo se admiten puntos del hemisferio norte"},
        {"40.1N 3.2S", "! hay dos latitudes y ninguna longitud"},
        {"3.1E 3.2W", "! hay dos longitudes y ninguna latitud"},
        {"-40.1N 3.2W", "! la coordenada lleva signo y letra a la vez"},
        {"40.5 25 N 3 42 W", "! solo el último número de una coordenada puede llevar decimales (40.5)"},
        {"40 1.2.3 N 3 42 W", "! número mal escrito (1.2.3)"},
    };
    for (const auto& c : cases) EXPECT_EQ(Read(c.text), c.read) << c.text;
    // Not a whole point: left to the single-field rules ("40 25" may be degrees and minutes).
    for (const char* text : {"", "40 25", "40 25 0", "Lat 40.4 Lon -3.7", "40.4168 -3.7038 12.5",
                             "40.4168 € -3.7038", "40.4168 - -3.7038", "N 40 N", "40°25' 13\"",
                             "25' 40° 3° 42'", "40 -25 0 3 42 0", "440721 4474447", "30T 440721",
                             "30X 440721 4474447 12"})
        EXPECT_EQ(Read(text), "-") << text;
}

TEST(ParseDecimalDegrees, OneNumberWithDecimalsFillsDegreesMinutesAndSeconds) {
    const auto read = [](const char* text, bool latitude) {
        const auto a = text::ParseDecimalDegrees(text, latitude);
        return a ? Dms(*a, "+", "-") : std::string("-");
    };
    EXPECT_EQ(read("40,4166667", true), "40 25 0.0001 +");
    EXPECT_EQ(read("-3.7038", false), "3 42 13.6800 -");
    EXPECT_EQ(read("O 3.7038º", false), "3 42 13.6800 -");
    for (const char* text : {"3.7038N", "3.7 4.2", "-3.7W"})  // N: a latitude's letter
        EXPECT_EQ(read(text, false), "-") << text;
    EXPECT_EQ(read("95.5", true), "-");
}

TEST(PointTextOut, DecimalDegreesDegreesAndMinutesAndUtmForOtherProgramsAndReadBack) {
    EXPECT_EQ(text::DecimalDegreesText(-0.000000001, 0), "0.00000000, 0.00000000");
    EXPECT_EQ(text::UtmPointText("30T", 440721.755, 4474447.365), "30T 440721.76 4474447.37");
    // 40.4168 N 3.7038 W; 59,999997' carries into the next degree; a south-west point.
    EXPECT_EQ(text::DegreesMinutesText(40.4168, -3.7038), "N 40º 25,00800' W 3º 42,22800'");
    EXPECT_EQ(text::DegreesMinutesText(40.99999995, -0.0000000001), "N 41º 0,00000' E 0º 0,00000'");
    EXPECT_EQ(text::DegreesMinutesText(-33.8688, 151.2093), "S 33º 52,12800' E 151º 12,55800'");
    // Pasted back, the point comes again to the 5 decimals of a minute (25,07887', 42,14945').
    EXPECT_EQ(Read(text::DegreesMinutesText(40.41798125, -3.70249087)), "40 25 4.7322 N / 3 42 8.9670 W");
}
