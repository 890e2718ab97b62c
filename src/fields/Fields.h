// Events of the coordinate fields TxtWGSg(i), TxtUTMx, TxtUTMy, TxtUTMe and TxtUTMn:
// what each does when it gains the focus, on each typed key and when it loses the focus,
// and the tables that give every field its class and its range.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "text/FieldLimits.h"
#include "form/Controls.h"
#include "form/Platform.h"

namespace fields {

// How a field is shown while it has the focus and which keys it takes.
struct FieldClass {
    char name;                 // 'D' degrees, 'M' minutes, 'S' seconds, 'H' height (m), 'U' UTM (m)
    const char* focusPattern;  // display pattern used when the field gains the focus
    const char* keyMode;       // fields::FilterKey mode
    bool pointBecomesComma;    // a typed "." enters as ","
};

// The range a field is checked against when it loses the focus (limits inclusive).
struct FieldRange {
    std::string title;  // names the field in the "Limitaciones" message
    double min;
    double max;
    std::string format;  // display pattern of the checked value
};

// True for the controls these rules apply to: TxtWGSg(0..18, 25..33) and the four UTM fields.
bool IsCoordinateField(const form::Control& field);

// The class of a coordinate field; nullopt for any other control.
std::optional<FieldClass> ClassOf(const form::Control& field);

// The range of a coordinate field, read now: the longitude degrees TxtWGSg(3) and
// TxtWGSg(16) allow up to 10 degrees when their "W" button (OptLng(0), OptLng(4)) is
// selected and up to 5 otherwise. Degrees, minutes and seconds of arc; heights and
// UTM coordinates in metres. nullopt for any other control.
std::optional<FieldRange> RangeOf(const form::FormModel& form, const form::Control& field);

// True when the field's text is one number inside its range, as the check of leaving
// the field leaves it ("" reads as 0). False for a text still being typed that the
// check would refuse or clamp.
bool HoldsCheckedValue(const form::FormModel& form, const form::Control& field);

// Before a button reads fields: each must hold a value its check has passed
// (HoldsCheckedValue). A text the user could leave unchecked (say in a frame a paste
// disabled while it was being typed) gets the check of leaving it; when that corrects
// it or keeps it, with its message and focus, the answer is false and the button reads
// nothing.
bool FieldsChecked(form::FormModel& form, form::Platform& platform,
                    std::initializer_list<form::Control*> fields);

// Focus gained: reformat without thousands points, select all, light-yellow background.
void FieldGotFocus(form::FormModel& form, form::Control& field);

// Key typed (character code in keyAscii, 8 = backspace): may turn "." into "," and
// sets keyAscii to 0 when the key is refused.
void FieldKeyPress(form::FormModel& form, form::Control& field, int& keyAscii);

// Focus lost: the text is read by PlainNumberText; then the range check with the
// "Limitaciones" message, clamp, reformat, white background. A corrected field asks for
// the focus back (form.SetFocus). A text that is not one number gets the same message
// and stays as it is, with the focus given back, so the user sees it was not taken.
void FieldLostFocus(form::FormModel& form, form::Platform& platform, form::Control& field);

// A user's click that changed the hemisphere of a conversion tab's longitude (OptLng(0),
// (1) on tab 0, OptLng(4), (5) on tab 1): its degrees field, TxtWGSg(3) or TxtWGSg(16),
// is checked again against the new hemisphere's limit, with the message and correction
// of leaving the field. Any other control: nothing.
void HemisphereClick(form::FormModel& form, form::Platform& platform, const form::Control& option);

}  // namespace fields
