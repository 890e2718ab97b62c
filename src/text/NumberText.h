// How the text of a coordinate field reads as a number, apart from any field: the text
// rules the window's fields and talpor-lote's rows share, with no control model.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace text {

// The text without any "." (thousands points).
std::string RemoveDots(std::string_view text);

// RemoveDots, then the first "," turned into "."; later commas stay. The result is
// meant for the leading-number parse: "636.800,45" gives "636800.45".
std::string NormalizeNumber(std::string_view text);

// The number a field's text holds: the leading-number parse of NormalizeNumber(text);
// 0 when the text does not start with a number. Throws the overflow error when the
// number does not fit a double.
double FieldValue(std::string_view text);

}  // namespace text

namespace text {

// The number a coordinate field's text shows, whatever path the text came by (typed,
// pasted, dropped), written plainly: sign, digits and "," before any decimals
// ("-1500,25"); "" for an empty text (which reads as 0); nullopt when the text is not
// one number (letters, two decimal signs, a broken thousands grouping). Blanks around
// the number are ignored. `fieldClass` is the field's class letter (FieldClass::name in
// fields/Fields.h): 'U' for UTM metres, 'D', 'M', 'S' or 'H' for the others.
//   - Points and a comma: the program's own form, the points group thousands
//     ("4.474.000,00", "1.500,0").
//   - Points and no comma: in UTM fields (values of six or seven digits) the points group
//     thousands ("4.474.000"), and a single point that groups nothing is the decimal
//     sign ("440721.5"); in degree, minute, second and height fields a single point is
//     the decimal sign ("3.5", "650.5") and several group thousands.
//   - A comma alone is the decimal sign.
std::optional<std::string> PlainNumberText(char fieldClass, std::string_view text);

}  // namespace text
