#include "utilities/PointFields.h"

#include <cstdint>

#include "fields/Fields.h"
#include "fields/mText.h"
#include "geo/Angles.h"
#include "num/Number.h"

namespace utilities {

double ReadAngle(const form::FormModel& form, SexagesimalFields fields, bool negative) {
    auto value = [&](int index) { return text::FieldValue(form.Get("TxtWGSg", index).text); };
    std::int16_t deg = num::CInt(value(fields.deg));
    std::int16_t min = num::CInt(value(fields.min));
    double sec = num::Round(value(fields.sec), 4);
    return geo::DMSToDeg(deg, min, sec, negative);
}

bool AnglesChecked(form::FormModel& form, form::Platform& platform,
                   std::initializer_list<SexagesimalFields> angles) {
    for (const SexagesimalFields& a : angles) {
        form::Control* fields[] = {&form.Get("TxtWGSg", a.deg), &form.Get("TxtWGSg", a.min),
                                  &form.Get("TxtWGSg", a.sec)};
        if (!fields::FieldsChecked(form, platform, {fields[0], fields[1], fields[2]})) return false;
    }
    return true;
}

bool Point1IsSouth(const form::FormModel& form) {
    return !form.Get("OptLng", 8).value;
}
bool Point1IsWest(const form::FormModel& form) {
    return form.Get("OptLng", 3).value;
}
bool Point2IsSouth(const form::FormModel& form) {
    return !form.Get("OptLng", 11).value;
}
bool Point2IsWest(const form::FormModel& form) {
    return form.Get("OptLng", 6).value;
}

}  // namespace utilities
