#include "num/Number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "num/RuntimeError.h"

using namespace num;

namespace {

const Separators kSpanish{",", "."};

int ErrorNumberOf(auto&& f) try {
    f();
    return 0;
} catch (const RuntimeError& e) {
    return e.Number();
}

}  // namespace

TEST(Val, ReadsTheLeadingNumberOfOddTexts) {
    // "2.5,7" is what NormalizeNumber makes of "2,5,7". Blanks are skipped wherever they
    // stand, a second point ends the number, an exponent without digits is not read.
    const std::pair<const char*, double> cases[] = {
        {"", 0},        {"abc", 0},  {"  -1e3x", -1000}, {"2.5,7", 2.5}, {"636800.45", 636800.45},
        {"1 2 3", 123}, {".5", 0.5}, {"+7", 7},          {"1.2.3", 1.2}, {"1e", 1},
        {"3D2", 300},   {"-", 0},    {"+-1", 0},         {"1e-400", 0},  {"\t- 5\n", -5},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(Val(text), value) << text;
    EXPECT_EQ(ErrorNumberOf([] { Val("1e400"); }), RuntimeError::kOverflow);
    // Too large or too small written without an exponent: overflow, or zero.
    EXPECT_EQ(ErrorNumberOf([] { Val("-" + std::string(400, '9')); }), RuntimeError::kOverflow);
    EXPECT_EQ(Val("0.0001e-400"), 0);
    EXPECT_EQ(Val("0." + std::string(400, '0') + "1"), 0);
    EXPECT_EQ(ErrorNumberOf([] { Val("0.001e312"); }), RuntimeError::kOverflow);
}

TEST(Val, IgnoresTheProcessLocale) {
    // Under a locale with a decimal comma the point must still be the decimal sign.
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_EQ(Val("12.75"), 12.75);
    EXPECT_EQ(Format(12.75, "0.00", kSpanish), "12,75");
    std::setlocale(LC_NUMERIC, "C");
}

TEST(CInt, RoundsHalvesToEvenAndOverflowsOutsideSixteenBits) {
    // -32768.5 goes to the even -32768 and stays in range.
    const std::pair<double, int> cases[] = {{2.5, 2},      {3.5, 4},         {-2.5, -2},
                                            {38.4999, 38}, {32767.4, 32767}, {-32768.5, -32768}};
    for (const auto& [x, n] : cases) EXPECT_EQ(CInt(x), n) << x;
    for (double x : {32767.5, -32769.0, std::nan("")})
        EXPECT_EQ(ErrorNumberOf([x] { CInt(x); }), RuntimeError::kOverflow) << x;
    EXPECT_EQ(CLng(2147483647.0), 2147483647);
    EXPECT_EQ(CLng(0.5), 0);
    EXPECT_EQ(ErrorNumberOf([] { CLng(2147483647.5); }), RuntimeError::kOverflow);
    EXPECT_EQ(Int(-0.5), -1.0);
    EXPECT_EQ(Int(3.99), 3.0);
}

TEST(Round, HalvesGoToEvenOnTheFifteenDigitDecimalForm) {
    // 0.135 and 2.675 are ties in their 15-digit decimal form; 12.5 has nothing to drop.
    const std::tuple<double, int, double> cases[] = {
        {0.125, 2, 0.12},          {0.135, 2, 0.14},           {2.675, 2, 2.68}, {2.5, 0, 2},
        {-1.23456789, 4, -1.2346}, {4.28532, 4, 4.2853},       {0.00004, 4, 0},  {1e-20, 2, 0},
        {12.5, 4, 12.5},           {636800.455, 2, 636800.46},
    };
    for (const auto& [x, n, rounded] : cases) EXPECT_EQ(Round(x, n), rounded) << x << " " << n;
    EXPECT_EQ(ErrorNumberOf([] { Round(INFINITY, 2); }), RuntimeError::kOverflow);
}

TEST(Format, WritesEveryDisplayPatternOfTheWindow) {
    // -0.004 rounds to zero and prints without a minus sign.
    const std::tuple<double, const char*, const char*> cases[] = {
        {38, "#,##0", "38"},           {0, "#,##0", "0"},          {3, "00º ", "03º "},
        {16, "#,##0' ", "16' "},       {59.5, "00", "60"},         {-0.004, "#,##0.00", "0,00"},
        {-500, "#,##0.0", "-500,0"},   {12.34, "#,##0.0", "12,3"}, {5, "00", "05"},
        {9.175, "00.00''", "09,18''"}, {38, "#,##0º ", "38º "},    {42, "00' ", "42' "},
        {3000, "#,##0.0", "3.000,0"},  {2.675, "0.00", "2,68"},
    };
    const std::tuple<double, const char*, const char*> wideCases[] = {
        {84.123, "#,##0.00º", "84,12º"},      {-1.56666666666667, "#,##0.0000000", "-1,5666667"},
        {-134, "#0.00000", "-134,00000"},     {38.4166666666667, "#,##0.0000", "38,4167"},
        {1234567.5, "#,##0", "1.234.568"},    {636800.456, "#,##0.00", "636.800,46"},
        {59.999999, "#,##0.0000", "60,0000"}, {6181.6312, "#,##0.000 Km", "6.181,631 Km"},
        // Ties in the 16th digit of the exact binary value, which printf("%.14e") takes to even.
        {123456789012345.5, "0", "123456789012346"}, {123456789012344.5, "0", "123456789012344"},
        {-12345678901234.25, "0.0", "-12345678901234,2"},
    };
    for (const auto& [x, pattern, text] : cases) EXPECT_EQ(Format(x, pattern, kSpanish), text) << x;
    for (const auto& [x, pattern, text] : wideCases) EXPECT_EQ(Format(x, pattern, kSpanish), text);
    EXPECT_EQ(Format(1234.5, "#,##0.00", Separators{".", ","}), "1,234.50");
    EXPECT_EQ(ErrorNumberOf([] { Format(NAN, "0", kSpanish); }), RuntimeError::kOverflow);
}

// A caption's number without its pattern: what Format(Round(x, d), "#,##0.00…") writes,
// halves of the 15-digit form to even first (0.135, 2.675), values that round to zero,
// thousands, carries, and a value beyond the fast path's reach.
TEST(Format, AppendRoundedWritesWhatFormatOfRoundWrites) {
    const std::tuple<double, int, const char*> cases[] = {
        {0.135, 2, "0,14"},          {2.675, 2, "2,68"},         {0.125, 2, "0,12"},
        {-0.00004, 4, "0,0000"},     {59.99995, 4, "60,0000"},   {4474464.745, 2, "4.474.464,74"},
        {-1234567.5, 0, "-1.234.568"}, {999.95, 1, "1.000,0"},   {-0.0, 1, "0,0"},
        {123456789012.125, 2, "123.456.789.012,12"},
    };
    for (const auto& [x, d, text] : cases) {
        std::string out = "E= ";
        num::AppendRounded(out, x, d, ",", ".");
        EXPECT_EQ(out, "E= " + std::string(text)) << x;
    }
    EXPECT_EQ(ErrorNumberOf([] {
                  std::string out;
                  num::AppendRounded(out, NAN, 2, ",");
              }),
              RuntimeError::kOverflow);
}

TEST(NumberToText, UsesFifteenSignificantDigitsWithoutTrailingZeros) {
    const std::pair<double, const char*> cases[] = {
        {0.1 + 0.2, "0,3"},    {-1.3666666666666667, "-1,36666666666667"}, {0, "0"},
        {0.000015, "1,5E-05"}, {123456789012345.0, "123456789012345"},     {600, "600"},
        {40.5, "40,5"},        {38.266666666666666, "38,2666666666667"},   {0.0001, "0,0001"},
        {1e15, "1E+15"},
    };
    for (const auto& [x, text] : cases) EXPECT_EQ(NumberToText(x, kSpanish), text) << x;
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
    EXPECT_EQ(Overflow("x").Description(), "Desbordamiento");
    EXPECT_EQ(DivisionByZero().Description(), "División por cero");
    EXPECT_EQ(InvalidCall().Description(), "Llamada a procedimiento o argumento no válidos");
}
