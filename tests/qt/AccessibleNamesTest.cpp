// What a screen reader announces for each control of the real window (offscreen): a
// short Spanish name, never a long tooltip, while tooltips and captions stay as they are.
#include <QAccessible>
#include <QComboBox>
#include <QTabBar>

#include "ShownWindow.h"

using testing_support::ShownWindow;

namespace {

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
    for (auto& c : s.frm.Form().Controls()) {
        SCOPED_TRACE(c->id.ObjectName());
        QWidget* widget =
            c->kind == app::Kind::Form ? s.window.get() : s.Widget(c->id.name, c->id.index);
        const QString name = NameOf(widget), tip = QString::fromStdString(c->toolTip);
        EXPECT_FALSE(name.trimmed().isEmpty());
        EXPECT_LE(name.size(), 60) << name.toStdString();
        EXPECT_TRUE(tip.size() <= 30 || name != tip) << name.toStdString();
    }
    EXPECT_EQ(NameOf(s.window->findChild<QTabBar*>()), QStringLiteral("Pestañas"));
    // A result label is announced by the result it shows, which changes with each conversion.
    auto* latitude = s.Widget<QLabel>("LblGeoLat", 0);
    const QString before = latitude->text();
    s.Click("CmdED50Helmert");
    EXPECT_NE(latitude->text(), before);
    EXPECT_EQ(NameOf(latitude), latitude->text());
}

TEST(AccessibleNames, EachControlIsAnnouncedByWhatItHoldsOrByItsCaption) {
    const struct {
        const char* name;
        int index;
        const char* announced;
        const char* toolTip;  // left as it is (nullptr: none to check)
    } cases[] = {
        {"Command1", 4, "Datos de la rejilla del IGN",
         "Rejilla del IGN: archivos, zona, precisión y licencia"},
        {"CmbUTC", -1, "Zona UTC", "España peninsular y Baleares UTC+1, Canarias UTC=0"},
        {"TxtWGSg", 6, "Altura (m)", "metros"},
        {"TxtWGSg", 11, "Punto 1, latitud, segundos", nullptr},
        {"OptUTM", 0, "Entrada en coordenadas geográficas", "Coordenadas geográficas"},
        {"OptLng", 9, "Punto 1, latitud sur", nullptr},
        {"LblLat", 0, "grados", nullptr},  // the sign "º"
        // Buttons and frames with a caption are announced by it.
        {"CmdED50Helmert", -1, "Bursa Wolf 7p", nullptr},
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
