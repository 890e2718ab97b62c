#include "qt/Style.h"

#include <algorithm>

#include <QApplication>
#include <QGroupBox>
#include <QPixmap>
#include <QProxyStyle>
#include <QStyleOption>
#include <qdrawutil.h>

#include "qt/Icons.h"

namespace qt {
namespace {

class FrameStyle : public QProxyStyle {
  public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element != PE_FrameGroupBox ||
            baseStyle()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        static const QPixmap frame =
            ReadPng(QStringLiteral(":/qt-project.org/styles/commonstyle/images/fusion_groupbox.png"));
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
