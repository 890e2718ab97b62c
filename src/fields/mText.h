// Text rules of the coordinate fields: how a field's text becomes a number (the rules
// without a field are in text/NumberText.h), which typed keys a field accepts, how a field is prepared when it gains the focus and
// how its content is checked, clamped and rewritten when it loses the focus.
//
// Texts are UTF-8; caret positions, selection lengths and text lengths are counted
// in characters (code points), never in bytes. There is no length limit: a text of
// any length (a pasted one, say) is read and rewritten like any other.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "text/NumberText.h"
#include "form/Controls.h"
#include "form/Platform.h"

namespace fields {

// Key codes the filter knows.
inline constexpr int kBackspace = 8;

// Decides whether a typed character may enter the field; a refused key sets keyCode
// to 0. Backspace (8) always passes. Modes:
//   "09"    digits only;
//   "0,9"   digits and one "," (a second one only when the whole text is selected);
//   "0.,9"  the rules of "0,9", and "." as well while the text has no ",";
//   "-0,9"  the rules of "0,9", and one "-", only at the start of the text.
// The whole text counts as selected when the selection length equals the text length.
void FilterKey(const form::Control& field, int& keyCode, std::string_view mode);

// Checks a field that loses the focus: the field's number (FieldValue) must lie in
// [min, max]. Outside, a "Limitaciones" message names both limits, the text becomes the
// nearer limit and the field asks for the focus back (form.SetFocus). Inside, the text is
// rewritten with `format`. A text written with `format` never reads outside [min, max]:
// where rounding to the format would push it out (59.999999 as "#,##0.0000" would read
// 60), the last shown decimal is cut towards the inside instead ("59,9999").
void ValidateNumber(form::FormModel& form, form::Platform& platform, form::Control& field,
                    std::string_view title, double max, double min, std::string_view format);

// The "Limitaciones" message of a number outside [min, max], naming both limits
// ("35 < Grados sexagesimales <44"), written with `format`.
void ShowLimits(form::Platform& platform, std::string_view title, double max, double min,
                std::string_view format);

// Replaces a field's text as the program does: caret at the start, nothing selected.
// A text equal to the old one leaves the field alone.
void SetFieldText(form::Control& field, std::string text);

// Prepares a field that has just gained the focus: caret at the start; when `format`
// is not empty a text that reads as a number under the regional separators is
// rewritten with `format` and without thousands points ("636.800,00" becomes
// "636800,00"), any other text is kept; then the whole text is selected.
void SelectFieldText(form::Control& field, std::string_view format);

// True when the text reads as a number under the regional separators: blanks around
// it, an optional sign, digits (thousands separators between them allowed), an
// optional decimal separator with digits, an optional exponent. "636.800,00",
// "-500,0" and ",5" do; "", "abc", "1,2,3" and "5-" do not.
bool IsRegionalNumber(std::string_view text);

// Text length in characters.
int CharLength(std::string_view text);

}  // namespace fields
