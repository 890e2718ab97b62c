// The About box of Talpor: what the program is and does, its methods and their
// accuracy, the attribution the IGN data asks for, the licence and the keyboard
// shortcuts of the window.
#pragma once

#include <string>

#include "form/Platform.h"

namespace app {

inline constexpr const char* kAboutTitle = "Acerca de Talpor";

// The attribution the CC BY 4.0 licence of the IGN grids and geoid asks for, word for word.
inline constexpr const char* kIgnAttribution =
    "Contiene datos derivados del Instituto Geográfico Nacional de España (www.ign.es), "
    "licencia CC BY 4.0";

// The text of the About box, in Markdown (see Platform::ShowAbout): name and version,
// the methods with their accuracy (the figures the results carry), the attribution, the
// licence and the shortcuts.
std::string AboutText();

// Shows the About box ("?" beside "Cerrar", and F1).
void ShowAbout(form::Platform& platform);

}  // namespace app
