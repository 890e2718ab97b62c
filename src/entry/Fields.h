// Events of the coordinate fields TxtWGSg(i), TxtUTMx, TxtUTMy, TxtUTMe and TxtUTMn:
// what each does when it gains the focus, on each typed key and when it loses the focus.
#pragma once

#include "app/Controls.h"
#include "app/Platform.h"

namespace entry {

// True for the controls these rules apply to.
bool IsCoordinateField(const app::Control& field);

// Focus gained: reformat without thousands points, select all, light-yellow background.
void FieldGotFocus(app::FormModel& form, app::Control& field);

// Key typed (character code in keyAscii, 8 = backspace): may turn "." into "," and
// sets keyAscii to 0 when the key is refused.
void FieldKeyPress(app::FormModel& form, app::Control& field, int& keyAscii);

// Focus lost: range check with the "Limitaciones" message, clamp, reformat, white
// background. A corrected field asks for the focus back (form.SetFocus).
void FieldLostFocus(app::FormModel& form, app::Platform& platform, app::Control& field);

}  // namespace entry
