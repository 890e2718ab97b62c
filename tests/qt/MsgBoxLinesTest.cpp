// The message boxes of the Qt platform (offscreen): Spanish buttons, every line whole, and
// a text with tabs (the parameter sheets) a table whose columns stand under their headings.
#include <QDir>
#include <QFontInfo>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "ShownWindow.h"

using form::MsgIcon, form::MsgButtons, form::MsgResult;

namespace {

// The text of a box as the label lays it out: one block per line of the text.
struct ShownBox {
    QStringList lines, wrapped;         // wrapped: the lines laid out on more than one
    std::vector<std::vector<qreal>> x;  // pixels from the label's left to each character
    bool fixedPitch = false, fitsTheScreen = false;
};

// Read while the box is open: the document goes with it.
ShownBox Inspect(QMessageBox* box) {
    ShownBox shown;
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    auto* document = label == nullptr ? nullptr : label->findChild<QTextDocument*>();
    EXPECT_NE(document, nullptr) << "the label lays out no document";
    if (document == nullptr) return shown;
    for (QTextBlock b = document->begin(); b != document->end(); b = b.next()) {
        shown.lines << b.text();
        if (b.layout()->lineCount() > 1) shown.wrapped << b.text();
        shown.x.emplace_back();
        for (int i = 0; i <= b.text().size(); ++i)
            shown.x.back().push_back(b.layout()->lineForTextPosition(i).cursorToX(i));
    }
    shown.fixedPitch = QFontInfo(label->font()).fixedPitch();
    shown.fitsTheScreen =
        box->frameGeometry().width() <= box->screen()->availableGeometry().width();
    return shown;
}

// The cells (line, text, occurrence: 0 for the first) all start at one distance from the left.
void ExpectOneColumn(const ShownBox& shown,
                     const std::vector<std::tuple<int, const char*, int>>& cells) {
    std::vector<qreal> x;
    for (auto [line, what, nth] : cells) {
        int at = -1;
        for (int n = 0; n <= nth && (n == 0 || at >= 0); ++n)
            at = shown.lines.value(line).indexOf(QString::fromUtf8(what), at + 1);
        ASSERT_GE(at, 0) << "no " << what << " in line " << line;
        x.push_back(shown.x[static_cast<std::size_t>(line)][static_cast<std::size_t>(at)]);
        EXPECT_EQ(x.back(), x.front()) << what << " in line " << line << " is out of its column";
    }
}

}  // namespace

// A text of several lines is never wrapped, even where a line is wider than the half
// screen at which a box wraps.
TEST(QtPlatformMsgBox, ShowsIconSpanishButtonsAndDefaultTakesTheFocusAndKeepsEachLineWhole) {
    testing_support::QtApp();
    qt::QtPlatform p(QDir::tempPath() + "/unused.lock");
    ShownBox shown;
    auto closer = testing_support::OnEachBox([&](QMessageBox* box) {
        shown = Inspect(box);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Título"));
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box->button(QMessageBox::Yes)->text().remove('&'), QStringLiteral("Sí"));
        EXPECT_EQ(box->button(QMessageBox::No)->text().remove('&'), QStringLiteral("No"));
        EXPECT_EQ(box->standardButton(box->defaultButton()), QMessageBox::No);
        EXPECT_TRUE(box->isAncestorOf(QApplication::focusWidget()));
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(p.MsgBox("Ha ocurrido un error en frmTalpor.CmdED50Helmert_Click\r\nError núm. (6) : "
                       "Desbordamiento\rHa quedado registrado en el archivo "
                       "/home/ana.garcia.lopez/.local/state/Talpor/Error.log",
                       "Título", MsgIcon::Exclamation, MsgButtons::YesNo, MsgResult::No),
              MsgResult::Yes);
    EXPECT_EQ(shown.lines.size(), 3);
    EXPECT_EQ(shown.wrapped, QStringList());
    EXPECT_FALSE(shown.fixedPitch);
}

// A line wider than the screen is broken at a word or after a path's "/": the whole text
// is shown, within the screen.
TEST(MsgBoxLines, ASheetIsATableAndALineWiderThanTheScreenIsBrokenAfterASlash) {
    testing_support::ShownWindow<> s;
    s.window->ChooseTab(1);
    s.Click("Command1", 3);
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    qt::QtPlatform platform(QDir::tempPath() + "/unused.lock");
    ShownBox shown;
    auto closer = testing_support::OnEachBox([&](QMessageBox* box) {
        shown = Inspect(box);
        box->accept();
    });
    platform.MsgBox(s.platform.LastMsgBox().text, "Talpor", MsgIcon::Information, MsgButtons::OK,
                    MsgResult::OK);
    EXPECT_TRUE(shown.fixedPitch);
    ASSERT_EQ(shown.lines.size(), 7);
    EXPECT_EQ(shown.wrapped, QStringList());
    ExpectOneColumn(shown, {{0, "IGN", 0}, {1, "dX", 0}, {2, "dY", 0}, {3, "dZ", 0}});
    ExpectOneColumn(shown, {{0, "NIMA", 0}, {1, "dX", 1}, {2, "dY", 1}, {3, "dZ", 1}});
    ExpectOneColumn(shown, {{1, ".", 1}, {2, ".", 1}, {3, ".", 1}});  // the NIMA's decimals
    ExpectOneColumn(shown, {{5, "X±", 0}, {6, "X±", 0}});             // the precisions

    const QString folder =
        QStringLiteral("/carpeta-de-proyectos-cartograficos-del-ayuntamiento").repeated(8);
    const QString text =
        QStringLiteral("No se ha podido convertir «hitos.csv»: no se puede escribir en ") + folder +
        QStringLiteral("/hitos_ED50.csv\nNo se ha escrito ningún fichero.");
    shown = {};
    platform.MsgBox(text.toStdString(), "Talpor", MsgIcon::Exclamation, MsgButtons::OK,
                    MsgResult::OK);
    EXPECT_GT(shown.lines.size(), 3);
    EXPECT_EQ(shown.lines.join(QString()), QString(text).remove(QLatin1Char('\n')));
    for (int i = 1; i + 2 < shown.lines.size(); ++i)  // inside the path: broken after a "/"
        EXPECT_TRUE(shown.lines[i].endsWith(QLatin1Char('/'))) << shown.lines[i].toStdString();
    EXPECT_EQ(shown.wrapped, QStringList());
    EXPECT_TRUE(shown.fitsTheScreen);
}

// The summary of a folder of many files is taller than the screen: it scrolls within a box
// that keeps to the screen, its buttons on it, every line whole.
TEST(MsgBoxLines, ATextTallerThanTheScreenScrollsWithinTheBox) {
    testing_support::QtApp();
    qt::QtPlatform platform(QDir::tempPath() + "/unused.lock");
    std::string text = "80 ficheros convertidos, 0 con errores, 0 rechazados.\r\n\r\nEscritos:";
    for (int i = 1; i <= 80; ++i) text += "\r\nparcelas/hoja-" + std::to_string(i) + ".csv: 12 filas convertidas.";
    ShownBox shown;
    bool buttonOnScreen = false;
    auto closer = testing_support::OnEachBox([&](QMessageBox* box) {
        shown = Inspect(box);
        const QRect screen = box->screen()->availableGeometry();
        EXPECT_LE(box->frameGeometry().height(), screen.height());
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        buttonOnScreen = screen.contains(QRect(ok->mapToGlobal(QPoint(0, 0)), ok->size()));
        EXPECT_TRUE(box->isAncestorOf(QApplication::focusWidget()));
        box->accept();
    });
    platform.MsgBox(text, "Convertir fichero", MsgIcon::Information, MsgButtons::OK, MsgResult::OK);
    EXPECT_EQ(shown.lines.size(), 83);
    EXPECT_EQ(shown.wrapped, QStringList());
    EXPECT_TRUE(shown.fitsTheScreen);
    EXPECT_TRUE(buttonOnScreen);
}
