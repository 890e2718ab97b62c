// Click handlers of the "Utilidades" tab, run on the window's control model.
#pragma once

#include "form/Controls.h"
#include "form/Platform.h"

namespace utilities {

void Command4_Click(app::FormModel& form, app::Platform& platform);  // distance between 1 and 2
void Command2_Click(app::FormModel& form, app::Platform& platform);  // arc lengths at point 1
void Command5_Click(app::FormModel& form, app::Platform& platform);  // point 1 in decimal formats
void Command3_Click(app::FormModel& form, app::Platform& platform);  // sunrise, transit, sunset

}  // namespace utilities
