#pragma once
// The window's layout, kept in twips (1/1440 inch) as the settings are:
// twips to pixels and back by the logical DPI of the widget they are drawn
// on, and where the controls sit.

#include <QRect>
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

// Where a button whose left edge is `leftTwips` sits in the client area.
QRect buttonGeometry(const QWidget& window, double leftTwips);
// Where the text area sits at first start, and the client area's size then.
QRect textAreaGeometry(const QWidget& window);
QSize firstClientSize(const QWidget& window);
// The text area's size in a client area of `client` pixels: its margins
// kept, except along a side of the window (outer size in twips) too small
// for that, which keeps the size it had.
QSize fittedTextArea(const QWidget& window, QSize textArea, QSize client, double outerWidth,
                     double outerHeight);

}  // namespace sorimba
