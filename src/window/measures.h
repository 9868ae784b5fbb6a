#pragma once
// Window measures: twips (1/1440 inch) to pixels and back, by the logical
// DPI of the widget they are drawn on.

#include <QWidget>

namespace sorimba {

inline int pixelsX(const QWidget& widget, double twips) {
    return qRound(twips * widget.logicalDpiX() / 1440.0);
}
inline int pixelsY(const QWidget& widget, double twips) {
    return qRound(twips * widget.logicalDpiY() / 1440.0);
}
inline double twipsX(const QWidget& widget, int pixels) {
    return pixels * 1440.0 / widget.logicalDpiX();
}
inline double twipsY(const QWidget& widget, int pixels) {
    return pixels * 1440.0 / widget.logicalDpiY();
}

}  // namespace sorimba
