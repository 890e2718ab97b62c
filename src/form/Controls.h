// The control model of Talpor's main window: every control with its name, index,
// kind, container, tab, texts, colours and state, held in plain memory with no
// toolkit behind it. The window logic reads and writes these records; the Qt front
// end builds its widgets from them and mirrors them back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace form {

// Colours: 0x00BBGGRR for an RGB value, or a system colour with the high bit set.
using Color = std::uint32_t;
constexpr Color Rgb(int r, int g, int b) {
    return static_cast<Color>(r) | static_cast<Color>(g) << 8 | static_cast<Color>(b) << 16;
}
inline constexpr Color kSystemColorBit = 0x80000000;
inline constexpr Color kButtonText = 0x80000012;  // the system colour for button text
inline constexpr Color kBlack = Rgb(0, 0, 0);
inline constexpr Color kWhite = Rgb(255, 255, 255);
inline constexpr Color kGrey = Rgb(128, 128, 128);
inline constexpr Color kLightYellow = Rgb(255, 255, 128);
inline constexpr Color kBlue = Rgb(0, 0, 255);
constexpr bool IsSystemColor(Color c) { return (c & kSystemColorBit) != 0; }

enum class Kind {
    Form,
    TabControl,
    Frame,
    Picture,  // borderless container that gives option buttons a group of their own
    Label,
    TextBox,
    OptionButton,
    CheckBox,  // ticked or not: `value`
    ComboBox,  // drop-down list: the user picks an item, never types
    CommandButton,
    MonthView,
    // A chart of the Sun's year: `values` holds four numbers a day of the year, in
    // order: sunrise, transit and sunset in hours of local clock time (NaN where there is
    // none), and 0 for an ordinary day, 1 for a polar day, -1 for a polar night;
    // `listIndex` is the chosen day (0 for 1 January); `stale` as for a result; `items`
    // name the months along the bottom; `text` stands in while there are no values.
    Chart,
};

// A control's name and its index within a control array (-1 when not an array).
struct ControlId {
    std::string name;
    int index = -1;

    std::string Text() const;        // "TxtWGSg(6)", "Command15"
    std::string ObjectName() const;  // "TxtWGSg_6", "Command15": the widget's object name
    bool operator==(const ControlId&) const = default;
};

struct Date {
    int year = 2000;
    int month = 1;
    int day = 1;
    bool operator==(const Date&) const = default;
};

struct Control {
    Kind kind = Kind::Label;
    ControlId id;
    std::string container;  // ControlId::Text() of the direct container; "" for the form itself
    int tab = -1;           // page of SSTab1 the control lies on; -1 when not on the tab control

    // Caption of the form, frames, labels, buttons and option buttons; Text of text boxes.
    std::string text;
    std::string toolTip;
    // The short name screen readers announce. Empty for a label that is announced by
    // its caption (a result label by the result it shows).
    std::string accessibleName;
    Color foreColor = kBlack;
    Color backColor = kWhite;
    bool enabled = true;
    bool visible = true;  // dialogs: a control that does not apply to the input is hidden
    bool bold = false;
    bool fixedPitch = false;  // drawn in a fixed-pitch font so that result lines align
    bool selectable = false;  // labels: a result the user can select and copy

    // Result labels: the number behind the caption at full precision (latitude and
    // longitude in decimal degrees, easting and northing in metres); empty while the
    // label shows no result.
    std::vector<double> values;
    // Result labels: the result belongs to the point (or the data) as it was before the
    // user changed it; shown greyed with ShownToolTip, and not copied, until the next
    // calculation writes it again.
    bool stale = false;

    bool value = false;  // option buttons: selected; check boxes: ticked

    std::vector<std::string> items;  // combo boxes
    int listIndex = -1;

    int selStart = 0;  // text boxes: caret and selection, in characters
    int selLength = 0;
    int maxLength = 0;  // text boxes: most characters the user can type or paste; 0 = no limit
    // A dialog's text box that takes the files and folders dropped anywhere on the dialog:
    // their paths, as the drop gave them, are in `dropped` when the dialog's logic runs for it.
    bool takesDrops = false;
    std::vector<std::string> dropped;

    Date date;  // month view

    std::vector<std::string> tabCaptions;  // tab control
    int currentTab = 0;

    // The selected item of a combo box ("" when none is selected).
    std::string ListText() const;
};

// The tooltip a control shows: its own, or for a stale result what it is.
std::string ShownToolTip(const Control& control);

// All controls of one window, in creation order (which is also the tab order).
class FormModel {
public:
    FormModel() = default;
    FormModel(const FormModel&) = delete;
    FormModel& operator=(const FormModel&) = delete;

    Control& Add(Control control);

    // The control with that name and index; throws std::out_of_range when there is none.
    Control& Get(std::string_view name, int index = -1);
    const Control& Get(std::string_view name, int index = -1) const;
    Control* Find(std::string_view name, int index = -1);
    const Control* Find(std::string_view name, int index = -1) const;
    // By ControlId::Text(), as stored in Control::container.
    Control* FindByText(std::string_view text);

    const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }
    std::vector<Control*> Children(const Control& container) const;
    Control* Container(const Control& control);

    // True when the control and every container up to the form are enabled.
    bool IsUsable(const Control& control);

    // Selects an option button and clears the others of its container (its option
    // group). When that changes the selection, the option-click handler runs, as a
    // user's click would. Returns whether the selection changed.
    bool SelectOption(Control& option);
    std::function<void(Control&)> onOptionClick;

    // Focus: the control that has it (nullptr when none).
    Control* focused = nullptr;
    // A handler asks for the focus to go (back) to a control; the window applies the
    // request once the running event handler has finished, then clears it.
    Control* focusRequest = nullptr;
    void SetFocus(Control& control) { focusRequest = &control; }

private:
    std::vector<std::unique_ptr<Control>> controls_;
};

}  // namespace form
