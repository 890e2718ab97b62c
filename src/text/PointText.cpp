#include "text/PointText.h"

#include <algorithm>
#include <cctype>

#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <vector>

#include "geo/Utm.h"
#include "text/NumberText.h"
#include "num/RuntimeError.h"

namespace text {
namespace {

// --- Tokens ----------------------------------------------------------------------------

enum class Mark { None, Deg, Min, Sec };

struct Token {
    enum class Type { Number, Letter, Mark } type;
    std::string raw;    // Number: its digits, points and commas as written
    bool minus = false;  // Number: a "-" stood right before it
    bool plus = false;
    char letter = 0;     // Letter, upper case
    Mark mark = Mark::None;
    bool glued = false;  // nothing stood between it and the token before
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr char kDegMark = '\x01', kMinMark = '\x02', kSecMark = '\x03';

// The text with its marks as single control characters (kDegMark, kMinMark, kSecMark)
// and no-break spaces as blanks; nullopt when it holds any other character beyond ASCII.
std::optional<std::string> Simplified(std::string_view text) {
    struct Replacement {
        std::string_view from;
        char to;
    };
    static constexpr Replacement kMarks[] = {
        {"\xC2\xB0", kDegMark},      // °
        {"\xC2\xBA", kDegMark},      // º
        {"\xE2\x80\xB2", kMinMark},  // ′
        {"\xE2\x80\x99", kMinMark},  // ’
        {"\xE2\x80\xB3", kSecMark},  // ″
        {"\xE2\x80\x9D", kSecMark},  // ”
        {"''", kSecMark},
        {"'", kMinMark},
        {"\"", kSecMark},
        {"\xC2\xA0", ' '},  // no-break space
    };
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& r : kMarks) {
            if (text.substr(i).starts_with(r.from)) {
                out += r.to;
                i += r.from.size();
                replaced = true;
                break;
            }
        }
        if (replaced) continue;
        const char c = text[i++];
        if (static_cast<unsigned char>(c) >= 0x80 || (c >= kDegMark && c <= kSecMark)) return std::nullopt;
        out += c;
    }
    return out;
}

// Splits a run of digits, points and commas where a comma stands before a point: two
// numbers written with decimal points and a comma between them ("40.4168,3.7038").
void PushNumber(std::vector<Token>& tokens, std::string raw, bool minus, bool plus, bool glued) {
    const std::size_t comma = raw.find(',');
    if (comma != std::string::npos && raw.find('.', comma) != std::string::npos && comma > 0) {
        PushNumber(tokens, raw.substr(0, comma), minus, plus, glued);
        PushNumber(tokens, raw.substr(comma + 1), false, false, false);
        return;
    }
    Token t{Token::Type::Number, {}};
    t.raw = std::move(raw);
    t.minus = minus;
    t.plus = plus;
    t.glued = glued;
    tokens.push_back(std::move(t));
}

std::optional<std::vector<Token>> Tokens(std::string_view text) {
    const std::optional<std::string> simple = Simplified(text);
    if (!simple) return std::nullopt;
    const std::string& s = *simple;
    std::vector<Token> tokens;
    bool glued = false;
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        const auto startsNumber = [&](std::size_t j) {
            return j < s.size() && (IsDigit(s[j]) || (s[j] == '.' && j + 1 < s.size() && IsDigit(s[j + 1])));
        };
        if (c == ' ' || c == '\t' || c == ';' || c == '\r' || c == '\n' || c == ',') {
            // A comma between two digits belongs to a number and never gets here.
            glued = false;
            ++i;
        } else if (c == '-' || c == '+' || startsNumber(i)) {
            const bool minus = c == '-', plus = c == '+';
            if (minus || plus) {
                ++i;
                if (!startsNumber(i)) return std::nullopt;
            }
            std::string raw;
            while (i < s.size() &&
                   (IsDigit(s[i]) || s[i] == '.' || (s[i] == ',' && i + 1 < s.size() && IsDigit(s[i + 1]) &&
                                                     !raw.empty() && IsDigit(raw.back())))) {
                raw += s[i++];
            }
            PushNumber(tokens, std::move(raw), minus, plus, glued);
            glued = true;
        } else if (c == kDegMark || c == kMinMark || c == kSecMark) {
            Token t{Token::Type::Mark, {}};
            t.mark = c == kDegMark ? Mark::Deg : c == kMinMark ? Mark::Min : Mark::Sec;
            t.glued = glued;
            tokens.push_back(t);
            glued = true;
            ++i;
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            // Single letters only: a word is no part of a point.
            if (i + 1 < s.size() && ((s[i + 1] >= 'A' && s[i + 1] <= 'Z') || (s[i + 1] >= 'a' && s[i + 1] <= 'z')))
                return std::nullopt;
            Token t{Token::Type::Letter, {}};
            t.letter = static_cast<char>(c >= 'a' ? c - 'a' + 'A' : c);
            t.glued = glued;
            tokens.push_back(t);
            glued = true;
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return tokens;
}

// --- Numbers -----------------------------------------------------------------------------

// The value of a number token read as a field of that class reads it ('D' degrees,
// 'U' UTM); nullopt when it is not one number.
// A number too large for a double reads as infinity, so that every range check below
// refuses it with the message of a value out of range.
std::optional<double> ValueOf(const Token& t, char fieldClass) {
    const std::optional<std::string> plain = PlainNumberText(fieldClass, t.raw);
    if (!plain || plain->empty()) return std::nullopt;
    try {
        return text::FieldValue(*plain);
    } catch (const num::RuntimeError&) {
        return HUGE_VAL;
    }
}

// A number as written, cut for a message: "(9999999999999999999…)".
std::string Shown(const std::string& raw) {
    constexpr std::size_t kMaxShown = 20;
    return raw.size() <= kMaxShown ? raw : raw.substr(0, kMaxShown) + "…";
}

bool HasFraction(const Token& t, char fieldClass) {
    const std::optional<std::string> plain = PlainNumberText(fieldClass, t.raw);
    return plain && plain->find(',') != std::string::npos;
}

bool IsLatitudeLetter(char c) { return c == 'N' || c == 'S'; }
bool IsLongitudeLetter(char c) { return c == 'E' || c == 'W' || c == 'O'; }
bool IsHemisphereLetter(char c) { return IsLatitudeLetter(c) || IsLongitudeLetter(c); }
bool IsNegativeLetter(char c) { return c == 'S' || c == 'W' || c == 'O'; }
// Latitude bands of UTM, C to X without I and O.
bool IsBand(char c) { return c >= 'C' && c <= 'X' && c != 'I' && c != 'O'; }

PastedPoint Broken(std::string message) {
    PastedPoint p;
    p.kind = PastedPoint::Kind::Broken;
    p.message = std::move(message);
    return p;
}

// --- UTM ---------------------------------------------------------------------------------

bool IsZoneNumber(const Token& t) {
    return t.type == Token::Type::Number && !t.minus && !t.plus && !t.raw.empty() &&
           t.raw.size() <= 2 && t.raw.find_first_not_of("0123456789") == std::string::npos;
}

// Metres of six or seven digits read as the UTM fields read them.
bool IsMetres(const Token& t) {
    if (t.type != Token::Type::Number || t.minus) return false;
    const std::optional<double> v = ValueOf(t, 'U');
    return v && *v >= 1000;
}

std::optional<PastedPoint> Utm(const std::vector<Token>& t) {
    // Zone (with its band letter, glued or not) first or last, then easting and northing.
    std::size_t zoneAt, first;
    std::string band;
    const std::size_t n = t.size();
    auto bandAfter = [&](std::size_t i) {
        return i + 1 < n && t[i + 1].type == Token::Type::Letter && IsBand(t[i + 1].letter);
    };
    if (n == 3 && IsZoneNumber(t[0]) && IsMetres(t[1]) && IsMetres(t[2])) {
        zoneAt = 0, first = 1;
    } else if (n == 4 && IsZoneNumber(t[0]) && bandAfter(0) && IsMetres(t[2]) && IsMetres(t[3])) {
        zoneAt = 0, first = 2, band = std::string(1, t[1].letter);
    } else if (n == 3 && IsMetres(t[0]) && IsMetres(t[1]) && IsZoneNumber(t[2])) {
        zoneAt = 2, first = 0;
    } else if (n == 4 && IsMetres(t[0]) && IsMetres(t[1]) && IsZoneNumber(t[2]) && bandAfter(2)) {
        zoneAt = 2, first = 0, band = std::string(1, t[3].letter);
    } else {
        return std::nullopt;
    }
    const int zone = std::stoi(t[zoneAt].raw);
    if (zone < 29 || zone > 31)
        return Broken("huso fuera de rango (" + Shown(t[zoneAt].raw) + "): ha de ser 29, 30 o 31");
    if (!band.empty() && band[0] < 'N')
        return Broken("la banda " + band + " es del hemisferio sur: solo se admiten puntos del hemisferio norte");
    PastedPoint p;
    p.kind = PastedPoint::Kind::Utm;
    p.utm = {zone, band, *ValueOf(t[first], 'U'), *ValueOf(t[first + 1], 'U')};
    for (std::size_t i : {first, first + 1})
        if (!std::isfinite(*ValueOf(t[i], 'U')))
            return Broken("coordenada fuera de rango (" + Shown(t[i].raw) + ")");
    return p;
}

// --- Geographic --------------------------------------------------------------------------

struct Group {
    std::vector<const Token*> numbers;
    std::vector<Mark> marks;  // the mark after each number (None when it has none)
    char letter = 0;
};

// One coordinate from its numbers: degrees; degrees and minutes; or degrees, minutes and
// seconds, by their marks or in that order. Only the last one may have decimals.
std::optional<PastedPoint> Coordinate(const Group& g, bool latitude, SexagesimalAngle& out) {
    const std::size_t n = g.numbers.size();
    if (n == 0 || n > 3) return PastedPoint{};
    // The part each number gives: 0 degrees, 1 minutes, 2 seconds.
    std::vector<int> part(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Mark m = g.marks[i];
        part[i] = m == Mark::Deg ? 0 : m == Mark::Min ? 1 : m == Mark::Sec ? 2 : static_cast<int>(i);
        if (i > 0 && part[i] <= part[i - 1]) return PastedPoint{};
    }
    if (part[0] != 0) return PastedPoint{};
    for (std::size_t i = 1; i < n; ++i)
        if (g.numbers[i]->minus || g.numbers[i]->plus) return PastedPoint{};

    double parts[3] = {0, 0, 0};
    for (std::size_t i = 0; i < n; ++i) {
        const std::optional<double> v = ValueOf(*g.numbers[i], 'D');
        if (!v) return Broken("número mal escrito (" + Shown(g.numbers[i]->raw) + ")");
        if (i + 1 < n && HasFraction(*g.numbers[i], 'D'))
            return Broken("solo el último número de una coordenada puede llevar decimales (" +
                          Shown(g.numbers[i]->raw) + ")");
        parts[part[i]] = *v;
    }
    if (parts[0] > (latitude ? 90 : 180) ||
        (parts[0] == (latitude ? 90 : 180) && (parts[1] > 0 || parts[2] > 0)))
        return Broken(std::string(latitude ? "latitud" : "longitud") + " fuera de rango (" +
                      Shown(g.numbers[0]->raw) + ")");
    if (parts[1] >= 60) return Broken("minutos fuera de rango (" + Shown(g.numbers[1]->raw) + ")");
    if (parts[2] >= 60) return Broken("segundos fuera de rango (" + Shown(g.numbers[n - 1]->raw) + ")");

    const bool minus = g.numbers[0]->minus;
    if (minus && g.letter != 0) return Broken("la coordenada lleva signo y letra a la vez");
    const bool negative = minus || IsNegativeLetter(g.letter);
    if (n == 1) {
        out = ToSexagesimal(parts[0]);
    } else {
        out.deg = static_cast<int>(parts[0]);
        const double minutes = parts[1];
        out.min = static_cast<int>(std::floor(minutes));
        out.sec = parts[2] + (minutes - out.min) * 60;
    }
    out.negative = negative;
    return std::nullopt;
}

std::optional<std::vector<Group>> Groups(const std::vector<Token>& t) {
    std::vector<Group> groups;
    const bool prefix = t.front().type == Token::Type::Letter;
    const bool suffix = !prefix && t.back().type == Token::Type::Letter;
    const bool degreeMarks = [&] {
        for (const Token& k : t)
            if (k.type == Token::Type::Mark && k.mark == Mark::Deg) return true;
        return false;
    }();
    bool close = false;  // suffix style: the last group has its letter, the next number opens one
    for (std::size_t i = 0; i < t.size(); ++i) {
        const Token& k = t[i];
        if (k.type == Token::Type::Letter) {
            if (!IsHemisphereLetter(k.letter)) return std::nullopt;
            if (prefix) {
                groups.push_back({});
                groups.back().letter = k.letter;
            } else {
                if (groups.empty() || groups.back().letter != 0) return std::nullopt;
                groups.back().letter = k.letter;
                close = true;
            }
        } else if (k.type == Token::Type::Mark) {
            if (groups.empty() || groups.back().numbers.empty() || groups.back().marks.back() != Mark::None)
                return std::nullopt;
            groups.back().marks.back() = k.mark;
        } else {
            const bool opens = groups.empty() || (suffix && close) ||
                               (!prefix && !suffix && degreeMarks && i + 1 < t.size() &&
                                t[i + 1].type == Token::Type::Mark && t[i + 1].mark == Mark::Deg &&
                                !groups.back().numbers.empty());
            if (prefix && groups.empty()) return std::nullopt;
            if (opens) groups.push_back({});
            close = false;
            groups.back().numbers.push_back(&k);
            groups.back().marks.push_back(Mark::None);
        }
    }
    // Plain numbers: the first half is the latitude.
    if (!prefix && !suffix && !degreeMarks && groups.size() == 1) {
        std::vector<const Token*> all = groups[0].numbers;
        for (Mark m : groups[0].marks)
            if (m != Mark::None) return std::nullopt;
        if (all.size() % 2 != 0) return std::nullopt;
        const std::size_t half = all.size() / 2;
        groups.assign(2, {});
        for (std::size_t i = 0; i < all.size(); ++i) {
            groups[i < half ? 0 : 1].numbers.push_back(all[i]);
            groups[i < half ? 0 : 1].marks.push_back(Mark::None);
        }
    }
    if (groups.size() != 2 || groups[0].numbers.empty() || groups[1].numbers.empty())
        return std::nullopt;
    return groups;
}

PastedPoint Geographic(const std::vector<Token>& t) {
    const std::optional<std::vector<Group>> groups = Groups(t);
    if (!groups) return {};
    const Group* latGroup = &(*groups)[0];
    const Group* lonGroup = &(*groups)[1];
    const char a = latGroup->letter, b = lonGroup->letter;
    if ((IsLatitudeLetter(a) && IsLatitudeLetter(b)) || (IsLongitudeLetter(a) && IsLongitudeLetter(b)))
        return Broken(IsLatitudeLetter(a) ? "hay dos latitudes y ninguna longitud"
                                          : "hay dos longitudes y ninguna latitud");
    if (IsLongitudeLetter(a) || IsLatitudeLetter(b)) std::swap(latGroup, lonGroup);

    // Two plain numbers are decimal degrees only when one has decimals: "40 25" is no point.
    if (a == 0 && b == 0 && latGroup->numbers.size() == 1 && lonGroup->numbers.size() == 1 &&
        latGroup->marks[0] == Mark::None && lonGroup->marks[0] == Mark::None &&
        !HasFraction(*latGroup->numbers[0], 'D') && !HasFraction(*lonGroup->numbers[0], 'D'))
        return {};

    // Four plain numbers with decimals are two points in decimal degrees, not one.
    if (a == 0 && b == 0 && latGroup->numbers.size() == 2 && lonGroup->numbers.size() == 2) {
        bool allDecimal = true;
        for (const Group* g : {latGroup, lonGroup})
            for (std::size_t i = 0; i < 2; ++i)
                allDecimal = allDecimal && g->marks[i] == Mark::None && HasFraction(*g->numbers[i], 'D');
        if (allDecimal) return Broken("el texto lleva dos puntos: pegue uno solo");
    }

    PastedPoint p;
    if (auto bad = Coordinate(*latGroup, true, p.lat)) return *bad;
    if (auto bad = Coordinate(*lonGroup, false, p.lon)) return *bad;
    p.kind = PastedPoint::Kind::Geographic;
    return p;
}


}  // namespace

PastedPoint ParsePoint(std::string_view text) {
    const std::optional<std::vector<Token>> tokens = Tokens(text);
    if (!tokens || tokens->empty()) return {};
    if (auto utm = Utm(*tokens)) return *utm;
    return Geographic(*tokens);
}

namespace {

std::string_view Trimmed(std::string_view t) {
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front()))) t.remove_prefix(1);
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.remove_suffix(1);
    return t;
}

// A whole decimal number: an optional sign, digits, and `decimal` with more digits.
std::optional<double> PlainNumber(std::string_view t, char decimal) {
    t = Trimmed(t);
    std::string c(t);
    std::size_t i = c.empty() || (c[0] != '-' && c[0] != '+') ? 0 : 1;
    bool digits = false, point = false;
    for (; i < c.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(c[i]))) digits = true;
        else if (c[i] == decimal && !point) point = true, c[i] = '.';
        else return std::nullopt;
    }
    if (!digits) return std::nullopt;
    double v = 0;  // from_chars: the C locale's decimal point whatever the user's
    const char* first = c.data() + (c[0] == '+' ? 1 : 0);
    if (std::from_chars(first, c.data() + c.size(), v).ec != std::errc()) return std::nullopt;
    return v;
}

std::vector<std::string_view> Split(std::string_view t, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t at; (at = t.find(separator)) != std::string_view::npos; t.remove_prefix(at + 1))
        parts.push_back(t.substr(0, at));
    parts.push_back(t);
    return parts;
}

PastedPoint BrokenPoint(std::string message) {
    PastedPoint p;
    p.kind = PastedPoint::Kind::Broken;
    p.message = std::move(message);
    return p;
}

// Latitude and longitude in decimal degrees, and the altitude when there is one.
PastedPoint Wgs84Point(double lat, double lon, std::optional<double> altitude) {
    if (std::fabs(lat) > 90) return BrokenPoint("latitud de más de 90º (" + DecimalText(lat, 6) + ")");
    if (std::fabs(lon) > 180) return BrokenPoint("longitud de más de 180º (" + DecimalText(lon, 6) + ")");
    PastedPoint p;
    p.kind = PastedPoint::Kind::Geographic;
    p.lat = ToSexagesimal(lat);
    p.lon = ToSexagesimal(lon);
    p.altitude = altitude;
    return p;
}

// "lat<sep>lon" or "lat<sep>lon<sep>alt" in decimal degrees with a decimal point.
std::optional<PastedPoint> NumbersPoint(std::string_view text, char separator, bool altitudeAllowed) {
    const std::vector<std::string_view> parts = Split(text, separator);
    if (parts.size() < 2 || parts.size() > (altitudeAllowed ? 3u : 2u)) return std::nullopt;
    const std::optional<double> lat = PlainNumber(parts[0], '.'), lon = PlainNumber(parts[1], '.');
    std::optional<double> altitude;
    if (parts.size() == 3 && !(altitude = PlainNumber(parts[2], '.'))) return std::nullopt;
    if (!lat || !lon) return std::nullopt;
    return Wgs84Point(*lat, *lon, altitude);
}

// %2C as ",", and so on: the addresses web maps copy.
std::string PercentDecoded(std::string_view t) {
    std::string out;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '%' && i + 2 < t.size() && std::isxdigit(static_cast<unsigned char>(t[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(t[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(t.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += t[i];
        }
    }
    return out;
}

// The value of a query parameter ("mlat" in "?mlat=40.4&mlon=-3.7"), up to the next
// parameter or fragment.
std::optional<std::string_view> Parameter(std::string_view url, std::string_view name) {
    for (std::size_t at = 0; (at = url.find(name, at)) != std::string_view::npos; at += name.size()) {
        const bool starts = at > 0 && (url[at - 1] == '?' || url[at - 1] == '&' || url[at - 1] == '#' || url[at - 1] == ';');
        if (!starts || url.substr(at + name.size(), 1) != "=") continue;
        std::string_view value = url.substr(at + name.size() + 1);
        return value.substr(0, value.find_first_of("&#;"));
    }
    return std::nullopt;
}

// "lat,lon" as a marked place's parameter holds it, with Google's "loc:" before it and a
// label after it ("loc:40.4168,-3.7038 (Sol)", geo:'s "q=40.4168,-3.7038(Sol)").
std::optional<PastedPoint> PlaceValuePoint(std::string_view value) {
    if (value.starts_with("loc:")) value.remove_prefix(4);
    return NumbersPoint(value.substr(0, value.find('(')), ',', false);
}

// A web map's address, decoded; blanks inside its values ("query=40.4168,%20-3.7038",
// the blank people type after the comma) are the values' own. A marked place (a marker,
// a pin, a place's own point) comes before the centre of the view around it.
PastedPoint WebMapPoint(std::string_view text) {
    const std::string url = PercentDecoded(text);
    const auto pair = [](std::string_view lat, std::string_view lon) {
        return NumbersPoint(std::string(lat) + "," + std::string(lon), ',', false);
    };
    // The marked place: OpenStreetMap's marker ("mlat=40.4&mlon=-3.7"), the point of its
    // older permalinks and of "Query features" ("lat=40.4&lon=-3.7"), a Google Maps
    // place ("!3d40.4169019!4d-3.7035834"), a search or pin (Google's "query" and "q",
    // Apple's "ll", OsmAnd's "pin"), Street View's "viewpoint", a Bing pushpin
    // ("sp=point.40.4_-3.7_Sol").
    for (const auto& [latName, lonName] : {std::pair{"mlat", "mlon"}, {"lat", "lon"}}) {
        const auto lat = Parameter(url, latName), lon = Parameter(url, lonName);
        if (!lat || !lon) continue;
        if (auto p = pair(*lat, *lon)) return *p;
    }
    if (const std::size_t at = url.find("!3d"); at != std::string::npos) {
        const std::string_view rest = std::string_view(url).substr(at + 3);
        if (const std::size_t lon = rest.find("!4d"); lon != std::string_view::npos) {
            if (auto p = pair(rest.substr(0, lon), rest.substr(lon + 3, rest.substr(lon + 3).find_first_of("!?&#/"))))
                return *p;
        }
    }
    for (const char* name : {"query", "q", "ll", "pin", "viewpoint"}) {
        if (const auto value = Parameter(url, name)) {
            if (auto p = PlaceValuePoint(*value)) return *p;
        }
    }
    if (const auto sp = Parameter(url, "sp"); sp && sp->starts_with("point.")) {
        const std::vector<std::string_view> parts = Split(sp->substr(6), '_');
        if (parts.size() >= 2) {
            if (auto p = pair(parts[0], parts[1])) return *p;
        }
    }
    // Google Maps' search or place named by the point typed into its search box:
    // ".../maps/search/40.4168,+-3.7038", ".../maps/place/40°25'00.5"N+3°42'13.7"W/@...".
    for (const std::string_view path : {"/maps/search/", "/maps/place/"}) {
        if (const std::size_t at = url.find(path); at != std::string::npos) {
            std::string name = url.substr(at + path.size());
            name = name.substr(0, name.find_first_of("/?#&"));
            std::replace(name.begin(), name.end(), '+', ' ');
            if (PastedPoint p = ParsePoint(name); p.kind == PastedPoint::Kind::Geographic) return p;
        }
    }
    // A route ("/maps/dir/40.4,-3.7/41.4,2.2/@..."): its points are several, and the view's
    // centre none of them.
    if (url.find("/maps/dir/") != std::string::npos)
        return BrokenPoint("la dirección es una ruta, con más de un punto: pegue uno solo");
    // The view's centre: OpenStreetMap's "#map=15/40.4/-3.7", "center" and "sll",
    // Bing's "cp=40.4~-3.7", Google Maps' ".../@40.4168,-3.7038,15z".
    if (const auto map = Parameter(url, "map")) {
        const std::vector<std::string_view> parts = Split(*map, '/');
        if (parts.size() == 3) {
            if (auto p = pair(parts[1], parts[2])) return *p;
        }
    }
    for (const char* name : {"center", "sll"}) {
        if (const auto value = Parameter(url, name)) {
            if (auto p = NumbersPoint(*value, ',', false)) return *p;
        }
    }
    if (const auto cp = Parameter(url, "cp")) {
        if (auto p = NumbersPoint(*cp, '~', false)) return *p;
    }
    if (const std::size_t at = url.find("/@"); at != std::string::npos) {
        const std::vector<std::string_view> parts = Split(std::string_view(url).substr(at + 2), ',');
        if (parts.size() >= 2) {
            if (auto p = pair(parts[0], parts[1])) return *p;
        }
    }
    return BrokenPoint("la dirección no lleva la latitud y la longitud de un punto");
}

// A UTM point as Spanish survey and council listings write it, "UTM 30 X=440291
// Y=4474254", "UTM huso 30, X = 440.291; Y = 4.474.254": the words and the labels of
// easting and northing taken away, what is left read by ParsePoint; nullopt for any
// other text, or when that is no UTM point.
std::optional<PastedPoint> SurveyListingPoint(std::string_view text) {
    std::string lower;
    for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!lower.starts_with("utm ")) return std::nullopt;
    std::string_view rest = std::string_view(lower).substr(4);
    while (rest.starts_with(" ")) rest.remove_prefix(1);
    if (rest.starts_with("huso ") || rest.starts_with("zona ")) rest.remove_prefix(5);
    std::string plain;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == 'x' || rest[i] == 'y') {
            std::size_t j = i + 1;
            while (j < rest.size() && rest[j] == ' ') ++j;
            if (j < rest.size() && (rest[j] == '=' || rest[j] == ':')) {
                plain += ' ';
                i = j;
                continue;
            }
        }
        plain += rest[i];
    }
    PastedPoint p = ParsePoint(plain);
    if (p.kind != PastedPoint::Kind::Utm) return std::nullopt;
    return p;
}

}  // namespace

PastedPoint ParsePastedPoint(std::string_view text) {
    const std::string_view t = Trimmed(text);
    std::string lower;
    for (char c : t.substr(0, 8)) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.starts_with("geo:")) {
        // geo:lat,lon[,alt][;crs=wgs84][;u=uncertainty]
        std::string_view rest = t.substr(4);
        const std::string_view coordinates = rest.substr(0, rest.find_first_of(";?"));
        const std::string params = PercentDecoded(rest.substr(coordinates.size()));
        if (const auto crs = Parameter(params, "crs")) {
            std::string name(*crs);
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (name != "wgs84") return BrokenPoint("enlace geo: en el sistema «" + std::string(*crs) + "»; se admite wgs84");
        }
        // Android's "geo:0,0?q=lat,lon(label)": the point is the query's.
        if (const auto q = Parameter(params, "q"); q && coordinates == "0,0") {
            if (auto p = PlaceValuePoint(*q)) return *p;
        }
        if (auto p = NumbersPoint(coordinates, ',', true)) return *p;
        return BrokenPoint("el enlace geo: no lleva latitud y longitud en grados");
    }
    if (lower.starts_with("http://") || lower.starts_with("https://")) return WebMapPoint(t);
    // A phone's "40.4168, -3.7038, 650", or with a decimal comma "40,4168; -3,7038; 650".
    if (std::count(t.begin(), t.end(), ',') == 2 && t.find('.') != std::string_view::npos) {
        if (auto p = NumbersPoint(t, ',', true); p && p->altitude) return *p;
    }
    if (std::count(t.begin(), t.end(), ';') == 2) {
        std::string points(t);
        std::replace(points.begin(), points.end(), ',', '.');
        if (auto p = NumbersPoint(points, ';', true); p && p->altitude) return *p;
    }
    if (auto listing = SurveyListingPoint(t)) return *listing;
    return ParsePoint(text);
}

std::optional<SexagesimalAngle> ParseDecimalDegrees(std::string_view text, bool latitude) {
    const std::optional<std::vector<Token>> tokens = Tokens(text);
    if (!tokens || tokens->empty()) return std::nullopt;
    const Token* number = nullptr;
    char letter = 0;
    for (const Token& t : *tokens) {
        if (t.type == Token::Type::Number) {
            if (number != nullptr) return std::nullopt;
            number = &t;
        } else if (t.type == Token::Type::Letter) {
            const bool fits = latitude ? IsLatitudeLetter(t.letter) : IsLongitudeLetter(t.letter);
            if (!fits || letter != 0) return std::nullopt;
            letter = t.letter;
        } else if (t.mark != Mark::Deg || number == nullptr) {
            return std::nullopt;
        }
    }
    if (number == nullptr || !HasFraction(*number, 'D')) return std::nullopt;
    if (number->minus && letter != 0) return std::nullopt;
    const std::optional<double> v = ValueOf(*number, 'D');
    if (!v || *v > (latitude ? 90 : 180)) return std::nullopt;
    SexagesimalAngle a = ToSexagesimal(*v);
    a.negative = number->minus || IsNegativeLetter(letter);
    return a;
}

SexagesimalAngle WithRoundedSeconds(SexagesimalAngle a, double roundedSec) {
    a.sec = roundedSec;
    if (a.sec >= 60) {
        a.sec = 0;
        a.min += 1;
    }
    if (a.min >= 60) {
        a.min -= 60;
        a.deg += 1;
    }
    return a;
}

SexagesimalAngle ToSexagesimal(double degrees) {
    SexagesimalAngle a;
    a.negative = degrees < 0;
    const double v = std::fabs(degrees);
    a.deg = static_cast<int>(std::floor(v));
    const double minutes = (v - a.deg) * 60;
    a.min = static_cast<int>(std::floor(minutes));
    a.sec = (minutes - a.min) * 60;
    return a;
}

std::string DecimalDegreesText(double lat, double lon) { return DecimalText(lat, 8) + ", " + DecimalText(lon, 8); }

void AppendDegreesMinutes(std::string& out, double degrees, bool latitude) {
    // Whole hundred-thousandths of a minute, so that 59,999996' carries into the degree.
    const auto units = static_cast<std::int64_t>(std::llround(std::fabs(degrees) * 60 * 100000));
    const std::int64_t minutes = units % (60 * 100000);
    const bool positive = units == 0 || degrees >= 0;
    if (units < 0) {  // no angle: what the text of its digits would be
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, "%05lld", static_cast<long long>(minutes % 100000));
        out += std::string(latitude ? (positive ? "N" : "S") : (positive ? "E" : "W")) + " " +
               std::to_string(units / (60 * 100000)) + "º " + std::to_string(minutes / 100000) + "," + fraction + "'";
        return;
    }
    char text[48];
    char* p = text;
    *p++ = latitude ? (positive ? 'N' : 'S') : (positive ? 'E' : 'W');
    *p++ = ' ';
    p = std::to_chars(p, text + sizeof text, units / (60 * 100000)).ptr;
    p = std::copy_n("º ", 3, p);  // º is two bytes
    p = std::to_chars(p, text + sizeof text, minutes / 100000).ptr;
    *p++ = ',';
    std::int64_t fraction = minutes % 100000;
    for (int i = 4; i >= 0; --i, fraction /= 10) p[i] = static_cast<char>('0' + fraction % 10);
    p += 5;
    *p++ = '\'';
    out.append(text, p);
}

std::string DegreesMinutesText(double lat, double lon) {
    std::string text;
    AppendDegreesMinutes(text, lat, true);
    text += ' ';
    AppendDegreesMinutes(text, lon, false);
    return text;
}

void SetDegreesTexts(CopyTexts& texts, double lat, double lon) {
    texts.decimalDegrees = DecimalDegreesText(lat, lon);
    texts.degreesMinutes = DegreesMinutesText(lat, lon);
}

std::string UtmPointText(std::string_view zoneText, double E, double N) {
    return std::string(zoneText) + " " + DecimalText(E, 2) + " " + DecimalText(N, 2);
}

void SetUtmText(CopyTexts& texts, double lat, std::string_view zoneText, double E, double N) {
    texts.utm.clear();
    texts.utmRefusal.clear();
    if (geo::InUtmLatitudes(lat)) texts.utm = UtmPointText(zoneText, E, N);
    else texts.utmRefusal = "Este punto no tiene coordenadas UTM: la proyección UTM solo abarca de 80º S a 84º N.";
}

std::string DecimalText(double v, int decimals) {
    std::string text;
    AppendDecimalText(text, v, decimals);
    return text;
}

void AppendDecimalText(std::string& out, double v, int decimals) {
    static constexpr double kPow10[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    // |v| 10^decimals is computed within 2^-53 of itself: farther than 1e-14 of it from a
    // half, it rounds as the exact value does. Nearer, and beyond 2^50, the exact digits.
    const double t = std::fabs(v) * kPow10[std::clamp(decimals, 0, 8)];
    const double whole = std::floor(t);
    const double fraction = t - whole;
    if (decimals >= 0 && decimals <= 8 && t < 0x1p50 && std::fabs(fraction - 0.5) > 1e-14 * std::max(t, 1.0)) {
        const auto q = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
        char text[32];
        char* end = text + sizeof text;
        char* p = end;
        std::uint64_t rest = q;
        for (int i = 0; i < decimals; ++i, rest /= 10) *--p = static_cast<char>('0' + rest % 10);
        if (decimals > 0) *--p = '.';
        do {
            *--p = static_cast<char>('0' + rest % 10);
            rest /= 10;
        } while (rest != 0);
        if (q != 0 && v < 0) *--p = '-';  // no "-0"
        out.append(p, end);
        return;
    }
    if (v == 0) v = 0;  // no "-0"
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
    std::string_view text(buffer, ec == std::errc() ? end : buffer);
    // A value that rounds to zero is written without its sign.
    if (text.starts_with('-') && text.find_first_not_of("-0.") == std::string_view::npos) text.remove_prefix(1);
    out.append(text);
}

}  // namespace text
