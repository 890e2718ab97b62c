#include "convert/CopyTexts.h"

#include <string_view>
#include <vector>

#include "core/Captions.h"
#include "convert/ConversionTab.h"
#include "convert/InputMode.h"
#include "fields/Fields.h"
#include "text/PointText.h"
#include "fields/mText.h"
#include "geo/Utm.h"

namespace convert {
namespace {

using detail::Tab;

// The conversion frame a control belongs to, as "Frame5(0)", and its tab.
struct Frame {
    std::string name;
    int tab = -1;
    bool result = false;
};

std::optional<Frame> FrameOf(form::FormModel& form, const form::Control& control) {
    static constexpr struct {
        std::string_view name;
        int tab;
        bool result;
    } kFrames[] = {{"Frame5(0)", 0, true}, {"Frame6", 0, true},  {"Frame1(1)", 1, true},
                   {"Frame4", 1, true},    {"Frame1(0)", 0, false}, {"Frame7", 0, false},
                   {"Frame9(1)", 1, false}, {"Frame2", 1, false}};
    for (const form::Control* c = &control; c != nullptr; c = form.Container(*c)) {
        const std::string text = c->id.Text();
        for (const auto& f : kFrames)
            if (text == f.name) return Frame{text, f.tab, f.result};
    }
    return std::nullopt;
}

std::string Lines(std::initializer_list<std::string> lines) {
    std::string out;
    for (const std::string& line : lines) {
        if (!out.empty()) out += "\n";
        out += line;
    }
    return out;
}

CopyTexts ResultTexts(form::FormModel& form, Tab tab) {
    const detail::TabControls c = detail::ControlsOf(form, tab);
    CopyTexts t;
    if (c.resLat.stale) return t;  // the previous point's: nothing to copy until converted again
    t.result = Lines({"Latitud Ø = " + c.resLat.text, "Longitud λ= " + c.resLon.text, c.resHeight.text,
                      c.resE.text, c.resN.text, c.resZone.text});
    if (!c.resHeight.toolTip.empty()) t.result += "\n" + c.resHeight.toolTip;
    if (!c.resLat.values.empty() && !c.resLon.values.empty())
        text::SetDegreesTexts(t, c.resLat.values[0], c.resLon.values[0]);
    const std::string_view zone = std::string_view(c.resZone.text).substr(c.resZone.text.find(' ') + 1);
    if (!c.resLat.values.empty() && !c.resE.values.empty() && !c.resN.values.empty())
        text::SetUtmText(t, c.resLat.values[0], zone, c.resE.values[0], c.resN.values[0]);
    return t;
}

CopyTexts InputTexts(form::FormModel& form, Tab tab, const std::string& frame) {
    const detail::TabControls c = detail::ControlsOf(form, tab);
    CopyTexts t;
    const bool geoFrame = frame == "Frame1(0)" || frame == "Frame9(1)";
    // The clicked frame's lines as shown.
    if (geoFrame) {
        const auto dms = [](const form::Control& d, const form::Control& m, const form::Control& s) {
            return d.text + "º " + m.text + "' " + s.text + "\"";
        };
        t.result = Lines({"Latitud " + dms(c.latDeg, c.latMin, c.latSec) + " N",
                          "Longitud " + dms(c.lonDeg, c.lonMin, c.lonSec) +
                              (c.west.value ? " W" : " E"),
                          "Altura (m)= " + c.geoHeight.text});
    } else {
        t.result = Lines({"E= " + c.utmE.text, "N= " + c.utmN.text, "Huso = " + c.zoneList.ListText(),
                          "Altura (m)= " + c.utmHeight.text});
    }
    if (const std::optional<TypedPoint> p = ReadTypedPoint(form, tab)) {
        text::SetDegreesTexts(t, p->point.lat, p->point.lon);
        text::SetUtmText(t, p->point.lat, p->utm.zoneText, p->utm.E, p->utm.N);
    }
    return t;
}

}  // namespace

std::optional<TypedPoint> ReadTypedPoint(form::FormModel& form, core::Direction tab) {
    const detail::TabControls c = detail::ControlsOf(form, tab);
    const bool utmInput = tab == Tab::WGS84ToED50 ? Tab0ReadsUtm(form) : Tab1ReadsUtm(form);
    const std::vector<const form::Control*> read =
        utmInput ? std::vector<const form::Control*>{&c.utmE, &c.utmN}
                 : std::vector<const form::Control*>{&c.latDeg, &c.latMin, &c.latSec,
                                                    &c.lonDeg, &c.lonMin, &c.lonSec};
    for (const form::Control* field : read)
        if (!fields::HoldsCheckedValue(form, *field)) return std::nullopt;
    try {
        TypedPoint t;
        if (utmInput) {
            core::UtmInput p;
            p.E = text::FieldValue(c.utmE.text);
            p.N = text::FieldValue(c.utmN.text);
            p.zone = detail::ZoneOfList(c.zoneList);
            t.point = core::MirrorOf(p, tab);
            t.utm.E = p.E;
            t.utm.N = p.N;
            t.utm.zone = p.zone;
            t.utm.zoneText = std::to_string(p.zone) + geo::UTMBandLetter(t.point.lat);
        } else {
            core::GeographicInput p;
            p.lat = detail::ReadLatitude(c, true);
            p.lon = detail::ReadLongitude(c, true);
            t.point = {p.lat, p.lon};
            t.utm = core::MirrorOf(p, tab);
        }
        return t;
    } catch (const num::RuntimeError&) {
        return std::nullopt;  // a field that cannot be read
    }
}

std::optional<CopyTexts> ConversionCopyTexts(form::FormModel& form, const form::Control& control) {
    const std::optional<Frame> f = FrameOf(form, control);
    if (!f) return std::nullopt;
    const Tab tab = f->tab == 0 ? Tab::WGS84ToED50 : Tab::ED50ToWGS84;
    CopyTexts t = f->result ? ResultTexts(form, tab) : InputTexts(form, tab, f->name);
    // Tab 0 turns WGS84 into ED50, tab 1 ED50 into WGS84.
    t.datum = (f->tab == 0) == f->result ? "ED50" : "WGS84";
    return t;
}

}  // namespace convert
