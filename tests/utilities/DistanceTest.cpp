#include <gtest/gtest.h>

#include <string>

#include "UtilitiesTab.h"
#include "entry/mText.h"
#include "utilities/Utilities.h"

using testing_support::UtilitiesTab;

namespace {

struct Points {
    const char* lat1;
    const char* lon1;
    const char* lat2;
    const char* lon2;
};

std::string Distance(UtilitiesTab& tab, const Points& p) {
    tab.Point(1, p.lat1, p.lon1);
    tab.Point(2, p.lat2, p.lon2);
    utilities::Command4_Click(tab.form, tab.platform);
    return tab.Caption("LblDist");
}

// The kilometres of a caption "Distancia= 6.181,627 Km".
double Km(const std::string& caption) {
    EXPECT_TRUE(caption.starts_with("Distancia= ") && caption.ends_with(" Km")) << caption;
    return mText::FieldValue(caption.substr(11));
}

}  // namespace

TEST(Distance, EqualPointsAreZeroKilometres) {
    for (const char* lat : {"0 0 0,0000 N", "38 25 12,3456 N", "90 0 0,0000 S"}) {
        UtilitiesTab tab;
        EXPECT_EQ(Distance(tab, {lat, "180 0 0,0000 W", lat, "180 0 0,0000 W"}),
                  "Distancia= 0,000 Km");
    }
}

TEST(Distance, KnownDistancesOnTheEllipsoid) {
    struct Case {
        const char* what;
        Points p;
        double km, tolerance;
    };
    for (const Case& c : {
             // Meeus, Astronomical Algorithms, ch. 11: Paris Observatory to the US Naval
             // Observatory, 6181.63 km with a = 6378.14 km and f = 1/298.257; WGS84's
             // constants give 6181.6255 (the same formula evaluated separately).
             Case{"Paris-Washington",
                  {"48 50 11,0000 N", "2 20 14,0000 E", "38 55 17,0000 N", "77 3 56,0000 W"},
                  6181.63,
                  0.005},
             // Meridian arc from 40º to 41º N on WGS84: M(40.5º) x pi/180 = 111.044 km.
             Case{"one degree of meridian",
                  {"40 0 0 N", "3 0 0 W", "41 0 0 N", "3 0 0 W"},
                  111.044,
                  0.005},
             // One degree of the equator, a x pi/180 = 111.319 km, is longer than the
             // first degree of meridian, a (1 - e^2) x pi/180 = 110.574 km.
             Case{"one degree of equator",
                  {"0 0 0 N", "0 0 0 E", "0 0 0 N", "1 0 0 E"},
                  111.319,
                  0.005},
             Case{"first degree of meridian",
                  {"0 0 0 N", "0 0 0 E", "1 0 0 N", "0 0 0 E"},
                  110.574,
                  0.005},
             // Antipodes: C is only rounding noise there, and the formula tends to
             // pi a (1 - f/2 sin^2 10º) = 20036.495 km (the geodesic over the pole is
             // 20003.93 km: the first-order correction is weakest here, but finite).
             Case{"antipodes", {"10 0 0 N", "0 0 0 E", "10 0 0 S", "180 0 0 E"}, 20036.495, 0.002},
             // The limits themselves pass, and point 2's longitude is never checked
             // (181º W is 179º E): pole to equator, a quarter meridian, 10001.97 km.
             Case{"limits", {"90 0 0 N", "180 0 0 W", "0 0 0 N", "181 0 0 W"}, 10001.97, 1},
         }) {
        SCOPED_TRACE(c.what);
        UtilitiesTab tab;
        EXPECT_NEAR(Km(Distance(tab, c.p)), c.km, c.tolerance);
        EXPECT_TRUE(tab.platform.msgBoxes.empty());
    }
    UtilitiesTab tab;  // thousands point, decimal comma, three decimals
    EXPECT_EQ(
        Distance(tab, {"48 50 11,0000 N", "2 20 14,0000 E", "38 55 17,0000 N", "77 3 56,0000 W"}),
        "Distancia= 6.181,626 Km");
}

TEST(Distance, OutOfRangeAnglesWarnAndKeepTheLastDistance) {
    const char* latitude = "La latitud no puede ser mayor que 90º";
    const char* longitude = "La longitud no puede ser mayor que 180º";
    struct Case {
        Points p;
        const char* message;
    };
    for (const Case& c : {
             Case{{"90 0 0,0001 N", "", "", ""}, latitude},
             Case{{"90 1 0 S", "", "", ""}, latitude},
             Case{{"10 0 0 N", "180 0 1,0000 E", "", ""}, longitude},
             Case{{"91 0 0 N", "181 0 0 E", "", ""}, latitude},  // one message, latitude first
             Case{{"", "", "90 0 1,0000 N", ""}, latitude},
             Case{{"", "", "95 0 0 S", ""}, latitude},
         }) {
        SCOPED_TRACE(testing::Message() << c.p.lat1 << c.p.lon1 << c.p.lat2);
        UtilitiesTab tab;
        tab.form.Get("LblDist").text = "Distancia= 123,456 Km";
        EXPECT_EQ(Distance(tab, c.p), "Distancia= 123,456 Km");
        ASSERT_EQ(tab.platform.msgBoxes.size(), 1u);
        const auto& box = tab.platform.LastMsgBox();
        EXPECT_EQ(box.text, c.message);
        EXPECT_EQ(box.title, "Talpor");
        EXPECT_EQ(box.icon, app::MsgIcon::Exclamation);
        EXPECT_EQ(box.buttons, app::MsgButtons::OK);
    }
}
