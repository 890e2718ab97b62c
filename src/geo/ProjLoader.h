// The program's PROJ module, talpor-proj.so (geo/ProjModule.h), loaded once for the
// process the first time something needs it: a grid, the geoid or a geodesic. Never at
// start-up, so that the window starts without PROJ and the libraries it brings.
#pragma once

#include <string>

#include "geo/ProjModule.h"

namespace geo::detail {

struct ProjModule {
    const TalporProjFunctions* functions = nullptr;  // null when it cannot be used
    // Why it cannot be used: the end of a Spanish sentence such as "No se puede leer la
    // rejilla X: " ("no se encuentra PATH, el módulo del programa que lee las rejillas.").
    std::string problem;
};

// The module, loaded by whichever thread first asks (later calls wait for it); its
// functions stay valid for the rest of the process.
const ProjModule& Proj();

}  // namespace geo::detail
