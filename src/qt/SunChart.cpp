#include "qt/SunChart.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "qt/QtText.h"

namespace qt {

SunChart::SunChart(const form::Control& chart, QWidget* parent) : QWidget(parent), chart_(chart) {}

void SunChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF plot(22, 4, width() - 28, height() - 20);
    const std::vector<double>& v = chart_.values;
    const std::size_t days = v.size() / 4;
    const auto x = [&](double day) { return plot.left() + plot.width() * day / std::max<std::size_t>(days, 365); };
    const auto y = [&](double hours) { return plot.bottom() - plot.height() * hours / 24; };

    painter.fillRect(plot, QColor(55, 65, 105));  // the night
    // Daylight, a column a day, edge to edge.
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (std::size_t d = 0; d < days; ++d) {
        const double rise = v[4 * d], set = v[4 * d + 2], kind = v[4 * d + 3];
        if (kind < 0) continue;
        const double top = kind > 0 ? 24 : std::min(set, 24.0), bottom = kind > 0 ? 0 : std::max(rise, 0.0);
        const int left = static_cast<int>(std::floor(x(d))), right = static_cast<int>(std::ceil(x(d + 1)));
        painter.fillRect(QRectF(left, y(top), right - left, y(bottom) - y(top)), QColor(255, 232, 140));
    }
    painter.setRenderHint(QPainter::Antialiasing);
    // The hours and the months.
    painter.setPen(QColor(150, 150, 150, 120));
    for (int h : {6, 12, 18}) painter.drawLine(QPointF(plot.left(), y(h)), QPointF(plot.right(), y(h)));
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    painter.setFont(small);
    painter.setPen(palette().color(QPalette::WindowText));
    for (int h : {0, 6, 12, 18, 24})
        painter.drawText(QRectF(0, y(h) - 7, plot.left() - 3, 14), Qt::AlignRight | Qt::AlignVCenter, QString::number(h));
    const int monthStart[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
    for (std::size_t m = 0; m < 12 && m < chart_.items.size(); ++m) {
        const double from = x(monthStart[m]), to = x(monthStart[m + 1]);
        painter.drawText(QRectF(from, plot.bottom() + 1, to - from, 14), Qt::AlignCenter, Q(chart_.items[m]));
    }
    // The three lines, broken where a day has none.
    const QColor colours[] = {QColor(240, 140, 0), QColor(120, 120, 120), QColor(210, 30, 30)};
    for (int line = 0; line < 3; ++line) {
        QPainterPath path;
        bool open = false;
        for (std::size_t d = 0; d < days; ++d) {
            const double h = v[4 * d + line];
            if (std::isnan(h)) {
                open = false;
                continue;
            }
            const QPointF p(x(d + 0.5), y(h));
            open ? path.lineTo(p) : path.moveTo(p);
            open = true;
        }
        painter.setPen(QPen(colours[line], 1.6));
        painter.drawPath(path);
    }
    if (days > 0 && chart_.listIndex >= 0) {
        painter.setPen(QPen(QColor(0, 90, 220), 1.5));
        const double day = x(chart_.listIndex + 0.5);
        painter.drawLine(QPointF(day, plot.top()), QPointF(day, plot.bottom()));
    }
    if (days == 0) {
        painter.setPen(Qt::white);
        painter.drawText(plot, Qt::AlignCenter | Qt::TextWordWrap, Q(chart_.text));
    }
    // A chart of the previous data, greyed as a stale result.
    if (chart_.stale) painter.fillRect(plot, QColor(255, 255, 255, 150));
    painter.setPen(QColor(120, 120, 120));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(plot);
}

}  // namespace qt
