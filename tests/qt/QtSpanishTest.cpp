// Qt's own texts in the program's language: the standard buttons of the message boxes
// and the context menu of a field read in Spanish whatever the user's locale (here the
// plain C locale, which is also what makes the start-up ask its regional question).
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <map>

#include "ShownWindow.h"
#include "app/frmTalpor.h"
#include "qt/QtPlatform.h"

namespace {

// Answers the next message box with `answer`, after noting the texts of its buttons.
using ButtonTexts = std::map<QMessageBox::StandardButton, QString>;

void AnswerNextBox(QMessageBox::StandardButton answer, ButtonTexts& texts) {
    QTimer::singleShot(50, [answer, &texts] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* b : box->buttons()) texts[box->standardButton(b)] = b->text();
        box->button(answer)->click();
    });
}

// "&Sí" and "Sí" are the same text to the user: the ampersand marks the Alt key.
QString Shown(const QString& text) { return QString(text).remove(QLatin1Char('&')); }

}  // namespace

TEST(QtSpanish, TheRegionalQuestionAsksWithSiAndNo) {
    QTemporaryDir dir;
    testing_support::EnvGuard env;
    env.Set("LANG", "C.UTF-8");
    for (const char* var : {"LC_ALL", "LC_NUMERIC", "LC_MONETARY"}) env.Set(var, nullptr);
    testing_support::QtApp();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    talpor_qt::QtPlatform platform(dir.path() + "/talpor.lock");
    app::frmTalpor frm(platform);

    ButtonTexts texts;
    AnswerNextBox(QMessageBox::No, texts);
    frm.Form_Load();
    EXPECT_EQ(frm.GetEndReason(), app::EndReason::RegionalSettings);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(Shown(texts[QMessageBox::Yes]), QStringLiteral("Sí"));
    EXPECT_EQ(Shown(texts[QMessageBox::No]), QStringLiteral("No"));
}

TEST(QtSpanish, AnInformationBoxIsClosedWithAceptar) {
    testing_support::QtApp();
    QTemporaryDir dir;
    talpor_qt::QtPlatform platform(dir.path() + "/talpor.lock");
    ButtonTexts texts;
    AnswerNextBox(QMessageBox::Ok, texts);
    platform.MsgBox("35 < Grados sexagesimales <44", "Limitaciones", app::MsgIcon::Information,
                    app::MsgButtons::OK, app::MsgResult::OK);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(Shown(texts[QMessageBox::Ok]), QStringLiteral("Aceptar"));
}

TEST(QtSpanish, TheContextMenuOfAFieldSpeaksSpanish) {
    testing_support::ShownWindow<> s;
    std::unique_ptr<QMenu> menu(s.Edit("TxtWGSg", 6)->createStandardContextMenu());
    QStringList shown;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) shown << Shown(action->text().section(QLatin1Char('\t'), 0, 0));
    EXPECT_EQ(shown, QStringList({"Deshacer", "Rehacer", "Cortar", "Copiar", "Pegar", "Borrar",
                                  "Seleccionar todo"}));
}
