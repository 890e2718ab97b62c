#include <gtest/gtest.h>

#include <string>

#include "UtilitiesTab.h"
#include "utilities/Utilities.h"

using testing_support::UtilitiesTab;

namespace {

std::string MessageAt(const std::string& lat) {
    UtilitiesTab tab;
    tab.Point(1, lat, "");
    std::string dist = tab.Caption("LblDist");
    utilities::Command2_Click(tab.form, tab.platform);
    EXPECT_EQ(tab.Caption("LblDist"), dist);  // nothing on the window changes
    EXPECT_EQ(tab.platform.msgBoxes.size(), 1u);
    const auto& box = tab.platform.LastMsgBox();
    EXPECT_EQ(box.title, "Longitudes de arco para el punto nº 1");
    EXPECT_EQ(box.icon, app::MsgIcon::Information);
    EXPECT_EQ(box.buttons, app::MsgButtons::OK);
    return box.text;
}

}  // namespace

TEST(ArcLengths, MessageAtTheInitialLatitudeAndAtTheEquator) {
    // Reference numbers computed independently from Rp = N cos(lat) and
    // Rm = a (1 - e^2) / W^1.5 with a = 6378137 m, e^2 = 2f - f^2, f = 1/298.257223563.
    EXPECT_EQ(
        MessageAt("38 25 0,0000 N"),
        "Radio del círculo en el paralelo de Lat=38,417º  Rp= 5.003,823 km\r\n"
        "1º de longitud equivale a 87,3332 km\r\n"
        "1'' de longitud equivale a 24,26 m\r\n"
        "Velocidad lineal del punto de latitud L debida a la rotación de la tierra "
        "w·Rp= 364,88 m/seg\r\n"
        "\r\n"
        "Radio de curvatura de la Tierra en el meridiano con Lat=38,417º  Rm= 6.360,082 km\r\n"
        "1º de latitud equivale a 111,0044 km\r\n"
        "1'' de latitud equivale a 30,83 m");
    // At the equator Rp = a and Rm = a (1 - e^2), its smallest value.
    const std::string equator =
        "Radio del círculo en el paralelo de Lat=0,000º  Rp= 6.378,137 km\r\n"
        "1º de longitud equivale a 111,3195 km\r\n"
        "1'' de longitud equivale a 30,92 m\r\n"
        "Velocidad lineal del punto de latitud L debida a la rotación de la tierra "
        "w·Rp= 465,10 m/seg\r\n"
        "\r\n"
        "Radio de curvatura de la Tierra en el meridiano con Lat=0,000º  Rm= 6.335,439 km\r\n"
        "1º de latitud equivale a 110,5743 km\r\n"
        "1'' de latitud equivale a 30,72 m";
    EXPECT_EQ(MessageAt("0 0 0,0000 N"), equator);
    EXPECT_EQ(MessageAt("x y z N"), equator);  // text that is no number reads as 0
}

TEST(ArcLengths, SouthGivesTheSameMessageAsNorth) {
    EXPECT_EQ(MessageAt("38 25 0,0000 S"), MessageAt("38 25 0,0000 N"));
}

TEST(ArcLengths, PoleHasNoParallelLeft) {
    std::string text = MessageAt("90 0 0,0000 N");
    EXPECT_NE(text.find("Rp= 0,000 km\r\n1º de longitud equivale a 0,0000 km\r\n"),
              std::string::npos)
        << text;
    // Meridian radius at the pole: a / sqrt(1 - e^2) = 6399.594 km.
    EXPECT_NE(text.find("Rm= 6.399,594 km"), std::string::npos) << text;
}
