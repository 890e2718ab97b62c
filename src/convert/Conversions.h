// Click handlers of the two conversion tabs, run on the window's control model, with
// the IGN grids the window opens once (core/Grids.h).
//
// Tab 0 "WGS84  ->  ED50" takes a WGS84 point and shows it in ED50; tab 1
// "ED50  ->  WGS84 " the reverse. Each handler reads the point in the tab's input
// mode (geographic degrees-minutes-seconds with a west/east button, or UTM easting,
// northing and zone 29-31), writes the same point into the tab's other input frame,
// and writes the transformed latitude, longitude (degrees, minutes, seconds), height
// above the ellipsoid (metres) and UTM easting, northing (metres) and zone into the
// tab's result labels, one after the other in that order. Tab 0 also writes the
// altitude above sea level of the typed WGS84 point into its input frames, tab 1 that
// of its WGS84 result beside the result's height. The conversion itself
// is the core's (core/Core.h) and the result texts are its captions
// (core/Captions.h); the handlers read the fields and write the texts.
//
// A run-time error (num::RuntimeError: an overflow from a degree field beyond 16 bits, a
// zero divisor) leaves the handler at once, with the labels not yet written unchanged;
// the window reports it.
#pragma once

#include <string>

#include "core/Grids.h"
#include "form/Controls.h"
#include "form/Platform.h"

namespace convert {

// "Bursa Wolf 7p": seven-parameter Helmert with the regional set EST99, ZNW99 or BAL99
// of the point; tab 0 (WGS84 to ED50) and tab 1 (ED50 to WGS84). Outside peninsular
// Spain and the Balearic Islands the tab's out-of-area method runs instead.
void CmdED50Helmert_Click(form::FormModel& form, form::Platform& platform, core::Grids& grids);
void CmdWGS84Helmert_Click(form::FormModel& form, form::Platform& platform, core::Grids& grids);

// "Molodensky 3p": standard Molodensky with the IGN or the NIMA translation set (the
// tab's option buttons), tab 0 and tab 1. Geographic input outside UTM zones 29-31
// runs the tab's out-of-area method.
void CmdED50Molodensky_Click(form::FormModel& form, form::Platform& platform, core::Grids& grids);
void CmdWGS84Molodensky_Click(form::FormModel& form, form::Platform& platform, core::Grids& grids);

// "Rejilla IGN": the IGN's NTv2 grid (SPED2ETV2, or the user's 2009 grids), tab 0 and
// tab 1. Latitude and longitude are shifted; the height result is the typed height,
// captioned as not transformed, and the height tooltip names the grid used. Outside
// the grids the tab's out-of-area method runs; when the grid file cannot be opened,
// the results are reset and an exclamation box says why (the other methods work on).
void CmdED50Rejilla_Click(form::FormModel& form, form::Platform& platform, core::Grids& grids);
void CmdWGS84Rejilla_Click(form::FormModel& form, form::Platform& platform, core::Grids& grids);

// Out of the parameters' area: resets the latitude, longitude, height (and on tab 1
// altitude) and UTM result labels of tab 0 (ED50 results) or tab 1 (WGS84 results) to
// their initial captions, and tells the user in an exclamation box titled "Talpor".
void ShowInvalidAreaED50(form::FormModel& form, form::Platform& platform);
void ShowInvalidAreaWGS84(form::FormModel& form, form::Platform& platform);

// The user changed the typed point of tab 0 or 1 (a field, the west/east button, the
// zone, the input mode): its result labels and altitude lines are marked stale until
// a method converts the point again.
void MarkResultsStale(form::FormModel& form, int tab);

// The picture buttons Command1(0..5): the Helmert sheet (0, 2), the Molodensky sheet
// (1, 3) or the grid's sheet (4, 5) in an information box. Any other index shows nothing.
void Command1_Click(form::FormModel& form, form::Platform& platform, int index, core::Grids& grids);

// The grid's sheet: the grids in use with their files, area, EPSG code and accuracy,
// why the method is unavailable if it is, the user's folder for the 2009 grids, what
// happens to the height and to WGS84, and the IGN attribution. Opens the grids.
std::string GridSheet(core::Grids& grids);

}  // namespace convert
