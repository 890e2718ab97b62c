// What all four conversion buttons share: repeatable clicks, tooltips only from tab 0's
// geographic input, and a failing click that leaves the results alone.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "ConversionTabFixture.h"
#include "num/RuntimeError.h"

using convert_test::Button;
using convert_test::ConversionTab;
using convert_test::kButtons;

using ConversionClick = ConversionTab;

TEST_F(ConversionClick, PressingTwiceGivesTheSameResult) {
    for (const Button& b : kButtons) {
        for (bool utm : {false, true}) {
            SCOPED_TRACE(testing::Message() << b.name << (utm ? " UTM" : " geographic"));
            // The initial fields of each frame, which describe different points.
            if (b.tab == 0)
                Select("OptUTM", utm ? 1 : 0);
            else
                Select("OptCoord", utm ? 0 : 1);
            b.click(form, platform);
            const auto results = Results(b.tab);
            const auto inputs = InputTexts(b.tab);
            b.click(form, platform);
            EXPECT_EQ(Results(b.tab), results);
            EXPECT_EQ(InputTexts(b.tab), inputs);
        }
    }
    EXPECT_TRUE(platform.msgBoxes.empty());
}

TEST_F(ConversionClick, OutOfAreaResetsTheResultsOfItsTab) {
    // Each tab resets its labels to its own texts; the height label keeps its caption.
    const char* reset[2][3] = {{"E= 0,0 ±1,5", "N= 0,0 ±1,5", "Huso= ?"},
                               {"E= 0,0", "N= 0,0", "Huso="}};
    const std::string zero = "00º 00' 0,0000\"";
    struct Case {
        const char* what;
        int button;  // in kButtons
        std::function<void(int tab)> type;
        const char* listText;  // the zone list after the click
    };
    auto canary = [&](int tab) {  // zone 28
        TypeGeographic(tab, {"28", "0", "0"}, {"15", "30", "0"}, true, "0,0");
    };
    auto north = [&](int tab) {  // zone 30, outside the Helmert area
        TypeGeographic(tab, {"44", "30", "0"}, {"3", "0", "0"}, true, "0,0");
    };
    auto westOf419000 = [&](int tab) {  // zone 29, outside the Helmert area
        TypeUtm(tab, "400.000,00", "4.500.000,00", 0, "0,0");
    };
    const Case cases[] = {
        {"Canary Islands", 0, canary, "30"},     {"Canary Islands", 1, canary, "30"},
        {"Canary Islands", 2, canary, "30"},     {"Canary Islands", 3, canary, "30"},
        {"north of 44º", 0, north, "30"},        {"north of 44º", 1, north, "30"},
        {"zone 29, UTM", 0, westOf419000, "29"}, {"zone 29, UTM", 1, westOf419000, "29"},
    };
    for (const Case& c : cases) {
        const Button& b = kButtons[c.button];
        SCOPED_TRACE(testing::Message() << c.what << ", " << b.name);
        platform.msgBoxes.clear();
        // A conversion on the tab before, with the Helmert set BAL99.
        TypeGeographic(b.tab, {"39", "30", "0"}, {"2", "40", "0"}, false, "10,0");
        Helmert(b.tab)(form, platform);
        ASSERT_EQ(mGeo::HelmertParamsZone, mGeo::HelmertZone::BAL99);
        const int heightLabel = b.tab == 0 ? 20 : 24;
        const std::string height = Text("LblLat", heightLabel);
        C(InputsOf(b.tab).list).listIndex = 2;

        c.type(b.tab);
        b.click(form, platform);

        const int u = b.tab == 0 ? 0 : 6;
        EXPECT_EQ(Text("LblGeoLat", b.tab), zero);
        EXPECT_EQ(Text("LblGeoLon", b.tab), zero);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(Text("LblUTM", u + i), reset[b.tab][i]);
        EXPECT_EQ(Text("LblLat", heightLabel), height);
        EXPECT_EQ(mGeo::HelmertParamsZone, mGeo::HelmertZone::BAL99);
        EXPECT_EQ(C(InputsOf(b.tab).list).ListText(), c.listText);
        ASSERT_EQ(platform.msgBoxes.size(), 1u);
        EXPECT_EQ(platform.LastMsgBox().text,
                  "Transformación válida solamente para la península y Baleares");
        EXPECT_EQ(platform.LastMsgBox().title, "Talpor");
        EXPECT_EQ(platform.LastMsgBox().icon, app::MsgIcon::Exclamation);
        EXPECT_EQ(platform.LastMsgBox().buttons, app::MsgButtons::OK);
    }
}

TEST_F(ConversionClick, OnlyTab1MolodenskyWritesItsMirrorUnrounded) {
    // Points found by search whose mirrored value falls on an exact half of the last
    // digit shown (in fifteen significant digits): rounded half to even first it shows
    // the even digit, formatted directly the next one up.
    struct Case {
        const char* what;
        int tab;
        std::function<void()> type;
        const char* field;  // and its index in TxtWGSg, or -1
        int index;
        const char* rounded;
        const char* unrounded;
    } cases[] = {
        // The inverse projection gives longitude seconds of 19.711649999999992.
        {"tab 0 UTM", 0, [&] { TypeUtm(0, "440148,81219344953", "4474321,04", 1, "0,0"); },
         "TxtWGSg", 5, "19,7116", "19,7117"},
        {"tab 1 UTM", 1, [&] { TypeUtm(1, "440145,48335532908", "4474321,04", 1, "0,0"); },
         "TxtWGSg", 18, "19,7116", "19,7117"},
        // Projects on the International ellipsoid to a northing of 4474321.0450000046.
        {"tab 1 geographic", 1,
         [&] {
             TypeGeographic(1, {"40", "25", "0,0028"}, {"3", "42", "19,7702"}, true, "0,0");
         },
         "TxtUTMn", -1, "4.474.321,04", "4.474.321,05"},
    };
    for (const Case& c : cases) {
        for (const Button& b : kButtons) {
            if (b.tab != c.tab) continue;
            SCOPED_TRACE(testing::Message() << c.what << ", " << b.name);
            c.type();
            b.click(form, platform);
            const bool unrounded = std::string(b.name) == "CmdWGS84Molodensky";
            EXPECT_EQ(Text(c.field, c.index), unrounded ? c.unrounded : c.rounded);
        }
    }
}

TEST_F(ConversionClick, TooltipsOnTab0GeographicInputOnly) {
    for (const Button& b : kButtons) {
        SCOPED_TRACE(b.name);
        for (int i : {0, 3, 7, 16}) C("TxtWGSg", i).toolTip = "";
        TypeGeographic(b.tab, {"40", "30", "0"}, {"3", "45", "0"}, true, "0,0");
        b.click(form, platform);
        // Signed decimal degrees with up to 15 significant digits and a decimal comma.
        EXPECT_EQ(C("TxtWGSg", 0).toolTip, b.tab == 0 ? "40,5" : "");
        EXPECT_EQ(C("TxtWGSg", 3).toolTip, b.tab == 0 ? "-3,75" : "");
        EXPECT_EQ(C("TxtWGSg", 7).toolTip, "");
        EXPECT_EQ(C("TxtWGSg", 16).toolTip, "");

        TypeGeographic(b.tab, {"38", "16", "0"}, {"1", "22", "0"}, false, "0,0");
        b.click(form, platform);
        EXPECT_EQ(C("TxtWGSg", 0).toolTip, b.tab == 0 ? "38,2666666666667" : "");
        EXPECT_EQ(C("TxtWGSg", 3).toolTip, b.tab == 0 ? "1,36666666666667" : "");

        // UTM input sets none.
        for (int i : {0, 3}) C("TxtWGSg", i).toolTip = "";
        TypeUtm(b.tab, "440.000,00", "4.474.000,00", 1, "0,0");
        b.click(form, platform);
        EXPECT_EQ(C("TxtWGSg", 0).toolTip, "");
        EXPECT_EQ(C("TxtWGSg", 3).toolTip, "");
    }
}

TEST_F(ConversionClick, OverflowingDegreesLeaveTheResultsUnwritten) {
    // A degree or minute field the entry rules would have clamped: its whole number does
    // not fit 16 bits, and the click stops with the overflow error before any label.
    for (const Button& b : kButtons) {
        const TabInputs& t = InputsOf(b.tab);
        for (int field : {t.lat[0], t.lat[1], t.lon[0], t.lon[1]}) {
            SCOPED_TRACE(testing::Message() << b.name << " TxtWGSg(" << field << ")");
            TypeGeographic(b.tab, {"40", "0", "0"}, {"3", "0", "0"}, true, "0,0");
            Text("TxtWGSg", field) = "99999";
            const auto results = Results(b.tab);
            const std::string utmE = Text(t.E);
            try {
                b.click(form, platform);
                ADD_FAILURE() << "no error";
            } catch (const num::RuntimeError& e) {
                EXPECT_EQ(e.Number(), num::RuntimeError::kOverflow);
                EXPECT_EQ(e.Description(), "Desbordamiento");
            }
            EXPECT_EQ(Results(b.tab), results);
            EXPECT_EQ(Text(t.E), utmE);
        }
    }
    EXPECT_TRUE(platform.msgBoxes.empty());
}
