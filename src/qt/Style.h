// The window's style: the desktop's own, with one drawing done without image plugins.
#pragma once

class QApplication;

namespace qt {

// Puts the desktop's style behind a proxy that draws Fusion's group-box frame itself.
// Fusion reads that frame from a picture, leaving Qt to guess its format, and Qt guesses
// by loading every image plugin it has (with their libraries) at the window's first
// paint; nothing else in the window needs one.
void UseStyle(QApplication& application);

}  // namespace qt
