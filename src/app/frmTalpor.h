// The main window's logic: start-up, activation, tab changes, closing and the
// routing of every user event (clicks, focus moves, keys, edits, list and calendar
// choices) to its handler, run on the control model. The Qt front end and the tests
// drive the window only through this class.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Grids.h"
#include "convert/PointMap.h"
#include "form/Controls.h"
#include "form/Platform.h"

namespace app {

// Why the program has to end (None while it runs).
enum class EndReason {
    None,
    Closed,            // Command15 or the window frame
    SecondInstance,    // start-up step 1: the running instance could not be reached
    HandedOver,        // start-up step 1: the running instance brought its window forward
    Screen,            // activation: screen smaller than 800 x 600
    Error,             // a run-time error in start-up or activation
};

// Key codes of Form_KeyDown (the virtual-key codes the system has always used).
inline constexpr int kKeyF1 = 0x70;

class frmTalpor {
public:
    explicit frmTalpor(form::Platform& platform);
    frmTalpor(const frmTalpor&) = delete;
    frmTalpor& operator=(const frmTalpor&) = delete;

    form::FormModel& Form() { return form_; }
    const form::FormModel& Form() const { return form_; }
    form::Platform& GetPlatform() { return platform_; }
    // The IGN grids of the conversion tabs, from the platform's data folder and the
    // "grids" folder in its user data folder; made at the first call, and each grid
    // opened when it is first needed.
    core::Grids& Grids();
    // The coasts, borders and countries' rings of the map, read from the data folder the
    // first time the map asks for them (never at start-up); none when the file cannot be
    // read.
    const convert::MapData& MapData();
    // The scene of tab 0 or 1's point in `view`, as the map shows it now.
    convert::MapScene MapOfTab(int tab, const convert::MapView& view);
    // Opens the WGS84 side of tab 0 or 1's point (its typed point on tab 0, its result on
    // tab 1) in a web map; without a browser the user gets the address, and without a
    // WGS84 point a sentence that says how to have one.
    void OpenWebMap(int tab, convert::WebMap map);

    // --- The program's life -------------------------------------------------------
    // Start-up, before the window is first shown.
    void Form_Load();
    // First showing of the window: the screen check (runs once, see Activate).
    void Form_Activate();
    // The front end calls this whenever the window becomes active; only the first
    // call runs Form_Activate.
    void Activate();
    // Tab change, after the new tab is current; the argument is the tab that was showing
    // before. Leaving tab 0 puts tab 1 in UTM input, leaving tab 1 puts tab 0 in
    // geographic input; a conversion tab that comes to the front then shows the button
    // of the input mode its frames show.
    void SSTab1_Click(int previousTab);
    // "Cerrar", and closing by the window frame.
    void Command15_Click();
    // "?" beside "Cerrar": the About box.
    void CmdAcerca_Click();
    void Form_Unload() { End(EndReason::Closed); }

    bool MustEnd() const { return endReason_ != EndReason::None; }
    EndReason GetEndReason() const { return endReason_; }

    // --- Handlers of the coordinate fields ------------------------------------------
    void TxtWGSg_GotFocus(int index);
    void TxtWGSg_KeyPress(int index, int& keyAscii);
    void TxtWGSg_LostFocus(int index);
    void TxtUTMx_GotFocus();
    void TxtUTMx_KeyPress(int& keyAscii);
    void TxtUTMx_LostFocus();
    void TxtUTMy_GotFocus();
    void TxtUTMy_KeyPress(int& keyAscii);
    void TxtUTMy_LostFocus();
    void TxtUTMe_GotFocus();
    void TxtUTMe_KeyPress(int& keyAscii);
    void TxtUTMe_LostFocus();
    void TxtUTMn_GotFocus();
    void TxtUTMn_KeyPress(int& keyAscii);
    void TxtUTMn_LostFocus();

    // Input-mode buttons (run when their selection changes, by the user or in code).
    void OptUTM_Click(int index);
    void OptCoord_Click(int index);

    // --- Generic user events ----------------------------------------------------------
    // A click on a control. Command and option buttons first take the focus (so the
    // field being left is checked); when that field is corrected and keeps the focus,
    // the click is dropped. Command buttons then run their handler; option buttons are
    // selected, which runs their click when the selection changes; a changed longitude
    // hemisphere checks its degrees field again. Unusable controls
    // (disabled or inside a disabled frame) ignore clicks.
    void Click(form::Control& control);
    void Click(std::string_view name, int index = -1) { Click(form_.Get(name, index)); }

    // Moves the focus: focus lost of the control that has it, then focus gained of
    // `to`. When the control being left asks for the focus back (a corrected field),
    // the focus returns to it and `to` never gets it, so nothing is checked twice.
    // Returns whether `to` has the focus afterwards. nullptr takes the focus away.
    bool MoveFocus(form::Control* to);
    bool MoveFocus(std::string_view name, int index = -1) { return MoveFocus(&form_.Get(name, index)); }

    // A typed character (code point; 8 = backspace) for the focused text box. Returns
    // the character the field takes: 0 when refused, possibly replaced ("." -> ",").
    int KeyPress(form::Control& control, int keyAscii);
    // Types characters into a text box as a user would: each goes through KeyPress and,
    // when accepted, replaces the selection (backspace deletes it or the character
    // before the caret). For tests and tools; the front end's widgets do this themselves.
    void Type(form::Control& control, std::string_view text);
    // The front end's text box changed its text by the user's hand (its own typing,
    // cutting, deleting): the results of the point it belongs to are now stale.
    void TextEdited(form::Control& control);
    // The user changed a text box's text (typing, pasting); cut to its maxLength.
    void EditText(form::Control& control, std::string_view text);
    // The user pastes or drops text into a text box. A whole point fills every field of
    // the field's point (and its input mode); a broken one is refused with a message.
    // Returns false when the text holds no whole point: the front end then pastes it
    // into the field as usual (EditText).
    bool Paste(form::Control& control, std::string_view text);

    // Files or folders dropped on the window: on a conversion tab, "Convertir fichero…"
    // with them as its input, as if chosen there (the field being left is checked first).
    // False, and nothing done, on another tab.
    bool TakesFiles() const;
    bool DropFiles(const std::vector<std::string>& paths);

    // What the copy menu of a control offers: "Copiar" gives `underMouse` (a label's
    // caption, "" for other controls); the rest as convert::ConversionCopyTexts and
    // utilities::UtilitiesCopyTexts say. nullopt when the control has no copy menu.
    struct CopyChoices {
        std::string underMouse;
        std::string result, decimalDegrees, degreesMinutes, utm;
        // Why the UTM entry gives nothing, for a point beyond UTM's latitudes (CopyUtm).
        std::string utmRefusal;
        int webMapTab = -1;  // the conversion tab whose point the menu can open in a web map
        // The entries' captions, naming the datum of the point they copy.
        std::string decimalDegreesCaption = "Copiar en grados decimales",
                    degreesMinutesCaption = "Copiar en grados y minutos", utmCaption = "Copiar UTM";
    };
    std::optional<CopyChoices> CopyChoicesOf(form::Control& control);
    // The user picked "Copiar UTM" in a menu of `choices`: the text for the clipboard, or
    // "" for a point beyond UTM's latitudes (84º N, 80º S), which a box then says.
    std::string CopyUtm(const CopyChoices& choices);

    // The user brings another tab to the front. The focused control loses the focus
    // first; when it is a corrected field and keeps it, the tab does not change.
    // Returns whether the tab changed.
    bool ChangeTab(int newTab);

    // A key pressed anywhere in the window, before the focused control sees it: F1 shows
    // the About box. Returns whether the key was used (the control then never sees it).
    bool Form_KeyDown(int keyCode);

    void SelectListItem(form::Control& combo, int index);
    // The user picks a date in the calendar; summer time follows it.
    void SetDate(form::Control& monthView, form::Date date);

    // Runs a handler; a run-time error it raises is shown and logged with the handler's
    // name, and the program keeps running. The name is the handler's, such as
    // "frmTalpor.CmdED50Helmert_Click".
    void Guard(std::string_view procName, const std::function<void()>& handler);

private:
    void End(EndReason reason);
    void RunLoad();
    void OptionClick(form::Control& option);
    // An input of a tab changed: what its results showed is now stale.
    void InputChanged(const form::Control& control);
    void RunButton(form::Control& button);
    void GotFocus(form::Control& control);
    void LostFocus(form::Control& control);
    void ApplyFocusRequest();
    // The pending focus request, cleared; nullptr when there is none or it names a
    // control that cannot take the focus.
    form::Control* TakeFocusRequest();
    form::Control& Field(const char* name) { return form_.Get(name); }

    form::Platform& platform_;
    form::FormModel form_;
    std::unique_ptr<core::Grids> grids_;
    std::optional<convert::MapData> mapData_;
    EndReason endReason_ = EndReason::None;
    bool activated_ = false;
};

}  // namespace app
