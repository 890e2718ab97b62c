#include "qt/Fonts.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>

namespace qt {
namespace {

QFont FindFixedPitchFont() {
    // DejaVu Sans Mono comes with the program's packages and every glyph the results use
    // has one width in it. The desktop's fixed font is only the fallback: depending on the
    // fonts installed, fontconfig may resolve it to a family that is not fixed-pitch
    // throughout (seen with Noto Sans Mono), and the columns would no longer line up.
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    if (!QFontInfo(font).fixedPitch()) font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(QApplication::font().pointSizeF());
    return font;
}

}  // namespace

QFont FixedPitchFont() {
    static const QFont font = FindFixedPitchFont();  // each match asks the font database
    return font;
}

}  // namespace qt
