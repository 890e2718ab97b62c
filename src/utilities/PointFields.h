// Reading the two points of the "Utilidades" tab from their sexagesimal fields.
#pragma once

#include <initializer_list>

#include "form/Controls.h"
#include "form/Platform.h"

namespace utilities {

// Indices in TxtWGSg of the degrees, minutes and seconds fields of one angle.
struct SexagesimalFields {
    int deg;
    int min;
    int sec;
};

inline constexpr SexagesimalFields kPoint1Latitude{9, 10, 11};
inline constexpr SexagesimalFields kPoint1Longitude{12, 13, 27};
inline constexpr SexagesimalFields kPoint2Latitude{33, 32, 31};
inline constexpr SexagesimalFields kPoint2Longitude{30, 29, 28};

// Signed decimal degrees of one angle of the tab: whole degrees and minutes to the
// nearest 16-bit integer (halves to even), seconds rounded to four decimals (halves
// to even), negated when `negative`. A field that does not start with a number reads
// as 0. Throws the overflow error for degrees or minutes beyond 16 bits.
double ReadAngle(const form::FormModel& form, SexagesimalFields fields, bool negative);

// Before a button reads them: the fields of the angles given hold checked values, or
// the first that does not gets its check (fields::FieldsChecked) and the answer is false.
bool AnglesChecked(form::FormModel& form, form::Platform& platform,
                   std::initializer_list<SexagesimalFields> angles);

// Hemisphere choices: true when the angle is south or west.
bool Point1IsSouth(const form::FormModel& form);  // OptLng(8) "N" not selected
bool Point1IsWest(const form::FormModel& form);   // OptLng(3) "W" selected
bool Point2IsSouth(const form::FormModel& form);  // OptLng(11) "N" not selected
bool Point2IsWest(const form::FormModel& form);   // OptLng(6) "W" selected

}  // namespace utilities
