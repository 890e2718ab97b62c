// A conversion click that fails part-way, driven through the window: reported and
// logged as a failed click, the labels it had not written yet unchanged, the program
// running on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/frmTalpor.h"
#include "support/FakePlatform.h"

namespace {

struct Started {
    testing_support::FakePlatform platform;
    app::frmTalpor window{platform};
    Started() {
        window.Form_Load();
        window.Activate();
    }
    std::string& Text(const char* name, int index = -1) {
        return window.Form().Get(name, index).text;
    }
    std::vector<std::string> Results(int tab) {
        const int u = tab == 0 ? 0 : 6;
        return {Text("LblGeoLat", tab), Text("LblGeoLon", tab), Text("LblLat", tab == 0 ? 20 : 24),
                Text("LblUTM", u),      Text("LblUTM", u + 1),  Text("LblUTM", u + 2)};
    }
};

}  // namespace

TEST(ConversionGuard, OverflowingDegreesFailTheClickAndTheProgramRunsOn) {
    struct Case {
        const char* button;
        int tab;
        int field;  // a degree field of the tab's geographic frame
    } cases[] = {
        {"CmdED50Helmert", 0, 0},
        {"CmdED50Molodensky", 0, 3},
        {"CmdWGS84Helmert", 1, 16},
        {"CmdWGS84Molodensky", 1, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        Started s;
        s.window.ChangeTab(c.tab);
        if (c.tab == 1) s.window.Click("OptCoord", 1);  // geographic input on tab 1
        s.window.Click(c.button);                       // a good conversion first
        ASSERT_TRUE(s.platform.msgBoxes.empty());
        const auto before = s.Results(c.tab);

        // A text the entry rules would have clamped to 44 or 10 on leaving the field,
        // put straight into the model: its whole number does not fit 16 bits.
        const std::string good = s.Text("TxtWGSg", c.field);
        s.Text("TxtWGSg", c.field) = "99999";
        s.window.Click(c.button);

        const std::string handler = std::string("frmTalpor.") + c.button + "_Click";
        ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
        EXPECT_EQ(s.platform.LastMsgBox().text,
                  "Ha ocurrido un error en " + handler +
                      "\r\nError núm. (6) : Desbordamiento\r"
                      "Ha quedado registrado en el archivo /opt/talpor/Error.log");
        EXPECT_EQ(s.platform.LastMsgBox().title, "Talpor Error");
        EXPECT_EQ(s.platform.LastMsgBox().icon, app::MsgIcon::Critical);
        EXPECT_EQ(s.platform.files["/opt/talpor/Error.log"],
                  "\"14/05/2026 @ 10:30:15\",\"" + handler + "\",6,\"Desbordamiento\"\r\n");
        EXPECT_EQ(s.Results(c.tab), before);
        EXPECT_FALSE(s.window.MustEnd());

        // The next click with a sound value converts again.
        s.Text("TxtWGSg", c.field) = good;
        s.Text("LblUTM", c.tab == 0 ? 2 : 8) = "";
        s.window.Click(c.button);
        EXPECT_EQ(s.platform.msgBoxes.size(), 1u);
        EXPECT_EQ(s.Results(c.tab), before);
    }
}
