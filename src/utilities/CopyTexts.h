// What the copy menu of the "Utilidades" tab offers: a point as typed, as signed decimal
// degrees and as WGS84 UTM, and the results as shown.
#pragma once

#include <optional>

#include "text/PointText.h"
#include "form/Controls.h"

namespace utilities {

// For point 1's or point 2's frame (Frame1(2), Frame1(3)) or a control inside one: the
// typed point (its lines as shown, decimal degrees, UTM on WGS84; the last two "" when
// a field cannot be read; UTM refused beyond 84º N and 80º S). For a result of the tab (LblDist, LblGeodesica, LblOrto,
// LblCulmin, LblOcaso): its caption, with its tooltip on a second line when it has one. nullopt for
// any other control.
std::optional<text::CopyTexts> UtilitiesCopyTexts(form::FormModel& form, const form::Control& control);

}  // namespace utilities
