#pragma once
// The words on the window's controls: the option items' captions and what
// each control does for assistive technologies; and the Japanese faces the
// stored Windows font names are shown with.

#include <QString>
#include <array>

#include "port/window_settings.h"

class QMainWindow;

namespace sorimba {

// Captions of the option items, in item order.
const std::array<QString, kOptionCount>& optionCaptions();
// What each option item does.
const std::array<QString, kOptionCount>& optionDescriptions();

// Gives every control of the window (found by its object name) its
// accessible name and description.
void describeControls(QMainWindow& window);

// Faces of the Windows desktop shown with the Japanese faces installed here
// (fonts-ipafont-gothic and friends). The stored name itself is kept.
void installFontFallbacks();

}  // namespace sorimba
