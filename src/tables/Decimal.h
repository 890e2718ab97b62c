// Rounding to a few decimals exactly as num::Round and num::Format round (on the value's
// 15-significant-digit decimal form, num/Number.h), without building their strings: the
// batch converter rounds millions of seconds and metres, and the texts must be the
// window's to the last digit.
#pragma once

#include <string>

namespace tables {

// num::Round(x, decimals): halves to even on the 15-digit form; a value that rounds to
// zero gives +0, a zero keeps its sign.
double Round(double x, int decimals);

// Appends num::Format(num::Round(x, decimals), "0.00…0") with `decimalSign` before the
// `decimals` (1 to 8) decimals: "-500,0", "440501,02". This is the number of a result
// caption ("E= 440.501,02") without its thousands points: a value rounded to two decimals
// has those digits and zeros in its 15-digit form, so Format rounds nothing further.
void AppendRounded(std::string& out, double x, int decimals, char decimalSign);

}  // namespace tables
