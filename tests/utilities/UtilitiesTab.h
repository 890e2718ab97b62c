#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "app/frmTalpor.h"
#include "support/FakePlatform.h"

namespace testing_support {

// The "Utilidades" tab of the window after start-up on 21 June 2024 ("UTC+1", "Verano   +1"),
// point 1 typed, with helpers to type the points and read the message box a button shows.
struct UtilitiesTab {
    explicit UtilitiesTab(const std::string& lat1 = "", const std::string& lon1 = "") {
        platform.now = {2024, 6, 21, 12, 0, 0};
        window.Form_Load();
        Point(1, lat1, lon1);
    }

    // Types point 1 or 2 as "48 50 11,0000 N", "2 20 14,0000 E"; an empty angle is left alone.
    // The fields as the window lays them out, not from the workflows' own index table.
    void Point(int point, const std::string& lat, const std::string& lon) {
        const bool one = point == 1;  // the OptLng of N, S and of E, W follow the fields
        Angle(one ? Fields{9, 10, 11} : Fields{33, 32, 31}, lat, one ? 8 : 11, one ? 9 : 10);
        Angle(one ? Fields{12, 13, 27} : Fields{30, 29, 28}, lon, one ? 2 : 7, one ? 3 : 6);
    }
    struct Fields {
        int deg, min, sec;  // TxtWGSg indices
    };
    void Angle(Fields f, const std::string& dms, int optNE, int optSW) {
        if (dms.empty()) return;
        std::istringstream in(dms);
        std::string h;
        in >> form.Get("TxtWGSg", f.deg).text >> form.Get("TxtWGSg", f.min).text >>
            form.Get("TxtWGSg", f.sec).text >> h;
        form.SelectOption(form.Get("OptLng", h == "S" || h == "W" ? optSW : optNE));
    }

    std::string Caption(const char* name) const { return form.Get(name).text; }
    std::string ToolTip(const char* name) const { return form.Get(name).toolTip; }

    std::string OnlyBoxText(const std::string& title, form::MsgIcon icon) const { return platform.OnlyBox(title, icon); }

    FakePlatform platform;
    app::frmTalpor window{platform};
    form::FormModel& form = window.Form();
};

}  // namespace testing_support
