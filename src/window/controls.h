#pragma once
// The words on the window's controls: the option items' captions and what
// each control does for assistive technologies; and the Japanese faces the
// stored Windows font names are shown with.

#include <QString>
#include <array>

#include "port/window_settings.h"

class QAction;
class QMainWindow;
class QMenu;
class QPushButton;

namespace sorimba {

class TextArea;

// Captions of the option items, in item order.
const std::array<QString, kOptionCount>& optionCaptions();
// What each option item does.
const std::array<QString, kOptionCount>& optionDescriptions();

// The controls whose accessible names and descriptions are set at once.
struct Controls {
    QMainWindow* window;
    QPushButton* import;
    QPushButton* save;
    QPushButton* copyAll;
    QPushButton* font;
    TextArea* text;
    QMenu* options;
    QAction* convert;
    QMenu* mail;
    QAction* mbox;
    QAction* maildir;
};
void describeControls(const Controls& controls);

// Faces of the Windows desktop shown with the Japanese faces installed here
// (fonts-ipafont-gothic and friends). The stored name itself is kept.
void installFontFallbacks();

}  // namespace sorimba
