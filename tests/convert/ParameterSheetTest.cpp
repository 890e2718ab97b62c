// The parameter sheets of the picture buttons Command1(0..3).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ConversionTabFixture.h"

using convert_test::ConversionTab;

namespace {

// The sheets as the user has always read them: CR LF between lines, tabs between the
// columns, blanks that line up the decimal points, the arc-second sign after each
// rotation, the scale in plain parts.
const std::string kHelmert =
    "Zona EST99 España peninsular, excepto NW entre 41º 30' Lat y 4º 30' Lon\r\n"
    "dX =  -131.032\tgX = -1.2438\"\r\n"
    "dY =  -100.251\tgY = -0.0195\"\r\n"
    "dZ =  -163.354\tgZ = -1.1436\"\r\n"
    " k =   0.00000939\r\n"
    "\r\n"
    "Zona ZNW99 España peninsular NW, entre 41º 30' Lat y 4º 30' Lon\r\n"
    "dX =  -178.383\tgX =  0.5401\"\r\n"
    "dY =   -83.172\tgY = -0.5319\"\r\n"
    "dZ =  -221.293\tgZ = -0.1263\"\r\n"
    " k =   0.0000212\r\n"
    "\r\n"
    "Zona BAL99 España, Islas Baleares\r\n"
    "dX =  -181.4609\tgX =  0.1435\"\r\n"
    "dY =   -90.2931\tgY =  0.4922\"\r\n"
    "dZ =  -187.1902\tgZ = -0.3935\"\r\n"
    " k =   0.00001757\r\n"
    "\r\n"
    "Precisión EUREF: X±1,5m  Y±1,5m  Z±1,5m";

const std::string kMolodensky =
    "IGN: España peninsular\tNIMA: Portugal & Spain\r\n"
    "dX =  -87.835\t\tdX =  -84.000\r\n"
    "dY = -105.771\t\tdY = -107.000\r\n"
    "dZ = -122.500\t\tdZ = -120.000\r\n"
    "\r\n"
    "Precisión  IGN: X±3,5m  Y±2,5m  Z±3,0m\r\n"
    "Precisión NIMA: X±5,0m  Y±6,0m  Z±3,0m";

int Lines(const std::string& text) {
    int n = 1;
    for (std::size_t i = text.find("\r\n"); i != std::string::npos; i = text.find("\r\n", i + 2))
        ++n;
    return n;
}

}  // namespace

using ParameterSheet = ConversionTab;

TEST_F(ParameterSheet, EachPictureButtonShowsItsSheet) {
    struct Case {
        int index;
        const std::string& sheet;
        int lines;
    } cases[] = {{0, kHelmert, 19}, {1, kMolodensky, 7}, {2, kHelmert, 19}, {3, kMolodensky, 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        platform.msgBoxes.clear();
        convert::Command1_Click(form, platform, c.index);
        ASSERT_EQ(platform.msgBoxes.size(), 1u);
        const auto& box = platform.LastMsgBox();
        EXPECT_EQ(box.text, c.sheet);
        EXPECT_EQ(Lines(box.text), c.lines);
        EXPECT_EQ(std::count(box.text.begin(), box.text.end(), '\n'), c.lines - 1);
        EXPECT_EQ(std::count(box.text.begin(), box.text.end(), '\r'), c.lines - 1);
        EXPECT_EQ(box.title, "Parámetros o coeficientes de transformación ED50 <> WGS84 (ETRS89)");
        EXPECT_EQ(box.icon, app::MsgIcon::Information);
        EXPECT_EQ(box.buttons, app::MsgButtons::OK);
    }
}

TEST_F(ParameterSheet, SheetsDoNotDependOnTheTabsState) {
    Select("OptMWGS84", 0);
    Select("OptMED50", 2);
    Select("OptUTM", 1);
    TypeGeographic(1, {"43", "30", "0"}, {"7", "0", "0"}, true, "5,0");
    convert::CmdWGS84Helmert_Click(form, platform);
    platform.msgBoxes.clear();
    for (int index : {0, 1, 2, 3}) convert::Command1_Click(form, platform, index);
    ASSERT_EQ(platform.msgBoxes.size(), 4u);
    EXPECT_EQ(platform.msgBoxes[0].text, kHelmert);
    EXPECT_EQ(platform.msgBoxes[1].text, kMolodensky);
    EXPECT_EQ(platform.msgBoxes[2].text, kHelmert);
    EXPECT_EQ(platform.msgBoxes[3].text, kMolodensky);
}

TEST_F(ParameterSheet, OtherIndicesShowNothing) {
    for (int index : {-1, 4}) convert::Command1_Click(form, platform, index);
    EXPECT_TRUE(platform.msgBoxes.empty());
}
