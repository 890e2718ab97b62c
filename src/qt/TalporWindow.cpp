// The main window's widgets: one per control of the model, built page by page.
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
#include <QScreen>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <algorithm>

#include "qt/Fonts.h"
#include "qt/Icons.h"
#include "qt/MapWindow.h"
#include "qt/SunChart.h"
#include "qt/QtText.h"
#include "qt/WindowLayout.h"

namespace qt {

using form::Control;
using form::Kind;

TalporWindow::TalporWindow(app::frmTalpor& frm, QWidget* parent) : QWidget(parent), frm_(frm) {
    setObjectName(QStringLiteral("frmTalpor"));
    Build();
    Mirror();
    qApp->installEventFilter(this);
}

TalporWindow::~TalporWindow() { qApp->removeEventFilter(this); }

void TalporWindow::Build() {
    setFixedSize(kWindowWidth, kWindowHeight);
    setAcceptDrops(true);  // files for "Convertir fichero…" (eventFilter)
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
        // The chart takes no focus and stays out of the chain.
        if (it == widgets_.end() || it->second == this || owned->kind == Kind::Chart) continue;
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
            // A result can be selected with the mouse and copied with Ctrl+C: from the
            // first paint on (MakeResultsSelectable), as nobody selects before it.
            if (c.selectable && painted_) label->setTextInteractionFlags(Qt::TextSelectableByMouse);
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
            calendar->setLocale(QLocale(QLocale::Spanish, QLocale::Spain));
            connect(calendar, &QCalendarWidget::selectionChanged, this, [this, control, calendar] {
                if (busy_) return;
                QDate d = calendar->selectedDate();
                Dispatch([this, control, d] {
                    frm_.SetDate(*control, {d.year(), d.month(), d.day()});
                });
            });
            return calendar;
        }
        case Kind::Chart:
            return new SunChart(c, parent);
        case Kind::Form:
        case Kind::CheckBox:  // none on the main window
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

form::Control* TalporWindow::ControlOf(const QWidget* widget) const {
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

void TalporWindow::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!painted_) {
        painted_ = true;
        QTimer::singleShot(0, this, [this] {
            MakeResultsSelectable();
            if (onFirstPaint) onFirstPaint();
        });
        // The pages behind the first one a moment after the window shows, each in its
        // own turn of the event loop (a tab chosen before then is built at once).
        for (int tab = 1; tab < static_cast<int>(pageBuilt_.size()); ++tab)
            QTimer::singleShot(50 * tab, this, [this, tab] { BuildPageWhenIdle(tab); });
    }
}

void TalporWindow::BringForward() {
    if (isMinimized()) showNormal();
    raise();
    // A message box or dialog open over the window holds the input: that one is activated.
    QWidget* modal = QApplication::activeModalWidget();
    QWidget* front = modal != nullptr ? modal : this;
    front->raise();
    front->activateWindow();
}

void TalporWindow::MakeResultsSelectable() {
    for (auto& [control, widget] : widgets_)
        if (control->kind == Kind::Label && control->selectable)
            static_cast<QLabel*>(widget)->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

void TalporWindow::ShowMap(int tab) {
    if (!map_) map_ = new MapWindow(frm_, this);
    map_->SetTab(tab);
    if (!map_->isVisible() && screen() != nullptr) {
        // It opens on the window's screen, within what its panels leave (a margin and room
        // for a title bar around it), beside the window's top left: smaller where the
        // screen has no room for its 720 × 540.
        constexpr int kMargin = 8, kTitleBar = 32;
        const QRect room = screen()->availableGeometry().adjusted(kMargin, kMargin, -kMargin, -kMargin);
        const QSize size = QSize(720, 540).boundedTo(QSize(room.width(), room.height() - kTitleBar));
        map_->resize(size.expandedTo(map_->minimumSizeHint()));
        const QPoint wanted = frameGeometry().topLeft() + QPoint(40, 40);
        map_->move(std::clamp(wanted.x(), room.left(), std::max(room.left(), room.right() + 1 - map_->width())),
                   std::clamp(wanted.y(), room.top(), std::max(room.top(), room.bottom() + 1 - kTitleBar - map_->height())));
    }
    map_->show();
    map_->raise();
    map_->activateWindow();
}

}  // namespace qt
