#pragma once
// What the window holds at a first start, before any data.dat: the one
// place of these values for the window, its stored settings and tests.

#include <QString>
#include <array>

#include "port/window_settings.h"

namespace sorimba::settings {

inline constexpr double kFirstWidth = 7185;   // twips
inline constexpr double kFirstHeight = 6510;  // twips
inline constexpr double kFirstFontSize = 9;   // points
// The font the window's text asks for by name (a Japanese gothic).
inline const QString kFirstFont = QStringLiteral("ＭＳ ゴシック");
// Per option, in item order: only "save after a drop" and "tell after each
// save" start checked.
inline constexpr std::array<bool, kOptionCount> kOptionDefaults = {
    false, false, false, false, false, true, false, false, true};

}  // namespace sorimba::settings
