#include "qt/MapWindow.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

#include "qt/QtText.h"

namespace qt {
namespace {

// The buttons' row above the map and the caption below it.
constexpr int kTop = 40, kBottom = 44;

QPointF P(const convert::MapXY& p) { return {p.x, p.y}; }

QColor AreaColour(convert::MapAreaKind kind) {
    switch (kind) {
        case convert::MapAreaKind::EST99: return QColor(255, 205, 130, 45);
        case convert::MapAreaKind::ZNW99: return QColor(120, 200, 120, 55);
        case convert::MapAreaKind::BAL99: return QColor(180, 140, 230, 55);
        case convert::MapAreaKind::Grid: break;
    }
    return QColor(200, 40, 40);
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
    painter.fillRect(r, QColor(232, 241, 250));  // the sea, and what lies beyond the lines
    painter.setClipRect(r);
    painter.translate(r.topLeft());
    const auto polyline = [&](const std::vector<convert::MapXY>& points) {
        QPolygonF line;
        for (const convert::MapXY& p : points) line << P(p);
        painter.drawPolyline(line);
    };
    for (const convert::MapArea& a : scene.areas) {
        QPolygonF outline;
        for (const convert::MapXY& p : a.outline) outline << P(p);
        if (a.kind == convert::MapAreaKind::Grid) {
            painter.setPen(QPen(AreaColour(a.kind), 1.5, Qt::DashLine));
            painter.setBrush(Qt::NoBrush);
        } else {
            painter.setPen(QPen(AreaColour(a.kind).darker(160), 1));
            painter.setBrush(AreaColour(a.kind));
        }
        painter.drawPolygon(outline);
    }
    painter.setPen(QPen(QColor(30, 70, 140), 1.2));
    for (const auto& line : scene.coasts) polyline(line);
    painter.setPen(QPen(QColor(110, 110, 110), 1, Qt::DashLine));
    for (const auto& line : scene.borders) polyline(line);
    painter.setPen(Qt::black);
    for (const convert::MapArea& a : scene.areas) {
        if (a.name.empty()) continue;
        painter.setPen(a.kind == convert::MapAreaKind::Grid ? AreaColour(a.kind) : QColor(60, 60, 60));
        painter.drawText(P(a.label) + QPointF(2, -4), Q(a.name));
    }
    if (scene.shift) {
        const QPointF from = P(scene.shift->from), to = P(scene.shift->to);
        painter.setPen(QPen(QColor(200, 0, 0), 2));
        painter.drawLine(from, to);
        const double angle = std::atan2(to.y() - from.y(), to.x() - from.x());
        QPolygonF head;
        head << to << to - QPointF(10 * std::cos(angle - 0.4), 10 * std::sin(angle - 0.4))
             << to - QPointF(10 * std::cos(angle + 0.4), 10 * std::sin(angle + 0.4));
        painter.setBrush(QColor(200, 0, 0));
        painter.drawPolygon(head);
        painter.drawText(to + QPointF(6, 4), Q(scene.shift->label));
    }
    if (scene.converted) {
        painter.setPen(QPen(scene.stale ? QColor(150, 150, 150) : QColor(0, 90, 200), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(P(*scene.converted), 6, 6);
    }
    if (scene.typed) {
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(QColor(220, 0, 0));
        painter.drawEllipse(P(*scene.typed), 4, 4);
    }
    painter.setPen(QPen(Qt::black, 2));
    painter.drawLine(P(scene.scaleFrom), P(scene.scaleTo));
    painter.drawText(P(scene.scaleFrom) + QPointF(0, -5), Q(scene.scaleLabel));
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
