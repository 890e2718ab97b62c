// The distance, arc-length and format buttons of the "Utilidades" tab.
#include <gtest/gtest.h>

#include <string>

#include "UtilitiesTab.h"
#include "utilities/Utilities.h"

using testing_support::UtilitiesTab;

namespace {

// LblDist after the click, when it showed 123,456 km before; `message` is the warning
// expected, if any.
std::string Distance(const char* lat1, const char* lon1, const char* lat2, const char* lon2,
                     const std::string& message = "") {
    UtilitiesTab tab;
    tab.form.Get("LblDist").text = "Distancia= 123,456 Km";
    tab.Point(1, lat1, lon1);
    tab.Point(2, lat2, lon2);
    utilities::Command4_Click(tab.form, tab.platform);
    const bool box = !tab.platform.msgBoxes.empty();
    EXPECT_EQ(box ? tab.OnlyBoxText("Talpor", app::MsgIcon::Exclamation) : "", message);
    return tab.form.Get("LblDist").text;
}

std::string ArcLengthsAt(const std::string& lat) {
    UtilitiesTab tab;
    tab.Point(1, lat, "");
    utilities::Command2_Click(tab.form, tab.platform);
    return tab.OnlyBoxText("Longitudes de arco para el punto nº 1", app::MsgIcon::Information);
}

std::string FormatsOf(const char* lat, const char* lon) {
    UtilitiesTab tab;
    tab.Point(1, lat, lon);
    utilities::Command5_Click(tab.form, tab.platform);
    return tab.OnlyBoxText("Coordenadas del punto nº 1", app::MsgIcon::Information);
}

}  // namespace

TEST(Distance, KnownDistancesOnTheEllipsoid) {
    // Meeus, Astronomical Algorithms, ch. 11: Paris to Washington, 6181.63 km.
    EXPECT_EQ(Distance("48 50 11 N", "2 20 14 E", "38 55 17 N", "77 3 56 W"),
              "Distancia= 6.181,626 Km");
    EXPECT_EQ(Distance("38 25 12,3456 N", "1 0 0 W", "38 25 12,3456 N", "1 0 0 W"),
              "Distancia= 0,000 Km");
    // Meridian arc 40º to 41º N on WGS84: M(40.5º) x pi/180 = 111.044 km (the first-order
    // formula is 1 m longer).
    EXPECT_EQ(Distance("40 0 0 N", "3 0 0 W", "41 0 0 N", "3 0 0 W"), "Distancia= 111,045 Km");
    // Nearly antipodal: the formula tends to pi a (1 - f/2 sin^2 10º) = 20036.495 km.
    EXPECT_EQ(Distance("10 0 0 N", "0 0 0 E", "10 0 0 S", "180 0 0 E"), "Distancia= 20.036,495 Km");
}

TEST(Distance, OutOfRangeAnglesWarnAndKeepTheLastDistance) {
    const char* lat = "La latitud no puede ser mayor que 90º";
    const char* kept = "Distancia= 123,456 Km";
    EXPECT_EQ(Distance("90 0 0,0001 S", "", "", "", lat), kept);
    EXPECT_EQ(
        Distance("10 0 0 N", "180 0 0,0001 E", "", "", "La longitud no puede ser mayor que 180º"),
        kept);
    EXPECT_EQ(Distance("", "", "90 0 1 N", "", lat), kept);
}

TEST(ArcLengths, MessageAtTheInitialLatitudeAndAtTheEquator) {
    // Computed independently from Rp = N cos(lat) and Rm = a (1 - e^2) / W^1.5 with
    // a = 6378137 m, e^2 = 2f - f^2, f = 1/298.257223563; at the equator Rp = a.
    EXPECT_EQ(
        ArcLengthsAt("38 25 0,0000 N"),
        "Radio del círculo en el paralelo de Lat=38,417º  Rp= 5.003,823 km\r\n"
        "1º de longitud equivale a 87,3332 km\r\n"
        "1'' de longitud equivale a 24,26 m\r\n"
        "Velocidad lineal del punto de latitud L debida a la rotación de la tierra "
        "w·Rp= 364,88 m/seg\r\n\r\n"
        "Radio de curvatura de la Tierra en el meridiano con Lat=38,417º  Rm= 6.360,082 km\r\n"
        "1º de latitud equivale a 111,0044 km\r\n"
        "1'' de latitud equivale a 30,83 m");
    EXPECT_EQ(ArcLengthsAt("0 0 0,0000 N"),
              "Radio del círculo en el paralelo de Lat=0,000º  Rp= 6.378,137 km\r\n"
              "1º de longitud equivale a 111,3195 km\r\n"
              "1'' de longitud equivale a 30,92 m\r\n"
              "Velocidad lineal del punto de latitud L debida a la rotación de la tierra "
              "w·Rp= 465,10 m/seg\r\n\r\n"
              "Radio de curvatura de la Tierra en el meridiano con Lat=0,000º  Rm= 6.335,439 km\r\n"
              "1º de latitud equivale a 110,5743 km\r\n"
              "1'' de latitud equivale a 30,72 m");
}

TEST(Formats, DecimalAndPackedDegreesOfPointOne) {
    // The tab's initial point: 38º 25' = 38,4166667º, packed 3825.
    EXPECT_EQ(FormatsOf("38 25 0,0000 N", "1 34 0,0000 W"),
              "(ggg,gggggggº)\r\nLatitud= 38,4166667\r\nLongitud= -1,5666667\r\n\r\n"
              "(gggmm,mmmmm)\r\nLatitud= 3825,00000\r\nLongitud= -134,00000");
    // Half a minute south: degrees x 100 is 0, only the minutes remain.
    EXPECT_EQ(FormatsOf("0 0 30,0000 S", "0 0 0,0000 E"),
              "(ggg,gggggggº)\r\nLatitud= -0,0083333\r\nLongitud= 0,0000000\r\n\r\n"
              "(gggmm,mmmmm)\r\nLatitud= -0,50000\r\nLongitud= 0,00000");
    // 56,7891'' = 0,946485' -> 34,9465' after rounding to four decimals.
    EXPECT_EQ(FormatsOf("12 34 56,7891 N", "180 0 0,0000 W"),
              "(ggg,gggggggº)\r\nLatitud= 12,5824414\r\nLongitud= -180,0000000\r\n\r\n"
              "(gggmm,mmmmm)\r\nLatitud= 1234,94650\r\nLongitud= -18000,00000");
}
