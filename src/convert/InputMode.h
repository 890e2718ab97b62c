// Input modes of the two conversion tabs: each takes its point either as geographic
// coordinates or as UTM coordinates. Showing a mode enables the frame of its fields,
// disables the other frame and paints the other group's text grey; no field changes.
#pragma once

#include "form/Controls.h"

namespace convert {

enum class InputMode { Geographic, Utm };

// Tab 0 ("WGS84  ->  ED50"): Frame1(0) geographic, Frame7 UTM.
void ShowInputModeTab0(form::FormModel& form, InputMode mode);
// Tab 1 ("ED50  ->  WGS84 "): Frame9(1) geographic, Frame2 UTM.
void ShowInputModeTab1(form::FormModel& form, InputMode mode);

// Click of OptUTM(index): 0 shows tab 0 geographic, 1 shows tab 0 UTM, others nothing.
void OptUTM_Click(form::FormModel& form, int index);
// Click of OptCoord(index): 0 shows tab 1 UTM, 1 shows tab 1 geographic, others nothing.
void OptCoord_Click(form::FormModel& form, int index);

// Click of OptAltura(index), what the typed heights of a tab are: 0 and 2 heights above
// the ellipsoid (tabs 0 and 1), 1 and 3 altitudes above the sea. The captions of the
// tab's two height fields say which.
void OptAltura_Click(form::FormModel& form, int index);

// Whether the typed heights of tab 0 or 1 are altitudes (OptAltura).
bool HeightsAreAltitudes(const form::FormModel& form, int tab);

// The mode a tab shows, read from its frames: tab 0 reads its UTM fields when Frame1(0)
// is disabled, tab 1 when Frame9(1) is. The conversion buttons convert the frame the
// user sees enabled, whatever the option buttons of the shared group say.
bool Tab0ReadsUtm(const form::FormModel& form);
bool Tab1ReadsUtm(const form::FormModel& form);

// Selects the input-mode button of the frame the tab shows enabled (tab 0: OptUTM(0)
// geographic or OptUTM(1) UTM; tab 1: OptCoord(1) or OptCoord(0)); other tabs nothing.
// The four buttons are one group across both tabs, so leaving a tab for the other one
// clears its button; run when a tab comes to the front, it shows one again.
void SelectShownMode(form::FormModel& form, int tab);

}  // namespace convert
