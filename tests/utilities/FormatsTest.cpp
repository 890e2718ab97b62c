#include <gtest/gtest.h>

#include <string>

#include "UtilitiesTab.h"
#include "utilities/Utilities.h"

using testing_support::UtilitiesTab;

TEST(Formats, DecimalAndPackedDegreesOfPointOne) {
    struct Case {
        const char* lat;
        const char* lon;
        const char* text;
    };
    for (const Case& c : {
             // The tab's initial point: 38º 25' = 38,4166667º, packed 3825.
             Case{"38 25 0,0000 N", "1 34 0,0000 W",
                  "(ggg,gggggggº)\r\nLatitud= 38,4166667\r\nLongitud= -1,5666667\r\n\r\n"
                  "(gggmm,mmmmm)\r\nLatitud= 3825,00000\r\nLongitud= -134,00000"},
             // Half a minute south: degrees x 100 is 0, only the minutes remain.
             Case{"0 0 30,0000 S", "0 0 0,0000 E",
                  "(ggg,gggggggº)\r\nLatitud= -0,0083333\r\nLongitud= 0,0000000\r\n\r\n"
                  "(gggmm,mmmmm)\r\nLatitud= -0,50000\r\nLongitud= 0,00000"},
             // 56,7891'' = 0,946485' -> 34,9465' after rounding to four decimals.
             Case{"12 34 56,7891 N", "180 0 0,0000 W",
                  "(ggg,gggggggº)\r\nLatitud= 12,5824414\r\nLongitud= -180,0000000\r\n\r\n"
                  "(gggmm,mmmmm)\r\nLatitud= 1234,94650\r\nLongitud= -18000,00000"},
         }) {
        SCOPED_TRACE(c.lat);
        UtilitiesTab tab;
        tab.Point(1, c.lat, c.lon);
        utilities::Command5_Click(tab.form, tab.platform);
        ASSERT_EQ(tab.platform.msgBoxes.size(), 1u);
        const auto& box = tab.platform.LastMsgBox();
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.title, "Coordenadas del punto nº 1");
        EXPECT_EQ(box.icon, app::MsgIcon::Information);
        EXPECT_EQ(box.buttons, app::MsgButtons::OK);
    }
}
