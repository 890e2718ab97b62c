// Number semantics shared by every subsystem of Talpor: how a field's text becomes
// a number (Val), how numbers become whole numbers (CInt, CLng, Int), how they are
// rounded (Round) and how they are written (Format with display patterns, and the
// general number-to-text of tooltips). Also the checked arithmetic that turns a
// non-finite result into the system's run-time error.
//
// Rounding works on the value's decimal form with 15 significant digits, not on its
// binary expansion: 2.675 is taken as 2.67500000000000, so Format(2.675, "0.00")
// gives "2,68" and Round(0.135, 2) gives 0.14.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace num {

// The regional separators numbers are written with.
struct Separators {
    std::string decimal = ",";
    std::string thousands = ".";
};

// Separators that Format and NumberToText use when none are given. Start-up sets
// them from the user's regional settings; until then they are "," and ".".
const Separators& RegionalSeparators();
void SetRegionalSeparators(Separators separators);

// Leading-number parse, independent of any locale: blanks, tabs and line feeds are
// skipped wherever they stand; then an optional sign, digits, at most one "." with
// more digits and an optional exponent (E or D) are read; the first other character
// ends the number. A text without a leading number reads as 0.
// Throws the overflow error when the number does not fit a double.
double Val(std::string_view text);

// Nearest 16-bit (CInt) or 32-bit (CLng) integer, halves to the even neighbour.
// Throws the overflow error outside the type's range or for a non-finite value.
std::int16_t CInt(double x);
std::int32_t CLng(double x);

// Floor: the largest whole number not greater than x.
double Int(double x);

// x rounded to `decimals` (>= 0) decimal places, halves to even, on the 15-digit
// decimal form. Throws the overflow error for a non-finite value.
double Round(double x, int decimals);

// x written with a display pattern: "0" a required digit, "#" an optional digit,
// "," (among the integer placeholders) grouping by thousands, "." the decimal
// position; every other character is a literal that stays where it stands
// ("#,##0º ", "00.00''", "#,##0.000 Km"). Halves are rounded away from zero; a
// value that rounds to zero has no minus sign. Throws the overflow error for a
// non-finite value.
std::string Format(double x, std::string_view pattern, const Separators& separators);
std::string Format(double x, std::string_view pattern);

// Appends Format(Round(x, decimals), pattern) for the pattern "0" or "#,##0" (grouped
// when `thousands` is not empty) with `decimals` (0 to 8) required decimals, written with
// `decimal` and `thousands`: the number of a result caption ("4.474.109,90"), without
// building the pattern or a string of its own. Throws as Round does.
void AppendRounded(std::string& out, double x, int decimals, std::string_view decimal, std::string_view thousands = {});

// Round(x, decimals) for `decimals` from 0 to 8, faster where the 15-digit form need not
// be built: the same double.
double RoundFew(double x, int decimals);

// General number-to-text (tooltips): up to 15 significant digits, no trailing
// zeros, the regional decimal separator; exponent form ("1,5E-05", "1E+15") below
// 1e-4 and from 1e15 on in magnitude.
std::string NumberToText(double x, const Separators& separators);
std::string NumberToText(double x);

// Number-to-text with a leading blank for a non-negative value and "-" for a
// negative one, always with "." as decimal point (" 35", "-500", " 59.999999").
std::string Str(double x);

// Checked arithmetic: a result that would be infinite or undefined raises the
// system's run-time error instead of flowing on.
double Finite(double x, std::string_view what = {});  // overflow (6) unless finite
double Div(double a, double b);   // 11 for x/0, 6 for 0/0 and for an infinite quotient
double Sqr(double x);             // 5 for a negative argument
double Pow(double x, double y);   // 11 for 0^negative, 5 for negative^fraction, 6 on overflow

}  // namespace num
