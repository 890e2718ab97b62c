#include "qt/Style.h"

#include <algorithm>

#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QStyleOption>
#include <qdrawutil.h>

namespace qt {
namespace {

// Fusion's frame as a nine-patch with 6-pixel corners: a faint one-pixel line
// rounded at the corners over a fainter shade, one pixel in from the top and left.
QPixmap FramePatch() {
    QImage patch(13, 13, QImage::Format_ARGB32_Premultiplied);
    patch.fill(Qt::transparent);
    QPainter p(&patch);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x75, 0x75, 0x75, 0x32));
    p.setBrush(QColor(0, 0, 0, 3));
    p.drawRoundedRect(QRectF(1.5, 1.5, 11, 11), 2, 2);
    p.end();
    return QPixmap::fromImage(patch);
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
        static const QPixmap frame = FramePatch();
        // Fusion's frame starts under the title (or a check box, if taller), 3 pixels down;
        // a box with neither keeps only the 3 pixels.
        constexpr int kTopMargin = 3;
        const auto* box = qobject_cast<const QGroupBox*>(widget);
        const bool bare = box != nullptr && !box->isCheckable() && box->title().isEmpty();
        const int top = kTopMargin + (bare ? 0 : std::max(pixelMetric(PM_ExclusiveIndicatorHeight),
                                                          option->fontMetrics.height()));
        qDrawBorderPixmap(painter, option->rect.adjusted(0, top, 0, 0), QMargins(6, 6, 6, 6), frame);
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
