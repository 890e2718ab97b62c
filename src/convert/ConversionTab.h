// What the conversion buttons of a conversion tab share: the tab's
// controls, reading the typed point, writing it into the other input frame, and the
// click itself: read the fields, convert with the core (core/Core.h), write the
// captions (core/Captions.h). Private to the conversion workflows.
#pragma once

#include <cstdint>
#include <vector>

#include "core/Core.h"
#include "core/Grids.h"
#include "form/Controls.h"
#include "form/Platform.h"
#include "geo/Utm.h"

namespace convert::detail {

// A conversion tab is named by its direction: tab 0 WGS84 -> ED50, tab 1 ED50 -> WGS84.
using Tab = core::Direction;

// The controls one conversion tab reads and writes.
struct TabControls {
    form::Control& latDeg;  // latitude degrees, minutes, seconds (always north)
    form::Control& latMin;
    form::Control& latSec;
    form::Control& lonDeg;  // longitude degrees, minutes, seconds
    form::Control& lonMin;
    form::Control& lonSec;
    form::Control& west;  // longitude hemisphere buttons
    form::Control& east;
    form::Control& geoHeight;  // height (metres) of the geographic frame
    form::Control& utmE;       // easting, northing (metres) and zone list of the UTM frame
    form::Control& utmN;
    form::Control& zoneList;
    form::Control& utmHeight;  // height (metres) of the UTM frame
    form::Control& resLat;     // result labels
    form::Control& resLon;
    form::Control& resHeight;
    form::Control& resE;
    form::Control& resN;
    form::Control& resZone;
    // Altitude lines: tab 0 has one in each input frame (of the typed WGS84 point),
    // tab 1 one beside its result height; nullptr where the tab has none.
    form::Control* geoAltitude = nullptr;
    form::Control* utmAltitude = nullptr;
    form::Control* resAltitude = nullptr;
    // The warning of a point that lands outside Spain (PlaceWarning); "" otherwise.
    form::Control* place = nullptr;
    // The tab's "sobre el mar" option: the typed heights are altitudes above mean sea level.
    bool altitude = false;
};

TabControls ControlsOf(form::FormModel& form, Tab tab);

// Whole degrees or minutes in a field: its number to 16 bits, halves to even. Throws
// the overflow error beyond −32768..32767.
std::int16_t IntegerValue(const form::Control& field);

// Latitude (decimal degrees, north) and longitude (decimal degrees, negative when the
// west button is selected) from the degree, minute and second fields. With
// `roundSeconds` the seconds are first rounded to 4 decimals, halves to even.
double ReadLatitude(const TabControls& c, bool roundSeconds);
double ReadLongitude(const TabControls& c, bool roundSeconds);

// Zone number from the selected item of the zone list (no thousands handling).
std::int16_t ZoneOfList(const form::Control& list);

// Writes the projected point (metres) into the UTM fields with "#,##0.00", rounded to
// 2 decimals first when `round`, and selects the list item of its zone; outside zones
// 29-31 the list shows "30".
void MirrorToUTM(const TabControls& c, const geo::UTMPoint& p, bool round);

// Writes a point (decimal degrees) into the degree, minute and second fields (seconds
// with "#,##0.0000", rounded to 4 decimals first when `roundSeconds`) and selects the
// west button for a negative longitude, the east one otherwise.
void MirrorToGeographic(form::FormModel& form, const TabControls& c, geo::LatLon p,
                        bool roundSeconds);

// The button's method: Helmert, Molodensky with the set of the tab's option buttons,
// or the IGN grid.
struct Method {
    enum Kind { Helmert, Molodensky, Grid } kind = Helmert;
    core::MolodenskySet set = core::MolodenskySet::NIMA;  // Molodensky only
};

// A conversion button's click on its tab. Reads the point in the tab's input mode,
// writes it into the tab's other input frame, the height text included, and writes
// the results; outside the method's area the tab's out-of-area method runs instead.
// Geographic input on tab 0 also sets the tooltips of the degree fields. With
// `round`, typed seconds are rounded to 4 decimals and the mirrored eastings,
// northings and seconds are rounded before they are formatted.
//
// The altitudes come from grids.Geoid(). On tab 0 both input frames show the altitude
// of the typed point once the click has read it (a frame that was not given the
// point's height, the UTM frame outside zones 29-31, shows the initial line); on tab
// 1 the altitude of the result follows its height.
//
// Every text is written as soon as its value is known, so a run-time error leaves
// the click at once with the texts not yet written unchanged: the typed fields are
// read first, then the mirror is written, then the height is read, then the latitude,
// longitude, height (and altitude) captions are written, then the three UTM lines.
// On tab 0 the typed point's altitude is written as soon as the point and its height
// are read.
void ConvertClick(form::FormModel& form, form::Platform& platform, core::Grids& grids, Tab tab,
                  const Method& method, bool round);

// With the tab's "sobre el mar" option (TabControls::altitude) a click takes the typed
// height as an altitude H (EGM08-REDNAP) and converts the height above the source
// ellipsoid it stands for (core::HeightOfAltitude); the grid, which moves no height,
// carries H itself. Tab 0's altitude lines then show H, tab 1's the altitude of the
// result, H again. A point off the geoid gets a box and the tab's results are reset.
// An empty height field is a point without height: converted at 0 m, its height and
// altitude lines say "sin altura".

// The out-of-area method of the tab: resets its results (ResetResults) and tells the
// user.
void ShowInvalidArea(form::FormModel& form, form::Platform& platform, Tab tab);

// Resets the latitude, longitude, height, altitude and UTM results of the tab to their
// initial captions, with no tooltip.
void ResetResults(form::FormModel& form, Tab tab);

// The result labels and altitude lines of a tab: what goes stale when its point changes.
std::vector<form::Control*> ResultLabels(const TabControls& c);

}  // namespace convert::detail
