#include "qt/MapWindow.h"

#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "qt/QtText.h"

namespace qt {
namespace {

// The buttons' row above the map and the caption below it.
constexpr int kTop = 40, kBottom = 44;

QPointF P(const convert::MapXY& p) { return {p.x, p.y}; }

const QColor kSea(190, 218, 240), kSpain(246, 240, 222), kOtherLand(228, 226, 220);
const QColor kArrow(200, 0, 0), kConverted(0, 90, 200), kStale(150, 150, 150);

// The colour of an area's outline and hatching.
QColor AreaColour(convert::MapAreaKind kind) {
    switch (kind) {
        case convert::MapAreaKind::EST99: return QColor(215, 130, 20);
        case convert::MapAreaKind::ZNW99: return QColor(40, 150, 60);
        case convert::MapAreaKind::BAL99: return QColor(140, 80, 200);
        case convert::MapAreaKind::Grid: break;
    }
    return QColor(200, 40, 40);
}

// An area's pen and brush: the sets' areas outlined and lightly hatched, so that land and
// sea keep their colours under them; the grid's extent dashed.
void AreaPen(QPainter& painter, convert::MapAreaKind kind) {
    if (kind == convert::MapAreaKind::Grid) {
        painter.setPen(QPen(AreaColour(kind), 1.5, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        return;
    }
    QColor hatch = AreaColour(kind);
    hatch.setAlpha(70);
    painter.setPen(QPen(AreaColour(kind), 1.5));
    painter.setBrush(QBrush(hatch, kind == convert::MapAreaKind::ZNW99 ? Qt::FDiagPattern : Qt::BDiagPattern));
}

void DrawArrow(QPainter& painter, QPointF from, QPointF to) {
    painter.setPen(QPen(kArrow, 2));
    painter.drawLine(from, to);
    const double angle = std::atan2(to.y() - from.y(), to.x() - from.x());
    QPolygonF head;
    head << to << to - QPointF(10 * std::cos(angle - 0.4), 10 * std::sin(angle - 0.4))
         << to - QPointF(10 * std::cos(angle + 0.4), 10 * std::sin(angle + 0.4));
    painter.setBrush(kArrow);
    painter.drawPolygon(head);
}

void DrawTyped(QPainter& painter, QPointF at) {
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(QColor(220, 0, 0));
    painter.drawEllipse(at, 4, 4);
}

void DrawConverted(QPainter& painter, QPointF at, bool stale) {
    painter.setPen(QPen(stale ? kStale : kConverted, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(at, 6, 6);
}

// A text on a light box that keeps it readable over land, sea and hatching.
QRectF BoxedText(QPainter& painter, QPointF at, const QString& text, const QColor& colour = Qt::black) {
    const QRectF box = QRectF(painter.fontMetrics().boundingRect(text)).translated(at).adjusted(-3, -1, 3, 1);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.drawRoundedRect(box, 3, 3);
    painter.setPen(colour);
    painter.drawText(at, text);
    return box;
}

}  // namespace

MapWindow::MapWindow(app::frmTalpor& frm, QWidget* parent) : QWidget(parent, Qt::Window), frm_(frm) {
    setObjectName(QStringLiteral("TalporMapa"));
    resize(720, 540);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    auto* buttons = new QHBoxLayout;
    const auto add = [&](const char* caption, const char* name, auto action) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromUtf8(name));
        b->setFocusPolicy(Qt::TabFocus);
        connect(b, &QPushButton::clicked, this, action);
        buttons->addWidget(b);
    };
    add("Acercar (+)", "CmdAcercar", [this] { Zoom(2); });
    add("Alejar (−)", "CmdAlejar", [this] { Zoom(0.5); });
    add("España", "CmdEspana", [this] {
        view_.Fit(MapRect().width(), MapRect().height());
        update();
    });
    add("Al punto", "CmdAlPunto", [this] { ToPoint(); });
    buttons->addStretch();
    add("OpenStreetMap", "CmdOsm", [this] { frm_.OpenWebMap(tab_, convert::WebMap::OpenStreetMap); });
    add("Google Maps", "CmdGoogle", [this] { frm_.OpenWebMap(tab_, convert::WebMap::GoogleMaps); });
    caption_ = new QLabel(this);
    caption_->setObjectName(QStringLiteral("LblMapa"));
    caption_->setWordWrap(true);
    caption_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->addLayout(buttons);
    layout->addStretch();
    layout->addWidget(caption_);
}

void MapWindow::SetTab(int tab) {
    tab_ = tab;
    setWindowTitle(QString::fromUtf8(tab == 0 ? "Mapa del punto: WGS84 -> ED50" : "Mapa del punto: ED50 -> WGS84"));
    Follow();
}

void MapWindow::Follow() {
    // A point typed anew, or the other tab's, is kept in sight at the user's zoom.
    const convert::MapPoints points = convert::PointsOfTab(frm_.Form(), tab_);
    if (fitted_ && points.typed && (!followed_ || followed_->lat != points.typed->lat || followed_->lon != points.typed->lon))
        view_.KeepInSight(*points.typed);
    followed_ = points.typed;
    caption_->setText(Q(frm_.MapOfTab(tab_, view_).caption));
    update();
}

QRect MapWindow::MapRect() const { return {8, kTop, width() - 16, height() - kTop - kBottom}; }

void MapWindow::resizeEvent(QResizeEvent*) {
    if (!fitted_) view_.Fit(MapRect().width(), MapRect().height());
    else view_.Resize(MapRect().width(), MapRect().height());
    fitted_ = true;
}

void MapWindow::Zoom(double factor) {
    view_.Zoom(factor, {view_.Width() / 2.0, view_.Height() / 2.0});
    update();
}

void MapWindow::ToPoint() {
    const convert::MapPoints points = convert::PointsOfTab(frm_.Form(), tab_);
    if (!points.typed) return;
    view_.Show(*points.typed, 2);  // some 2 m a pixel: the datum shift to scale
    update();
}

void MapWindow::paintEvent(QPaintEvent*) {
    const convert::MapScene scene = frm_.MapOfTab(tab_, view_);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect r = MapRect();
    painter.fillRect(r, kSea);
    painter.setClipRect(r);
    painter.translate(r.topLeft());
    for (const convert::MapLand& land : scene.land) {
        QPainterPath path;
        path.setFillRule(Qt::OddEvenFill);
        for (const auto& ring : land.rings) {
            QPolygonF polygon;
            for (const convert::MapXY& p : ring) polygon << P(p);
            path.addPolygon(polygon);
            path.closeSubpath();
        }
        painter.fillPath(path, land.country == "ES" ? kSpain : kOtherLand);
    }
    const auto polyline = [&](const std::vector<convert::MapXY>& points) {
        QPolygonF line;
        for (const convert::MapXY& p : points) line << P(p);
        painter.drawPolyline(line);
    };
    for (const convert::MapArea& a : scene.areas) {
        QPolygonF outline;
        for (const convert::MapXY& p : a.outline) outline << P(p);
        AreaPen(painter, a.kind);
        painter.drawPolygon(outline);
    }
    painter.setPen(QPen(QColor(30, 70, 140), 1.2));
    for (const auto& line : scene.coasts) polyline(line);
    painter.setPen(QPen(QColor(110, 110, 110), 1, Qt::DashLine));
    for (const auto& line : scene.borders) polyline(line);
    for (const convert::MapArea& a : scene.areas)
        if (!a.name.empty()) BoxedText(painter, P(a.label) + QPointF(2, -4), Q(a.name), AreaColour(a.kind).darker(130));
    arrowBox_ = QRectF();
    if (scene.shift) {
        const QPointF from = P(scene.shift->from), to = P(scene.shift->to);
        DrawArrow(painter, from, to);
        // The label on the side the arrow points to, inside the map.
        const QString label = Q(scene.shift->label);
        const double width = painter.fontMetrics().horizontalAdvance(label);
        QPointF at = to + QPointF(to.x() >= from.x() ? 8 : -8 - width, to.y() >= from.y() ? 14 : -6);
        at.setX(std::clamp(at.x(), 8.0, std::max(8.0, r.width() - width - 10)));
        arrowBox_ = BoxedText(painter, at, label, kArrow.darker(120)).united(QRectF(from, to).normalized())
                        .translated(r.topLeft());
    }
    if (scene.converted) DrawConverted(painter, P(*scene.converted), scene.stale);
    if (scene.typed) DrawTyped(painter, P(*scene.typed));

    // The scale bar, bottom left.
    const QString scale = Q(scene.scaleLabel);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.drawRoundedRect(QRectF(P(scene.scaleFrom) + QPointF(-6, -22), P(scene.scaleTo) + QPointF(6, 8))
                                .united(QRectF(P(scene.scaleFrom) + QPointF(-6, -22),
                                               QSizeF(painter.fontMetrics().horizontalAdvance(scale) + 12, 30))),
                            3, 3);
    painter.setPen(QPen(Qt::black, 2));
    painter.drawLine(P(scene.scaleFrom), P(scene.scaleTo));
    painter.drawLine(P(scene.scaleFrom) + QPointF(0, -4), P(scene.scaleFrom) + QPointF(0, 4));
    painter.drawLine(P(scene.scaleTo) + QPointF(0, -4), P(scene.scaleTo) + QPointF(0, 4));
    painter.drawText(P(scene.scaleFrom) + QPointF(0, -7), scale);

    // The place's name, top centre.
    if (!scene.placeName.empty()) {
        QFont bold = painter.font();
        bold.setBold(true);
        painter.setFont(bold);
        const QString name = Q(scene.placeName);
        BoxedText(painter, QPointF((r.width() - painter.fontMetrics().horizontalAdvance(name)) / 2.0, 20), name);
        painter.setFont(font());
    }

    // The legend, bottom right: each symbol and what it stands for.
    legendArrow_ = QRectF();
    if (!scene.legend.empty()) {
        const QFontMetrics metrics = painter.fontMetrics();
        const int line = metrics.height() + 4, symbol = 26;
        int widest = 0;
        for (const convert::MapLegendEntry& e : scene.legend) widest = std::max(widest, metrics.horizontalAdvance(Q(e.text)));
        const QRectF box(r.width() - widest - symbol - 20, r.height() - line * int(scene.legend.size()) - 12,
                         widest + symbol + 14, line * int(scene.legend.size()) + 6);
        painter.setPen(QColor(160, 160, 160));
        painter.setBrush(QColor(255, 255, 255, 225));
        painter.drawRoundedRect(box, 4, 4);
        for (std::size_t i = 0; i < scene.legend.size(); ++i) {
            const convert::MapLegendEntry& e = scene.legend[i];
            const QPointF centre(box.left() + 6 + symbol / 2.0, box.top() + 3 + line * (i + 0.5));
            switch (e.symbol) {
                case convert::MapSymbol::Typed: DrawTyped(painter, centre); break;
                case convert::MapSymbol::Converted: DrawConverted(painter, centre, false); break;
                case convert::MapSymbol::StaleConverted: DrawConverted(painter, centre, true); break;
                case convert::MapSymbol::Arrow:
                    DrawArrow(painter, centre - QPointF(11, 0), centre + QPointF(11, 0));
                    legendArrow_ = QRectF(box.left(), centre.y() - line / 2.0, box.width(), line).translated(r.topLeft());
                    break;
                case convert::MapSymbol::Area:
                    AreaPen(painter, e.area);
                    painter.drawRect(QRectF(centre - QPointF(10, 6), QSizeF(20, 12)));
                    break;
            }
            painter.setPen(Qt::black);
            painter.drawText(QPointF(box.left() + symbol + 10, centre.y() + metrics.ascent() / 2.0 - 1), Q(e.text));
        }
    }
    arrowTip_ = scene.shift ? scene.shift->tooltip : std::string();
}

bool MapWindow::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (!arrowTip_.empty() && (arrowBox_.adjusted(-4, -4, 4, 4).contains(help->pos()) || legendArrow_.contains(help->pos())))
            QToolTip::showText(help->globalPos(), Q(arrowTip_), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void MapWindow::wheelEvent(QWheelEvent* event) {
    const QPointF at = event->position() - MapRect().topLeft();
    view_.Zoom(std::pow(1.25, event->angleDelta().y() / 120.0), {at.x(), at.y()});
    update();
}

void MapWindow::mousePressEvent(QMouseEvent* event) { dragFrom_ = event->pos(); }

void MapWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    const QPoint step = event->pos() - dragFrom_;
    dragFrom_ = event->pos();
    view_.Pan(-step.x(), -step.y());
    update();
}

void MapWindow::keyPressEvent(QKeyEvent* event) {
    const double step = view_.Width() / 8.0;
    switch (event->key()) {
        case Qt::Key_Plus: case Qt::Key_Equal: Zoom(2); return;
        case Qt::Key_Minus: Zoom(0.5); return;
        case Qt::Key_Left: view_.Pan(-step, 0); break;
        case Qt::Key_Right: view_.Pan(step, 0); break;
        case Qt::Key_Up: view_.Pan(0, -step); break;
        case Qt::Key_Down: view_.Pan(0, step); break;
        case Qt::Key_Home: view_.Fit(MapRect().width(), MapRect().height()); break;
        case Qt::Key_P: ToPoint(); return;
        case Qt::Key_Escape: close(); return;
        default: QWidget::keyPressEvent(event); return;
    }
    update();
}

}  // namespace qt
