// What the Helmert and the Molodensky buttons of a conversion tab share: the tab's
// controls, reading the typed point, writing it into the other input frame, and the
// result captions. Private to the conversion workflows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "form/Controls.h"
#include "form/Platform.h"
#include "geo/Ellipsoid.h"
#include "geo/Utm.h"

namespace convert::detail {

// Tab 0 converts WGS84 to ED50, tab 1 ED50 to WGS84.
enum class Tab { WGS84ToED50 = 0, ED50ToWGS84 = 1 };

// The controls one conversion tab reads and writes.
struct TabControls {
    app::Control& latDeg;  // latitude degrees, minutes, seconds (always north)
    app::Control& latMin;
    app::Control& latSec;
    app::Control& lonDeg;  // longitude degrees, minutes, seconds
    app::Control& lonMin;
    app::Control& lonSec;
    app::Control& west;  // longitude hemisphere buttons
    app::Control& east;
    app::Control& geoHeight;  // height (metres) of the geographic frame
    app::Control& utmE;       // easting, northing (metres) and zone list of the UTM frame
    app::Control& utmN;
    app::Control& zoneList;
    app::Control& utmHeight;  // height (metres) of the UTM frame
    app::Control& resLat;     // result labels
    app::Control& resLon;
    app::Control& resHeight;
    app::Control& resE;
    app::Control& resN;
    app::Control& resZone;
};

TabControls ControlsOf(app::FormModel& form, Tab tab);

// Tab 0 reads UTM unless OptUTM(0) is selected; tab 1 reads UTM when OptCoord(0) is.
bool IsUtmInput(const app::FormModel& form, Tab tab);

// Ellipsoid of the typed point (source) and of the results (target).
const mGeo::Ellipsoid& SourceEllipsoid(Tab tab);
const mGeo::Ellipsoid& TargetEllipsoid(Tab tab);

// Whole degrees or minutes in a field: its number to 16 bits, halves to even. Throws
// the overflow error beyond −32768..32767.
std::int16_t IntegerValue(const app::Control& field);

// Latitude (decimal degrees, north) and longitude (decimal degrees, negative when the
// west button is selected) from the degree, minute and second fields. With
// `roundSeconds` the seconds are first rounded to 4 decimals, halves to even.
double ReadLatitude(const TabControls& c, bool roundSeconds);
double ReadLongitude(const TabControls& c, bool roundSeconds);

// Zone number from the selected item of the zone list (no thousands handling).
std::int16_t ZoneOfList(const app::Control& list);

// Writes the projected point (metres) into the UTM fields with "#,##0.00", rounded to
// 2 decimals first when `round`, and selects the list item of its zone. Answers false
// when the zone is not 29, 30 or 31; the list then shows "30".
bool MirrorToUTM(const TabControls& c, const mGeo::UTMPoint& p, bool round);

// Writes a point (decimal degrees) into the degree, minute and second fields (seconds
// with "#,##0.0000", rounded to 4 decimals first when `roundSeconds`) and selects the
// west button for a negative longitude, the east one otherwise.
void MirrorToGeographic(app::FormModel& form, const TabControls& c, mGeo::LatLon p,
                        bool roundSeconds);

// The point typed on a tab, on the tab's source ellipsoid: latitude and longitude
// (decimal degrees, north and east positive) and height (metres); for UTM input also
// the easting, northing (metres) and zone as read.
struct TypedPoint {
    double lat = 0;
    double lon = 0;
    double h = 0;
    bool utm = false;
    double E = 0;
    double N = 0;
    std::int16_t zone = 0;
};

// Reads the point in the tab's input mode and writes it into the tab's other input
// frame, the height text included. Geographic input on tab 0 also sets the tooltips of
// the degree fields. With `round`, typed seconds are rounded to 4 decimals and the
// mirrored eastings, northings and seconds are rounded before they are formatted.
// Geographic input outside zones 29-31 runs the tab's out-of-area method and answers
// nothing.
std::optional<TypedPoint> ReadTypedPoint(app::FormModel& form, app::Platform& platform,
                                         const TabControls& c, Tab tab, bool round);

// Result captions: 40º 25' 3,1234" N, 3º 42' 4,5678" W (east from longitude 0 on),
// "Altura sobre el elipsoide = 650,3" + suffix, and the three UTM lines.
std::string LatitudeCaption(double lat);
std::string LongitudeCaption(double lon);
std::string HeightCaption(double h, std::string_view accuracy);
void WriteUTMResult(const TabControls& c, const mGeo::UTMPoint& p, std::string_view accuracyE,
                    std::string_view accuracyN);

// The out-of-area method of the tab: resets its latitude, longitude and UTM results
// and tells the user.
void ShowInvalidArea(app::FormModel& form, app::Platform& platform, Tab tab);

}  // namespace convert::detail
