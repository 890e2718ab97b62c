#include "app/frmTalpor.h"

#include <fstream>
#include <sstream>

#include <algorithm>
#include <exception>
#include <new>

#include "app/About.h"
#include "app/mEntorno.h"
#include "convert/FileConversion.h"
#include "convert/Conversions.h"
#include "convert/CopyTexts.h"
#include "convert/InputMode.h"
#include "fields/Fields.h"
#include "fields/PastePoint.h"
#include "form/FrmTalporControls.h"
#include "num/RuntimeError.h"
#include "utilities/CopyTexts.h"
#include "utilities/Utilities.h"

namespace app {
namespace {

constexpr int kBackspace = 8;
// The settings that keep each conversion tab's kind of height.
constexpr const char* kHeightKindKeys[] = {"AlturaWGS84", "AlturaED50"};

// Errors that are not the system's own run-time errors get the numbers the users
// know from it: 7 for memory, 51 for any other internal failure.
struct ErrorInfo {
    int number;
    std::string description;
};

ErrorInfo Describe(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const num::RuntimeError& e) {
        return {e.Number(), e.Description()};
    } catch (const std::bad_alloc&) {
        return {7, "Memoria insuficiente"};
    } catch (const std::exception& e) {
        return {51, std::string("Error interno: ") + e.what()};
    } catch (...) {
        return {51, "Error interno"};
    }
}

// Texts are UTF-8; positions and lengths of text boxes count characters (code points).
bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

int CharCount(std::string_view s) {
    int n = 0;
    for (unsigned char c : s)
        if (!IsContinuation(c)) ++n;
    return n;
}

std::size_t ByteOffset(std::string_view s, int chars) {
    std::size_t i = 0;
    for (int n = 0; i < s.size() && n < chars; ++n) {
        ++i;
        while (i < s.size() && IsContinuation(static_cast<unsigned char>(s[i]))) ++i;
    }
    return i;
}

std::string Utf8(int codePoint) {
    std::string out;
    auto cp = static_cast<unsigned>(codePoint);
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

// Decodes the next code point of s at byte i (malformed bytes are taken as they are).
int NextCodePoint(std::string_view s, std::size_t& i) {
    auto c = static_cast<unsigned char>(s[i++]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    int cp = extra == 0 ? c : c & (0x3F >> extra);
    for (; extra > 0 && i < s.size() && IsContinuation(static_cast<unsigned char>(s[i])); --extra)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    return cp;
}

bool IsUtmField(const form::Control& c) {
    return c.kind == form::Kind::TextBox && c.id.index < 0 &&
           (c.id.name == "TxtUTMx" || c.id.name == "TxtUTMy" || c.id.name == "TxtUTMe" ||
            c.id.name == "TxtUTMn");
}

bool HasFieldEvents(const form::Control& c) {
    return c.kind == form::Kind::TextBox && (c.id.name == "TxtWGSg" || IsUtmField(c));
}

std::string HandlerName(const form::Control& c, const char* event) {
    return "frmTalpor." + c.id.name + "_" + event;
}

}  // namespace

frmTalpor::frmTalpor(form::Platform& platform) : platform_(platform) {
    form::BuildFrmTalporControls(form_);
    form_.onOptionClick = [this](form::Control& option) { OptionClick(option); };
}

core::Grids& frmTalpor::Grids() {
    if (!grids_)
        grids_ = std::make_unique<core::Grids>(
            platform_.DataFolder(), core::UserGridFolder(platform_.UserDataFolder()));
    return *grids_;
}

const convert::MapData& frmTalpor::MapData() {
    if (!mapData_) {
        std::ifstream file(platform_.DataFolder() + "/" + std::string(geo::kMapFile), std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        mapData_ = convert::MapData{geo::ReadMapLines(text.str()), geo::ReadMapAreas(text.str())};
    }
    return *mapData_;
}

convert::MapScene frmTalpor::MapOfTab(int tab, const convert::MapView& view) {
    convert::MapScene scene = convert::DrawMap(view, MapData(), Grids().Places(), convert::PointsOfTab(form_, tab));
    if (MapData().lines.empty()) scene.caption += " (sin costas: falta " + std::string(geo::kMapFile) + ")";
    return scene;
}

void frmTalpor::OpenWebMap(int tab, convert::WebMap map) {
    Guard("frmTalpor.OpenWebMap", [&] { convert::OpenWebMap(form_, platform_, tab, map); });
}

void frmTalpor::End(EndReason reason) {
    if (endReason_ == EndReason::None) endReason_ = reason;
}

// --- Start-up, activation, tabs, closing ---------------------------------------------

void frmTalpor::Form_Load() {
    try {
        RunLoad();
    } catch (...) {
        ErrorInfo e = Describe(std::current_exception());
        app::LogError(platform_, "Talpor Form_load", e.number, e.description);
        End(EndReason::Error);
    }
}

void frmTalpor::RunLoad() {
    if (platform_.PreviousInstance()) {
        // A second start brings the running window forward and ends quietly; only where
        // that instance cannot be reached is the start refused.
        if (platform_.RaiseRunningInstance()) {
            End(EndReason::HandedOver);
            return;
        }
        platform_.MsgBox("No se puede cargar el programa de nuevo", "La aplicación ya está abierta",
                         form::MsgIcon::Exclamation);
        End(EndReason::SecondInstance);
        return;
    }

    platform_.SaveSetting("Talpor", "Setting", "AppPath",
                          app::FolderWithSeparator(platform_.ProgramFolder()));

    // Regional settings are not checked: Talpor writes and reads its own numbers, with the
    // decimal comma, whatever they are.

    for (const char* name : {"CmbHuso", "CmbUsos2"}) {
        form::Control& zones = Field(name);
        for (int n = 29; n <= 31; ++n) zones.items.push_back(std::to_string(n));
        zones.listIndex = 1;
    }

    // The kind of height each conversion tab took the last time.
    for (int tab : {0, 1}) {
        if (platform_.GetSetting("Talpor", "Ventana", kHeightKindKeys[tab]) != "sobre el mar") continue;
        form_.SelectOption(form_.Get("OptAltura", 2 * tab + 1));
        convert::OptAltura_Click(form_, 2 * tab + 1);
    }

    form::Control& utc = Field("CmbUTC");
    utc.items = {"UTC-2", "UTC-1", "UTC=0", "UTC+1", "UTC+2", "UTC+3"};
    utc.listIndex = 3;

    form::DateTime now = platform_.Now();
    form::Control& calendar = Field("MonthView1");
    calendar.date = {now.year, now.month, now.day};

    form::Control& summer = Field("CmbHS");
    summer.items = {"Invierno =0", "Verano   +1"};
    int month = calendar.date.month;
    bool winter = month <= 3 || month >= 11;
    summer.listIndex = winter ? 0 : 1;
}

void frmTalpor::Form_Activate() {
    try {
        if (!app::ScreenResolutionOK(platform_, 800, 600)) {
            platform_.ResetMousePointer();
            platform_.MsgBox("Incorrecta resolución: Se requiere 800x600 o superior",
                             "Resolución del monitor", form::MsgIcon::Critical);
            End(EndReason::Screen);
        }
    } catch (...) {
        ErrorInfo e = Describe(std::current_exception());
        try {
            platform_.ResetMousePointer();
        } catch (...) {
        }
        app::LogError(platform_, "frmTalpor.Form_Activate", e.number, e.description);
        End(EndReason::Error);
    }
}

void frmTalpor::Activate() {
    if (activated_ || MustEnd()) return;
    activated_ = true;
    Form_Activate();
}

void frmTalpor::SSTab1_Click(int previousTab) {
    if (previousTab == 0) form_.SelectOption(form_.Get("OptCoord", 0));
    if (previousTab == 1) form_.SelectOption(form_.Get("OptUTM", 0));
    convert::SelectShownMode(form_, form_.Get("SSTab1").currentTab);
}

void frmTalpor::Command15_Click() { End(EndReason::Closed); }

void frmTalpor::CmdAcerca_Click() { ShowAbout(platform_); }

// --- Coordinate fields -----------------------------------------------------------------

void frmTalpor::TxtWGSg_GotFocus(int index) { fields::FieldGotFocus(form_, form_.Get("TxtWGSg", index)); }
void frmTalpor::TxtWGSg_KeyPress(int index, int& keyAscii) {
    fields::FieldKeyPress(form_, form_.Get("TxtWGSg", index), keyAscii);
}
void frmTalpor::TxtWGSg_LostFocus(int index) {
    fields::FieldLostFocus(form_, platform_, form_.Get("TxtWGSg", index));
}

void frmTalpor::TxtUTMx_GotFocus() { fields::FieldGotFocus(form_, Field("TxtUTMx")); }
void frmTalpor::TxtUTMx_KeyPress(int& keyAscii) { fields::FieldKeyPress(form_, Field("TxtUTMx"), keyAscii); }
void frmTalpor::TxtUTMx_LostFocus() { fields::FieldLostFocus(form_, platform_, Field("TxtUTMx")); }
void frmTalpor::TxtUTMy_GotFocus() { fields::FieldGotFocus(form_, Field("TxtUTMy")); }
void frmTalpor::TxtUTMy_KeyPress(int& keyAscii) { fields::FieldKeyPress(form_, Field("TxtUTMy"), keyAscii); }
void frmTalpor::TxtUTMy_LostFocus() { fields::FieldLostFocus(form_, platform_, Field("TxtUTMy")); }
void frmTalpor::TxtUTMe_GotFocus() { fields::FieldGotFocus(form_, Field("TxtUTMe")); }
void frmTalpor::TxtUTMe_KeyPress(int& keyAscii) { fields::FieldKeyPress(form_, Field("TxtUTMe"), keyAscii); }
void frmTalpor::TxtUTMe_LostFocus() { fields::FieldLostFocus(form_, platform_, Field("TxtUTMe")); }
void frmTalpor::TxtUTMn_GotFocus() { fields::FieldGotFocus(form_, Field("TxtUTMn")); }
void frmTalpor::TxtUTMn_KeyPress(int& keyAscii) { fields::FieldKeyPress(form_, Field("TxtUTMn"), keyAscii); }
void frmTalpor::TxtUTMn_LostFocus() { fields::FieldLostFocus(form_, platform_, Field("TxtUTMn")); }

void frmTalpor::OptUTM_Click(int index) { convert::OptUTM_Click(form_, index); }
void frmTalpor::OptCoord_Click(int index) { convert::OptCoord_Click(form_, index); }

// The field events all go through the entry rules; the named handlers above are the
// same calls for one field each.
void frmTalpor::GotFocus(form::Control& control) {
    if (HasFieldEvents(control))
        Guard(HandlerName(control, "GotFocus"), [&] { fields::FieldGotFocus(form_, control); });
}

void frmTalpor::LostFocus(form::Control& control) {
    if (!HasFieldEvents(control)) return;
    // A field whose frame was disabled under it (a paste that changed the input mode) is
    // not checked: the user could correct nothing there, and its check would ask for the
    // focus back to a control that cannot have it.
    if (!form_.IsUsable(control)) {
        control.backColor = form::kWhite;
        return;
    }
    Guard(HandlerName(control, "LostFocus"), [&] { fields::FieldLostFocus(form_, platform_, control); });
}

form::Control* frmTalpor::TakeFocusRequest() {
    form::Control* request = form_.focusRequest;
    form_.focusRequest = nullptr;
    return request != nullptr && form_.IsUsable(*request) ? request : nullptr;
}

void frmTalpor::InputChanged(const form::Control& control) {
    if (control.tab == 0 || control.tab == 1) convert::MarkResultsStale(form_, control.tab);
    if (control.tab == 2) utilities::MarkResultsStale(form_, control);
}

void frmTalpor::OptionClick(form::Control& option) {
    if (option.id.name == "OptUTM") OptUTM_Click(option.id.index);
    if (option.id.name == "OptCoord") OptCoord_Click(option.id.index);
    if (option.id.name == "OptAltura") {
        convert::OptAltura_Click(form_, option.id.index);
        // Each tab's kind of height is kept for the next start.
        platform_.SaveSetting("Talpor", "Ventana", kHeightKindKeys[option.id.index / 2],
                              option.id.index % 2 == 1 ? "sobre el mar" : "elipsoidal");
    }
}

void frmTalpor::RunButton(form::Control& button) {
    const std::string& n = button.id.name;
    form::FormModel& f = form_;
    form::Platform& p = platform_;
    if (n == "CmdED50Helmert") convert::CmdED50Helmert_Click(f, p, Grids());
    else if (n == "CmdWGS84Helmert") convert::CmdWGS84Helmert_Click(f, p, Grids());
    else if (n == "CmdED50Molodensky") convert::CmdED50Molodensky_Click(f, p, Grids());
    else if (n == "CmdWGS84Molodensky") convert::CmdWGS84Molodensky_Click(f, p, Grids());
    else if (n == "CmdED50Rejilla") convert::CmdED50Rejilla_Click(f, p, Grids());
    else if (n == "CmdFichero") convert::CmdFichero_Click(f, p, button.id.index, Grids());
    else if (n == "CmdMapa") p.ShowMap(button.id.index);
    else if (n == "CmdWGS84Rejilla") convert::CmdWGS84Rejilla_Click(f, p, Grids());
    else if (n == "Command1") convert::Command1_Click(f, p, button.id.index, Grids());
    else if (n == "Command4") utilities::Command4_Click(f, p);
    else if (n == "Command2") utilities::Command2_Click(f, p);
    else if (n == "Command5") utilities::Command5_Click(f, p);
    else if (n == "Command3") utilities::Command3_Click(f, p);
    else if (n == "CmdAcerca") CmdAcerca_Click();
    else if (n == "Command15") Command15_Click();
}

// --- Generic events ------------------------------------------------------------------------

void frmTalpor::Guard(std::string_view procName, const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        ErrorInfo e = Describe(std::current_exception());
        app::LogError(platform_, procName, e.number, e.description);
    }
}

void frmTalpor::Click(form::Control& control) {
    if (MustEnd() || !form_.IsUsable(control)) return;
    if (control.kind == form::Kind::CommandButton) {
        if (!MoveFocus(&control)) return;
        Guard(HandlerName(control, "Click"), [&] { RunButton(control); });
    } else if (control.kind == form::Kind::OptionButton) {
        if (!MoveFocus(&control)) return;
        Guard(HandlerName(control, "Click"), [&] {
            if (!form_.SelectOption(control)) return;
            // The hemispheres and the input mode are part of the point; the Molodensky
            // set is the method's.
            if (control.id.name != "OptMWGS84" && control.id.name != "OptMED50") InputChanged(control);
            fields::HemisphereClick(form_, platform_, control);
        });
    }
    ApplyFocusRequest();
}

bool frmTalpor::MoveFocus(form::Control* to) {
    if (to == form_.focused) return true;
    if (to != nullptr && !form_.IsUsable(*to)) return false;

    form::Control* from = form_.focused;
    form_.focusRequest = nullptr;
    if (from != nullptr) LostFocus(*from);

    form::Control* target = to;
    if (form::Control* request = TakeFocusRequest()) target = request;
    form_.focused = target;
    if (target != nullptr) GotFocus(*target);
    ApplyFocusRequest();
    return form_.focused == to;
}

void frmTalpor::ApplyFocusRequest() {
    // A handler outside a focus move asked for the focus. Followed a few times at most,
    // so that two fields asking for it in turn cannot hold the window in a loop.
    for (int hops = 0; hops < 4 && form_.focusRequest != nullptr; ++hops) {
        form::Control* request = TakeFocusRequest();
        if (request == nullptr || request == form_.focused) continue;
        form::Control* from = form_.focused;
        if (from != nullptr) LostFocus(*from);
        if (form_.focusRequest != nullptr && form_.IsUsable(*form_.focusRequest))
            continue;  // the control being left keeps it
        form_.focusRequest = nullptr;
        form_.focused = request;
        GotFocus(*request);
    }
    form_.focusRequest = nullptr;
    // The focus never stays on a control that was disabled under it: the toolkit moves it
    // on, and the next focus gain runs as if nothing had it.
    if (form_.focused != nullptr && !form_.IsUsable(*form_.focused)) {
        LostFocus(*form_.focused);
        form_.focusRequest = nullptr;
        form_.focused = nullptr;
    }
}

int frmTalpor::KeyPress(form::Control& control, int keyAscii) {
    if (!HasFieldEvents(control) || !form_.IsUsable(control)) return keyAscii;
    Guard(HandlerName(control, "KeyPress"),
          [&] { fields::FieldKeyPress(form_, control, keyAscii); });
    ApplyFocusRequest();
    return keyAscii;
}

void frmTalpor::Type(form::Control& control, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        int key = KeyPress(control, NextCodePoint(text, i));
        if (key == 0) continue;
        if (HasFieldEvents(control)) InputChanged(control);
        std::string& t = control.text;
        int length = CharCount(t);
        int start = std::min(std::max(control.selStart, 0), length);
        int selected = std::min(std::max(control.selLength, 0), length - start);
        if (key == kBackspace) {
            if (selected == 0 && start > 0) {
                --start;
                selected = 1;
            }
            std::size_t b = ByteOffset(t, start);
            t.erase(b, ByteOffset(t, start + selected) - b);
            control.selStart = start;
        } else {
            if (control.maxLength > 0 && length - selected >= control.maxLength) continue;
            std::size_t b = ByteOffset(t, start);
            t.replace(b, ByteOffset(t, start + selected) - b, Utf8(key));
            control.selStart = start + 1;
        }
        control.selLength = 0;
    }
}

void frmTalpor::TextEdited(form::Control& control) {
    if (!MustEnd() && HasFieldEvents(control)) InputChanged(control);
}

void frmTalpor::EditText(form::Control& control, std::string_view text) {
    TextEdited(control);
    std::string t(text);
    if (control.maxLength > 0 && CharCount(t) > control.maxLength)
        t.resize(ByteOffset(t, control.maxLength));
    control.text = t;
    control.selStart = CharCount(t);
    control.selLength = 0;
}

bool frmTalpor::Paste(form::Control& control, std::string_view text) {
    if (MustEnd() || !HasFieldEvents(control)) return false;
    fields::PasteResult result = fields::PasteResult::NotHandled;
    Guard(HandlerName(control, "Paste"),
          [&] { result = fields::PastePoint(form_, platform_, control, text); });
    if (result == fields::PasteResult::Filled) InputChanged(control);
    ApplyFocusRequest();
    return result != fields::PasteResult::NotHandled;
}

bool frmTalpor::TakesFiles() const {
    const int tab = form_.Get("SSTab1").currentTab;
    return !MustEnd() && (tab == 0 || tab == 1);
}

bool frmTalpor::DropFiles(const std::vector<std::string>& paths) {
    if (!TakesFiles() || paths.empty()) return false;
    form::Control& button = form_.Get("CmdFichero", form_.Get("SSTab1").currentTab);
    if (!MoveFocus(&button)) return true;
    Guard(HandlerName(button, "Click"),
          [&] { convert::CmdFichero_Click(form_, platform_, button.id.index, Grids(), paths); });
    ApplyFocusRequest();
    return true;
}

std::optional<frmTalpor::CopyChoices> frmTalpor::CopyChoicesOf(form::Control& control) {
    std::optional<text::CopyTexts> texts = convert::ConversionCopyTexts(form_, control);
    if (!texts) texts = utilities::UtilitiesCopyTexts(form_, control);
    if (!texts) return std::nullopt;
    CopyChoices choices{control.kind == form::Kind::Label && !control.stale ? control.text : "", texts->result,
                        texts->decimalDegrees, texts->degreesMinutes, texts->utm, texts->utmRefusal};
    if (control.tab == 0 || control.tab == 1) choices.webMapTab = control.tab;
    if (!texts->datum.empty()) {
        for (std::string* caption :
             {&choices.decimalDegreesCaption, &choices.degreesMinutesCaption, &choices.utmCaption})
            *caption += " (" + texts->datum + ")";
    }
    return choices;
}

std::string frmTalpor::CopyUtm(const CopyChoices& choices) {
    if (MustEnd()) return "";
    if (choices.utmRefusal.empty()) return choices.utm;
    platform_.MsgBox(choices.utmRefusal, platform_.AppTitle(), form::MsgIcon::Exclamation);
    return "";
}

bool frmTalpor::ChangeTab(int newTab) {
    form::Control& tabs = form_.Get("SSTab1");
    if (MustEnd() || newTab == tabs.currentTab || newTab < 0 ||
        newTab >= static_cast<int>(tabs.tabCaptions.size()))
        return false;
    if (!MoveFocus(&tabs)) return false;
    int previous = tabs.currentTab;
    tabs.currentTab = newTab;
    Guard("frmTalpor.SSTab1_Click", [&] { SSTab1_Click(previous); });
    ApplyFocusRequest();
    return true;
}

bool frmTalpor::Form_KeyDown(int keyCode) {
    if (MustEnd() || keyCode != kKeyF1) return false;
    // The focus stays where it is: the box asks nothing of the field being typed in.
    Guard("frmTalpor.Form_KeyDown", [&] { CmdAcerca_Click(); });
    ApplyFocusRequest();
    return true;
}

void frmTalpor::SelectListItem(form::Control& combo, int index) {
    if (!form_.IsUsable(combo)) return;
    if (index < -1 || index >= static_cast<int>(combo.items.size()) || index == combo.listIndex) return;
    combo.listIndex = index;
    InputChanged(combo);
}

void frmTalpor::SetDate(form::Control& monthView, form::Date date) {
    if (!form_.IsUsable(monthView)) return;
    if (!(monthView.date == date)) InputChanged(monthView);
    monthView.date = date;
    if (monthView.id.name == "MonthView1") utilities::MonthView1_DateClick(form_);
}

}  // namespace app
