#include "fields/mText.h"

#include <cmath>
#include <optional>

#include "num/Number.h"
#include "num/RuntimeError.h"

namespace fields {
namespace {

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The number a text holds under the regional separators, when it reads as one.
std::optional<double> RegionalValue(std::string_view text) {
    const num::Separators& sep = num::RegionalSeparators();
    auto at = [&](std::size_t i, std::string_view what) {
        return !what.empty() && text.substr(i).starts_with(what);
    };
    auto blank = [&](std::size_t i) { return i < text.size() && (text[i] == ' ' || text[i] == '\t'); };

    std::string plain;  // the number with "." as decimal point, for the leading-number parse
    std::size_t i = 0;
    while (blank(i)) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain += text[i++];
    int digits = 0;
    while (i < text.size()) {
        if (IsDigit(text[i])) {
            plain += text[i++];
            ++digits;
        } else if (digits > 0 && at(i, sep.thousands)) {
            i += sep.thousands.size();
        } else {
            break;
        }
    }
    if (at(i, sep.decimal)) {
        i += sep.decimal.size();
        plain += '.';
        while (i < text.size() && IsDigit(text[i])) {
            plain += text[i++];
            ++digits;
        }
    }
    if (digits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
        std::size_t first = j;
        while (j < text.size() && IsDigit(text[j])) exponent += text[j++];
        if (j == first) return std::nullopt;
        plain += exponent;
        i = j;
    }
    while (blank(i)) ++i;
    if (i != text.size()) return std::nullopt;
    try {
        return num::Val(plain);
    } catch (const num::RuntimeError&) {
        return std::nullopt;  // too large for a double: not a number to reformat
    }
}

// The number a field holds; a number too large for a double reads as an infinity of
// its sign, so that it is reported and clamped like any other value out of range.
double FieldNumber(std::string_view text) {
    try {
        return text::FieldValue(text);
    } catch (const num::RuntimeError&) {
        std::string n = text::NormalizeNumber(text);
        std::size_t first = n.find_first_not_of(" \t\n");
        bool negative = first != std::string::npos && n[first] == '-';
        return negative ? -HUGE_VAL : HUGE_VAL;
    }
}

// Number of decimals a display pattern shows: the placeholders after its ".".
int PatternDecimals(std::string_view pattern) {
    std::size_t point = pattern.find('.');
    if (point == std::string_view::npos) return 0;
    int n = 0;
    for (std::size_t i = point + 1; i < pattern.size() && (pattern[i] == '0' || pattern[i] == '#'); ++i)
        ++n;
    return n;
}

// x (inside [min, max]) written with `format`. Rounding to the format's decimals may
// carry the shown value over a limit that is not on the format's grid (59.999999 with
// four decimals shows 60,0000); the field would then fail its own check on the next
// focus loss, so the value shown is the last one of the grid inside the limit.
std::string InRangeText(double x, std::string_view format, double min, double max) {
    std::string text = num::Format(x, format);
    double shown = text::FieldValue(text);
    if (shown >= min && shown <= max) return text;
    double scale = std::pow(10.0, PatternDecimals(format));
    double inside = shown > max ? num::Int(max * scale) / scale : -num::Int(-min * scale) / scale;
    std::string fixed = num::Format(inside, format);
    double fixedValue = text::FieldValue(fixed);
    return fixedValue >= min && fixedValue <= max ? fixed : text;
}


}  // namespace

void ShowLimits(form::Platform& platform, std::string_view title, double max, double min,
                std::string_view format) {
    std::string message = num::Format(min, format) + " < " + std::string(title) + " <" + num::Format(max, format);
    platform.MsgBox(message, "Limitaciones", form::MsgIcon::Information, form::MsgButtons::OK,
                    form::MsgResult::OK);
}

void SetFieldText(form::Control& field, std::string text) {
    if (field.text == text) return;
    field.text = std::move(text);
    field.selStart = 0;
    field.selLength = 0;
}

int CharLength(std::string_view text) {
    int n = 0;
    for (char c : text)
        if (!IsContinuationByte(c)) ++n;
    return n;
}

bool IsRegionalNumber(std::string_view text) { return RegionalValue(text).has_value(); }

void FilterKey(const form::Control& field, int& keyCode, std::string_view mode) {
    if (keyCode == kBackspace) return;
    const int c = keyCode;
    const std::string& text = field.text;
    const bool wholeSelected = field.selLength == CharLength(text);
    auto refuse = [&] { keyCode = 0; };
    // A second "," only replaces a fully selected text.
    auto commaRefused = [&] { return c == ',' && text.find(',') != std::string::npos && !wholeSelected; };
    // One "-", and only in front of the text.
    auto minusRefused = [&] {
        if (c != '-') return false;
        if (text.find('-') != std::string::npos && !wholeSelected) return true;
        return !text.empty() && field.selStart != 0;
    };

    const std::string m(mode);
    if (m == "09") {
        if (!IsDigit(c)) refuse();
    } else if (m == "0,9") {
        if (commaRefused() || !(IsDigit(c) || c == ',')) refuse();
    } else if (m == "0.,9") {
        // Points group the thousands, before the decimal comma only.
        const bool pointRefused = c == '.' && text.find(',') != std::string::npos && !wholeSelected;
        if (commaRefused() || pointRefused || !(IsDigit(c) || c == ',' || c == '.')) refuse();
    } else if (m == "-0,9") {
        if (commaRefused() || minusRefused() || !(IsDigit(c) || c == ',' || c == '-')) refuse();
    }
}

void ValidateNumber(form::FormModel& form, form::Platform& platform, form::Control& field,
                    std::string_view title, double max, double min, std::string_view format) {
    double x = FieldNumber(field.text);
    if (x < min || x > max) {
        ShowLimits(platform, title, max, min, format);
        SetFieldText(field, InRangeText(x < min ? min : max, format, min, max));
        form.SetFocus(field);
    } else {
        SetFieldText(field, InRangeText(x, format, min, max));
    }
}

void SelectFieldText(form::Control& field, std::string_view format) {
    field.selStart = 0;
    if (!format.empty()) {
        std::string text = field.text;
        if (auto value = RegionalValue(text)) text = num::Format(*value, format);
        field.text = text::RemoveDots(text);
    }
    field.selLength = CharLength(field.text);
}

}  // namespace fields
