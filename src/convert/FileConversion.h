// "Convertir fichero…" on the conversion tabs: a file of points converted from the
// window as talpor-lote converts it, in the tab's direction, with the method the user
// picks, a progress window that can be cancelled and a summary at the end.
#pragma once

#include <string>
#include <vector>

#include "core/Grids.h"
#include "form/Controls.h"
#include "form/Platform.h"

namespace convert {

// CmdFichero(tab) on tab 0 (WGS84 to ED50) or tab 1 (ED50 to WGS84). Asks for the input
// files (or takes those `dropped` on the window), then shows FileDialog with the tab's
// zone; cancelled, it ends quietly. A cancelled or failed run leaves no output file and
// says so; a finished one shows the counts, the first errors with their lines and the
// file written. A folder or several files go into a folder, each file whole or not at
// all: a cancel keeps the files finished, and the summary lists every file written and
// every file refused with why. `grids` serve the grid method and the altitudes.
void CmdFichero_Click(form::FormModel& form, form::Platform& platform, int tab, core::Grids& grids,
                      const std::vector<std::string>& dropped = {});

// Asks before files that exist are replaced: true for "Sí"; "No" is the default (Intro
// and Esc keep the files).
bool ReplaceAgreed(form::Platform& platform, const std::string& question);

}  // namespace convert
