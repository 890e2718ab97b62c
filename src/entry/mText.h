// Text rules of the coordinate fields: how a field's text becomes a number.
#pragma once

#include <string>
#include <string_view>

namespace mText {

// The text without any "." (thousands points).
std::string RemoveDots(std::string_view text);

// RemoveDots, then the first "," turned into "."; later commas stay. The result is
// meant for the leading-number parse: "636.800,45" gives "636800.45".
std::string NormalizeNumber(std::string_view text);

// The number a field's text holds: the leading-number parse of NormalizeNumber(text);
// 0 when the text does not start with a number.
double FieldValue(std::string_view text);

}  // namespace mText
