#include "entry/mText.h"

#include "num/Number.h"

namespace mText {

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

}  // namespace mText
