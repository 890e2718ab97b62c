// Small pictures drawn for the window (no image files).
#pragma once

#include <QIcon>

namespace talpor_qt {

// The picture of the parameter-sheet buttons: three axes of a geocentric frame with
// a shift arrow and a rotation arc, the ingredients of a datum transformation.
QIcon TransformationParametersIcon();

}  // namespace talpor_qt
