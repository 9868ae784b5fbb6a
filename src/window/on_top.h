#pragma once
// Keeps a window above all others, makes it ordinary again, or raises it.
// A module of its own: the window's code only calls it.

#include <cstdint>

class QWidget;

namespace sorimba {

// Mode 1: keep the window above all other windows (the window manager's
// "above" state, _NET_WM_STATE_ABOVE under an EWMH window manager).
// Mode 0: make it an ordinary window. Mode 2: raise it to the top.
// Position and size are kept; the window is shown and activated.
// Returns non-zero on success, 0 (doing nothing) for any other mode.
std::int32_t setOnTopMode(QWidget* window, int mode);

}  // namespace sorimba
