// The Qt main window of Talpor. It builds one widget per control of the control
// model (object name = ControlId::ObjectName(), such as "TxtWGSg_6"), forwards every
// user event to frmTalpor and mirrors the model back into the widgets afterwards. The
// widgets hold no state of their own that the logic relies on.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/frmTalpor.h"

class QStackedWidget;
class QTabBar;

namespace qt {

class TalporWindow : public QWidget {
public:
    explicit TalporWindow(app::frmTalpor& frm, QWidget* parent = nullptr);
    ~TalporWindow() override;

    app::frmTalpor& Frm() { return frm_; }
    // The widget of a control, building its page first when it is not built yet.
    QWidget* WidgetOf(std::string_view name, int index = -1);
    // The control a widget (or a part of it, such as the calendar's day table) belongs to.
    form::Control* ControlOf(const QWidget* widget) const;

    // Brings a tab to the front as a click on its tab would.
    void ChooseTab(int tab);
    // The map of tab 0 or 1's point, opened or brought to the front.
    void ShowMap(int tab);
    // Another start asked for the window: shown again if minimised, raised and made the
    // active window (or the message box or dialog open over it, which holds the input).
    void BringForward();

    // Called once, when the window has painted for the first time.
    std::function<void()> onFirstPaint;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Build();
    QWidget* Create(form::Control& control, QWidget* parent);
    QWidget* FocusTarget(const form::Control& control);
    void BuildControl(form::Control& control);
    // Builds the widgets of a page of the tab control that are not built yet and shows
    // the model's state in them.
    void BuildPage(int tab);
    void BuildPageWhenIdle(int tab);
    // The result labels built before the first paint, made selectable. A selectable label
    // draws its text through a text document of its own, a third of what mirroring the
    // model into the first tab costs; drawn as plain text, the first paint has the same
    // pixels without it.
    void MakeResultsSelectable();
    // Runs one user event on the model: widget state in, handler, model out.
    void Dispatch(const std::function<void()>& handler);
    void Pull();
    void Mirror();
    void MirrorControl(const form::Control& control, QWidget* widget);
    void ApplyFocus();
    bool KeyPress(QWidget* widget, class QKeyEvent* event);
    // Text pasted or dropped into a field: a whole point fills its point's fields.
    // Returns whether the model took it (otherwise the field takes it as usual).
    bool PasteText(form::Control& field, const QString& text);
    // The copy menu of results, points and frames; the fields' own menu with pasting
    // through the model. Returns whether a menu was shown.
    bool ContextMenu(QWidget* widget, class QContextMenuEvent* event);
    // The user's tab change to the tab `step` places after the current one (cyclic).
    void StepTab(int step);
    // The option buttons the arrow keys move between: those of one container on one tab.
    std::vector<form::Control*> OptionGroup(const form::Control& option) const;
    // Arrow keys in an option group: selects the next usable button `step` places on
    // (cyclic), as a click on it would. Returns true (the key is used).
    bool StepOption(const form::Control& option, int step);
    // Whether a mouse event belongs to the click that gave a field the focus (and is
    // kept from the field).
    bool SelectingClick(QWidget* widget, class QMouseEvent* event);

    app::frmTalpor& frm_;
    std::unordered_map<const form::Control*, QWidget*> widgets_;
    std::unordered_map<const QWidget*, form::Control*> controls_;
    QTabBar* tabBar_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    std::vector<QWidget*> pageWidgets_;
    std::vector<bool> pageBuilt_;
    QPointer<class MapWindow> map_;  // once opened, follows every event
    QPointer<QWidget> refusedPress_;  // its focus move was refused: drop its mouse press
    // A field the mouse gave the focus to: the click (press, drag, release) leaves the
    // whole text selected instead of placing the caret.
    QPointer<QWidget> selectingClick_;
    bool busy_ = false;  // an event is running on the model: Qt's own echoes are ignored
    bool painted_ = false;
    bool closing_ = false;
};

}  // namespace qt
