// What a screen reader announces for each control of the real window (offscreen): a
// short Spanish name, never a long tooltip, while tooltips and captions stay as they are.
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QTabBar>

#include "ShownWindow.h"
#include "form/FrmTalporControls.h"

using testing_support::ShownWindow;

namespace {

constexpr int kLongestName = 60;  // characters
constexpr int kLongTooltip = 30;  // characters: a tooltip this long is no name

// The name as the accessibility interface gives it. On Linux Qt announces the current
// item of a drop-down list or a tab bar in its place (and the name set for the widget
// on the other desktops): for those, the name set.
QString NameOf(QWidget* widget) {
    if (qobject_cast<QComboBox*>(widget) != nullptr || qobject_cast<QTabBar*>(widget) != nullptr)
        return widget->accessibleName();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible == nullptr ? QString() : accessible->text(QAccessible::Name);
}

}  // namespace

TEST(AccessibleNames, EveryControlHasAShortNameThatIsNotItsLongTooltip) {
    ShownWindow<> s;
    for (auto& owned : s.frm.Form().Controls()) {
        const app::Control& c = *owned;
        SCOPED_TRACE(c.id.ObjectName());
        QWidget* widget =
            c.kind == app::Kind::Form ? s.window.get() : s.Widget(c.id.name, c.id.index);
        QString name = NameOf(widget);
        EXPECT_FALSE(name.trimmed().isEmpty());
        EXPECT_LE(name.size(), kLongestName) << name.toStdString();
        QString tip = QString::fromStdString(c.toolTip);
        EXPECT_TRUE(tip.size() <= kLongTooltip || name != tip) << name.toStdString();
    }
    auto* tabs = s.window->findChild<QTabBar*>();
    EXPECT_EQ(NameOf(tabs), QStringLiteral("Pestañas"));
}

TEST(AccessibleNames, EachControlIsAnnouncedByWhatItHoldsOrByItsCaption) {
    const struct {
        const char* name;
        int index;
        const char* announced;
        const char* toolTip;  // left as it is (nullptr: none to check)
    } cases[] = {
        {"Command1", 0, "Parámetros de la transformación de Helmert",
         "Párametros de transformación con Hermet Bursa-Wolf"},
        {"Command1", 1, "Parámetros de la transformación de Molodensky",
         "Párametros de transformación con Molodensky"},
        {"Command1", 4, "Datos de la rejilla del IGN",
         "Rejilla del IGN: archivos, zona, precisión y licencia"},
        {"CmbUTC", -1, "Zona UTC", "España peninsular y Baleares UTC+1, Canarias UTC=0"},
        {"CmbHuso", -1, "Huso UTM", nullptr},
        {"MonthView1", -1, "Calendario", nullptr},
        {"TxtWGSg", 0, "Latitud, grados", nullptr},
        {"TxtWGSg", 5, "Longitud, segundos", nullptr},
        {"TxtWGSg", 6, "Altura (m)", "metros"},
        {"TxtUTMx", -1, "UTM Este (m)", "metros"},
        {"TxtWGSg", 11, "Punto 1, latitud, segundos", nullptr},
        {"OptUTM", 0, "Entrada en coordenadas geográficas", "Coordenadas geográficas"},
        {"OptLng", 0, "Longitud oeste", nullptr},
        {"OptLng", 9, "Punto 1, latitud sur", nullptr},
        {"OptMWGS84", 1, "Parámetros del NIMA", nullptr},
        {"Picture1", -1, "Hemisferio de la longitud", nullptr},
        {"Frame3", -1, "Transformación de Molodensky", nullptr},
        {"LblLat", 0, "grados", nullptr},  // the sign "º"
        {"LblLat", 4, "fi", nullptr},      // the latitude's sign
        // Buttons and frames with a caption are announced by it.
        {"CmdED50Helmert", -1, "Bursa Wolf 7p", nullptr},
        {"Command15", -1, "Cerrar", nullptr},
        {"Frame10", -1, "Calendario solar", nullptr},
    };
    ShownWindow<> s;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.index));
        QWidget* widget = s.Widget(c.name, c.index);
        EXPECT_EQ(NameOf(widget), QString::fromUtf8(c.announced));
        EXPECT_TRUE(c.toolTip == nullptr || widget->toolTip() == QString::fromUtf8(c.toolTip))
            << widget->toolTip().toStdString();
    }
}

// A result label is announced by the result it shows, which changes with each conversion.
TEST(AccessibleNames, AResultLabelAnnouncesItsResult) {
    ShownWindow<> s;
    EXPECT_EQ(NameOf(s.window.get()), QStringLiteral("Talpor - Transformación de coordenadas"));
    s.Click("CmdED50Helmert");
    auto* latitude = s.Widget<QLabel>("LblGeoLat", 0);
    EXPECT_NE(latitude->text(), QString::fromUtf8(app::kInitialGeoResult));
    EXPECT_EQ(NameOf(latitude), latitude->text());
}
