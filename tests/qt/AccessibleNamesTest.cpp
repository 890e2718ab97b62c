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
        if (tip.size() > kLongTooltip) EXPECT_NE(name, tip);
    }
    auto* tabs = s.window->findChild<QTabBar*>();
    EXPECT_EQ(NameOf(tabs), QStringLiteral("Pestañas"));
}

TEST(AccessibleNames, ControlsWithoutACaptionAreNamedForWhatTheyHold) {
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
        {"Command1", 2, "Parámetros de la transformación de Helmert", nullptr},
        {"Command1", 3, "Parámetros de la transformación de Molodensky", nullptr},
        {"Command1", 4, "Datos de la rejilla del IGN",
         "Rejilla del IGN: archivos, zona, precisión y licencia"},
        {"CmbUTC", -1, "Zona UTC", "España peninsular y Baleares UTC+1, Canarias UTC=0"},
        {"CmbHS", -1, "Horario solar", nullptr},
        {"CmbHuso", -1, "Huso UTM", nullptr},
        {"MonthView1", -1, "Calendario", nullptr},
        {"TxtWGSg", 0, "Latitud, grados", nullptr},
        {"TxtWGSg", 1, "Latitud, minutos", nullptr},
        {"TxtWGSg", 5, "Longitud, segundos", nullptr},
        {"TxtWGSg", 6, "Altura (m)", "metros"},
        {"TxtWGSg", 26, "Altura (m)", nullptr},
        {"TxtUTMx", -1, "UTM Este (m)", "metros"},
        {"TxtUTMn", -1, "UTM Norte (m)", "metros"},
        {"TxtWGSg", 11, "Punto 1, latitud, segundos", nullptr},
        {"TxtWGSg", 30, "Punto 2, longitud, grados", nullptr},
        {"OptUTM", 0, "Entrada en coordenadas geográficas", "Coordenadas geográficas"},
        {"OptCoord", 0, "Entrada en coordenadas UTM", "Coordenadas UTM"},
        {"OptLng", 0, "Longitud oeste", nullptr},
        {"OptLng", 9, "Punto 1, latitud sur", nullptr},
        {"OptMWGS84", 1, "Parámetros del NIMA", nullptr},
        {"Picture1", -1, "Hemisferio de la longitud", nullptr},
        {"Frame3", -1, "Transformación de Molodensky", nullptr},
        {"LblLat", 0, "grados", nullptr},  // the sign "º"
        {"LblLat", 4, "fi", nullptr},      // the latitude's sign
    };
    ShownWindow<> s;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.index));
        QWidget* widget = s.Widget(c.name, c.index);
        EXPECT_EQ(NameOf(widget), QString::fromUtf8(c.announced));
        if (c.toolTip != nullptr) EXPECT_EQ(widget->toolTip(), QString::fromUtf8(c.toolTip));
    }
}

// Buttons and frames with a caption are announced by it; a result label by the
// result it shows, which changes with each conversion.
TEST(AccessibleNames, CaptionsNameTheirControlsAndResultLabelsAnnounceTheirResult) {
    ShownWindow<> s;
    EXPECT_EQ(NameOf(s.Widget("CmdED50Helmert")), QStringLiteral("Bursa Wolf 7p"));
    EXPECT_EQ(NameOf(s.Widget("Command15")), QStringLiteral("Cerrar"));
    EXPECT_EQ(NameOf(s.Widget("Frame10")), QStringLiteral("Calendario solar"));
    EXPECT_EQ(NameOf(s.window.get()), QStringLiteral("Talpor - Transformación de coordenadas"));
    s.Click("CmdED50Helmert");
    auto* latitude = s.Widget<QLabel>("LblGeoLat", 0);
    EXPECT_NE(latitude->text(), QString::fromUtf8(app::kInitialGeoResult));
    EXPECT_EQ(NameOf(latitude), latitude->text());
}
