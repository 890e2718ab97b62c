// Whole points as text: reading a point pasted in any of the common forms (decimal
// degrees, degrees-minutes-seconds, degrees and decimal minutes, UTM with its zone)
// and writing a point in the forms web maps and other programs take.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace text {

// An angle as the degree, minute and second fields hold it: whole degrees and minutes,
// seconds with their fraction (0 <= sec < 60), the sign apart.
struct SexagesimalAngle {
    bool negative = false;  // south or west
    int deg = 0;
    int min = 0;
    double sec = 0;
    bool operator==(const SexagesimalAngle&) const = default;
};

// A UTM point as pasted: zone number, latitude band letter ("" when none was given),
// easting and northing (metres).
struct UtmText {
    int zone = 0;
    std::string band;
    double E = 0;
    double N = 0;
    bool operator==(const UtmText&) const = default;
};

struct PastedPoint {
    enum class Kind {
        NotACoordinate,  // no whole point in a known form: left to the single-field rules
        Broken,          // looks like a point but cannot be one: `message` says why
        Geographic,      // `lat` (north positive) and `lon` (east positive)
        Utm,             // `utm`
    };
    Kind kind = Kind::NotACoordinate;
    std::string message;  // Spanish, names what is wrong: "minutos fuera de rango (75)"
    SexagesimalAngle lat, lon;
    UtmText utm;
    // Geographic: the altitude above sea level that came with the point (metres; a GPS
    // app's third number, a geo: URI's altitude).
    std::optional<double> altitude;
};

// Reads a whole point. Accepted, with "º", "°", "'", "′", "\"", "″" or "''" as marks,
// blanks or none, N/S/E/W and the Spanish O (oeste), a leading minus instead of a
// letter, decimal point or decimal comma:
//   decimal degrees             "40.4168, -3.7038", "40,4168 -3,7038", "40.4168N 3.7038W"
//   degrees, minutes, seconds   "40°25'0.5\"N 3°42'13\"W", "N 40º 25' 00,5'' O 3º 42' 13''"
//   degrees and decimal minutes "N40 25.008 W3 42.228"
//   UTM                         "30T 440721 4474447", "30S 440.721,5 4.474.447,2",
//                               "440721 4474447 30"
// The first coordinate is the latitude unless a letter says otherwise. UTM eastings and
// northings are read as the UTM fields read them (points group thousands); their ranges
// are left to the fields. Broken: minutes or seconds of 60 or more, a latitude beyond 90
// or a longitude beyond 180 degrees, a zone other than 29, 30 or 31, a band of the
// southern hemisphere, two latitudes or two longitudes, a sign and a letter together,
// two points in decimal degrees ("40.4168 -3.7038 41.3874 2.1686").
PastedPoint ParsePoint(std::string_view text);

// Reads a point as it is pasted from a phone or a web map, WGS84 latitude and longitude
// in decimal degrees, then any form ParsePoint reads:
//   latitude, longitude, altitude   "40.4168, -3.7038, 650", "40,4168; -3,7038; 650"
//   geo: URI (RFC 5870)             "geo:40.4168,-3.7038", "geo:40.4168,-3.7038,650;u=35",
//                                   Android's "geo:0,0?q=40.4168,-3.7038(label)"
//   a web map's address with the point in it: OpenStreetMap ("mlat=40.4168&mlon=-3.7038",
//   "lat=40.4168&lon=-3.7038", "#map=15/40.4168/-3.7038"), Google Maps
//   ("query=40.4168,-3.7038", "q=loc:40.4168,-3.7038", "viewpoint=40.4168,-3.7038",
//   "/@40.4168,-3.7038,15z"), Apple Maps ("ll=40.4168,-3.7038"), OsmAnd
//   ("pin=40.4168,-3.7038"), Bing Maps ("cp=40.4168~-3.7038").
//   a survey listing's UTM point       "UTM 30 X=440291 Y=4474254", "UTM huso 30, X = 440.291; Y = 4.474.254"
// Broken: a geo: URI in another reference system, an address with no point in it, a
// latitude beyond 90 or a longitude beyond 180 degrees.
PastedPoint ParsePastedPoint(std::string_view text);

// A single number with decimals pasted into a degrees field: decimal degrees, with an
// optional sign, degree mark or hemisphere letter (N/S for a latitude, E/W/O for a
// longitude): "40.4166667" is 40º 25' 0,00012", "-3,7038" and "3.7038W" are west.
// nullopt for anything else (a whole number, two numbers, a letter of the other kind).
std::optional<SexagesimalAngle> ParseDecimalDegrees(std::string_view text, bool latitude);

// The angle with its seconds replaced by `roundedSec` (its seconds rounded as a field
// shows them), carried into the minutes and the degrees when they reach 60.
SexagesimalAngle WithRoundedSeconds(SexagesimalAngle a, double roundedSec);

// The sexagesimal parts of signed decimal degrees (at most 360 in size), seconds unrounded.
SexagesimalAngle ToSexagesimal(double degrees);

// Signed decimal degrees with 8 decimals and a decimal point, latitude first, the form
// web maps accept: "40.41784678, -3.69869548".
std::string DecimalDegreesText(double lat, double lon);

// A number with `decimals` decimals and a decimal point, whatever the user's locale; no
// "-0": "40.41666326".
std::string DecimalText(double v, int decimals);
// The same text appended to `out` (decimals from 0 to 8), without a string of its own.
void AppendDecimalText(std::string& out, double v, int decimals);

// "30T 440721.76 4474447.37": zone text, easting and northing (metres) with 2 decimals
// and a decimal point, no thousands separators.
std::string UtmPointText(std::string_view zoneText, double E, double N);

// Degrees and decimal minutes, the form hand-held GPS units take a point in, with a
// decimal comma and 5 decimals of a minute (1,9 cm): "N 40º 25,00820' W 3º 42,22800'".
std::string DegreesMinutesText(double lat, double lon);
// One angle of it appended to `out`: "N 40º 25,00820'" (`latitude`) or "W 3º 42,22800'".
void AppendDegreesMinutes(std::string& out, double degrees, bool latitude);

// What a copy menu gives for a frame or a result; "" where there is nothing in that form.
struct CopyTexts {
    std::string result;          // the lines of the frame(s), exactly as shown
    std::string decimalDegrees;  // DecimalDegreesText
    std::string degreesMinutes;  // DegreesMinutesText
    std::string utm;             // UtmPointText
    std::string utmRefusal;      // why there is no UTM text: the point is beyond UTM's latitudes
    std::string datum;           // of the point copied: "ED50" or "WGS84"
};

// Sets the texts of a point in degrees: decimalDegrees and degreesMinutes.
void SetDegreesTexts(CopyTexts& texts, double lat, double lon);

// Sets the UTM text of a point at latitude `lat` (degrees) whose projection is zoneText,
// E, N: utm where UTM is defined (geo::InUtmLatitudes), else utmRefusal, the sentence that
// refuses the copy, and no utm.
void SetUtmText(CopyTexts& texts, double lat, std::string_view zoneText, double E, double N);

}  // namespace text
