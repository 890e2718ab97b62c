// Qt's own texts in the program's language, whatever the locale the tests run under: the
// standard buttons of the message boxes (Sí and No: QtPlatformMsgBox) and the context menu
// of a field.
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

#include "ShownWindow.h"
#include "qt/QtPlatform.h"

namespace {

// "&Sí" and "Sí" are the same text to the user: the ampersand marks the Alt key.
QString Shown(const QString& text) { return QString(text).remove(QLatin1Char('&')); }

}  // namespace

TEST(QtSpanish, AnInformationBoxIsClosedWithAceptar) {
    testing_support::QtApp();
    QTemporaryDir dir;
    talpor_qt::QtPlatform platform(dir.path() + "/talpor.lock");
    QStringList buttons;
    auto closer = testing_support::OnEachBox([&](QMessageBox* box) {
        for (QAbstractButton* b : box->buttons()) buttons << Shown(b->text());
        box->accept();
    });
    platform.MsgBox("35 < Grados sexagesimales <44", "Limitaciones", app::MsgIcon::Information,
                    app::MsgButtons::OK, app::MsgResult::OK);
    EXPECT_EQ(buttons, QStringList{"Aceptar"});
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
