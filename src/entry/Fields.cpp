#include "entry/Fields.h"

#include <array>

#include "entry/mText.h"

namespace entry {
namespace {

constexpr FieldClass kDegrees{'D', "#,##0", "09", false};
constexpr FieldClass kMinutes{'M', "#,##0", "09", false};
constexpr FieldClass kSeconds{'S', "#,##0.0000", "0,9", true};
constexpr FieldClass kHeight{'H', "#,##0.0", "-0,9", true};
constexpr FieldClass kUtm{'U', "#,##0.00", "0,9", true};

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

bool IsUtmEast(const app::Control& f) {
    return f.id.index == -1 && (f.id.name == "TxtUTMx" || f.id.name == "TxtUTMe");
}
bool IsUtmNorth(const app::Control& f) {
    return f.id.index == -1 && (f.id.name == "TxtUTMy" || f.id.name == "TxtUTMn");
}

// Longitude degrees on a conversion tab: 10 degrees west or 5 degrees east at most.
double LongitudeMax(const app::FormModel& form, int westOption) {
    return form.Get("OptLng", westOption).value ? 10 : 5;
}

}  // namespace

std::optional<FieldClass> ClassOf(const app::Control& field) {
    if (IsUtmEast(field) || IsUtmNorth(field)) return kUtm;
    if (field.id.name != "TxtWGSg") return std::nullopt;
    const int i = field.id.index;
    if (i < 0 || i >= static_cast<int>(kTxtWGSgClass.size())) return std::nullopt;
    const FieldClass* cls = kTxtWGSgClass[static_cast<std::size_t>(i)];
    if (!cls) return std::nullopt;
    return *cls;
}

bool IsCoordinateField(const app::Control& field) { return ClassOf(field).has_value(); }

std::optional<FieldRange> RangeOf(const app::FormModel& form, const app::Control& field) {
    if (IsUtmEast(field)) return FieldRange{"Coord. Este", 186062, 813939, "#,##0.00"};
    if (IsUtmNorth(field)) return FieldRange{"Coord. Norte", 2211509, 6651567, "#,##0.00"};
    std::optional<FieldClass> cls = ClassOf(field);
    if (!cls) return std::nullopt;
    switch (cls->name) {
    case 'M': return FieldRange{"Minutos", 0, 59, "#,##0"};
    case 'S': return FieldRange{"Segundos", 0, kMaxSeconds, "#,##0.0000"};
    case 'H': return FieldRange{"Altura sobre el elipsoide ", -500, 3000, "#,##0.0"};
    default: break;
    }
    const std::string degrees = "Grados sexagesimales";
    switch (field.id.index) {
    case 0:
    case 7: return FieldRange{degrees, 35, 44, "#,##0"};  // latitude on the conversion tabs
    case 3: return FieldRange{degrees, 0, LongitudeMax(form, 0), "#,##0"};
    case 16: return FieldRange{degrees, 0, LongitudeMax(form, 4), "#,##0"};
    case 9:
    case 33: return FieldRange{degrees, 0, 90, "#,##0"};  // latitude, utilities
    default: return FieldRange{degrees, 0, 180, "#,##0"};  // 12 and 30: longitude, utilities
    }
}

void FieldGotFocus(app::FormModel&, app::Control& field) {
    std::optional<FieldClass> cls = ClassOf(field);
    if (!cls) return;
    mText::SelectFieldText(field, cls->focusPattern);
    field.backColor = app::kLightYellow;
}

void FieldKeyPress(app::FormModel&, app::Control& field, int& keyAscii) {
    std::optional<FieldClass> cls = ClassOf(field);
    if (!cls) return;
    if (cls->pointBecomesComma && keyAscii == '.') keyAscii = ',';
    mText::FilterKey(field, keyAscii, cls->keyMode);
}

void FieldLostFocus(app::FormModel& form, app::Platform& platform, app::Control& field) {
    std::optional<FieldRange> range = RangeOf(form, field);
    if (!range) return;
    mText::ValidateField(form, platform, field, "N,", range->title, range->max, range->min,
                         std::nullopt, range->format);
    field.backColor = app::kWhite;
}

void HemisphereClick(app::FormModel& form, app::Platform& platform, const app::Control& option) {
    if (option.id.name != "OptLng") return;
    int degrees = -1;
    if (option.id.index == 0 || option.id.index == 1) degrees = 3;
    if (option.id.index == 4 || option.id.index == 5) degrees = 16;
    if (degrees >= 0) FieldLostFocus(form, platform, form.Get("TxtWGSg", degrees));
}

}  // namespace entry
