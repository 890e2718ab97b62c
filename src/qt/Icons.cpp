#include "qt/Icons.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace qt {
namespace {

void Arrow(QPainter& p, QPointF from, QPointF to) {
    p.drawLine(from, to);
    QLineF back(to, from);
    QLineF a = back;
    a.setLength(4);
    a.setAngle(back.angle() + 30);
    QLineF b = back;
    b.setLength(4);
    b.setAngle(back.angle() - 30);
    p.drawLine(a);
    p.drawLine(b);
}

QPixmap Draw(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);

    // Axes X, Y, Z from an origin low on the left.
    p.setPen(QPen(QColor(60, 60, 60), 1.4, Qt::SolidLine, Qt::RoundCap));
    QPointF o(8, 16);
    Arrow(p, o, QPointF(8, 3));    // Z
    Arrow(p, o, QPointF(21, 16));  // Y
    Arrow(p, o, QPointF(2, 22));   // X

    // The shifted frame's origin and the rotation about Z.
    p.setPen(QPen(QColor(0, 90, 200), 1.6, Qt::SolidLine, Qt::RoundCap));
    Arrow(p, o, QPointF(17, 10));
    QPainterPath arc;  // a turn about the Z axis, open at the front
    QRectF ring(4.5, 4, 7, 3.5);
    arc.arcMoveTo(ring, 300);
    arc.arcTo(ring, 300, 280);
    p.setBrush(Qt::NoBrush);
    p.drawPath(arc);
    return pm;
}

// A PNG picture read as PNG, without guessing: a reader left to find the format itself
// (as QIcon::addFile and QPixmap's loading do) first asks every image plugin, and so
// loads them all, with their libraries.
QPixmap ReadPng(const QString& path) {
    QImageReader reader(path, "PNG");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

}  // namespace

QIcon TransformationParametersIcon() {
    // Drawn once for every button, at the buttons' size and twice it.
    static const QIcon icon = [] {
        QIcon drawn;
        for (int size : {24, 48}) drawn.addPixmap(Draw(size));
        return drawn;
    }();
    return icon;
}

QIcon ProgramIcon() {
    // The installed program's larger icons come from the icon theme, through the
    // desktop entry.
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(ReadPng(QStringLiteral(":/icon/%1x%1/apps/es.talpor.Talpor.png").arg(size)));
    return icon;
}

void ShowProgramIcon() {
    if (QGuiApplication::windowIcon().isNull()) QGuiApplication::setWindowIcon(ProgramIcon());
}


}  // namespace qt
