// The "Utilidades" tab on a fresh control model, with the lists and the calendar
// filled as start-up fills them, and helpers to type the two points.
#pragma once

#include <string>

#include "app/FrmTalporControls.h"
#include "geo/Ellipsoid.h"
#include "support/FakePlatform.h"
#include "utilities/PointFields.h"

namespace testing_support {

class UtilitiesTab {
public:
    UtilitiesTab() {
        mGeo::InitEllipsoids();
        app::BuildFrmTalporControls(form);
        auto& utc = form.Get("CmbUTC");
        utc.items = {"UTC-2", "UTC-1", "UTC=0", "UTC+1", "UTC+2", "UTC+3"};
        utc.listIndex = 3;
        auto& hs = form.Get("CmbHS");
        hs.items = {"Invierno =0", "Verano   +1"};
        hs.listIndex = 1;
        form.Get("MonthView1").date = {2024, 6, 21};
    }

    // Types an angle into its three fields, as the fields show it after leaving them.
    void Type(utilities::SexagesimalFields f, const std::string& deg, const std::string& min,
              const std::string& sec) {
        form.Get("TxtWGSg", f.deg).text = deg;
        form.Get("TxtWGSg", f.min).text = min;
        form.Get("TxtWGSg", f.sec).text = sec;
    }

    // Selects a hemisphere option by its index in OptLng.
    void Choose(int optLng) { form.SelectOption(form.Get("OptLng", optLng)); }

    std::string Caption(const char* name) const { return form.Get(name).text; }
    std::string ToolTip(const char* name) const { return form.Get(name).toolTip; }

    app::FormModel form;
    FakePlatform platform;
};

}  // namespace testing_support
