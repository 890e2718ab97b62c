#include "form/Controls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "form/FrmTalporControls.h"

using namespace form;

// (Each control's own widget, inside its container: Window in qt_tests.)
TEST(FrmTalporControls, ContainersExistAndOptionButtonsAreExclusiveWithinTheirContainer) {
    FormModel form;
    BuildFrmTalporControls(form);
    for (auto& c : form.Controls())
        EXPECT_TRUE(c->container.empty() || form.FindByText(c->container)) << c->id.Text();
    std::vector<std::string> clicked;
    form.onOptionClick = [&](Control& c) { clicked.push_back(c.id.Text()); };

    // The four input-mode buttons sit on SSTab1 and form one group across tabs 0 and 1.
    EXPECT_TRUE(form.SelectOption(form.Get("OptCoord", 0)));
    EXPECT_FALSE(form.Get("OptUTM", 0).value);
    EXPECT_FALSE(form.SelectOption(form.Get("OptCoord", 0)));  // no change, no click
    EXPECT_EQ(clicked, std::vector<std::string>{"OptCoord(0)"});

    // Picture1 gives OptLng(0) and OptLng(1) a group of their own.
    form.SelectOption(form.Get("OptLng", 1));
    EXPECT_FALSE(form.Get("OptLng", 0).value);
    EXPECT_TRUE(form.Get("OptLng", 4).value);
}
