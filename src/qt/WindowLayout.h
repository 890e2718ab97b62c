// Where every control of the main window sits: a classic fixed layout that fits a
// screen of 800 x 600 pixels, with the names screen readers announce for the
// controls that have neither caption nor tooltip.
#pragma once

#include <QRect>
#include <QString>
#include <map>
#include <string>

namespace talpor_qt {

struct Placement {
    QRect rect;          // pixels, relative to the container (a tab page for controls on SSTab1)
    QString accessible;  // accessible name when the control has no caption of its own
};

// By object name ("TxtWGSg_6", "Frame1_0").
const std::map<std::string, Placement>& WindowLayout();

// Size of the window's client area and of the tab control's page area.
inline constexpr int kWindowWidth = 776;
inline constexpr int kWindowHeight = 488;

}  // namespace talpor_qt
