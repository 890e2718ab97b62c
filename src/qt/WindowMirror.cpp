// The main window mirrors the model: texts, selections, states, colours and the focus
// go from the controls to their widgets after every event, and typed text comes back.
#include "qt/TalporWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabBar>

#include "qt/Fonts.h"
#include "qt/Icons.h"
#include "qt/QtText.h"

namespace qt {

using form::Control;
using form::Kind;
namespace {

// The desktop's colour for greyed text (system colour 17).
constexpr form::Color kGreyedText = form::kSystemColorBit | 17;

QColor ToQColor(form::Color c) {
    if (form::IsSystemColor(c)) {
        // System colours by index, as the desktop's palette gives them.
        QPalette p = QApplication::palette();
        switch (c & 0xFF) {
            case 5: return p.color(QPalette::Active, QPalette::Base);
            case 8: return p.color(QPalette::Active, QPalette::Text);
            case 15: return p.color(QPalette::Active, QPalette::Button);
            case 17: return p.color(QPalette::Disabled, QPalette::Text);
            case 18: return p.color(QPalette::Active, QPalette::ButtonText);
            default: return p.color(QPalette::Active, QPalette::WindowText);
        }
    }
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

// The model's colour is shown in every state: a disabled frame's members look as the
// model paints them (grey when inactive), while the frame itself makes them unusable.
bool SetRole(QPalette& p, QPalette::ColorRole role, const QColor& colour) {
    bool changed = false;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        if (p.color(group, role) != colour) {
            p.setColor(group, role, colour);
            changed = true;
        }
    }
    return changed;
}

// Text positions: the model counts characters (code points), QString UTF-16 units.
int ToChars(const QString& text, int units) {
    return static_cast<int>(QStringView(text).left(units).toUcs4().size());
}
int ToUnits(const QString& text, int chars) {
    int units = 0;
    for (int n = 0; n < chars && units < text.size(); ++n)
        units += text.at(units).isHighSurrogate() && units + 1 < text.size() ? 2 : 1;
    return units;
}

}  // namespace

void TalporWindow::Pull() {
    for (auto& [control, widget] : widgets_) {
        if (control->kind != Kind::TextBox) continue;
        auto* edit = static_cast<QLineEdit*>(widget);
        auto* c = const_cast<Control*>(control);
        QString text = edit->text();
        c->text = text.toStdString();
        if (edit->hasSelectedText()) {
            int start = edit->selectionStart();
            c->selStart = ToChars(text, start);
            c->selLength = ToChars(text, start + static_cast<int>(edit->selectedText().size())) - c->selStart;
        } else {
            c->selStart = ToChars(text, edit->cursorPosition());
            c->selLength = 0;
        }
    }
}

void TalporWindow::Mirror() {
    bool wasBusy = busy_;
    busy_ = true;  // setFocus, setCurrentIndex and the like echo back as events
    ApplyFocus();  // before a page change, so that Qt does not move the focus itself
    for (auto& owned : frm_.Form().Controls()) {
        auto it = widgets_.find(owned.get());
        if (it != widgets_.end()) MirrorControl(*owned, it->second);
    }
    ApplyFocus();
    busy_ = wasBusy;
}

void TalporWindow::ApplyFocus() {
    const Control* focused = frm_.Form().focused;
    if (focused == nullptr) return;
    QWidget* target = FocusTarget(*focused);
    if (target == nullptr || target->hasFocus() || !target->isVisible() || !target->isEnabled())
        return;
    target->setFocus(Qt::OtherFocusReason);
}

void TalporWindow::MirrorControl(const Control& c, QWidget* w) {
    switch (c.kind) {
        case Kind::Form:
            if (windowTitle() != Q(c.text)) setWindowTitle(Q(c.text));
            if (accessibleName() != Q(c.accessibleName)) setAccessibleName(Q(c.accessibleName));
            break;
        case Kind::TabControl:
            BuildPage(c.currentTab);
            if (tabBar_->currentIndex() != c.currentTab) tabBar_->setCurrentIndex(c.currentTab);
            if (pages_->currentIndex() != c.currentTab) pages_->setCurrentIndex(c.currentTab);
            break;
        case Kind::Frame: {
            auto* box = static_cast<QGroupBox*>(w);
            if (box->title() != Q(c.text)) box->setTitle(Q(c.text));
            break;
        }
        case Kind::Label: {
            auto* label = static_cast<QLabel*>(w);
            if (label->text() != Q(c.text)) label->setText(Q(c.text));
            break;
        }
        case Kind::TextBox: {
            auto* edit = static_cast<QLineEdit*>(w);
            QString text = Q(c.text);
            if (edit->text() != text) edit->setText(text);
            int start = ToUnits(text, c.selStart);
            int length = ToUnits(text, c.selStart + c.selLength) - start;
            int curStart = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
            int curLength = edit->hasSelectedText() ? static_cast<int>(edit->selectedText().size()) : 0;
            if (start != curStart || length != curLength) {
                if (length > 0) edit->setSelection(start, length);
                else edit->setCursorPosition(start);
            }
            break;
        }
        case Kind::OptionButton: {
            auto* option = static_cast<QRadioButton*>(w);
            if (option->text() != Q(c.text)) option->setText(Q(c.text));
            if (option->isChecked() != c.value) option->setChecked(c.value);
            // A group of option buttons is one stop of the Tab order, at its selected
            // button (at each while none is); the arrow keys move within it.
            bool stop = c.value;
            if (!stop) {
                std::vector<Control*> group = OptionGroup(c);
                stop = std::none_of(group.begin(), group.end(),
                                    [](const Control* o) { return o->value; });
            }
            Qt::FocusPolicy policy = stop ? Qt::StrongFocus : Qt::ClickFocus;
            if (option->focusPolicy() != policy) option->setFocusPolicy(policy);
            break;
        }
        case Kind::CommandButton: {
            auto* button = static_cast<QPushButton*>(w);
            if (button->text() != Q(c.text)) button->setText(Q(c.text));
            break;
        }
        case Kind::ComboBox: {
            auto* combo = static_cast<QComboBox*>(w);
            bool same = combo->count() == static_cast<int>(c.items.size());
            for (int i = 0; same && i < combo->count(); ++i)
                same = combo->itemText(i) == Q(c.items[static_cast<std::size_t>(i)]);
            if (!same) {
                combo->clear();
                for (const auto& item : c.items) combo->addItem(Q(item));
            }
            if (combo->currentIndex() != c.listIndex) combo->setCurrentIndex(c.listIndex);
            break;
        }
        case Kind::MonthView: {
            auto* calendar = static_cast<QCalendarWidget*>(w);
            QDate d(c.date.year, c.date.month, c.date.day);
            if (calendar->selectedDate() != d) calendar->setSelectedDate(d);
            break;
        }
        case Kind::Chart:
            w->update();  // it paints the model's values
            break;
        case Kind::Picture:
        case Kind::CheckBox:  // none on the main window
            break;
    }

    if (c.kind == Kind::Form) return;
    const QString toolTip = Q(form::ShownToolTip(c));
    if (w->toolTip() != toolTip) w->setToolTip(toolTip);
    if (w->isEnabledTo(w->parentWidget()) != c.enabled) w->setEnabled(c.enabled);

    QFont font = c.fixedPitch ? FixedPitchFont() : QApplication::font();
    font.setBold(c.bold);
    if (w->font() != font) w->setFont(font);

    QPalette palette = w->palette();
    bool changed = false;
    // A stale result is greyed as a disabled text is.
    QColor fore = c.stale ? ToQColor(kGreyedText) : ToQColor(c.foreColor);
    switch (c.kind) {
        case Kind::Label:
        case Kind::OptionButton:
            changed |= SetRole(palette, QPalette::WindowText, fore);
            break;
        case Kind::TextBox:
            changed |= SetRole(palette, QPalette::Text, fore);
            changed |= SetRole(palette, QPalette::Base, ToQColor(c.backColor));
            break;
        case Kind::ComboBox:
            changed |= SetRole(palette, QPalette::Text, fore);
            changed |= SetRole(palette, QPalette::ButtonText, fore);
            changed |= SetRole(palette, QPalette::WindowText, fore);
            break;
        case Kind::CommandButton:
            changed |= SetRole(palette, QPalette::ButtonText, fore);
            break;
        default:
            break;
    }
    if (changed) w->setPalette(palette);

    // The model's name; a label without one is announced by its caption.
    if (w->accessibleName() != Q(c.accessibleName)) w->setAccessibleName(Q(c.accessibleName));
}

}  // namespace qt
