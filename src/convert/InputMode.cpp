#include "convert/InputMode.h"

#include <initializer_list>
#include <utility>

#include "form/FrmTalporControls.h"

namespace convert {
namespace {

using Member = std::pair<const char*, int>;  // control name and index (-1: no array)

struct Group {
    const char* frame;
    int frameIndex;
    std::initializer_list<Member> members;  // in the order their colours are set
};

const Group kTab0Geographic{
    "Frame1", 0,
    {{"OptLng", 0}, {"OptLng", 1},
     {"LblLat", 0}, {"LblLat", 1}, {"LblLat", 2}, {"LblLat", 3}, {"LblLat", 4}, {"LblLat", 5},
     {"LblLat", 6}, {"LblLat", 7}, {"LblLat", 8}, {"LblLat", 9}, {"LblLat", 10}, {"LblLat", 21},
     {"TxtWGSg", 0}, {"TxtWGSg", 1}, {"TxtWGSg", 2}, {"TxtWGSg", 3}, {"TxtWGSg", 4},
     {"TxtWGSg", 5}, {"TxtWGSg", 6}, {"LblAltitud", 0}}};

const Group kTab0Utm{
    "Frame7", -1,
    {{"LblUTM", 12}, {"LblUTM", 13}, {"LblUTM", 14}, {"LblLat", 14}, {"TxtUTMx", -1},
     {"TxtUTMy", -1}, {"CmbHuso", -1}, {"TxtWGSg", 8}, {"LblAltitud", 1}}};

const Group kTab1Geographic{
    "Frame9", 1,
    {{"OptLng", 4}, {"OptLng", 5},
     {"LblLat", 44}, {"LblLat", 45}, {"LblLat", 46}, {"LblLat", 47}, {"LblLat", 48},
     {"LblLat", 49}, {"LblLat", 50}, {"LblLat", 51}, {"LblLat", 52}, {"LblLat", 53},
     {"LblLat", 54}, {"LblLat", 68},
     {"TxtWGSg", 7}, {"TxtWGSg", 14}, {"TxtWGSg", 15}, {"TxtWGSg", 16}, {"TxtWGSg", 17},
     {"TxtWGSg", 18}, {"TxtWGSg", 26}}};

const Group kTab1Utm{
    "Frame2", -1,
    {{"LblUTM", 9}, {"LblUTM", 10}, {"LblUTM", 11}, {"LblLat", 65}, {"TxtUTMe", -1},
     {"TxtUTMn", -1}, {"CmbUsos2", -1}, {"TxtWGSg", 25}}};

void Paint(form::FormModel& form, const Group& group, bool active) {
    for (auto [name, index] : group.members)
        form.Get(name, index).foreColor = active ? form::kButtonText : form::kGrey;
}

void Show(form::FormModel& form, const Group& geographic, const Group& utm, InputMode mode,
          bool utmFrameFirst) {
    bool geo = mode == InputMode::Geographic;
    Paint(form, geographic, geo);
    Paint(form, utm, !geo);
    form::Control& geoFrame = form.Get(geographic.frame, geographic.frameIndex);
    form::Control& utmFrame = form.Get(utm.frame, utm.frameIndex);
    if (utmFrameFirst) {
        utmFrame.enabled = !geo;
        geoFrame.enabled = geo;
    } else {
        geoFrame.enabled = geo;
        utmFrame.enabled = !geo;
    }
}

}  // namespace

void ShowInputModeTab0(form::FormModel& form, InputMode mode) {
    Show(form, kTab0Geographic, kTab0Utm, mode, false);
}

void ShowInputModeTab1(form::FormModel& form, InputMode mode) {
    Show(form, kTab1Geographic, kTab1Utm, mode, true);
}

void OptUTM_Click(form::FormModel& form, int index) {
    if (index == 0) ShowInputModeTab0(form, InputMode::Geographic);
    if (index == 1) ShowInputModeTab0(form, InputMode::Utm);
}

void OptCoord_Click(form::FormModel& form, int index) {
    if (index == 0) ShowInputModeTab1(form, InputMode::Utm);
    if (index == 1) ShowInputModeTab1(form, InputMode::Geographic);
}

void OptAltura_Click(form::FormModel& form, int index) {
    if (index < 0 || index > 3) return;
    const int tab = index / 2;
    constexpr int kCaptions[2][2] = {{10, 14}, {65, 68}};  // LblLat of each tab's two height fields
    for (int label : kCaptions[tab])
        form.Get("LblLat", label).text = index % 2 == 1 ? form::kAltitudeCaption : form::kHeightCaption;
}

bool HeightsAreAltitudes(const form::FormModel& form, int tab) {
    return form.Get("OptAltura", 2 * tab + 1).value;
}

bool Tab0ReadsUtm(const form::FormModel& form) {
    return !form.Get(kTab0Geographic.frame, kTab0Geographic.frameIndex).enabled;
}

bool Tab1ReadsUtm(const form::FormModel& form) {
    return !form.Get(kTab1Geographic.frame, kTab1Geographic.frameIndex).enabled;
}

void SelectShownMode(form::FormModel& form, int tab) {
    if (tab == 0) form.SelectOption(form.Get("OptUTM", Tab0ReadsUtm(form) ? 1 : 0));
    if (tab == 1) form.SelectOption(form.Get("OptCoord", Tab1ReadsUtm(form) ? 0 : 1));
}

}  // namespace convert
