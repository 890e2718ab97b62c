// The main window's events: each user event runs on the model (widget state in, the
// handler, model out), with the keys, menus and pastes the model decides.
#include "qt/TalporWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <algorithm>

#include "qt/MapWindow.h"
#include "qt/QtText.h"

namespace qt {

using form::Control;
using form::Kind;

void TalporWindow::Dispatch(const std::function<void()>& handler) {
    if (busy_ || closing_) return;
    busy_ = true;
    Pull();
    handler();
    Mirror();
    busy_ = false;
    if (map_) map_->Follow();
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
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            // Files or a folder dragged anywhere on a conversion tab are for "Convertir fichero…".
            auto* drag = static_cast<QDropEvent*>(event);
            if (LocalFiles(drag->mimeData()).empty() || !frm_.TakesFiles()) return false;
            drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (std::vector<std::string> paths = LocalFiles(drop->mimeData()); !paths.empty() && frm_.TakesFiles()) {
                drop->acceptProposedAction();
                // Once the drop has ended: the dialog is not opened within it.
                QTimer::singleShot(0, this, [this, paths = std::move(paths)] {
                    Dispatch([this, &paths] { frm_.DropFiles(paths); });
                });
                return true;
            }
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
    // Ctrl+M: the map of a conversion tab's point.
    if (pressed == Qt::Key_M && modifiers == Qt::ControlModifier) {
        const int tab = frm_.Form().Get("SSTab1").currentTab;
        if (tab == 0 || tab == 1) ShowMap(tab);
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
        add(menu, choices->degreesMinutesCaption.c_str(), choices->degreesMinutes);
        // A point beyond UTM's latitudes keeps its entry, which says why it copies nothing.
        QAction* utm = menu->addAction(QString::fromUtf8(choices->utmCaption.c_str()), [this, copy, c = *choices] {
            std::string text;
            Dispatch([&] { text = frm_.CopyUtm(c); });
            if (!text.empty()) copy(text);
        });
        utm->setEnabled(!choices->utm.empty() || !choices->utmRefusal.empty());
        if (choices->webMapTab >= 0) {
            // The WGS84 side of the tab's point in the browser.
            menu->addSeparator();
            for (const convert::WebMap map : {convert::WebMap::OpenStreetMap, convert::WebMap::GoogleMaps}) {
                const int tab = choices->webMapTab;
                menu->addAction(QStringLiteral("Ver en %1 (WGS84)").arg(QString::fromUtf8(convert::kWebMapNames[int(map)])),
                                [this, tab, map] { Dispatch([this, tab, map] { frm_.OpenWebMap(tab, map); }); });
            }
        }
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

}  // namespace qt
