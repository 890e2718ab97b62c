#include "app/Controls.h"

#include <gtest/gtest.h>

#include <set>

#include "app/FrmTalporControls.h"

using namespace app;

TEST(FrmTalporControls, CoordinateArrayHasEveryIndexButNineteenToTwentyFour) {
    FormModel form;
    BuildFrmTalporControls(form);
    std::set<int> indices;
    for (auto& c : form.Controls())
        if (c->id.name == "TxtWGSg") indices.insert(c->id.index);
    std::set<int> expected;
    for (int i = 0; i <= 33; ++i)
        if (i < 19 || i > 24) expected.insert(i);
    EXPECT_EQ(indices, expected);
    EXPECT_EQ(form.Get("TxtWGSg", 7).tab, 1);
    EXPECT_EQ(form.Get("TxtWGSg", 8).container, "Frame7");
    EXPECT_EQ(form.Get("TxtWGSg", 27).container, "Frame1(2)");
}

TEST(FrmTalporControls, EveryContainerExistsAndNamesAreUnique) {
    FormModel form;
    BuildFrmTalporControls(form);
    std::set<std::string> seen;
    for (auto& c : form.Controls()) {
        EXPECT_TRUE(seen.insert(c->id.Text()).second) << c->id.Text();
        if (!c->container.empty()) {
            EXPECT_NE(form.FindByText(c->container), nullptr);
        }
    }
}

TEST(FormModel, OptionButtonsAreExclusiveWithinTheirContainerOnly) {
    FormModel form;
    BuildFrmTalporControls(form);
    std::vector<std::string> clicked;
    form.onOptionClick = [&](Control& c) { clicked.push_back(c.id.Text()); };

    // The four input-mode buttons sit on SSTab1 and form one group across tabs 0 and 1.
    EXPECT_TRUE(form.SelectOption(form.Get("OptCoord", 0)));
    EXPECT_FALSE(form.Get("OptUTM", 0).value);
    EXPECT_TRUE(form.Get("OptCoord", 0).value);
    EXPECT_FALSE(form.SelectOption(form.Get("OptCoord", 0)));  // no change, no click
    EXPECT_EQ(clicked, std::vector<std::string>{"OptCoord(0)"});

    // Picture1 gives OptLng(0) and OptLng(1) a group of their own.
    form.SelectOption(form.Get("OptLng", 1));
    EXPECT_FALSE(form.Get("OptLng", 0).value);
    EXPECT_TRUE(form.Get("OptLng", 4).value);
    EXPECT_TRUE(form.Get("OptLng", 8).value);
}

TEST(FormModel, ControlsInADisabledFrameAreNotUsable) {
    FormModel form;
    BuildFrmTalporControls(form);
    EXPECT_FALSE(form.IsUsable(form.Get("TxtUTMx")));
    EXPECT_TRUE(form.IsUsable(form.Get("TxtWGSg", 0)));
    EXPECT_FALSE(form.IsUsable(form.Get("OptLng", 4)));  // inside Picture2 inside Frame9(1)
    EXPECT_EQ(form.Get("TxtUTMx").foreColor, kGrey);
    EXPECT_EQ(form.Get("TxtWGSg", 7).foreColor, kBlack);
    EXPECT_EQ(form.Get("LblOrto").foreColor, kBlue);
}
