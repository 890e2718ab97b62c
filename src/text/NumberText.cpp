#include "text/NumberText.h"

#include "num/Number.h"

namespace text {

std::string RemoveDots(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '.') out += c;
    return out;
}

std::string NormalizeNumber(std::string_view text) {
    std::string out = RemoveDots(text);
    if (auto comma = out.find(','); comma != std::string::npos) out[comma] = '.';
    return out;
}

double FieldValue(std::string_view text) { return num::Val(NormalizeNumber(text)); }

}  // namespace text

namespace text {
namespace {

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

// Digits grouped by thousands with points: one to three digits, then groups of three.
bool IsThousandsGrouping(std::string_view digits) {
    std::size_t group = 0, groups = 0;
    for (char c : digits) {
        if (c == '.') {
            if (group == 0 || group > 3 || (groups > 0 && group != 3)) return false;
            group = 0;
            ++groups;
        } else {
            ++group;
        }
    }
    return groups > 0 && group == 3;
}

}  // namespace

std::optional<std::string> PlainNumberText(char fieldClass, std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    if (text.empty()) return "";

    std::string sign;
    if (text.front() == '-' || text.front() == '+') {
        if (text.front() == '-') sign = "-";
        text.remove_prefix(1);
    }
    std::size_t commas = 0, points = 0, digitCount = 0;
    for (char c : text) {
        if (c == ',') ++commas;
        else if (c == '.') ++points;
        else if (IsDigitChar(c)) ++digitCount;
        else return std::nullopt;
    }
    if (digitCount == 0 || commas > 1) return std::nullopt;

    std::string_view whole = text, decimals;
    bool hasDecimals = false;
    if (commas == 1) {
        const std::size_t comma = text.find(',');
        whole = text.substr(0, comma);
        decimals = text.substr(comma + 1);
        hasDecimals = true;
        if (decimals.find('.') != std::string_view::npos) return std::nullopt;
        if (whole.find('.') != std::string_view::npos && !IsThousandsGrouping(whole))
            return std::nullopt;
    } else if (points > 0) {
        const bool grouped = IsThousandsGrouping(text);
        const bool pointIsDecimal = fieldClass == 'U' ? !grouped && points == 1 : points == 1;
        if (pointIsDecimal) {
            const std::size_t point = text.find('.');
            whole = text.substr(0, point);
            decimals = text.substr(point + 1);
            hasDecimals = true;
        } else if (!grouped) {
            return std::nullopt;
        }
    }
    std::string digits = text::RemoveDots(whole);
    std::string plain = sign + (digits.empty() ? "0" : digits);
    if (hasDecimals && !decimals.empty()) plain += "," + std::string(decimals);
    return plain;
}

}  // namespace text
