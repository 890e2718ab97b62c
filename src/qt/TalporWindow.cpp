#include "qt/TalporWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <algorithm>

#include "qt/Fonts.h"
#include "qt/Icons.h"
#include "qt/WindowLayout.h"

namespace talpor_qt {
namespace {

using app::Control;
using app::Kind;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The desktop's colour for greyed text (system colour 17).
constexpr app::Color kGreyedText = app::kSystemColorBit | 17;

QColor ToQColor(app::Color c) {
    if (app::IsSystemColor(c)) {
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

TalporWindow::TalporWindow(app::frmTalpor& frm, QWidget* parent) : QWidget(parent), frm_(frm) {
    setObjectName(QStringLiteral("frmTalpor"));
    Build();
    Mirror();
    qApp->installEventFilter(this);
}

TalporWindow::~TalporWindow() { qApp->removeEventFilter(this); }

void TalporWindow::Build() {
    setFixedSize(kWindowWidth, kWindowHeight);
    // The first tab and everything around it now; the pages behind it once the window
    // is on the screen, or when something needs them first (BuildPage).
    for (auto& owned : frm_.Form().Controls())
        if (owned->tab <= 0) BuildControl(*owned);
    pageBuilt_.assign(pageWidgets_.size(), false);
    if (!pageBuilt_.empty()) pageBuilt_[0] = true;
}

void TalporWindow::BuildControl(Control& c) {
    if (c.kind == Kind::Form) {
        widgets_[&c] = this;
        controls_[this] = &c;
        return;
    }
    QWidget* parent = this;
    if (c.container == "SSTab1" && c.tab >= 0 && c.tab < static_cast<int>(pageWidgets_.size())) {
        parent = pageWidgets_[static_cast<std::size_t>(c.tab)];
    } else if (Control* container = frm_.Form().Container(c);
               container != nullptr && widgets_.count(container) != 0) {
        parent = widgets_[container];
    }
    QWidget* w = Create(c, parent);
    w->setObjectName(Q(c.id.ObjectName()));
    const auto& layout = WindowLayout();
    auto place = layout.find(c.id.ObjectName());
    if (place != layout.end()) w->setGeometry(place->second.rect);
    else qWarning("Talpor: no place in the layout for %s", c.id.ObjectName().c_str());
    widgets_[&c] = w;
    controls_[w] = &c;
}

void TalporWindow::BuildPageWhenIdle(int tab) {
    // Not in the middle of an event or under a message box: a little later then.
    if (busy_ || QApplication::activeModalWidget() != nullptr) {
        QTimer::singleShot(50, this, [this, tab] { BuildPageWhenIdle(tab); });
        return;
    }
    BuildPage(tab);
}

void TalporWindow::BuildPage(int tab) {
    if (tab < 0 || tab >= static_cast<int>(pageBuilt_.size()) || pageBuilt_[static_cast<std::size_t>(tab)])
        return;
    pageBuilt_[static_cast<std::size_t>(tab)] = true;
    const bool wasBusy = busy_;
    busy_ = true;  // the new widgets echo their first state back as events
    std::vector<QWidget*> built;
    for (auto& owned : frm_.Form().Controls()) {
        if (owned->tab != tab) continue;
        BuildControl(*owned);
        QWidget* w = widgets_.at(owned.get());
        MirrorControl(*owned, w);
        w->show();
        built.push_back(w);
    }
    // The focus chain follows the model's order whatever the order of building: each
    // widget after the one before it in the model.
    QWidget* previous = nullptr;
    for (auto& owned : frm_.Form().Controls()) {
        auto it = widgets_.find(owned.get());
        if (it == widgets_.end() || it->second == this) continue;
        if (previous != nullptr) setTabOrder(previous, it->second);
        previous = it->second;
    }
    busy_ = wasBusy;
}

QWidget* TalporWindow::Create(Control& c, QWidget* parent) {
    Control* control = &c;
    switch (c.kind) {
        case Kind::TabControl: {
            auto* box = new QWidget(parent);
            tabBar_ = new QTabBar(box);
            tabBar_->setObjectName(QStringLiteral("SSTab1_tabs"));
            tabBar_->setExpanding(false);
            tabBar_->setAccessibleName(Q(c.accessibleName));
            for (const auto& caption : c.tabCaptions) tabBar_->addTab(Q(caption));
            pages_ = new QStackedWidget(box);
            pages_->setFrameShape(QFrame::StyledPanel);
            for (std::size_t i = 0; i < c.tabCaptions.size(); ++i) {
                auto* page = new QWidget;
                page->setObjectName(QStringLiteral("SSTab1_page%1").arg(i));
                page->setAccessibleName(Q(c.tabCaptions[i]));
                pages_->addWidget(page);
                pageWidgets_.push_back(page);
            }
            const auto& place = WindowLayout().at("SSTab1").rect;
            int barHeight = tabBar_->sizeHint().height();
            tabBar_->setGeometry(0, 0, place.width(), barHeight);
            pages_->setGeometry(0, barHeight - 1, place.width(), place.height() - barHeight + 1);
            pages_->lower();
            controls_[tabBar_] = control;
            connect(tabBar_, &QTabBar::currentChanged, this, [this](int tab) {
                if (!busy_) Dispatch([this, tab] { frm_.ChangeTab(tab); });
            });
            return box;
        }
        case Kind::Frame:
            return new QGroupBox(parent);
        case Kind::Picture:
            return new QWidget(parent);
        case Kind::Label: {
            auto* label = new QLabel(parent);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            // A result can be selected with the mouse and copied with Ctrl+C.
            if (c.selectable) label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            return label;
        }
        case Kind::TextBox: {
            auto* edit = new QLineEdit(parent);
            edit->setMaxLength(c.maxLength > 0 ? c.maxLength : 32767);
            // Typing, cutting and deleting change the point: its results go stale.
            connect(edit, &QLineEdit::textEdited, this, [this, control] {
                if (!busy_) Dispatch([this, control] { frm_.TextEdited(*control); });
            });
            return edit;
        }
        case Kind::OptionButton: {
            auto* option = new QRadioButton(parent);
            option->setAutoExclusive(false);  // the model decides the groups
            connect(option, &QAbstractButton::clicked, this,
                    [this, control] { Dispatch([this, control] { frm_.Click(*control); }); });
            return option;
        }
        case Kind::ComboBox: {
            auto* combo = new QComboBox(parent);
            connect(combo, &QComboBox::activated, this, [this, control](int index) {
                Dispatch([this, control, index] { frm_.SelectListItem(*control, index); });
            });
            return combo;
        }
        case Kind::CommandButton: {
            auto* button = new QPushButton(parent);
            button->setAutoDefault(false);
            if (c.id.name == "Command1") {
                button->setIcon(TransformationParametersIcon());
                button->setIconSize(QSize(24, 24));
            }
            connect(button, &QAbstractButton::clicked, this,
                    [this, control] { Dispatch([this, control] { frm_.Click(*control); }); });
            return button;
        }
        case Kind::MonthView: {
            auto* calendar = new QCalendarWidget(parent);
            calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
            calendar->setLocale(QLocale());
            connect(calendar, &QCalendarWidget::selectionChanged, this, [this, control, calendar] {
                if (busy_) return;
                QDate d = calendar->selectedDate();
                Dispatch([this, control, d] {
                    frm_.SetDate(*control, {d.year(), d.month(), d.day()});
                });
            });
            return calendar;
        }
        case Kind::Form:
            break;
    }
    return new QWidget(parent);
}

QWidget* TalporWindow::WidgetOf(std::string_view name, int index) {
    const Control* c = frm_.Form().Find(name, index);
    if (c != nullptr && c->tab > 0) BuildPage(c->tab);
    auto it = c == nullptr ? widgets_.end() : widgets_.find(c);
    return it == widgets_.end() ? nullptr : it->second;
}

app::Control* TalporWindow::ControlOf(const QWidget* widget) const {
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        auto it = controls_.find(w);
        if (it != controls_.end()) return it->second;
        if (w->isWindow()) break;  // message boxes, popups: not part of the form
    }
    return nullptr;
}

QWidget* TalporWindow::FocusTarget(const Control& c) {
    if (c.kind == Kind::TabControl) return tabBar_;
    if (c.tab > 0) BuildPage(c.tab);
    auto it = widgets_.find(&c);
    return it == widgets_.end() ? nullptr : it->second;
}

void TalporWindow::ChooseTab(int tab) {
    if (tabBar_ != nullptr) tabBar_->setCurrentIndex(tab);
}

// --- Events ------------------------------------------------------------------------------

void TalporWindow::Dispatch(const std::function<void()>& handler) {
    if (busy_ || closing_) return;
    busy_ = true;
    Pull();
    handler();
    Mirror();
    busy_ = false;
    if (frm_.MustEnd() && !closing_) {
        closing_ = true;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

bool TalporWindow::eventFilter(QObject* watched, QEvent* event) {
    if (busy_ || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != this) return false;
    switch (event->type()) {
        case QEvent::FocusIn: {
            // Focus moves are handled where the focus arrives: the model then runs the
            // focus loss of the control it leaves and the focus gain of this one (or
            // gives the focus back to a corrected field). Focus-out events alone (a
            // message box opening, another program activated) change nothing.
            Control* c = ControlOf(widget);
            if (c != nullptr && c != frm_.Form().focused && c->kind != Kind::Form &&
                c->kind != Kind::Frame && c->kind != Kind::Picture && c->kind != Kind::Label) {
                refusedPress_ = nullptr;
                selectingClick_ = nullptr;
                Dispatch([this, c] { frm_.MoveFocus(c); });
                // Qt gives the focus on a mouse press before it delivers the press. When
                // the field being left kept the focus, that press must not reach the
                // control (no click, no caret, no tab change). A field that takes the
                // focus by a click keeps the whole text its focus gain selected, as with
                // Tab, so that typing replaces the value.
                if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason) {
                    if (frm_.Form().focused != c) refusedPress_ = widget;
                    else if (c->kind == Kind::TextBox) selectingClick_ = widget;
                }
            }
            return false;
        }
        case QEvent::MouseButtonDblClick:
            return refusedPress_ != nullptr &&
                   (widget == refusedPress_ || refusedPress_->isAncestorOf(widget));
        case QEvent::KeyPress:
            return KeyPress(widget, static_cast<QKeyEvent*>(event));
        case QEvent::ContextMenu:
            return ContextMenu(widget, static_cast<QContextMenuEvent*>(event));
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            Control* c = ControlOf(widget);
            if (c == nullptr || c->kind != Kind::TextBox || !drop->mimeData()->hasText()) return false;
            if (!PasteText(*c, drop->mimeData()->text())) return false;
            drop->acceptProposedAction();
            return true;
        }
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
            return SelectingClick(widget, static_cast<QMouseEvent*>(event));
        case QEvent::MouseButtonPress: {
            if (SelectingClick(widget, static_cast<QMouseEvent*>(event))) return true;
            if (refusedPress_ != nullptr) {
                bool refused = widget == refusedPress_ || refusedPress_->isAncestorOf(widget);
                refusedPress_ = nullptr;
                if (refused) return true;
            }
            // A click on another tab is the user's tab change. The tab bar does not
            // see it: when the field being left keeps the focus, the tab must stay,
            // and the bar would otherwise switch again on the button's release.
            if (widget != tabBar_) return false;
            auto* mouse = static_cast<QMouseEvent*>(event);
            int tab = tabBar_->tabAt(mouse->position().toPoint());
            if (mouse->button() != Qt::LeftButton || tab < 0 || tab == tabBar_->currentIndex())
                return false;
            Dispatch([this, tab] { frm_.ChangeTab(tab); });
            return true;
        }
        default:
            return false;
    }
}

bool TalporWindow::SelectingClick(QWidget* widget, QMouseEvent* event) {
    if (selectingClick_ == nullptr) return false;
    // The left button's press, the drag while it is held and its release: a press of
    // another button or elsewhere ends it.
    bool ours = widget == selectingClick_ &&
                (event->type() == QEvent::MouseMove ? (event->buttons() & Qt::LeftButton) != 0
                                                    : event->button() == Qt::LeftButton);
    if (!ours) {
        if (event->type() == QEvent::MouseButtonPress) selectingClick_ = nullptr;
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease) selectingClick_ = nullptr;
    return true;
}

bool TalporWindow::KeyPress(QWidget* widget, QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int pressed = event->key();

    // Ctrl+Tab and Ctrl+PgDown bring the next tab to the front, Ctrl+Shift+Tab and
    // Ctrl+PgUp the previous one, wherever the focus is.
    int step = 0;
    if (modifiers == Qt::ControlModifier) {
        if (pressed == Qt::Key_Tab || pressed == Qt::Key_PageDown) step = 1;
        if (pressed == Qt::Key_PageUp) step = -1;
    } else if (modifiers == (Qt::ControlModifier | Qt::ShiftModifier)) {
        if (pressed == Qt::Key_Backtab || pressed == Qt::Key_Tab) step = -1;
    }
    if (step != 0) {
        StepTab(step);
        return true;
    }
    // F1: the About box, wherever the focus is.
    if (pressed == Qt::Key_F1 && modifiers == Qt::NoModifier) {
        if (!event->isAutoRepeat()) Dispatch([this] { frm_.Form_KeyDown(app::kKeyF1); });
        return true;
    }

    auto found = controls_.find(widget);
    if (found == controls_.end()) return false;
    Control* c = found->second;
    const bool enter = (pressed == Qt::Key_Return || pressed == Qt::Key_Enter) &&
                       modifiers == Qt::NoModifier;
    // Enter presses a focused button, and moves on from a field as Tab does (the focus
    // move runs the check of the field left).
    if (enter && c->kind == Kind::CommandButton) {
        if (!event->isAutoRepeat()) static_cast<QAbstractButton*>(widget)->click();
        return true;
    }
    if (enter && c->kind == Kind::TextBox) {
        focusNextPrevChild(true);
        return true;
    }
    if (c->kind == Kind::OptionButton && modifiers == Qt::NoModifier) {
        if (pressed == Qt::Key_Left || pressed == Qt::Key_Up) return StepOption(*c, -1);
        if (pressed == Qt::Key_Right || pressed == Qt::Key_Down) return StepOption(*c, 1);
    }

    auto* edit = qobject_cast<QLineEdit*>(widget);
    if (edit == nullptr || c->kind != Kind::TextBox) return false;
    if (event->matches(QKeySequence::Paste))
        return PasteText(*c, QGuiApplication::clipboard()->text());
    int key = 0;
    if (event->key() == Qt::Key_Backspace) {
        key = 8;
    } else {
        if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            return false;  // shortcuts such as paste are not typed characters
        QString text = event->text();
        if (text.isEmpty()) return false;
        char32_t cp = text.toUcs4().value(0);
        if (cp < 32 || cp == 127) return false;
        key = static_cast<int>(cp);
    }
    int result = key;
    Dispatch([&] { result = frm_.KeyPress(*c, key); });
    if (result == 0) return true;  // refused
    if (result != key) {           // replaced, as "." by ","
        char32_t cp = static_cast<char32_t>(result);
        edit->insert(QString::fromUcs4(&cp, 1));
        return true;
    }
    return false;
}

bool TalporWindow::PasteText(Control& field, const QString& text) {
    bool taken = false;
    Dispatch([&] { taken = frm_.Paste(field, text.toStdString()); });
    return taken;
}

bool TalporWindow::ContextMenu(QWidget* widget, QContextMenuEvent* event) {
    Control* c = ControlOf(widget);
    if (c == nullptr) return false;
    const std::optional<app::frmTalpor::CopyChoices> choices = frm_.CopyChoicesOf(*c);
    auto* edit = qobject_cast<QLineEdit*>(widget);
    if (!choices && !(edit != nullptr && c->kind == Kind::TextBox)) return false;

    auto copy = [](const std::string& text) {
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
    };
    auto add = [&](QMenu* menu, const char* caption, const std::string& text) {
        QAction* action = menu->addAction(QString::fromUtf8(caption), [copy, text] { copy(text); });
        action->setEnabled(!text.empty());
    };
    QMenu* menu = nullptr;
    if (edit != nullptr && c->kind == Kind::TextBox) {
        // The field's own menu, its paste going through the model as Ctrl+V does.
        menu = edit->createStandardContextMenu();
        // The paste entry is known by its text, translated as the menu translated it.
        for (QAction* paste : menu->actions()) {
            if (paste->text().section(QLatin1Char('\t'), 0, 0) != QLineEdit::tr("&Paste")) continue;
            paste->disconnect();
            connect(paste, &QAction::triggered, this, [this, c, edit] {
                if (!PasteText(*c, QGuiApplication::clipboard()->text())) edit->paste();
            });
        }
        if (choices) menu->addSeparator();
    } else {
        menu = new QMenu(this);
        add(menu, "Copiar", choices->underMouse);
    }
    if (choices) {
        add(menu, "Copiar resultado", choices->result);
        add(menu, choices->decimalDegreesCaption.c_str(), choices->decimalDegrees);
        add(menu, choices->utmCaption.c_str(), choices->utm);
    }
    menu->setObjectName(QStringLiteral("TalporCopyMenu"));
    menu->exec(event->globalPos());
    delete menu;
    return true;
}

void TalporWindow::StepTab(int step) {
    const Control* tabs = controls_.at(tabBar_);
    const int count = static_cast<int>(tabs->tabCaptions.size());
    if (count == 0) return;
    const int tab = ((tabs->currentTab + step) % count + count) % count;
    Dispatch([this, tab] { frm_.ChangeTab(tab); });
}

std::vector<Control*> TalporWindow::OptionGroup(const Control& option) const {
    // The model's group is the container; the input-mode buttons of the two conversion
    // tabs share SSTab1, but a user only reaches those of the tab in front.
    std::vector<Control*> group;
    for (const auto& owned : frm_.Form().Controls())
        if (owned->kind == Kind::OptionButton && owned->container == option.container &&
            owned->tab == option.tab)
            group.push_back(owned.get());
    return group;
}

bool TalporWindow::StepOption(const Control& option, int step) {
    // Qt's own arrow keys for grouped buttons are not used: they click the next button
    // and then give it the focus themselves, taking it from a field that the click's
    // check has just given it to.
    std::vector<Control*> group = OptionGroup(option);
    const int count = static_cast<int>(group.size());
    const int at = static_cast<int>(std::find(group.begin(), group.end(), &option) - group.begin());
    for (int n = 1; n < count; ++n) {
        Control* next = group[static_cast<std::size_t>(((at + step * n) % count + count) % count)];
        if (!frm_.Form().IsUsable(*next)) continue;
        Dispatch([this, next] { frm_.Click(*next); });
        break;
    }
    return true;
}

bool TalporWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::Show) {
        // Activation runs after the event that caused it, never inside it.
        QTimer::singleShot(0, this, [this] { Dispatch([this] { frm_.Activate(); }); });
    }
    return QWidget::event(event);
}

void TalporWindow::closeEvent(QCloseEvent* event) {
    if (!frm_.MustEnd()) frm_.Form_Unload();
    closing_ = true;
    event->accept();
}

void TalporWindow::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!painted_) {
        painted_ = true;
        if (onFirstPaint) QTimer::singleShot(0, this, [this] { if (onFirstPaint) onFirstPaint(); });
        // The pages behind the first one a moment after the window shows, each in its
        // own turn of the event loop (a tab chosen before then is built at once).
        for (int tab = 1; tab < static_cast<int>(pageBuilt_.size()); ++tab)
            QTimer::singleShot(50 * tab, this, [this, tab] { BuildPageWhenIdle(tab); });
    }
}

// --- Model and widgets --------------------------------------------------------------------

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
        case Kind::Picture:
            break;
    }

    if (c.kind == Kind::Form) return;
    const QString toolTip = Q(app::ShownToolTip(c));
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

}  // namespace talpor_qt
