#include "qt/ModelDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <QTimer>
#include <algorithm>
#include <map>
#include <string>

#include "qt/Fonts.h"
#include "qt/QtText.h"

namespace qt {
namespace {

using form::Control;
using form::Kind;

struct Cell {
    int row = 0, column = 0, rowSpan = 1, columnSpan = 1;
};
// The row of the buttons that end a dialog: under its body, which scrolls on a screen too
// short for it, always in sight.
constexpr int kButtonRow = -1;

// Where the controls of the dialogs sit in their containers' grids, by object name.
const std::map<std::string, Cell>& Places() {
    static const std::map<std::string, Cell> places = {
        // "Convertir fichero…"
        {"LblEntrada", {0, 0}}, {"TxtEntrada", {0, 1}}, {"CmdEntrada", {0, 2}}, {"CmdCarpeta", {0, 3}},
        {"FraPrevia", {1, 0, 1, 4}}, {"FraConversion", {2, 0, 1, 4}}, {"FraResultado", {3, 0, 1, 4}},
        {"LblOrden", {4, 0, 1, 4}}, {"LblAviso", {5, 0, 1, 4}}, {"CmdConvertir", {kButtonRow, 0}},
        {"CmdCancelar", {kButtonRow, 1}},
        {"LblPrevia", {0, 0, 1, 6}}, {"LblFormato", {1, 0, 1, 6}},
        {"LblSeparador", {2, 0}}, {"CmbSeparador", {2, 1}}, {"LblCabecera", {2, 2}}, {"CmbCabecera", {2, 3}},
        {"LblColumnas", {2, 4}}, {"TxtColumnas", {2, 5}},
        {"LblSistema", {0, 0}}, {"CmbSistema", {0, 1, 1, 2}}, {"LblOrigen", {1, 0}}, {"CmbOrigen", {1, 1, 1, 2}},
        {"LblHuso", {2, 0}}, {"CmbHuso", {2, 1}}, {"LblAltura", {3, 0}}, {"CmbAltura", {3, 1}},
        {"PicAltura", {3, 2}}, {"OptAltura_0", {0, 0}}, {"OptAltura_1", {0, 1}},
        {"LblMetodo", {4, 0}}, {"CmbMetodo", {4, 1, 1, 2}},
        {"ChkSalida_0", {0, 0}}, {"ChkSalida_1", {0, 1}}, {"ChkSalida_2", {0, 2}}, {"ChkSalida_3", {1, 0}},
        {"ChkSalida_4", {1, 1}}, {"ChkSalida_5", {1, 2}}, {"ChkSalida_6", {2, 0}},
        {"LblDecimal", {3, 0}}, {"CmbDecimal", {3, 1}}, {"LblFormato2", {3, 2}}, {"CmbFormato", {3, 3}}, {"LblDestino", {4, 0}}, {"TxtDestino", {4, 1, 1, 2}},
        {"CmdDestino", {4, 3}}, {"ChkOmitir", {5, 0, 1, 3}}, {"ChkRemuestrear", {6, 0, 1, 3}}, {"LblEtiqueta", {5, 0}}, {"CmbEtiqueta", {5, 1, 1, 2}},
        {"LblEscribe", {6, 0, 1, 4}},
    };
    return places;
}

}  // namespace

ModelDialog::ModelDialog(form::FormModel& model, std::function<form::DialogEnd(Control&)> changed, QWidget* parent)
    : QDialog(parent), model_(model), changed_(std::move(changed)) {
    std::unordered_map<std::string, QGridLayout*> grids;
    for (const auto& owned : model_.Controls()) {
        Control& c = *owned;
        Control* control = &c;
        QWidget* w = nullptr;
        QGridLayout* grid = nullptr;
        switch (c.kind) {
            case Kind::Form: {
                setObjectName(QString::fromStdString(c.id.ObjectName()));
                widgets_[control] = this;
                auto* outer = new QVBoxLayout(this);
                body_ = new QScrollArea;
                body_->setObjectName(QStringLiteral("Cuerpo"));
                body_->setWidgetResizable(true);
                body_->setFrameShape(QFrame::NoFrame);
                body_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                auto* inside = new QWidget;
                grids[c.id.Text()] = new QGridLayout(inside);
                grids[c.id.Text()]->setColumnStretch(1, 1);
                grids[c.id.Text()]->setContentsMargins(0, 0, 0, 0);
                body_->setWidget(inside);
                outer->addWidget(body_, 1);
                buttons_ = new QHBoxLayout;
                buttons_->addStretch(1);
                outer->addLayout(buttons_);
                continue;
            }
            case Kind::Frame:
            case Kind::Picture:
                w = c.kind == Kind::Frame ? static_cast<QWidget*>(new QGroupBox) : new QWidget;
                grid = new QGridLayout(w);
                if (c.kind == Kind::Picture) grid->setContentsMargins(0, 0, 0, 0);
                grids[c.id.Text()] = grid;
                break;
            case Kind::Label: {
                auto* label = new QLabel;
                label->setTextFormat(Qt::PlainText);
                if (c.selectable) label->setTextInteractionFlags(Qt::TextSelectableByMouse);
                if (c.fixedPitch) {
                    // A table of text, on the colours of a field.
                    label->setFont(FixedPitchFont());
                    label->setFrameShape(QFrame::StyledPanel);
                    label->setBackgroundRole(QPalette::Base);
                    label->setAutoFillBackground(true);
                    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                    label->setMargin(4);
                }
                w = label;
                break;
            }
            case Kind::TextBox: {
                auto* edit = new QLineEdit;
                edit->setMinimumWidth(360);
                connect(edit, &QLineEdit::editingFinished, this, [this, control, edit] {
                    if (busy_ || edit->text().toStdString() == control->text) return;
                    control->text = edit->text().toStdString();
                    Dispatch(*control);
                });
                w = edit;
                break;
            }
            case Kind::ComboBox: {
                auto* combo = new QComboBox;
                connect(combo, &QComboBox::activated, this, [this, control](int index) {
                    control->listIndex = index;
                    Dispatch(*control);
                });
                w = combo;
                break;
            }
            case Kind::CheckBox:
            case Kind::OptionButton: {
                QAbstractButton* button = c.kind == Kind::CheckBox ? static_cast<QAbstractButton*>(new QCheckBox)
                                                                  : new QRadioButton;
                if (c.kind == Kind::OptionButton) button->setAutoExclusive(false);  // the model keeps the group
                connect(button, &QAbstractButton::clicked, this, [this, control](bool checked) {
                    control->value = control->kind == Kind::OptionButton || checked;
                    Dispatch(*control);
                });
                w = button;
                break;
            }
            case Kind::CommandButton: {
                auto* button = new QPushButton;
                button->setAutoDefault(false);
                button->setDefault(c.id.name == "CmdConvertir");  // Intro converts
                connect(button, &QAbstractButton::clicked, this, [this, control] { Dispatch(*control); });
                w = button;
                break;
            }
            default:
                w = new QWidget;
                break;
        }
        w->setObjectName(QString::fromStdString(c.id.ObjectName()));
        widgets_[control] = w;
        const auto place = Places().find(c.id.ObjectName());
        const Cell cell = place != Places().end() ? place->second : Cell{grids[c.container]->rowCount(), 0, 1, 4};
        // Texts across the dialog wrap; buttons keep their own width.
        if (auto* label = qobject_cast<QLabel*>(w); label != nullptr && !c.fixedPitch)
            label->setWordWrap(cell.columnSpan > 1);
        const Qt::Alignment align = c.kind != Kind::CommandButton ? Qt::Alignment()
                                    : c.id.name == "CmdConvertir"  ? Qt::AlignRight
                                                                   : Qt::AlignLeft;
        if (cell.row == kButtonRow) buttons_->addWidget(w);
        else grids[c.container]->addWidget(w, cell.row, cell.column, cell.rowSpan, cell.columnSpan, align);
        if (c.takesDrops) dropTarget_ = control;
    }
    // A drop over a field is the dialog's too.
    if (dropTarget_ != nullptr) {
        setAcceptDrops(true);
        for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->setAcceptDrops(false);
    }
    Mirror();
}

void ModelDialog::Dispatch(Control& control) {
    if (busy_) return;
    const form::DialogEnd end = changed_(control);
    Mirror();
    if (end == form::DialogEnd::Accept) accept();
    if (end == form::DialogEnd::Cancel) reject();
}

void ModelDialog::Mirror() {
    busy_ = true;
    for (const auto& owned : model_.Controls()) {
        const Control& c = *owned;
        QWidget* w = widgets_.at(&c);
        const QString text = Q(c.text);
        switch (c.kind) {
            case Kind::Form:
                if (windowTitle() != text) setWindowTitle(text);
                continue;
            case Kind::Frame:
                static_cast<QGroupBox*>(w)->setTitle(text);
                break;
            case Kind::Label: {
                auto* label = static_cast<QLabel*>(w);
                if (label->text() != text) label->setText(text);
                label->setVisible(c.visible && (!c.text.empty() || c.fixedPitch));
                QPalette p = label->palette();
                p.setColor(QPalette::WindowText, QColor(static_cast<int>(c.foreColor & 0xFF),
                                                        static_cast<int>((c.foreColor >> 8) & 0xFF),
                                                        static_cast<int>((c.foreColor >> 16) & 0xFF)));
                label->setPalette(p);
                if (c.fixedPitch) {
                    // Room for the lines the text has, and for as many when it has fewer.
                    const int lines = std::max<int>(7, static_cast<int>(text.count(QLatin1Char('\n'))) + 1);
                    label->setMinimumHeight(lines * label->fontMetrics().lineSpacing() + 2 * label->margin() + 4);
                }
                break;
            }
            case Kind::TextBox: {
                auto* edit = static_cast<QLineEdit*>(w);
                if (edit->text() != text) edit->setText(text);
                break;
            }
            case Kind::ComboBox: {
                auto* combo = static_cast<QComboBox*>(w);
                QStringList items;
                for (const std::string& item : c.items) items << Q(item);
                QStringList shown;
                for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
                if (shown != items) {
                    combo->clear();
                    combo->addItems(items);
                }
                if (combo->currentIndex() != c.listIndex) combo->setCurrentIndex(c.listIndex);
                break;
            }
            case Kind::CheckBox:
            case Kind::OptionButton:
            case Kind::CommandButton: {
                auto* button = static_cast<QAbstractButton*>(w);
                if (button->text() != text) button->setText(text);
                if (button->isChecked() != c.value && c.kind != Kind::CommandButton) button->setChecked(c.value);
                break;
            }
            default:
                break;
        }
        if (w->isEnabledTo(w->parentWidget()) != c.enabled) w->setEnabled(c.enabled);
        if (c.kind != Kind::Label && w != this && w->isVisibleTo(w->parentWidget()) != c.visible) w->setVisible(c.visible);
        if (w->toolTip() != Q(c.toolTip)) w->setToolTip(Q(c.toolTip));
        if (w->accessibleName() != Q(c.accessibleName)) w->setAccessibleName(Q(c.accessibleName));
    }
    busy_ = false;
    FitWrappedTexts();
}

void ModelDialog::FitWrappedTexts() {
    // A grid gives a wrapped text the height of its first text; each keeps room for the
    // lines it has now at the width it has.
    if (!isVisible()) return;
    for (QLabel* label : findChildren<QLabel*>()) {
        if (!label->wordWrap()) continue;
        const int height = label->text().isEmpty() ? 0 : label->heightForWidth(label->width());
        if (label->minimumHeight() != height) label->setMinimumHeight(height);
    }
    FitScreen();
}

void ModelDialog::FitScreen() {
    // The body as tall as it needs, up to what the screen leaves beside the title bar and
    // the buttons; beyond that it scrolls. Never wider than the screen either, and a
    // margin clear of its edges and panels.
    if (body_ == nullptr || body_->widget() == nullptr || screen() == nullptr) return;
    constexpr int kMargin = 8;
    const QRect room = screen()->availableGeometry().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    const int frame = std::max(frameGeometry().height() - height(), 0);
    const int titleBar = std::max(frame, 32);  // a window manager's, before it has drawn one
    const QMargins margins = layout()->contentsMargins();
    const int around = titleBar + margins.top() + margins.bottom() + layout()->spacing() + buttons_->sizeHint().height();
    const QSize wanted = body_->widget()->minimumSizeHint().expandedTo(body_->widget()->sizeHint());
    const int height = std::min(wanted.height(), room.height() - around);
    const bool scrolls = height < wanted.height();
    const int bar = body_->verticalScrollBar()->sizeHint().width() +
                    std::max(style()->pixelMetric(QStyle::PM_ScrollView_ScrollBarSpacing), 0) + 4;
    const int width = std::min(wanted.width() + (scrolls ? bar : 0),
                               room.width() - margins.left() - margins.right() - 2 * std::max(frame / 4, 4));
    body_->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
    if (body_->minimumHeight() != height) body_->setMinimumHeight(height);
    if (body_->minimumWidth() != width) body_->setMinimumWidth(width);
    if (body_->maximumHeight() != wanted.height()) body_->setMaximumHeight(wanted.height());
    // A dialog that grew past the screen's bottom or right edge comes back onto it.
    QRect where = frameGeometry();
    if (where.bottom() > room.bottom()) where.moveBottom(room.bottom());
    if (where.right() > room.right()) where.moveRight(room.right());
    where.moveTop(std::max(where.top(), room.top()));
    where.moveLeft(std::max(where.left(), room.left()));
    if (where.topLeft() != frameGeometry().topLeft()) move(where.topLeft());
}

void ModelDialog::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void ModelDialog::dragMoveEvent(QDragMoveEvent* event) {
    if (!LocalFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void ModelDialog::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths = LocalFiles(event->mimeData());
    if (paths.empty() || dropTarget_ == nullptr) return;
    event->acceptProposedAction();
    // Taken once the drop has ended, so that the program the files come from is not kept
    // waiting while they are read.
    QTimer::singleShot(0, this, [this, paths = std::move(paths)] {
        dropTarget_->dropped = paths;
        Dispatch(*dropTarget_);
    });
}

void ModelDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FitWrappedTexts();
    // Once more when the desktop has put its frame around it, whose title bar and borders
    // the first fit could only guess.
    QTimer::singleShot(250, this, [this] { FitScreen(); });
}

void ModelDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FitWrappedTexts();
}

}  // namespace qt
