// Pasting a whole point into the window: a text pasted (or dropped) into any field of a
// point that holds a whole coordinate fills every field of that point at once; a single
// number with decimals pasted into a degrees field fills that angle's degrees, minutes
// and seconds.
#pragma once

#include <string_view>

#include "form/Controls.h"
#include "form/Platform.h"

namespace fields {

enum class PasteResult {
    NotHandled,  // no whole point here: the text goes into the field as pasted
    Filled,      // the point's fields were filled and each checked as if typed
    Refused,     // a broken point: its message was shown and nothing changed
};

// The points are those of the two conversion tabs (their geographic and UTM frames,
// heights included) and points 1 and 2 of "Utilidades". On a conversion tab a pasted
// geographic point selects geographic input and a UTM point UTM input (zone 29-31 in
// the zone list); a south latitude is refused there, as those tabs take northern
// latitudes only. A UTM point pasted into a utility point is turned into WGS84
// latitude and longitude. Heights are never changed. Every filled field then gets the
// check of leaving it (message, clamp, focus back), as if the user had typed it.
// Any other control: NotHandled.
PasteResult PastePoint(form::FormModel& form, form::Platform& platform, form::Control& field,
                       std::string_view text);

}  // namespace fields
