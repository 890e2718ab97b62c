#include "convert/InputMode.h"

#include <gtest/gtest.h>

#include <map>

#include "app/FrmTalporControls.h"

using app::Control;
using app::FormModel;

namespace {

// The two member lists of each tab, as the input-mode buttons colour them.
const std::vector<std::pair<const char*, int>> kTab0Geo = {
    {"OptLng", 0}, {"OptLng", 1}, {"LblLat", 0}, {"LblLat", 1}, {"LblLat", 2}, {"LblLat", 3},
    {"LblLat", 4}, {"LblLat", 5}, {"LblLat", 6}, {"LblLat", 7}, {"LblLat", 8}, {"LblLat", 9},
    {"LblLat", 10}, {"LblLat", 21}, {"TxtWGSg", 0}, {"TxtWGSg", 1}, {"TxtWGSg", 2},
    {"TxtWGSg", 3}, {"TxtWGSg", 4}, {"TxtWGSg", 5}, {"TxtWGSg", 6}};
const std::vector<std::pair<const char*, int>> kTab0Utm = {
    {"LblUTM", 12}, {"LblUTM", 13}, {"LblUTM", 14}, {"LblLat", 14},
    {"TxtUTMx", -1}, {"TxtUTMy", -1}, {"CmbHuso", -1}, {"TxtWGSg", 8}};
const std::vector<std::pair<const char*, int>> kTab1Geo = {
    {"OptLng", 4}, {"OptLng", 5}, {"LblLat", 44}, {"LblLat", 45}, {"LblLat", 46},
    {"LblLat", 47}, {"LblLat", 48}, {"LblLat", 49}, {"LblLat", 50}, {"LblLat", 51},
    {"LblLat", 52}, {"LblLat", 53}, {"LblLat", 54}, {"LblLat", 68}, {"TxtWGSg", 7},
    {"TxtWGSg", 14}, {"TxtWGSg", 15}, {"TxtWGSg", 16}, {"TxtWGSg", 17}, {"TxtWGSg", 18},
    {"TxtWGSg", 26}};
const std::vector<std::pair<const char*, int>> kTab1Utm = {
    {"LblUTM", 9}, {"LblUTM", 10}, {"LblUTM", 11}, {"LblLat", 65},
    {"TxtUTMe", -1}, {"TxtUTMn", -1}, {"CmbUsos2", -1}, {"TxtWGSg", 25}};

void ExpectColour(FormModel& form, const std::vector<std::pair<const char*, int>>& members,
                  app::Color colour) {
    for (auto [name, index] : members)
        EXPECT_EQ(form.Get(name, index).foreColor, colour) << form.Get(name, index).id.Text();
}

std::map<std::string, app::Color> Colours(const FormModel& form) {
    std::map<std::string, app::Color> out;
    for (auto& c : form.Controls()) out[c->id.Text()] = c->foreColor;
    return out;
}

std::map<std::string, std::string> Texts(const FormModel& form) {
    std::map<std::string, std::string> out;
    for (auto& c : form.Controls()) out[c->id.Text()] = c->text;
    return out;
}

}  // namespace

TEST(InputMode, UtmOnTabZeroGreysTheGeographicGroupAndKeepsEveryText) {
    FormModel form;
    app::BuildFrmTalporControls(form);
    auto before = Texts(form);
    auto coloursBefore = Colours(form);
    convert::OptUTM_Click(form, 1);
    ExpectColour(form, kTab0Geo, app::kGrey);
    ExpectColour(form, kTab0Utm, app::kButtonText);
    EXPECT_FALSE(form.Get("Frame1", 0).enabled);
    EXPECT_TRUE(form.Get("Frame7").enabled);
    EXPECT_FALSE(form.IsUsable(form.Get("TxtWGSg", 0)));
    EXPECT_TRUE(form.IsUsable(form.Get("TxtUTMx")));
    EXPECT_TRUE(form.IsUsable(form.Get("OptUTM", 0)));  // outside the frame it controls
    EXPECT_EQ(Texts(form), before);
    for (auto [name, index] : kTab1Geo)  // the other tab is not touched
        EXPECT_EQ(form.Get(name, index).foreColor, coloursBefore[form.Get(name, index).id.Text()]);

    convert::OptUTM_Click(form, 0);
    ExpectColour(form, kTab0Geo, app::kButtonText);
    ExpectColour(form, kTab0Utm, app::kGrey);
    EXPECT_TRUE(form.Get("Frame1", 0).enabled);
    EXPECT_FALSE(form.Get("Frame7").enabled);
}

TEST(InputMode, TabOneButtonsSwitchItsFramesOnly) {
    FormModel form;
    app::BuildFrmTalporControls(form);
    convert::OptCoord_Click(form, 0);
    ExpectColour(form, kTab1Geo, app::kGrey);
    ExpectColour(form, kTab1Utm, app::kButtonText);
    EXPECT_TRUE(form.Get("Frame2").enabled);
    EXPECT_FALSE(form.Get("Frame9", 1).enabled);
    ExpectColour(form, kTab0Utm, app::kGrey);  // tab 0 as the form starts

    convert::OptCoord_Click(form, 1);
    ExpectColour(form, kTab1Geo, app::kButtonText);
    ExpectColour(form, kTab1Utm, app::kGrey);
    EXPECT_FALSE(form.Get("Frame2").enabled);
    EXPECT_TRUE(form.Get("Frame9", 1).enabled);
}

TEST(InputMode, OtherIndicesChangeNothing) {
    FormModel form;
    app::BuildFrmTalporControls(form);
    auto before = Colours(form);
    convert::OptUTM_Click(form, 2);
    convert::OptCoord_Click(form, -1);
    EXPECT_EQ(Colours(form), before);
    EXPECT_TRUE(form.Get("Frame1", 0).enabled);
    EXPECT_FALSE(form.Get("Frame9", 1).enabled);
    EXPECT_TRUE(form.Get("Frame2").enabled);
}

TEST(InputMode, WorkflowsReadTheOptionButtonsNotTheFrames) {
    FormModel form;
    app::BuildFrmTalporControls(form);
    EXPECT_FALSE(convert::Tab0ReadsUtm(form));
    EXPECT_FALSE(convert::Tab1ReadsUtm(form));
    form.SelectOption(form.Get("OptCoord", 0));  // no click handler attached here
    EXPECT_TRUE(convert::Tab0ReadsUtm(form));
    EXPECT_TRUE(convert::Tab1ReadsUtm(form));
    EXPECT_TRUE(form.Get("Frame1", 0).enabled);
}
