#include "qt/Fonts.h"

#include <QApplication>
#include <QFontDatabase>

namespace talpor_qt {

QFont FixedPitchFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(QApplication::font().pointSizeF());
    return font;
}

}  // namespace talpor_qt
