// The fonts of the front end beyond the desktop's own.
#pragma once

#include <QFont>

namespace qt {

// The desktop's fixed-pitch font at the size of the application's font: for texts
// whose characters must line up in columns (result lines, tables in message boxes).
QFont FixedPitchFont();

}  // namespace qt
