// Input modes of the two conversion tabs: each takes its point either as geographic
// coordinates or as UTM coordinates. Showing a mode enables the frame of its fields,
// disables the other frame and paints the other group's text grey; no field changes.
#pragma once

#include "form/Controls.h"

namespace convert {

enum class InputMode { Geographic, Utm };

// Tab 0 ("WGS84  ->  ED50"): Frame1(0) geographic, Frame7 UTM.
void ShowInputModeTab0(app::FormModel& form, InputMode mode);
// Tab 1 ("ED50  ->  WGS84 "): Frame9(1) geographic, Frame2 UTM.
void ShowInputModeTab1(app::FormModel& form, InputMode mode);

// Click of OptUTM(index): 0 shows tab 0 geographic, 1 shows tab 0 UTM, others nothing.
void OptUTM_Click(app::FormModel& form, int index);
// Click of OptCoord(index): 0 shows tab 1 UTM, 1 shows tab 1 geographic, others nothing.
void OptCoord_Click(app::FormModel& form, int index);

// The mode as the conversion workflows test it when a button is pressed: tab 0 reads
// its UTM fields unless OptUTM(0) is selected, tab 1 reads them only when OptCoord(0)
// is. The frames and colours are not consulted, so after tab 0 -> tab 2 -> tab 0 the
// test says UTM while the frames may still show the geographic fields.
bool Tab0ReadsUtm(const app::FormModel& form);
bool Tab1ReadsUtm(const app::FormModel& form);

}  // namespace convert
