// A window's control model as start-up leaves it (zone lists "29", "30", "31" with
// "30" selected, the ellipsoid table filled), with helpers to type a point on a
// conversion tab and to read the result labels back as numbers.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/FrmTalporControls.h"
#include "convert/Conversions.h"
#include "entry/mText.h"
#include "geo/mGeo.h"
#include "support/FakePlatform.h"

namespace convert_test {

// One millimetre on the ground in arc-seconds, at most: an arc-second is 31 m of
// latitude and at least 23 m of longitude in Spain.
inline constexpr double kSecondsPerMm = 0.001 / 23;

using ClickHandler = void (*)(app::FormModel&, app::Platform&);

// The four conversion buttons and the tab each one works on.
struct Button {
    const char* name;
    ClickHandler click;
    int tab;
};
inline constexpr Button kButtons[] = {
    {"CmdED50Helmert", convert::CmdED50Helmert_Click, 0},
    {"CmdWGS84Helmert", convert::CmdWGS84Helmert_Click, 1},
    {"CmdED50Molodensky", convert::CmdED50Molodensky_Click, 0},
    {"CmdWGS84Molodensky", convert::CmdWGS84Molodensky_Click, 1},
};

struct Dms {
    const char* deg;
    const char* min;
    const char* sec;
};

// Degrees, minutes and seconds read back from a result caption such as
// 40º 24' 55,7515" N, with the hemisphere letter.
struct DmsCaption {
    int deg = 0;
    int min = 0;
    double sec = 0;
    char hemisphere = '?';
};

class ConversionTab : public ::testing::Test {
  protected:
    ConversionTab() {
        mGeo::InitEllipsoids();
        app::BuildFrmTalporControls(form);
        for (const char* list : {"CmbHuso", "CmbUsos2"}) {
            app::Control& c = form.Get(list);
            c.items = {"29", "30", "31"};
            c.listIndex = 1;
        }
    }

    static ClickHandler Helmert(int tab) {
        return tab == 0 ? convert::CmdED50Helmert_Click : convert::CmdWGS84Helmert_Click;
    }
    static ClickHandler Molodensky(int tab) {
        return tab == 0 ? convert::CmdED50Molodensky_Click : convert::CmdWGS84Molodensky_Click;
    }

    app::Control& C(const char* name, int index = -1) { return form.Get(name, index); }
    std::string& Text(const char* name, int index = -1) { return form.Get(name, index).text; }
    void Select(const char* name, int index) { form.SelectOption(form.Get(name, index)); }

    // The input controls of tab 0 (WGS84 input) and tab 1 (ED50 input).
    struct TabInputs {
        const char* mode;  // input-mode buttons: geographic index, UTM index
        int geoMode, utmMode;
        int lat[3], lon[3];  // TxtWGSg indices of degrees, minutes, seconds
        int west;            // OptLng index of "W"; "E" is the next one
        int geoHeight;
        const char *E, *N, *list;
        int utmHeight;
    };
    static const TabInputs& InputsOf(int tab) {
        static const TabInputs tabs[2] = {
            {"OptUTM", 0, 1, {0, 1, 2}, {3, 4, 5}, 0, 6, "TxtUTMx", "TxtUTMy", "CmbHuso", 8},
            {"OptCoord",
             1,
             0,
             {7, 14, 15},
             {16, 17, 18},
             4,
             26,
             "TxtUTMe",
             "TxtUTMn",
             "CmbUsos2",
             25},
        };
        return tabs[tab];
    }

    // Geographic input: latitude north, longitude west or east, height in metres.
    void TypeGeographic(int tab, Dms lat, Dms lon, bool west, const char* height) {
        const TabInputs& t = InputsOf(tab);
        Select(t.mode, t.geoMode);
        const char* texts[6] = {lat.deg, lat.min, lat.sec, lon.deg, lon.min, lon.sec};
        for (int i = 0; i < 3; ++i) {
            Text("TxtWGSg", t.lat[i]) = texts[i];
            Text("TxtWGSg", t.lon[i]) = texts[3 + i];
        }
        Select("OptLng", west ? t.west : t.west + 1);
        Text("TxtWGSg", t.geoHeight) = height;
    }
    // UTM input; zoneItem 0, 1, 2 is zone 29, 30, 31.
    void TypeUtm(int tab, const char* E, const char* N, int zoneItem, const char* height) {
        const TabInputs& t = InputsOf(tab);
        Select(t.mode, t.utmMode);
        Text(t.E) = E;
        Text(t.N) = N;
        C(t.list).listIndex = zoneItem;
        Text("TxtWGSg", t.utmHeight) = height;
    }

    // The result labels of a tab, in the order the clicks write them.
    std::vector<std::string> Results(int tab) {
        if (tab == 0)
            return {Text("LblGeoLat", 0), Text("LblGeoLon", 0), Text("LblLat", 20),
                    Text("LblUTM", 0),    Text("LblUTM", 1),    Text("LblUTM", 2)};
        return {Text("LblGeoLat", 1), Text("LblGeoLon", 1), Text("LblLat", 24),
                Text("LblUTM", 6),    Text("LblUTM", 7),    Text("LblUTM", 8)};
    }
    // Every text box, option value and list selection of a conversion tab's input frames.
    std::vector<std::string> InputTexts(int tab) {
        std::vector<std::string> out;
        for (const auto& c : form.Controls()) {
            if (c->tab != tab) continue;
            if (c->kind == app::Kind::TextBox) out.push_back(c->text);
            if (c->kind == app::Kind::OptionButton) out.push_back(c->value ? "1" : "0");
            if (c->kind == app::Kind::ComboBox) out.push_back(std::to_string(c->listIndex));
        }
        return out;
    }

    app::FormModel form;
    testing_support::FakePlatform platform;
};

// Reads 40º 24' 55,7515" N back into its parts.
inline DmsCaption ParseDms(const std::string& caption) {
    DmsCaption d;
    const std::size_t deg = caption.find("º");
    const std::size_t min = caption.find('\'');
    const std::size_t sec = caption.find('"');
    if (deg == std::string::npos || min == std::string::npos || sec == std::string::npos) return d;
    d.deg = static_cast<int>(mText::FieldValue(caption.substr(0, deg)));
    d.min = static_cast<int>(mText::FieldValue(caption.substr(deg + 2, min - deg - 2)));
    d.sec = mText::FieldValue(caption.substr(min + 1, sec - min - 1));
    if (caption.size() > sec + 2) d.hemisphere = caption[sec + 2];
    return d;
}

// Signed decimal degrees of a result caption.
inline double CaptionDegrees(const std::string& caption) {
    const DmsCaption d = ParseDms(caption);
    const double v = d.deg + d.min / 60.0 + d.sec / 3600.0;
    return d.hemisphere == 'W' ? -v : v;
}

// The number after the first "= " of "E= 440.501,02  ±1,5m" or
// "Altura sobre el elipsoide = 722,0  ±1,5m".
inline double CaptionNumber(const std::string& caption) {
    const std::size_t eq = caption.find("= ");
    return mText::FieldValue(caption.substr(eq == std::string::npos ? 0 : eq + 2));
}

}  // namespace convert_test
