// Pictures of the window: small ones drawn here, and the program's own icon.
#pragma once

#include <QIcon>

namespace qt {

// The picture of the parameter-sheet buttons: three axes of a geocentric frame with
// a shift arrow and a rotation arc, the ingredients of a datum transformation.
QIcon TransformationParametersIcon();

// The program's icon (a point pinned in two datums over a graticule) at 16 to 64 px,
// the same pictures the desktop's icon theme gets from the installed package.
QIcon ProgramIcon();

// Gives the program's windows its icon, once.
void ShowProgramIcon();

}  // namespace qt
