// The conversion tabs of the window after start-up, with helpers to type a point in
// either input frame of a tab and to read its result labels and message boxes.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/frmTalpor.h"
#include "convert/Conversions.h"
#include "support/FakePlatform.h"

namespace testing_support {

using Click = void (*)(form::FormModel&, form::Platform&, core::Grids&);
constexpr Click kHelmert[2] = {convert::CmdED50Helmert_Click, convert::CmdWGS84Helmert_Click};
constexpr Click kMolodensky[2] = {convert::CmdED50Molodensky_Click,
                                  convert::CmdWGS84Molodensky_Click};
constexpr Click kGrid[2] = {convert::CmdED50Rejilla_Click, convert::CmdWGS84Rejilla_Click};

class ConversionTab : public ::testing::Test {
  protected:
    ConversionTab() { window.Form_Load(); }

    std::string& Text(const char* name, int index = -1) { return form.Get(name, index).text; }
    std::string& Tip(int field) { return form.Get("TxtWGSg", field).toolTip; }
    void Select(const char* name, int index) { form.SelectOption(form.Get(name, index)); }

    // Geographic input on tab 0 or 1: TypeGeographic(1, "40 25 0", "3 42 0 W", "650,0").
    void TypeGeographic(int tab, const std::string& lat, const std::string& lon, const char* h) {
        Select(tab == 0 ? "OptUTM" : "OptCoord", tab == 0 ? 0 : 1);
        const int fields[2][6] = {{0, 1, 2, 3, 4, 5}, {7, 14, 15, 16, 17, 18}};
        std::istringstream in(lat + " " + lon);
        for (int f : fields[tab]) in >> Text("TxtWGSg", f);
        std::string hemisphere;
        in >> hemisphere;
        Select("OptLng", (tab == 0 ? 0 : 4) + (hemisphere == "E" ? 1 : 0));
        Text("TxtWGSg", tab == 0 ? 6 : 26) = h;
    }
    // UTM input; zoneItem 0, 1, 2 is zone 29, 30, 31.
    void TypeUtm(int tab, const char* E, const char* N, int zoneItem, const char* h) {
        Select(tab == 0 ? "OptUTM" : "OptCoord", tab == 0 ? 1 : 0);
        Text(tab == 0 ? "TxtUTMx" : "TxtUTMe") = E;
        Text(tab == 0 ? "TxtUTMy" : "TxtUTMn") = N;
        form.Get(tab == 0 ? "CmbHuso" : "CmbUsos2").listIndex = zoneItem;
        Text("TxtWGSg", tab == 0 ? 8 : 25) = h;
    }

    // The result labels of a tab, in the order the clicks write them.
    std::vector<std::string> Results(int tab) {
        const int u = tab == 0 ? 0 : 6;
        return {Text("LblGeoLat", tab), Text("LblGeoLon", tab), Text("LblLat", tab == 0 ? 20 : 24),
                Text("LblUTM", u),      Text("LblUTM", u + 1),  Text("LblUTM", u + 2)};
    }

    std::string OnlyBox(const std::string& title, form::MsgIcon icon) { return platform.OnlyBox(title, icon); }

    FakePlatform platform;
    app::frmTalpor window{platform};
    form::FormModel& form = window.Form();
    // The grids of the fake platform's folders; a test may make others and pass them.
    core::Grids& grids = window.Grids();
};

}  // namespace testing_support
