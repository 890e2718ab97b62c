#include "fields/Fields.h"

#include <array>

#include "fields/mText.h"
#include "num/RuntimeError.h"

namespace fields {
namespace {

constexpr FieldClass kDegrees{'D', "#,##0", "09", false};
constexpr FieldClass kMinutes{'M', "#,##0", "09", false};
constexpr FieldClass kSeconds{'S', "#,##0.0000", "0,9", true};
constexpr FieldClass kHeight{'H', "#,##0.0", "-0,9", true};
// A "." typed in a UTM field stays a point: there it groups thousands.
constexpr FieldClass kUtm{'U', "#,##0.00", "0.,9", false};

// Class of TxtWGSg(i) by index; indices 19 to 24 do not exist.
constexpr std::array<const FieldClass*, 34> kTxtWGSgClass = {
    &kDegrees, &kMinutes, &kSeconds, &kDegrees, &kMinutes, &kSeconds,  // 0-5
    &kHeight,  &kDegrees, &kHeight,  &kDegrees, &kMinutes, &kSeconds,  // 6-11
    &kDegrees, &kMinutes, &kMinutes, &kSeconds, &kDegrees, &kMinutes,  // 12-17
    &kSeconds, nullptr,   nullptr,   nullptr,   nullptr,   nullptr,    // 18-23
    nullptr,   &kHeight,  &kHeight,  &kSeconds, &kSeconds, &kMinutes,  // 24-29
    &kDegrees, &kSeconds, &kMinutes, &kDegrees,                        // 30-33
};

// Seconds stay below 60: the largest value the field takes.
constexpr double kMaxSeconds = 59.999999;

bool IsUtmEast(const form::Control& f) {
    return f.id.index == -1 && (f.id.name == "TxtUTMx" || f.id.name == "TxtUTMe");
}
bool IsUtmNorth(const form::Control& f) {
    return f.id.index == -1 && (f.id.name == "TxtUTMy" || f.id.name == "TxtUTMn");
}

// Longitude degrees on a conversion tab: 10 degrees west or 5 degrees east at most.
double LongitudeMax(const form::FormModel& form, int westOption) {
    return form.Get("OptLng", westOption).value ? text::kMaxWest : text::kMaxEast;
}

}  // namespace

std::optional<FieldClass> ClassOf(const form::Control& field) {
    if (IsUtmEast(field) || IsUtmNorth(field)) return kUtm;
    if (field.id.name != "TxtWGSg") return std::nullopt;
    const int i = field.id.index;
    if (i < 0 || i >= static_cast<int>(kTxtWGSgClass.size())) return std::nullopt;
    const FieldClass* cls = kTxtWGSgClass[static_cast<std::size_t>(i)];
    if (!cls) return std::nullopt;
    return *cls;
}

bool IsCoordinateField(const form::Control& field) { return ClassOf(field).has_value(); }

std::optional<FieldRange> RangeOf(const form::FormModel& form, const form::Control& field) {
    if (IsUtmEast(field)) return FieldRange{"Coord. Este", text::kMinEasting, text::kMaxEasting, "#,##0.00"};
    if (IsUtmNorth(field)) return FieldRange{"Coord. Norte", text::kMinNorthing, text::kMaxNorthing, "#,##0.00"};
    std::optional<FieldClass> cls = ClassOf(field);
    if (!cls) return std::nullopt;
    switch (cls->name) {
    case 'M': return FieldRange{"Minutos", 0, 59, "#,##0"};
    case 'S': return FieldRange{"Segundos", 0, kMaxSeconds, "#,##0.0000"};
    case 'H': {
        // The tab's second height option says its heights are altitudes.
        const form::Control* altitude = field.tab >= 0 ? form.Find("OptAltura", 2 * field.tab + 1) : nullptr;
        return FieldRange{altitude != nullptr && altitude->value ? "Altitud sobre el mar " : "Altura sobre el elipsoide ",
                          text::kMinHeight, text::kMaxHeight, "#,##0.0"};
    }
    default: break;
    }
    const std::string degrees = "Grados sexagesimales";
    switch (field.id.index) {
    case 0:
    case 7: return FieldRange{degrees, text::kMinLatitude, text::kMaxLatitude, "#,##0"};  // latitude on the conversion tabs
    case 3: return FieldRange{degrees, 0, LongitudeMax(form, 0), "#,##0"};
    case 16: return FieldRange{degrees, 0, LongitudeMax(form, 4), "#,##0"};
    case 9:
    case 33: return FieldRange{degrees, 0, 90, "#,##0"};  // latitude, utilities
    default: return FieldRange{degrees, 0, 180, "#,##0"};  // 12 and 30: longitude, utilities
    }
}

namespace {

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

// A number in exponent form as other programs write it ("-1e308", "4.05E1", "1,5e3"),
// in the form FieldValue reads; nullopt for anything else.
std::optional<std::string> ExponentNumberText(std::string_view text) {
    std::string out;
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t first = i;
        while (i < text.size() && IsDigitChar(text[i])) out += text[i++];
        return i > first;
    };
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) out += text[i++];
    bool mantissa = digits();
    if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
        out += ',';
        ++i;
        mantissa = digits() || mantissa;
    }
    if (!mantissa || i == text.size() || (text[i] != 'e' && text[i] != 'E')) return std::nullopt;
    out += text[i++];
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) out += text[i++];
    if (!digits() || i != text.size()) return std::nullopt;
    return out;
}

}  // namespace

namespace {

// The field's number, when its text reads as one number the same whichever way it is
// read: as leaving the field will read it, and as the buttons read it as it stands
// ("440721.5" reads 4407215 until leaving the field rewrites it).
std::optional<double> ReadableValue(const form::Control& field) {
    const std::optional<FieldClass> cls = ClassOf(field);
    if (!cls) return std::nullopt;
    const std::optional<std::string> plain = text::PlainNumberText(cls->name, field.text);
    if (!plain) return std::nullopt;
    try {
        const double x = plain->empty() ? 0 : text::FieldValue(*plain);
        if (x != text::FieldValue(field.text)) return std::nullopt;
        return x;
    } catch (const num::RuntimeError&) {
        return std::nullopt;
    }
}

}  // namespace

bool HoldsCheckedValue(const form::FormModel& form, const form::Control& field) {
    const std::optional<FieldRange> range = RangeOf(form, field);
    const std::optional<double> x = ReadableValue(field);
    return range && x && *x >= range->min && *x <= range->max;
}

bool FieldsChecked(form::FormModel& form, form::Platform& platform,
                    std::initializer_list<form::Control*> fields) {
    for (form::Control* field : fields) {
        if (HoldsCheckedValue(form, *field)) continue;
        form.focusRequest = nullptr;
        FieldLostFocus(form, platform, *field);
        // A text the check only rewrote ("40.5" as "40,5") goes on to the button.
        if (form.focusRequest != nullptr || !HoldsCheckedValue(form, *field)) return false;
    }
    return true;
}

void FieldGotFocus(form::FormModel&, form::Control& field) {
    std::optional<FieldClass> cls = ClassOf(field);
    if (!cls) return;
    // Only the field's own number is rewritten for editing, from the value leaving the
    // field will read ("3.5" in a degrees field is 3,5, not 35). Any other text
    // ("-95287.080.,871") is left as written, for the check to report it as it is.
    const std::optional<std::string> plain = text::PlainNumberText(cls->name, field.text);
    if (plain && !plain->empty()) {
        const std::string written = field.text;
        field.text = *plain;
        fields::SelectFieldText(field, cls->focusPattern);
        if (field.maxLength > 0 && fields::CharLength(field.text) > field.maxLength) {
            field.text = written;  // a number far beyond the field's range: shown as typed
            field.selLength = fields::CharLength(written);
        }
    } else {
        fields::SelectFieldText(field, "");
    }
    field.backColor = form::kLightYellow;
}

void FieldKeyPress(form::FormModel&, form::Control& field, int& keyAscii) {
    std::optional<FieldClass> cls = ClassOf(field);
    if (!cls) return;
    if (cls->pointBecomesComma && keyAscii == '.') keyAscii = ',';
    fields::FilterKey(field, keyAscii, cls->keyMode);
}

void FieldLostFocus(form::FormModel& form, form::Platform& platform, form::Control& field) {
    std::optional<FieldRange> range = RangeOf(form, field);
    if (!range) return;
    std::optional<std::string> plain = text::PlainNumberText(ClassOf(field)->name, field.text);
    if (!plain) plain = ExponentNumberText(field.text);
    if (!plain) {
        fields::ShowLimits(platform, range->title, range->max, range->min, range->format);
        form.SetFocus(field);
        field.backColor = form::kWhite;
        return;
    }
    if (*plain != field.text) fields::SetFieldText(field, *plain);
    // An empty height is a point without height, not 0 m: it stays empty.
    if (plain->empty() && ClassOf(field)->name == kHeight.name) {
        field.backColor = form::kWhite;
        return;
    }
    fields::ValidateNumber(form, platform, field, range->title, range->max, range->min, range->format);
    field.backColor = form::kWhite;
}

void HemisphereClick(form::FormModel& form, form::Platform& platform, const form::Control& option) {
    if (option.id.name != "OptLng") return;
    int degrees = -1;
    if (option.id.index == 0 || option.id.index == 1) degrees = 3;
    if (option.id.index == 4 || option.id.index == 5) degrees = 16;
    if (degrees >= 0) FieldLostFocus(form, platform, form.Get("TxtWGSg", degrees));
}

}  // namespace fields
