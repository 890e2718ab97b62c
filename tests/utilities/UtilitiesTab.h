// The "Utilidades" tab on a fresh control model, with the lists and the calendar
// filled as start-up fills them, and a helper to type the two points.
#pragma once

#include <sstream>
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

    // Types point 1 or 2 as "deg min sec hemisphere" for each angle, the way the fields
    // show them: Point(1, "48 50 11,0000 N", "2 20 14,0000 E"). An empty angle leaves
    // its fields and options alone.
    void Point(int point, const std::string& lat, const std::string& lon) {
        if (!lat.empty())
            Angle(lat, point == 1 ? utilities::kPoint1Latitude : utilities::kPoint2Latitude,
                  point == 1 ? 8 : 11, point == 1 ? 9 : 10);
        if (!lon.empty())
            Angle(lon, point == 1 ? utilities::kPoint1Longitude : utilities::kPoint2Longitude,
                  point == 1 ? 2 : 7, point == 1 ? 3 : 6);
    }

    std::string Caption(const char* name) const { return form.Get(name).text; }
    std::string ToolTip(const char* name) const { return form.Get(name).toolTip; }

    app::FormModel form;
    FakePlatform platform;

  private:
    // optNE, optSW: indices in OptLng of the N or E and the S or W choice.
    void Angle(const std::string& dms, utilities::SexagesimalFields f, int optNE, int optSW) {
        std::istringstream in(dms);
        std::string deg, min, sec, hemisphere;
        in >> deg >> min >> sec >> hemisphere;
        form.Get("TxtWGSg", f.deg).text = deg;
        form.Get("TxtWGSg", f.min).text = min;
        form.Get("TxtWGSg", f.sec).text = sec;
        bool southOrWest = hemisphere == "S" || hemisphere == "W";
        form.SelectOption(form.Get("OptLng", southOrWest ? optSW : optNE));
    }
};

}  // namespace testing_support
