// The controls of the main window frmTalpor as the form defines them, before
// start-up fills the drop-down lists and the calendar.
#pragma once

#include "form/Controls.h"

namespace form {

inline constexpr const char* kFormCaption = "Talpor - Transformación de coordenadas";

// The text rules of the coordinate fields work on at most 255 characters, so a field
// takes no more: a longer paste is cut to its first 255 characters.
inline constexpr int kMaxFieldLength = 255;

// Adds every control of frmTalpor, with its initial texts, colours and states, to `form`.
void BuildFrmTalporControls(FormModel& form);

// Captions of the height fields: the start, a height above the ellipsoid, and what
// they say once the tab's "sobre el mar" option makes the typed heights altitudes.
inline constexpr const char* kHeightCaption = "Altura sobre el elipsoide (m)=";
inline constexpr const char* kAltitudeCaption = "Altitud sobre el mar (m)=";

// Initial caption of the sexagesimal result labels: 00º 00' 0,0000".
inline constexpr const char* kInitialGeoResult = "00º 00' 0,0000\"";
// Initial caption of the height results.
inline constexpr const char* kHeightResult = "Altura sobre el elipsoide = 0,0 m";
// Initial caption of the altitude result of tab 1.
inline constexpr const char* kAltitudeResult = "Altitud (EGM08-REDNAP) = 0,0 m";
// Initial caption and tooltip of the altitude lines of tab 0's input frames, which show
// the altitude of the typed point once it is converted.
inline constexpr const char* kTypedAltitude = "Altitud (EGM08-REDNAP) = ?";
inline constexpr const char* kTypedAltitudeTip =
    "Altitud sobre el nivel del mar del punto escrito: se calcula al convertirlo";

}  // namespace form
