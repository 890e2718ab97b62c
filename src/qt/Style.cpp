#include "qt/Style.h"

#include <algorithm>

#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOption>

namespace qt {
namespace {

// Fusion's frame as a nine-patch with 6-pixel corners: a faint one-pixel line
// rounded at the corners over a fainter shade, one pixel in from the top and left.
QImage FramePatch() {
    QImage patch(13, 13, QImage::Format_ARGB32_Premultiplied);
    patch.fill(Qt::transparent);
    QPainter p(&patch);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x75, 0x75, 0x75, 0x32));
    p.setBrush(QColor(0, 0, 0, 3));
    p.drawRoundedRect(QRectF(1.5, 1.5, 11, 11), 2, 2);
    p.end();
    return patch;
}

// The nine-patch `patch` (6-pixel corners, one row and column between them) over `r`: the
// corners as they are, each row of the top and bottom edges, each column of the sides and
// the centre as the one pixel that stands for it, stretched. The same pixels as
// qDrawBorderPixmap, whose stretched edges and centre are fills of a hundred rows and
// more: the raster engine shares a fill of 96 rows or more out to a pool of threads,
// which it starts for the first one (in the first paint) and wakes and waits for at each.
// Here every fill is a band of fewer rows, done at once.
void DrawNinePatch(QPainter& painter, const QRect& r, const QImage& patch) {
    constexpr int kCorner = 6, kFar = kCorner + 1;  // the far corners start past the middle
    const int x = r.x(), y = r.y(), w = r.width(), h = r.height();
    const int right = x + w - kCorner, bottom = y + h - kCorner;
    painter.drawImage(QPoint(x, y), patch, QRect(0, 0, kCorner, kCorner));
    painter.drawImage(QPoint(right, y), patch, QRect(kFar, 0, kCorner, kCorner));
    painter.drawImage(QPoint(x, bottom), patch, QRect(0, kFar, kCorner, kCorner));
    painter.drawImage(QPoint(right, bottom), patch, QRect(kFar, kFar, kCorner, kCorner));
    constexpr int kBand = 64;  // rows
    const auto stretch = [&](const QRect& target, int px, int py) {
        if (target.isEmpty()) return;
        for (int top = target.top(); top <= target.bottom(); top += kBand) {
            const QRect band(target.left(), top, target.width(), std::min(kBand, target.bottom() + 1 - top));
            painter.drawImage(band, patch, QRect(px, py, 1, 1));
        }
    };
    for (int i = 0; i < kCorner; ++i) {
        stretch(QRect(x + kCorner, y + i, w - 2 * kCorner, 1), kCorner, i);
        stretch(QRect(x + kCorner, bottom + i, w - 2 * kCorner, 1), kCorner, kFar + i);
        stretch(QRect(x + i, y + kCorner, 1, h - 2 * kCorner), i, kCorner);
        stretch(QRect(right + i, y + kCorner, 1, h - 2 * kCorner), kFar + i, kCorner);
    }
    stretch(QRect(x + kCorner, y + kCorner, w - 2 * kCorner, h - 2 * kCorner), kCorner, kCorner);
}

class FrameStyle : public QProxyStyle {
  public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element != PE_FrameGroupBox ||
            baseStyle()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        static const QImage frame = FramePatch();
        // Fusion's frame starts under the title (or a check box, if taller), 3 pixels down;
        // a box with neither keeps only the 3 pixels.
        constexpr int kTopMargin = 3;
        const auto* box = qobject_cast<const QGroupBox*>(widget);
        const bool bare = box != nullptr && !box->isCheckable() && box->title().isEmpty();
        const int top = kTopMargin + (bare ? 0 : std::max(pixelMetric(PM_ExclusiveIndicatorHeight),
                                                          option->fontMetrics.height()));
        DrawNinePatch(*painter, option->rect.adjusted(0, top, 0, 0), frame);
    }
};

}  // namespace

void UseStyle(QApplication& application) {
    // Qt 6.4's Fusion (Debian 12) is the one whose frame this draws; with another Qt the
    // desktop's style is left as it is.
#if QT_VERSION >= QT_VERSION_CHECK(6, 4, 0) && QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
    application.setStyle(new FrameStyle);
#else
    (void)application;
#endif
}

}  // namespace qt
