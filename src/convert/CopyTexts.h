// What the copy menu of a conversion tab offers: the tab's result or its typed point as
// lines of text exactly as shown, as signed decimal degrees and as UTM.
#pragma once

#include <optional>
#include <string>

#include "core/Core.h"
#include "text/PointText.h"
#include "geo/Utm.h"
#include "form/Controls.h"

namespace convert {

using text::CopyTexts;

// For a frame of a conversion tab or a control inside one. The result frames
// (Frame5(0) and Frame6 on tab 0, Frame1(1) and Frame4 on tab 1) give the tab's last
// result, both frames and the parameter set used; decimal degrees and UTM only once a
// conversion has shown one. The input frames (Frame1(0) and Frame7, Frame9(1) and
// Frame2) give the point typed in the frame the tab has enabled, in the form it was
// typed and turned into the other (as the conversion buttons read it). nullopt for a
// control of no conversion frame.
std::optional<CopyTexts> ConversionCopyTexts(form::FormModel& form, const form::Control& control);

// The point typed on a conversion tab, on its source datum, in degrees and in UTM.
struct TypedPoint {
    geo::LatLon point;  // decimal degrees
    geo::UTMPoint utm;
};

// The point typed on tab 0 (WGS84) or 1 (ED50) in the frame the tab has enabled, read
// as the conversion buttons read it, once every field read holds a value its check has
// passed (a field still being typed gives none), and turned into the other form.
std::optional<TypedPoint> ReadTypedPoint(form::FormModel& form, core::Direction tab);

}  // namespace convert
