#include "num/Number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "num/RuntimeError.h"

using namespace num;

namespace {

const Separators kSpanish{",", "."};

int ErrorNumberOf(auto&& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.Number();
    }
    return 0;
}

}  // namespace

TEST(Val, ReadsTheLeadingNumberOfOddTexts) {
    EXPECT_EQ(Val(""), 0.0);
    EXPECT_EQ(Val("abc"), 0.0);
    EXPECT_EQ(Val("  -1e3x"), -1000.0);
    EXPECT_EQ(Val("2.5,7"), 2.5);  // what NormalizeNumber makes of "2,5,7"
    EXPECT_EQ(Val("636800.45"), 636800.45);
    EXPECT_EQ(Val("1 2 3"), 123.0);  // blanks are skipped wherever they stand
    EXPECT_EQ(Val("\t- 5\n"), -5.0);
    EXPECT_EQ(Val(".5"), 0.5);
    EXPECT_EQ(Val("+7"), 7.0);
    EXPECT_EQ(Val("1.2.3"), 1.2);   // a second point ends the number
    EXPECT_EQ(Val("1e"), 1.0);      // an exponent without digits is not read
    EXPECT_EQ(Val("3D2"), 300.0);
    EXPECT_EQ(Val("-"), 0.0);
    EXPECT_EQ(Val("+-1"), 0.0);
    EXPECT_EQ(Val("1e-400"), 0.0);
    EXPECT_EQ(ErrorNumberOf([] { Val("1e400"); }), RuntimeError::kOverflow);
}

TEST(Val, IgnoresTheProcessLocale) {
    // Under a locale with a decimal comma the point must still be the decimal sign.
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_EQ(Val("12.75"), 12.75);
    EXPECT_EQ(Format(12.75, "0.00", kSpanish), "12,75");
    std::setlocale(LC_NUMERIC, "C");
}

TEST(CInt, RoundsHalvesToEvenAndOverflowsOutsideSixteenBits) {
    EXPECT_EQ(CInt(2.5), 2);
    EXPECT_EQ(CInt(3.5), 4);
    EXPECT_EQ(CInt(-2.5), -2);
    EXPECT_EQ(CInt(38.4999), 38);
    EXPECT_EQ(CInt(32767.4), 32767);
    EXPECT_EQ(CInt(-32768.5), -32768);  // halves to even stays in range
    EXPECT_EQ(ErrorNumberOf([] { CInt(32767.5); }), RuntimeError::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { CInt(-32769); }), RuntimeError::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { CInt(std::nan("")); }), RuntimeError::kOverflow);
    EXPECT_EQ(CLng(2147483647.0), 2147483647);
    EXPECT_EQ(CLng(0.5), 0);
    EXPECT_EQ(ErrorNumberOf([] { CLng(2147483647.5); }), RuntimeError::kOverflow);
    EXPECT_EQ(Int(-0.5), -1.0);
    EXPECT_EQ(Int(3.99), 3.0);
}

TEST(Round, HalvesGoToEvenOnTheFifteenDigitDecimalForm) {
    EXPECT_EQ(Round(0.125, 2), 0.12);
    EXPECT_EQ(Round(0.135, 2), 0.14);  // binary 0.13500000000000000888 is still a tie
    EXPECT_EQ(Round(2.675, 2), 2.68);  // binary 2.67499999999999982236 is still a tie
    EXPECT_EQ(Round(2.5, 0), 2.0);
    EXPECT_EQ(Round(-1.23456789, 4), -1.2346);
    EXPECT_EQ(Round(4.28532, 4), 4.2853);
    EXPECT_EQ(Round(636800.455, 2), 636800.46);
    EXPECT_EQ(Round(0.00004, 4), 0.0);
    EXPECT_EQ(Round(1e-20, 2), 0.0);
    EXPECT_EQ(Round(12.5, 4), 12.5);  // nothing to drop: the value itself
    EXPECT_EQ(ErrorNumberOf([] { Round(INFINITY, 2); }), RuntimeError::kOverflow);
}

TEST(Format, WritesEveryDisplayPatternOfTheWindow) {
    struct Case {
        double x;
        const char* pattern;
        const char* text;
    } cases[] = {
        {636800, "#,##0.00", "636.800,00"},
        {636800.456, "#,##0.00", "636.800,46"},
        {2.675, "0.00", "2,68"},
        {-0.004, "#,##0.00", "0,00"},  // rounds to zero: no minus sign
        {1234567.5, "#,##0", "1.234.568"},
        {38, "#,##0", "38"},
        {0, "#,##0", "0"},
        {12.34, "#,##0.0", "12,3"},
        {-500, "#,##0.0", "-500,0"},
        {3000, "#,##0.0", "3.000,0"},
        {59.999999, "#,##0.0000", "60,0000"},
        {6181.6312, "#,##0.000 Km", "6.181,631 Km"},
        {3825, "#0.00000", "3825,00000"},
        {-134, "#0.00000", "-134,00000"},
        {5, "00", "05"},
        {59.5, "00", "60"},
        {38, "#,##0º ", "38º "},
        {16, "#,##0' ", "16' "},
        {3, "00º ", "03º "},
        {42, "00' ", "42' "},
        {9.175, "00.00''", "09,18''"},
        {84.123, "#,##0.00º", "84,12º"},
        {-1.56666666666667, "#,##0.0000000", "-1,5666667"},
        {38.4166666666667, "#,##0.0000", "38,4167"},
    };
    for (const Case& c : cases) EXPECT_EQ(Format(c.x, c.pattern, kSpanish), c.text) << c.pattern;
    EXPECT_EQ(Format(1234.5, "#,##0.00", Separators{".", ","}), "1,234.50");
    EXPECT_EQ(ErrorNumberOf([] { Format(NAN, "0", kSpanish); }), RuntimeError::kOverflow);
}

TEST(NumberToText, UsesFifteenSignificantDigitsWithoutTrailingZeros) {
    EXPECT_EQ(NumberToText(-1.3666666666666667, kSpanish), "-1,36666666666667");
    EXPECT_EQ(NumberToText(38.266666666666666, kSpanish), "38,2666666666667");
    EXPECT_EQ(NumberToText(40.5, kSpanish), "40,5");
    EXPECT_EQ(NumberToText(0, kSpanish), "0");
    EXPECT_EQ(NumberToText(0.1 + 0.2, kSpanish), "0,3");
    EXPECT_EQ(NumberToText(600, kSpanish), "600");
    EXPECT_EQ(NumberToText(0.0001, kSpanish), "0,0001");
    EXPECT_EQ(NumberToText(0.000015, kSpanish), "1,5E-05");
    EXPECT_EQ(NumberToText(1e15, kSpanish), "1E+15");
    EXPECT_EQ(NumberToText(123456789012345.0, kSpanish), "123456789012345");
    EXPECT_EQ(Str(35), " 35");
    EXPECT_EQ(Str(-500), "-500");
    EXPECT_EQ(Str(59.999999), " 59.999999");
}

TEST(CheckedArithmetic, RaisesTheSystemErrors) {
    EXPECT_EQ(Div(1, 4), 0.25);
    EXPECT_EQ(ErrorNumberOf([] { Div(1, 0); }), RuntimeError::kDivisionByZero);
    EXPECT_EQ(ErrorNumberOf([] { Div(0, 0); }), RuntimeError::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { Div(1e308, 1e-308); }), RuntimeError::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { Sqr(-1); }), RuntimeError::kInvalidCall);
    EXPECT_EQ(ErrorNumberOf([] { Pow(0, -1); }), RuntimeError::kDivisionByZero);
    EXPECT_EQ(ErrorNumberOf([] { Pow(-8, 1.0 / 3); }), RuntimeError::kInvalidCall);
    EXPECT_EQ(ErrorNumberOf([] { Pow(10, 400); }), RuntimeError::kOverflow);
    EXPECT_EQ(Pow(-2, 3), -8.0);
    RuntimeError e = Overflow("x");
    EXPECT_EQ(e.Description(), "Desbordamiento");
    EXPECT_EQ(DivisionByZero().Description(), "División por cero");
    EXPECT_EQ(InvalidCall().Description(), "Llamada a procedimiento o argumento no válidos");
}
