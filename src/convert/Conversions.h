// Click handlers of the two conversion tabs, run on the window's control model.
#pragma once

#include "app/Controls.h"
#include "app/Platform.h"

namespace convert {

// "Bursa Wolf 7p": tab 0 (WGS84 to ED50) and tab 1 (ED50 to WGS84).
void CmdED50Helmert_Click(app::FormModel& form, app::Platform& platform);
void CmdWGS84Helmert_Click(app::FormModel& form, app::Platform& platform);

// "Molodensky 3p": tab 0 and tab 1.
void CmdED50Molodensky_Click(app::FormModel& form, app::Platform& platform);
void CmdWGS84Molodensky_Click(app::FormModel& form, app::Platform& platform);

// The picture buttons Command1(0..3): the transformation parameter sheets.
void Command1_Click(app::FormModel& form, app::Platform& platform, int index);

}  // namespace convert
