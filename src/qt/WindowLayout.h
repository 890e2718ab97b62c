// Where every control of the main window sits: a classic fixed layout that fits a
// screen of 800 x 600 pixels.
#pragma once

#include <QRect>
#include <map>
#include <string>

namespace qt {

struct Placement {
    QRect rect;  // pixels, relative to the container (a tab page for controls on SSTab1)
};

// By object name ("TxtWGSg_6", "Frame1_0").
const std::map<std::string, Placement>& WindowLayout();

// Size of the window's client area and of the tab control's page area.
inline constexpr int kWindowWidth = 776;
inline constexpr int kWindowHeight = 536;

}  // namespace qt
